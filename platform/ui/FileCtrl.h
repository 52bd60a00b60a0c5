// File and folder lists: TFileListBox lists the files of a folder that match a mask;
// TDirectoryListBox shows a folder's path and its subfolders and changes into the one the
// user opens. Names are program text, read from the system through SysUtils' folder listing
// (UTF-8 names converted, raw CP949 names of older copies kept); masks match as MatchesMask
// does, without regard to the case of the single-byte letters.
#pragma once

#include <string>

#include "platform/ui/StdCtrls.h"

class TLabel;

class TFileListBox : public TListBox {
 public:
  explicit TFileListBox(TComponent* AOwner);
  // The folder listed (default: the current folder at creation).
  const std::string& Directory() const { return FDirectory; }
  void SetDirectory(const std::string& v);
  // One or more masks separated by ';'.
  const std::string& Mask() const { return FMask; }
  void SetMask(const std::string& v);
  // Re-reads the folder: the regular files matching the mask, sorted by name.
  void Update();
  // Messages naming the matching files of the last Update whose names have no CP949 form
  // and so are not listed.
  const std::vector<std::string>& UnnamedFiles() const { return FUnnamed; }
  // The selected file with its folder, or "" when none is selected.
  std::string FileName() const;

 private:
  std::string FDirectory;
  std::string FMask = "*.*";
  std::vector<std::string> FUnnamed;
};

class TDirectoryListBox : public TListBox {
 public:
  explicit TDirectoryListBox(TComponent* AOwner);
  const std::string& Directory() const { return FDirectory; }
  // Shows the folder and makes it the current folder; fires OnChange when it changed.
  void SetDirectory(const std::string& v);
  // A label that always shows the current folder.
  TLabel* DirLabel = nullptr;
  TNotifyEvent OnChange;
  // Opens the selected line (a parent folder or a subfolder), as a double click does.
  void OpenCurrent();

 protected:
  void DblClick() override;
  void KeyPress(char& Key) override;

 private:
  void Fill();
  std::string FDirectory;
  // Folder of each line.
  std::vector<std::string> FPaths;
};
