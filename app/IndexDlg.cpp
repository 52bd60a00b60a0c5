// TIndexDlg: sorting the note list, the one index-tag builder MakeIndex, and the pack of a note
// file through its work files (IndexDlg.h).
#include "app/IndexDlg.h"

#include <exception>
#include <vector>

#include "app/MainForm.h"
#include "app/NoteFile.h"
#include "app/Udf.h"
#include "app/UdfTable.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/LongOperation.h"

using cp949::K;

TIndexDlg* IndexDlg = nullptr;

const char* const kPackCopyFile = "sort.dbf";
const char* const kPackOrderFile = "sortord.nsx";
const char* const kPackBackupData = "indexbak.db";
const char* const kPackBackupMemo = "indexbak.sm";
const char* const kPackMarkFile = "sort.lck";

bool TakeProgressKey(TGauge& Gauge, uint16_t& Key) {
  // A key code with any of these bits set is a progress report, not a key.
  constexpr uint16_t kGaugeBits = 0x7000;
  if ((Key & kGaugeBits) == 0) return false;
  Gauge.SetProgress(static_cast<uint16_t>(-Key));
  ProcessMessages();
  Key = 0;
  return true;
}

namespace {

// A file's name with its last three characters replaced by ext ("orvel.dbf" -> "orvel.smt").
std::string CompanionName(const std::string& dataName, const char* ext) {
  return dataName.substr(0, dataName.size() >= 3 ? dataName.size() - 3 : 0) + ext;
}

// The path of a file of the folder as it is named on disk (any letter case), or as given.
std::string PathOf(const std::string& folder, const std::string& name) {
  return ResolveFileName(IncludeTrailingPathDelimiter(folder), name);
}

// Removes every file of the folder that carries this name in any letter case.
bool RemoveAllCases(const std::string& folder, const std::string& name) {
  for (std::string found; !(found = FindFileNoCase(folder, name)).empty();)
    if (!DeleteFile(IncludeTrailingPathDelimiter(folder) + found)) return false;
  return true;
}

// A sequence of renames that can be undone in reverse order.
class TRenames {
 public:
  bool Rename(const std::string& from, const std::string& to) {
    if (!RenameFile(from, to)) return false;
    FDone.emplace_back(from, to);
    return true;
  }
  void Undo() {
    for (auto it = FDone.rbegin(); it != FDone.rend(); ++it) RenameFile(it->second, it->first);
    FDone.clear();
  }

 private:
  std::vector<std::pair<std::string, std::string>> FDone;
};

// The stages a pack names in its mark.
const char* const kStageCopy = "copy";
const char* const kStageRename = "rename";

std::string MarkText(const std::string& dataName, const char* stage) { return dataName + "\n" + stage + "\n"; }

// Puts right what the pack named by a held mark left, and removes its work files; false when
// the note file it packed is not whole again, so that the work files (which may hold its notes)
// stay with the mark.
bool SettleInterruptedPack(TLockFile& mark, const std::string& folder) {
  const std::string text = mark.Text();
  const std::size_t end = text.find('\n');
  const std::string dataName = text.substr(0, end);
  const std::string stage = end == std::string::npos ? std::string() : text.substr(end + 1, text.find('\n', end + 1) - end - 1);
  const std::string dir = IncludeTrailingPathDelimiter(folder);
  const std::string copyMemo = CompanionName(kPackCopyFile, "smt");
  auto has = [&](const std::string& name) { return !FindFileNoCase(folder, name).empty(); };
  if (stage == kStageRename && dataName.size() >= 4) {
    const std::string memoName = CompanionName(dataName, "smt");
    const bool data = has(dataName), memo = has(memoName);
    const bool oldData = has(kPackBackupData), oldMemo = has(kPackBackupMemo);
    if (!data && memo && oldData) {
      RenameFile(PathOf(folder, kPackBackupData), dir + dataName);  // cut after the first rename
    } else if (!data && !memo && oldData && oldMemo) {
      RenameFile(PathOf(folder, kPackBackupMemo), dir + memoName);  // after the second
      RenameFile(PathOf(folder, kPackBackupData), dir + dataName);
    } else if (data && !memo && has(copyMemo) && oldMemo) {
      // After the third: the packed data file stands in its place and takes its memo file.
      RenameFile(PathOf(folder, copyMemo), dir + memoName);
      RemoveAllCases(folder, CompanionName(dataName, "nsx"));
    } else if (data && memo && !has(kPackCopyFile) && !has(copyMemo)) {
      RemoveAllCases(folder, CompanionName(dataName, "nsx"));  // renamed; the old order's index may stay
    }
    if (!has(dataName) || !has(memoName)) return false;
  }
  return RemoveAllCases(folder, kPackCopyFile) && RemoveAllCases(folder, copyMemo) &&
         RemoveAllCases(folder, kPackOrderFile);
}

}  // namespace

