// TFileForm: the file store: lists, selects, renames, creates, deletes and merges the note files of the data folder. A modal dialog of the main window, created at start-up and living to
// exit; it reaches the main window through the global MainForm. GUI thread only.
//
// The main window closes its note table before showing the dialog and reopens the file named
// by settings fname afterwards; the dialog works on note files through its own table,
// Note2Table, which is closed again after every operation (a file held open could not be
// deleted or renamed under another program).
//
// The list holds one line per note file (FileListLine): the description (40 bytes), the memo
// file name right-aligned in 12, the note count right-aligned in 10; the line itself names
// its file, so only files whose names fit 12 bytes are listed. A file of the old 8-field
// format shows OldFormatMarker for its description; selecting it hands it to the external
// converter "mivert", which is started through the process-start service and not waited for.
//
// No note is lost by the dialog: a name already taken is never overwritten, a typed name
// must be a plain file name of the data folder (no folder parts), a write-protected file is
// neither renamed, deleted nor merged into, a file another running copy has open is not
// deleted, and a rename whose second step fails is undone.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/FileCtrl.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Gauges.h"
#include "platform/ui/StdCtrls.h"
#include "table/XbTable.h"

// The description that stands for a file of the old 1.5 format (40 bytes).
extern const std::string& OldFormatMarker();
// The converter of old-format files; its command line is this, two blanks and the file name.
extern const char* const kConverterProgram;

// Line layout of the list.
constexpr int kDescriptionWidth = 40;
constexpr int kListNameWidth = 12;
constexpr int kListCountWidth = 10;
// Longest typed file name (before the extension).
constexpr int kBaseNameWidth = 8;

// One line of the list: description padded or cut to 40, 2 blanks, the memo name
// right-aligned in 12, 2 blanks, the count right-aligned in 10 (66 bytes).
std::string FileListLine(const std::string& Description, const std::string& MemoName, long Count);
// The memo file name of a line: bytes 43 to 54, trimmed at both ends.
std::string LineMemoName(const std::string& Line);
// Name with its last three characters replaced ("a.smt" -> "a.dbf", "a.dbf" -> "a.smt").
std::string DbfName(const std::string& Name);
std::string SmtName(const std::string& Name);
// Name without its last four characters ("a.dbf" -> "a").
std::string FirstName(const std::string& Name);
// Name right-aligned in 12 bytes.
std::string SmtName12(const std::string& Name);
// True when a typed base name may become a note file of the data folder: at most 8 bytes,
// no folder parts or characters a file name cannot hold, not beginning with a dot.
bool PlainNoteName(const std::string& BaseName);

class TFileForm : public TForm {
 public:
  explicit TFileForm(TComponent* AOwner);

  TListBox* ListBox1;          // the note files, sorted by line
  TFileListBox* FileListBox1;  // hidden: the memo files of the data folder
  TLabel* Label2;              // "바탕파일"
  TLabel* Label1;              // line of the current file
  TGauge* Gauge1;              // merge progress
  TMaskEdit* Edit1;            // file name without extension, hidden until needed
  TEdit* Edit2;                // description, hidden until needed
  TButton* Button2;            // "파일선택"
  TButton* Button1;            // "파 일 명"
  TButton* Button4;            // "변  경"
  TButton* Button5;            // "새 파 일"
  TButton* Button7;            // "확 인"
  TButton* Button11;           // "취 소"
  TButton* Button8;            // "파일삭제"
  TButton* Button3;            // "아래로합치"
  TButton* Button9;            // "V표만합치"
  TButton* Button6;            // "E x i t"
  TButton* Button10;           // "ZIP자료불러오기": does nothing
  TXbTable* Note2Table;

  void FormActivate(TObject* Sender);
  // Progress reports of the engine: a key code with any bit of 0x7000 is minus the percentage.
  void FormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void ListBox1DblClick(TObject* Sender);
  void ListBox1KeyPress(TObject* Sender, char& Key);
  void Edit1Enter(TObject* Sender);
  void Edit1Exit(TObject* Sender);
  void Edit2KeyPress(TObject* Sender, char& Key);
  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void Button4Click(TObject* Sender);
  void Button5Click(TObject* Sender);
  void Button6Click(TObject* Sender);
  void Button7Click(TObject* Sender);
  void Button8Click(TObject* Sender);
  void Button9Click(TObject* Sender);
  void Button10Click(TObject* Sender);
  void Button11Click(TObject* Sender);

  // Rebuilds the list from the memo files of the data folder and selects the current file.
  void MakeFileList();
  // Makes the selected line the current file (settings fname). With Convert, a file of the
  // old format goes to the converter and the dialog closes. False when no line is selected
  // or the settings could not be written.
  bool SelectFile(bool Convert = true);
  // Appends the records of the selected file that Condition admits ("" all) to the current
  // file.
  void HabFile(const std::string& Condition);

  // Kept between operations: the labels of the file current when the list was last built,
  // the index of its line, the last selected line.
  std::string CurrentLabels;
  int CurrentIndex = -1;
  std::string SelectedLine;

 private:
  std::string Folder() const;
  std::string SelectedText();
  // The name on disk of the data file of a line (its computed name when none exists).
  std::string LineDataName(const std::string& Line);
  // Opens Note2Table on a file of the data folder (closed first).
  void OpenNote2(const std::string& DataName);
  // True when the file's header carries the write and delete protection; the table is left
  // closed.
  bool IsProtected(const std::string& DataName);
  // True, with the reason shown, when the file is protected / the typed name is not plain.
  bool RefuseProtected(const std::string& DataName);
  bool RefuseName(const std::string& BaseName);
  // Opens the file exclusively on Note2Table and keeps it so (until Note2Table is closed
  // and set back to shared); false when another program has it open.
  bool HoldAlone(const std::string& DataName);
  // Shows the name and description entry for a rename (Apply = Button4) or a new file
  // (Button7), or hides it.
  void ShowEntry(TButton* Apply, bool Show);
  void SetCommandsEnabled(bool Enabled);
  // The settings table's fname, trimmed.
  std::string CurrentFileName();
  // False when the settings record could not be locked (the user was told).
  bool SetCurrentFileName(const std::string& DataName);
  bool Rename(const std::string& OldData, const std::string& NewData);
};

extern TFileForm* FileForm;
