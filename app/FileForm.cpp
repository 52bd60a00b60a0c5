// TFileForm: the file store's list, selection, rename, new file, delete and merge (FileForm.h).
#include "app/FileForm.h"

#include <cerrno>

#include <exception>

#include "app/IndexDlg.h"
#include "app/MainForm.h"
#include "app/NoteFile.h"
#include "app/Udf.h"
#include "app/UdfTable.h"
#include "components/IMEControl.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/LongOperation.h"
#include "platform/ui/ProcessStart.h"
#include "platform/ui/ShellApi.h"

using cp949::K;

TFileForm* FileForm = nullptr;

const char* const kConverterProgram = "mivert";

const std::string& OldFormatMarker() {
  static const std::string marker = StrPadR(K("   < Orvelane 1.5  형식 >"), kDescriptionWidth);
  return marker;
}

namespace {

// A note file of the old 1.5 format has exactly this many fields.
constexpr int kOldFormatFieldCount = 8;
// The converter's command line lives in an 80-byte buffer on the system it comes from.
constexpr std::size_t kCommandLineLimit = 79;
// Byte offset of the memo name in a line (characters 43 to 54).
constexpr std::size_t kNameOffset = kDescriptionWidth + 2;
constexpr const char* kMarkedOnly = "chk=\"v\"";

bool IsOldFormatLine(const std::string& line) { return StrLeft(line, kDescriptionWidth) == OldFormatMarker(); }

// An index file is kept only beside its data file: one left behind by a deleted or renamed
// file would be opened with the next file of that name and give it another file's tags.
void RemoveStaleIndex(const std::string& folder, const std::string& dataName) {
  if (FileExistsNoCase(folder, dataName)) return;
  const std::string index = FirstName(dataName) + ".nsx";
  for (std::string found; !(found = FindFileNoCase(folder, index)).empty();)
    if (!DeleteFile(IncludeTrailingPathDelimiter(folder) + found)) return;
}

// The name of a file of the folder other than own that a new name would take, or "".
std::string TakenBy(const std::string& folder, const std::string& name, const std::string& own) {
  const std::string found = FindFileNoCase(folder, name);
  return found == own ? std::string() : found;
}

}  // namespace

// ---- line layout ------------------------------------------------------------------------

std::string FileListLine(const std::string& Description, const std::string& MemoName, long Count) {
  const std::string count = std::to_string(Count);
  return StrPadR(Description, kDescriptionWidth) + "  " + SmtName12(MemoName) + "  " +
         StrSpace(kListCountWidth - static_cast<int>(count.size())) + count;
}

std::string LineMemoName(const std::string& Line) {
  if (Line.size() <= kNameOffset) return std::string();
  return Trim(Line.substr(kNameOffset, kListNameWidth));
}

std::string DbfName(const std::string& Name) {
  return Name.substr(0, Name.size() >= 3 ? Name.size() - 3 : 0) + "dbf";
}

std::string SmtName(const std::string& Name) {
  return Name.substr(0, Name.size() >= 3 ? Name.size() - 3 : 0) + "smt";
}

std::string FirstName(const std::string& Name) { return Name.substr(0, Name.size() >= 4 ? Name.size() - 4 : 0); }

std::string SmtName12(const std::string& Name) { return StrSpace(kListNameWidth - static_cast<int>(Name.size())) + Name; }

bool PlainNoteName(const std::string& BaseName) {
  if (BaseName.empty() || BaseName.size() > static_cast<std::size_t>(kBaseNameWidth) || BaseName[0] == '.') return false;
  // Trail bytes of two-byte characters never take these values, so a byte scan is exact.
  for (char c : BaseName) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) return false;
    for (char bad : std::string_view("/\\:*?\"<>|"))
      if (c == bad) return false;
  }
  return true;
}

// ---- the form ---------------------------------------------------------------------------