void RemoveInterruptedPack(const std::string& Folder) {
  if (FindFileNoCase(Folder, kPackMarkFile).empty()) return;
  TLockFile mark(IncludeTrailingPathDelimiter(Folder) + kPackMarkFile);
  if (!mark.TryLock()) return;  // another copy is packing
  mark.Release(SettleInterruptedPack(mark, Folder));
}

TIndexDlg::TIndexDlg(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog("IndexDlg", K("자 료 정 렬"), 360, 300);

  GroupBox1 = new TGroupBox(this);
  GroupBox1->SetName("GroupBox1");
  GroupBox1->SetParent(this);
  GroupBox1->SetBounds(12, 10, 200, 200);
  GroupBox1->SetText(K("자료정렬"));
  TRadioButton** radios[5] = {&RBtn0, &RBtn1, &RBtn2, &RBtn3, &RBtn4};
  for (int i = 0; i < 5; ++i) {
    auto* r = new TRadioButton(this);
    r->SetName("RBtn" + std::to_string(i));
    r->SetParent(GroupBox1);
    r->SetBounds(16, 24 + i * 32, 170, 24);
    *radios[i] = r;
  }
  RBtn0->SetText(K("  입 력 순"));
  RBtn0->SetChecked(true);

  auto button = [this](const char* name, const char* caption, int top) {
    auto* b = new TButton(this);
    b->SetName(name);
    b->SetParent(this);
    b->SetBounds(232, top, 104, 30);
    b->SetText(K(caption));
    return b;
  };
  Button1 = button("Button1", "정  렬", 24);
  Button2 = button("Button2", "거품빼기", 66);
  Button3 = button("Button3", "닫  기", 108);

  Gauge1 = new TGauge(this);
  Gauge1->SetName("Gauge1");
  Gauge1->SetParent(this);
  Gauge1->SetBounds(12, 224, 324, 24);
  Gauge1->SetVisible(false);

  NoteTable = new TXbTable(this);
  NoteTable->SetName("NoteTable");
  Note3Table = new TXbTable(this);
  Note3Table->SetName("Note3Table");
  for (TXbTable* t : {NoteTable, Note3Table}) {
    t->SetTableType(ttXBNSX);
    t->SetOEMTranslate(true);
  }

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { FormKeyDown(s, k, sh); };
  OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
}

void TIndexDlg::FormCreate(TObject*) {
  FFolder = GetCurrentDir();
  NoteTable->SetDatabaseName(FFolder);
  Note3Table->SetDatabaseName(FFolder);
}

void TIndexDlg::FormActivate(TObject*) {
  if (!MainForm) return;
  // A file dialog elsewhere may have moved the current folder; the work files belong in the
  // data folder.
  if (!MainForm->DataFolder.empty()) SetCurrentDir(MainForm->DataFolder);
  FFolder = GetCurrentDir();
  Note3Table->SetDatabaseName(FFolder);
  Button2->SetEnabled(!MainForm->memo1->ReadOnly());
  MainForm->NoteTable->SetDatabaseName(FFolder);
  ShowFieldLabels();
}

void TIndexDlg::ShowFieldLabels() {
  RBtn0->SetText(K("  입 력 순"));
  if (!MainForm) return;
  TLabel* labels[4] = {MainForm->Label1, MainForm->Label2, MainForm->Label3, MainForm->Label4};
  TRadioButton* radios[4] = {RBtn1, RBtn2, RBtn3, RBtn4};
  for (int i = 0; i < 4; ++i) radios[i]->SetText(std::to_string(i + 1) + "." + labels[i]->Caption());
}

void TIndexDlg::FormKeyDown(TObject*, uint16_t& Key, TShiftState) { TakeProgressKey(*Gauge1, Key); }

void TIndexDlg::FormKeyPress(TObject*, char& Key) {
  EnterMovesToNextControl(Key);
}

void TIndexDlg::Button1Click(TObject*) {
  if (!MainForm || !MainForm->NoteTable->Active()) return;
  THourGlass wait;
  TRadioButton* radios[4] = {RBtn1, RBtn2, RBtn3, RBtn4};
  if (RBtn0->Checked()) {
    MainForm->NoteTable->SetOrder(0);
    return;
  }
  for (int i = 0; i < 4; ++i) {
    if (!radios[i]->Checked()) continue;
    const std::string n = std::to_string(i + 1);
    MakeIndex(*MainForm->NoteTable, "TIT" + n, "tit" + n);
  }
}

void TIndexDlg::Button2Click(TObject*) {
  THourGlass wait;
  NotePack();
}

void TIndexDlg::Button3Click(TObject*) { Close(); }

