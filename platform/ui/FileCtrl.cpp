// Folder reading for the file and folder lists.
#include "platform/ui/FileCtrl.h"

#include <algorithm>

#include "platform/core/SysUtils.h"

TFileListBox::TFileListBox(TComponent* AOwner) : TListBox(AOwner), FDirectory(GetCurrentDir()) {}

void TFileListBox::SetDirectory(const std::string& v) {
  FDirectory = v;
  Update();
}

void TFileListBox::SetMask(const std::string& v) {
  FMask = v.empty() ? "*.*" : v;
  Update();
}

void TFileListBox::Update() {
  Items().Clear();
  FUnnamed.clear();
  std::vector<std::string> masks;
  size_t start = 0;
  while (start <= FMask.size()) {
    size_t semi = FMask.find(';', start);
    std::string m = Trim(FMask.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (!m.empty()) masks.push_back(m);
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  std::vector<std::string> names;
  for (const std::string& m : masks) {
    for (std::string& n : FindFiles(FDirectory, m, &FUnnamed)) names.push_back(std::move(n));
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) { return CompareText(a, b) < 0; });
  names.erase(std::unique(names.begin(), names.end()), names.end());
  std::sort(FUnnamed.begin(), FUnnamed.end());
  FUnnamed.erase(std::unique(FUnnamed.begin(), FUnnamed.end()), FUnnamed.end());
  for (const std::string& n : names) Items().Add(n);
}

std::string TFileListBox::FileName() const {
  int i = ItemIndex();
  if (i < 0) return std::string();
  return IncludeTrailingPathDelimiter(FDirectory) + const_cast<TFileListBox*>(this)->Items()[i];
}

TDirectoryListBox::TDirectoryListBox(TComponent* AOwner) : TListBox(AOwner), FDirectory(GetCurrentDir()) {
  Fill();
}

void TDirectoryListBox::SetDirectory(const std::string& v) {
  std::string dir = v.size() > 1 && v.back() == '/' ? v.substr(0, v.size() - 1) : v;
  if (dir.empty()) dir = "/";
  if (!DirectoryExists(dir)) throw EInOutError("Directory not found: " + dir);
  bool changed = dir != FDirectory;
  FDirectory = dir;
  SetCurrentDir(dir);
  Fill();
  if (changed && OnChange) OnChange(this);
}

void TDirectoryListBox::Fill() {
  Items().Clear();
  FPaths.clear();
  // The path from the root, one line per folder, then the subfolders of the last one.
  std::string path;
  size_t i = 0;
  std::vector<std::string> parts;
  while (i < FDirectory.size()) {
    size_t j = FDirectory.find('/', i);
    if (j == std::string::npos) j = FDirectory.size();
    if (j > i) parts.push_back(FDirectory.substr(i, j - i));
    i = j + 1;
  }
  Items().Add("/");
  FPaths.push_back("/");
  std::string indent = " ";
  for (const std::string& p : parts) {
    path += "/" + p;
    Items().Add(indent + p);
    FPaths.push_back(path);
    indent += " ";
  }
  SetItemIndex(Items().Count() - 1);
  for (const std::string& sub : FindFolders(FDirectory)) {
    if (sub[0] == '.') continue;
    Items().Add(indent + sub);
    FPaths.push_back(IncludeTrailingPathDelimiter(FDirectory) + sub);
  }
  if (DirLabel) DirLabel->SetCaption(FDirectory);
}

void TDirectoryListBox::OpenCurrent() {
  int i = ItemIndex();
  if (i < 0 || i >= static_cast<int>(FPaths.size())) return;
  SetDirectory(FPaths[static_cast<size_t>(i)]);
}

void TDirectoryListBox::DblClick() {
  OpenCurrent();
  TListBox::DblClick();
}

void TDirectoryListBox::KeyPress(char& Key) {
  TListBox::KeyPress(Key);
  if (Key == '\r') {
    OpenCurrent();
    Key = 0;
  }
}