TFileForm::TFileForm(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog("FileForm", K("파 일 창 고"), 700, 420);

  // The columns of a line line up only in a fixed-pitch face with double-width Hangul.
  TFont fixed;
  fixed.SetName(K("굴림체"));
  fixed.SetPitch(fpFixed);
  fixed.SetSize(10);

  ListBox1 = new TListBox(this);
  ListBox1->SetName("ListBox1");
  ListBox1->SetParent(this);
  ListBox1->SetBounds(12, 12, 560, 280);
  ListBox1->SetFont(fixed);
  ListBox1->SetSorted(true);

  auto button = [this](const char* name, const char* caption, int left, int top) {
    auto* b = new TButton(this);
    b->SetName(name);
    b->SetParent(this);
    b->SetBounds(left, top, 104, 28);
    b->SetText(K(caption));
    return b;
  };
  Button2 = button("Button2", "파일선택", 584, 12);
  Button1 = button("Button1", "파 일 명", 584, 44);
  Button5 = button("Button5", "새 파 일", 584, 76);
  Button8 = button("Button8", "파일삭제", 584, 108);
  Button3 = button("Button3", "아래로합치", 584, 148);
  Button9 = button("Button9", "V표만합치", 584, 180);
  Button10 = button("Button10", "ZIP자료불러오기", 584, 220);
  Button6 = button("Button6", "E x i t", 584, 264);

  Label2 = new TLabel(this);
  Label2->SetName("Label2");
  Label2->SetParent(this);
  Label2->SetBounds(12, 302, 64, 20);
  Label2->SetCaption(K("바탕파일"));
  Label1 = new TLabel(this);
  Label1->SetName("Label1");
  Label1->SetParent(this);
  Label1->SetBounds(80, 302, 560, 20);
  Label1->SetFont(fixed);

  // Description first: the entry starts there and Enter moves on to the name.
  Edit2 = new TEdit(this);
  Edit2->SetName("Edit2");
  Edit2->SetParent(this);
  Edit2->SetBounds(12, 332, 330, 24);
  Edit2->SetMaxLength(kDescriptionWidth);
  Edit2->ImeMode = imHanguel;
  Edit1 = new TMaskEdit(this);
  Edit1->SetName("Edit1");
  Edit1->SetParent(this);
  Edit1->SetBounds(350, 332, 100, 24);
  Edit1->SetEditMask("cccccccc");
  Edit1->SetMaxLength(kBaseNameWidth);
  Edit1->ImeMode = imAlpha;
  Button4 = button("Button4", "변  경", 460, 330);
  Button7 = button("Button7", "확 인", 460, 330);
  Button11 = button("Button11", "취 소", 570, 330);
  for (TControl* c : std::initializer_list<TControl*>{Edit1, Edit2, Button4, Button7, Button11}) c->SetVisible(false);

  Gauge1 = new TGauge(this);
  Gauge1->SetName("Gauge1");
  Gauge1->SetParent(this);
  Gauge1->SetBounds(12, 370, 560, 22);
  Gauge1->SetVisible(false);

  FileListBox1 = new TFileListBox(this);
  FileListBox1->SetName("FileListBox1");
  FileListBox1->SetParent(this);
  FileListBox1->SetVisible(false);
  FileListBox1->SetMask("*.smt");

  Note2Table = new TXbTable(this);
  Note2Table->SetName("Note2Table");
  Note2Table->SetTableType(ttXBNSX);
  Note2Table->SetOEMTranslate(true);

  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { FormKeyDown(s, k, sh); };
  ListBox1->OnDblClick = [this](TObject* s) { ListBox1DblClick(s); };
  ListBox1->OnKeyPress = [this](TObject* s, char& k) { ListBox1KeyPress(s, k); };
  Edit1->OnEnter = [this](TObject* s) { Edit1Enter(s); };
  Edit1->OnExit = [this](TObject* s) { Edit1Exit(s); };
  Edit1->OnKeyPress = [this](TObject* s, char& k) { Edit2KeyPress(s, k); };
  Edit2->OnKeyPress = [this](TObject* s, char& k) { Edit2KeyPress(s, k); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
  Button4->OnClick = [this](TObject* s) { Button4Click(s); };
  Button5->OnClick = [this](TObject* s) { Button5Click(s); };
  Button6->OnClick = [this](TObject* s) { Button6Click(s); };
  Button7->OnClick = [this](TObject* s) { Button7Click(s); };
  Button8->OnClick = [this](TObject* s) { Button8Click(s); };
  Button9->OnClick = [this](TObject* s) { Button9Click(s); };
  Button10->OnClick = [this](TObject* s) { Button10Click(s); };
  Button11->OnClick = [this](TObject* s) { Button11Click(s); };
}

std::string TFileForm::Folder() const {
  if (MainForm && !MainForm->NoteTable->DatabaseName.empty()) return MainForm->NoteTable->DatabaseName;
  if (MainForm && !MainForm->DataFolder.empty()) return MainForm->DataFolder;
  return GetCurrentDir();
}

std::string TFileForm::CurrentFileName() {
  if (!MainForm || !MainForm->ConTable->Active()) return std::string();
  return Trim(MainForm->ConTable->GetString("fname"));
}

bool TFileForm::SetCurrentFileName(const std::string& DataName) {
  if (!MainForm || !MainForm->ConTable->Active()) return false;
  if (!ReplaceLocked(*MainForm->ConTable, "fname", DataName)) return false;
  MainForm->ConTable->Commit();
  return true;
}

std::string TFileForm::SelectedText() {
  const int i = ListBox1->ItemIndex();
  if (i < 0 || i >= ListBox1->Items().Count()) return std::string();
  return ListBox1->Items()[i];
}

std::string TFileForm::LineDataName(const std::string& Line) {
  const std::string computed = DbfName(LineMemoName(Line));
  const std::string onDisk = FindFileNoCase(Folder(), computed);
  return onDisk.empty() ? computed : onDisk;
}

void TFileForm::OpenNote2(const std::string& DataName) {
  Note2Table->Close();
  Note2Table->SetDatabaseName(Folder());
  Note2Table->SetTableName(DataName);
  Note2Table->Open();
}

bool TFileForm::RefuseProtected(const std::string& DataName) {
  if (!IsProtected(DataName)) return false;
  ShowMessage(DataName + K(" 파일은 쓰기,삭제방지 파일입니다."));
  return true;
}

bool TFileForm::RefuseName(const std::string& BaseName) {
  if (PlainNoteName(BaseName)) return false;
  ShowMessage(K("파일 이름으로 쓸 수 없습니다: ") + BaseName);
  return true;
}

bool TFileForm::IsProtected(const std::string& DataName) {
  bool locked = false;
  try {
    OpenNote2(DataName);
    if (Note2Table->FindField("lock")) {
      THeaderRecord at(*MainForm->XbEnv1, *Note2Table);
      locked = Note2Table->GetString("lock") == "1";
      at.Leave();
    }
  } catch (const std::exception&) {
    // A file that does not open is not listed; nothing to protect here.
  }
  Note2Table->Close();
  return locked;
}

bool TFileForm::HoldAlone(const std::string& DataName) {
  Note2Table->Close();
  Note2Table->SetExclusive(true);
  try {
    OpenNote2(DataName);
    return true;
  } catch (const std::exception&) {
    Note2Table->Close();
    Note2Table->SetExclusive(false);
    return false;
  }
}

void TFileForm::ShowEntry(TButton* Apply, bool Show) {
  Edit1->SetVisible(Show);
  Edit2->SetVisible(Show);
  Button4->SetVisible(Show && Apply == Button4);
  Button7->SetVisible(Show && Apply == Button7);
  Button11->SetVisible(Show && Apply == Button7);
}

void TFileForm::SetCommandsEnabled(bool Enabled) {
  for (TButton* b : {Button1, Button2, Button3, Button5, Button6, Button8, Button9}) b->SetEnabled(Enabled);
}

// ---- events -----------------------------------------------------------------------------

void TFileForm::FormActivate(TObject*) {
  if (!MainForm) return;
  SetCurrentDir(Folder());
  ShowEntry(nullptr, false);
  SetCommandsEnabled(true);
  Note2Table->Close();
  MakeFileList();
  // A note file whose name has no CP949 form cannot be listed under its name: say which.
  std::string unnamed;
  for (const std::string& m : FileListBox1->UnnamedFiles()) unnamed += (unnamed.empty() ? "" : "\n") + m;
  if (!unnamed.empty()) ShowMessage(unnamed);
  if (ListBox1->CanFocus()) ListBox1->SetFocus();
  Button3->SetEnabled(true);
  Button9->SetEnabled(true);
}

void TFileForm::FormKeyDown(TObject*, uint16_t& Key, TShiftState) { TakeProgressKey(*Gauge1, Key); }

void TFileForm::ListBox1DblClick(TObject*) {
  SelectFile();
  SetModalResult(mrOk);
}

void TFileForm::ListBox1KeyPress(TObject*, char& Key) {
  if (Key != '\r') return;
  Key = 0;
  SelectFile();
  SetModalResult(mrOk);
}

// File names are typed in Latin letters, everything else in Hangul.
void TFileForm::Edit1Enter(TObject*) {
  if (MainForm && MainForm->IMEControl1) MainForm->IMEControl1->SetIMEMode(isEnglish);
}

void TFileForm::Edit1Exit(TObject*) {
  if (MainForm && MainForm->IMEControl1) MainForm->IMEControl1->SetIMEMode(isHanguel);
}

void TFileForm::Edit2KeyPress(TObject* Sender, char& Key) {
  if (Key != '\r') return;
  SelectNext(dynamic_cast<TWinControl*>(Sender), true, true);
  Key = 0;
}

void TFileForm::Button2Click(TObject*) { SelectFile(); }

void TFileForm::Button6Click(TObject*) { Close(); }

void TFileForm::Button3Click(TObject*) { HabFile(std::string()); }

void TFileForm::Button9Click(TObject*) { HabFile(kMarkedOnly); }

// Reading zip archives is not offered by the file store; the button stays without effect.
void TFileForm::Button10Click(TObject*) {}

// ---- the list ---------------------------------------------------------------------------

void TFileForm::MakeFileList() {
  if (!MainForm) return;
  const std::string folder = Folder();
  FileListBox1->SetDirectory(folder);
  ListBox1->Items().Clear();
  const std::string current = CurrentFileName();
  std::string currentLine;
  for (int i = 0; i < FileListBox1->Items().Count(); ++i) {
    const std::string memo = FileListBox1->Items()[i];
    // The line names its file by the memo name in 12 places: a longer name, or one with
    // blanks at its ends, could not be read back as the same file.
    if (memo.size() < 5 || memo.size() > static_cast<std::size_t>(kListNameWidth) || Trim(memo) != memo) continue;
    const std::string data = FindFileNoCase(folder, DbfName(memo));
    if (data.empty()) continue;
    std::string line, labels;
    try {
      OpenNote2(data);
      THeaderRecord at(*MainForm->XbEnv1, *Note2Table);
      const bool oldFormat = Note2Table->FieldCount() == kOldFormatFieldCount;
      const std::string description =
          oldFormat ? OldFormatMarker() : StrPadR(Note2Table->GetString("tit2"), kDescriptionWidth);
      if (Note2Table->FindField("tit1")) labels = Trim(Note2Table->GetString("tit1"));
      line = FileListLine(description, memo, static_cast<long>(Note2Table->RecCount() - 1));
      at.Leave();
    } catch (const std::exception&) {
      // A file that cannot be opened or read is left out of the list.
      line.clear();
    }
    Note2Table->Close();
    if (line.empty()) continue;
    ListBox1->Items().Add(line);
    if (data == current) {
      currentLine = line;
      CurrentLabels = labels;
    }
  }

  CurrentIndex = -1;
  for (int i = 0; i < ListBox1->Items().Count() && !currentLine.empty(); ++i)
    if (ListBox1->Items()[i] == currentLine) CurrentIndex = i;
  const int shown = CurrentIndex >= 0 ? CurrentIndex : (ListBox1->Items().Count() > 0 ? 0 : -1);
  ListBox1->SetItemIndex(shown);
  Label1->SetCaption(shown >= 0 ? ListBox1->Items()[shown] : std::string());
}

bool TFileForm::SelectFile(bool Convert) {
  const std::string line = SelectedText();
  if (line.empty()) return false;
  SelectedLine = line;
  Label1->SetCaption(line + ".");
  const std::string data = LineDataName(line);
  // A refused settings lock was told to the user; what follows would act on another file.
  if (!SetCurrentFileName(data)) return false;
  if (Convert && IsOldFormatLine(line)) {
    const std::string command = std::string(kConverterProgram) + "  " + data;
    if (command.size() > kCommandLineLimit || WinExec(command, SW_HIDE) <= 31)
      ShowMessage(std::string(kConverterProgram) + K(" 변환 프로그램을 시작할 수 없습니다."));
    SetModalResult(mrOk);
  }
  return true;
}

// ---- rename -----------------------------------------------------------------------------

void TFileForm::Button1Click(TObject*) {
  if (Edit1->Visible()) {
    ShowEntry(nullptr, false);
    return;
  }
  const std::string line = SelectedText();
  if (!SelectFile()) return;
  // An old-format file went to the converter and the dialog is closing.
  if (IsOldFormatLine(line)) return;
  if (RefuseProtected(CurrentFileName())) return;
  ShowEntry(Button4, true);
  Edit1->SetText(FirstName(CurrentFileName()));
  Edit2->SetText(StrRTrim(StrLeft(line, kDescriptionWidth)));
  if (Edit2->CanFocus()) Edit2->SetFocus();
}

void TFileForm::Button4Click(TObject*) {
  if (!MainForm) return;
  const std::string oldData = CurrentFileName();
  const std::string typed = Trim(Edit1->Text());
  if (RefuseName(typed)) return;
  if (RefuseProtected(oldData)) {
    ShowEntry(nullptr, false);
    return;
  }
  // The name as it stands keeps its letter case; a new name takes the case typed.
  const std::string newData = typed == FirstName(oldData) ? oldData : NoteDataFileName(typed);

  try {
    OpenNote2(oldData);
    THeaderRecord at(*MainForm->XbEnv1, *Note2Table);
    if (ReplaceLocked(*Note2Table, "tit2", Edit2->Text())) Note2Table->Commit();
    at.Leave();
  } catch (const std::exception& e) {
    ShowException(e);
  }
  Note2Table->Close();

  if (newData != oldData) Rename(oldData, newData);
  MakeFileList();
  ShowEntry(nullptr, false);
}

bool TFileForm::Rename(const std::string& OldData, const std::string& NewData) {
  const std::string folder = Folder();
  const std::string dir = IncludeTrailingPathDelimiter(folder);
  const std::string oldMemo = FindFileNoCase(folder, SmtName(OldData));
  const std::string newMemo = SmtName(NewData);
  const std::string taken = K("파일이 있습니다!");
  // Both names are checked before anything moves, so a refusal leaves the pair as it was.
  if (!TakenBy(folder, NewData, OldData).empty()) {
    ShowMessage(NewData + taken);
    return false;
  }
  if (!TakenBy(folder, newMemo, oldMemo).empty()) {
    ShowMessage(newMemo + taken);
    return false;
  }
  // A name taken meanwhile is said as above; any other failure with the system's reason.
  auto refused = [&](const std::string& from, const std::string& to, int error) {
    if (!TakenBy(folder, to, from).empty() || FileExists(dir + to) || DirectoryExists(dir + to))
      ShowMessage(to + taken);
    else
      ShowMessage(K("파일 이름을 바꿀 수 없습니다: ") + from + " -> " + to + "\r\n" + SysErrorMessage(error));
  };
  RemoveStaleIndex(folder, NewData);
  if (!RenameFile(dir + OldData, dir + NewData)) {
    refused(OldData, NewData, errno);
    return false;
  }
  if (oldMemo.empty() || !RenameFile(dir + oldMemo, dir + newMemo)) {
    const int error = oldMemo.empty() ? ENOENT : errno;
    // The data file goes back to its name: a data file without its memo file cannot open.
    RenameFile(dir + NewData, dir + OldData);
    refused(oldMemo.empty() ? SmtName(OldData) : oldMemo, newMemo, error);
    return false;
  }
  SetCurrentFileName(NewData);
  return true;
}

// ---- new file ---------------------------------------------------------------------------

void TFileForm::Button5Click(TObject*) {
  if (Edit1->Visible()) {
    ShowEntry(nullptr, false);
    return;
  }
  // The selection is remembered; an old-format file is not converted by starting a new file.
  SelectFile(false);
  ShowEntry(Button7, true);
  Edit1->Clear();
  Edit2->Clear();
  if (Edit2->CanFocus()) Edit2->SetFocus();
  SetCommandsEnabled(false);
}

void TFileForm::Button11Click(TObject*) {
  ShowEntry(nullptr, false);
  SetCommandsEnabled(true);
}

void TFileForm::Button7Click(TObject*) {
  if (!MainForm) return;
  const std::string typed = Trim(Edit1->Text());
  if (typed.empty()) return;
  if (RefuseName(typed)) return;
  const std::string folder = Folder();
  const std::string data = NoteDataFileName(typed);
  const std::string memo = SmtName(data);
  const std::string exists = K(" 파일이 이미 있습니다.");
  if (FileExistsNoCase(folder, data)) {
    ShowMessage(data + exists);
  } else if (FileExistsNoCase(folder, memo)) {
    // A memo file without its data file may still hold the bodies of lost notes.
    ShowMessage(memo + exists);
  } else {
    RemoveStaleIndex(folder, data);
    Note2Table->Close();
    try {
      // Refusals of the engine are told by the creation; the entry stays for another name.
      if (!CreateNoteFile(*Note2Table, *MainForm->ConTable, folder, typed, CurrentLabels, Edit2->Text())) return;
    } catch (const std::exception& e) {
      ShowException(e);
    }
    Note2Table->Close();
  }
  MakeFileList();
  ShowEntry(nullptr, false);
  SetCommandsEnabled(true);
}

// ---- delete -----------------------------------------------------------------------------

void TFileForm::Button8Click(TObject*) {
  const std::string line = SelectedText();
  if (line.empty()) return;
  const std::string folder = Folder();
  const std::string dir = IncludeTrailingPathDelimiter(folder);
  const std::string memo = LineMemoName(line);
  const std::string data = LineDataName(line);
  if (RefuseProtected(data)) return;
  if (MessageBox(data + K(" 삭제 할까요?"), ApplicationTitle(), MB_YESNO | MB_ICONWARNING) != IDYES) return;
  // A running copy that has the file open would go on writing notes into a file that no
  // longer has a name. The file is held alone until both names are gone, so no copy can
  // open it between this check and the delete either.
  if (!HoldAlone(data)) {
    ShowMessage(data + K(" 파일을 다른 곳에서 쓰고 있어 지울 수 없습니다."));
    return;
  }
  const std::string cannot = K(" 파일을 지울 수 없습니다.");
  // The memo first: without its data file the pair is gone from the list either way, and a
  // data file whose memo could not be removed is kept whole.
  const bool memoGone = DeleteFile(dir + memo);
  const bool dataGone = memoGone && DeleteFile(dir + data);
  Note2Table->Close();
  Note2Table->SetExclusive(false);
  if (!memoGone)
    ShowMessage(memo + cannot);
  else if (!dataGone)
    ShowMessage(data + cannot);
  MakeFileList();
  SelectFile(false);
}

// ---- merge ------------------------------------------------------------------------------

void TFileForm::HabFile(const std::string& Condition) {
  if (!MainForm) return;
  const std::string line = SelectedText();
  if (line.empty()) return;
  const std::string source = LineDataName(line);
  const std::string shown = StrRTrim(StrLeft(line, 20));
  const std::string target = CurrentFileName();
  if (source == target) {
    ShowMessage(K(" 합칠파일을 먼저 선택하고 하세요.."));
    return;
  }
  if (RefuseProtected(target)) return;
  const std::string question =
      "\"" + shown + K(Condition.empty() ? "\" 을 아래 바탕파일로 합칠까요?" : "\" V표만 아래 바탕파일로 합칠까요?");
  if (MessageBox(question, ApplicationTitle(), MB_YESNO | MB_ICONQUESTION) != IDYES) return;

  THourGlass wait;
  bool merged = false, raised = false;
  try {
    OpenNote2(target);
    Gauge1->SetProgress(0);
    Gauge1->SetVisible(true);
    Note2Table->SetGaugeHook(Handle());
    // The source's deleted records (its header among them) stay behind: deleted records are
    // hidden while the engine appends, whatever an earlier reader left.
    MainForm->XbEnv1->SetDeleted(true);
    TLongOperation busy;
    merged = Note2Table->AppendFrom(IncludeTrailingPathDelimiter(Folder()) + source, kNoteTableTypeCode, Condition) != 0;
    if (merged) Note2Table->Commit();
  } catch (const std::exception& e) {
    ShowException(e);
    raised = true;
  }
  if (Note2Table->Active()) Note2Table->SetGaugeHook(0);
  Note2Table->Close();
  Gauge1->SetVisible(false);
  if (merged)
    MakeFileList();
  else if (!raised)
    ShowMessage(K("합치기 Error.."));
}