// ---- reopening and the gauge ------------------------------------------------------------

bool TIndexDlg::ReopenExclusive(TXbTable& Table) {
  Table.Close();
  Table.SetExclusive(true);
  try {
    Table.Open();
    return true;
  } catch (const std::exception& e) {
    // Another copy has the file open without holding a lock: work on as before, shared.
    Table.Close();
    Table.SetExclusive(false);
    try {
      Table.Open();
    } catch (const std::exception&) {
      // The reason shown below is the first one; the caller finds the table closed.
    }
    // The table opened shared a moment ago: what keeps it from opening alone is another
    // copy of the program that has it open.
    MessageBox(ExceptionMessageText(e) + K("\r\n다른 곳에서 실행 중인 Orvelane이 이 노트 파일을 쓰고 있습니다. 그 프로그램을 닫고 다시 하세요."),
               ApplicationTitle(), MB_OK | MB_ICONSTOP);
    return false;
  }
}

void TIndexDlg::ReopenShared(TXbTable& Table) {
  Table.Close();
  Table.SetExclusive(false);
  Table.Open();
  Table.Unlock(0);
}

void TIndexDlg::GaugeOn(TXbTable& Table) {
  Gauge1->SetProgress(0);
  Gauge1->SetVisible(true);
  // A tag built for the main window or the batch edits: the dialog stands on top while the
  // engine works, so that the user sees the gauge move, and goes again at the end.
  if (!Showing()) {
    ShowFieldLabels();  // it may never have been opened yet
    ShowInactive(true);
  }
  Table.SetGaugeHook(Handle());
}

void TIndexDlg::GaugeOff(TXbTable& Table) {
  Gauge1->SetVisible(false);
  ShowInactive(false);
  if (Table.Active()) Table.SetGaugeHook(0);
}

// ---- MakeIndex --------------------------------------------------------------------------

bool TIndexDlg::MakeIndex(TXbTable& Table, const std::string& TagName, const std::string& Expression) {
  const bool noteTable = MainForm && &Table == MainForm->NoteTable;
  // The reopen below would drop what is being typed into the note: saved first, or the tag
  // waits until it can be.
  if (noteTable && !MainForm->SaveNote()) return false;
  if (Table.Flock() == 0) {
    ShowMessage(K("독점모드가 아닙니다."));
    return false;
  }
  if (!ReopenExclusive(Table)) return false;

  XbShort made = 0;
  std::exception_ptr failure;
  GaugeOn(Table);
  try {
    TLongOperation busy;
    made = Table.IndexTag(std::string(), TagName, Expression, 0, false, std::string());
  } catch (...) {
    failure = std::current_exception();
  }
  GaugeOff(Table);
  if (!failure && made == 0) ShowMessage("index Err.");
  ReopenShared(Table);

  if (noteTable) {
    // The new tag is the order in force; Tag remembers which title that is.
    if (made != 0 && TagName.size() == 4 && TagName.compare(0, 3, "TIT") == 0 && TagName[3] >= '1' && TagName[3] <= '4')
      MainForm->NoteTable->Tag = TagName[3] - '0';
    // The reopen dropped the engine's query and moved the table: bring both back in view.
    if (!MainForm->Label6->Caption().empty()) MainForm->ApplySearch(MainForm->QueryText);
    MainForm->Label77->SetCaption("..");
    MainForm->NoteDataSourceDataChange(MainForm->NoteDataSource, nullptr);
  }
  if (failure) std::rethrow_exception(failure);
  return made != 0;
}

// ---- NotePack ---------------------------------------------------------------------------

bool TIndexDlg::WritePackCopy(const std::string& Folder) {
  TXbTable& notes = *MainForm->NoteTable;
  TXbEnv& env = *MainForm->XbEnv1;
  const std::string dir = IncludeTrailingPathDelimiter(Folder);
  // The order in force: the key of the active tag, or the record number.
  const std::string key = notes.IndexName.empty() ? std::string("str(recno(),10)") : notes.IndexKey();
  std::string header;
  {
    THeaderRecord at(env, notes);
    header = notes.GetString("tit1") + notes.GetString("tit2");
    at.Leave();
  }

  // A tag of its own, in an index file of its own, puts the header first and then the notes
  // that are not deleted in the order in force; the copy follows it record by record, the
  // header with its deletion mark and every field as it is.
  bool ok = RemoveAllCases(Folder, kPackOrderFile);
  GaugeOn(notes);
  try {
    TLongOperation busy;
    env.SetDeleted(false);
    ok = ok && notes.IndexTag(dir + kPackOrderFile, "PACK", "iif(recno()=1,\"0\",\"1\")+" + key, 0, false,
                              "recno()=1 .or. .not. deleted()") != 0;
    ok = ok && notes.CopyFile(dir + kPackCopyFile) != 0;
  } catch (const std::exception& e) {
    ShowException(e);
    ok = false;
  }
  env.SetDeleted(true);
  GaugeOff(notes);
  notes.Close();
  notes.SetIndexName(std::string());
  RemoveAllCases(Folder, kPackOrderFile);

  // The copy must begin with the header, or it does not take the note file's place.
  if (ok) {
    try {
      Note3Table->Close();
      Note3Table->SetDatabaseName(Folder);
      Note3Table->SetTableName(kPackCopyFile);
      Note3Table->Open();
      THeaderRecord at(env, *Note3Table);
      Note3Table->SelectWorkArea();
      ok = Note3Table->RecNo() == 1 && Note3Table->GetString("tit1") + Note3Table->GetString("tit2") == header;
      // A header that had lost its deletion mark would show as a note: it gets it back.
      if (ok && Note3Table->xb_Deleted() == 0) Note3Table->Delete();
      at.Leave();
    } catch (const std::exception&) {
      ok = false;
    }
    Note3Table->Close();
  }
  if (!ok) {
    RemoveAllCases(Folder, kPackCopyFile);
    RemoveAllCases(Folder, CompanionName(kPackCopyFile, "smt"));
    ShowMessage("Copy File Error..");
  }
  return ok;
}

bool TIndexDlg::NotePack() {
  if (!MainForm || !MainForm->NoteTable->Active() || !MainForm->ConTable->Active()) return false;
  TXbTable& notes = *MainForm->NoteTable;
  const std::string folder = FFolder.empty() ? GetCurrentDir() : FFolder;
  const std::string dataName = Trim(MainForm->ConTable->GetString("fname"));
  if (dataName.size() < 4) return false;
  const std::string memoName = CompanionName(dataName, "smt");
  const std::string indexName = CompanionName(dataName, "nsx");

  // One pack at a time in a folder; what a pack cut short left is put right first.
  TLockFile mark(IncludeTrailingPathDelimiter(folder) + kPackMarkFile);
  if (!mark.TryLock()) {
    ShowMessage(K("다른 곳에서 실행 중인 Orvelane이 이 폴더에서 거품빼기를 하고 있습니다. 끝난 뒤에 다시 하세요."));
    return false;
  }
  if (!SettleInterruptedPack(mark, folder)) {
    ShowMessage(K("끊긴 거품빼기의 작업 파일을 정리할 수 없습니다: ") + IncludeTrailingPathDelimiter(folder) + kPackMarkFile);
    mark.Release(false);
    return false;
  }
  mark.SetText(MarkText(dataName, kStageCopy));

  // The files are about to be renamed under every other copy of the program.
  if (notes.Flock() == 0) {
    ShowMessage(K("독점모드가 아닙니다."));
    return false;
  }
  if (!ReopenExclusive(notes)) return false;

  bool packed = false;
  if (WritePackCopy(folder)) {
    const std::string dataPath = PathOf(folder, dataName);
    const std::string memoPath = PathOf(folder, memoName);
    const std::string dir = IncludeTrailingPathDelimiter(folder);
    // The index describes the old record order; it is rebuilt on demand.
    TRenames renames;
    std::string failed;
    if (!mark.SetText(MarkText(dataName, kStageRename))) failed = kPackMarkFile;
    if (failed.empty() && (!RemoveAllCases(folder, kPackBackupData) || !RemoveAllCases(folder, kPackBackupMemo)))
      failed = kPackBackupData;
    if (failed.empty() && !renames.Rename(dataPath, dir + kPackBackupData)) failed = dataPath;
    if (failed.empty() && !renames.Rename(memoPath, dir + kPackBackupMemo)) failed = memoPath;
    if (failed.empty() && !renames.Rename(dir + kPackCopyFile, dataPath)) failed = kPackCopyFile;
    if (failed.empty() && !renames.Rename(PathOf(folder, CompanionName(kPackCopyFile, "smt")), memoPath))
      failed = CompanionName(kPackCopyFile, "smt");
    if (failed.empty() && !RemoveAllCases(folder, indexName)) failed = indexName;
    if (failed.empty()) {
      packed = true;
    } else {
      renames.Undo();
      RemoveAllCases(folder, kPackCopyFile);
      RemoveAllCases(folder, CompanionName(kPackCopyFile, "smt"));
      ShowMessage(K("  파일 이름을 바꿀 수 없습니다: ") + failed);
    }
  }

  notes.Close();
  notes.SetIndexName(std::string());
  notes.SetExclusive(false);
  notes.Open();
  notes.Unlock(0);
  notes.SetOrder(0);
  MainForm->NoteTable->Tag = 0;
  return packed;
}
