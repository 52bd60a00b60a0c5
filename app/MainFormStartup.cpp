// TMainForm: creation, first activation, opening the current note file, the dialog launchers
// and closing (MainForm.h).
#include "app/ConvForm.h"
#include "app/FileForm.h"
#include "app/FindForm.h"
#include "app/IndexDlg.h"
#include "app/MainForm.h"
#include "app/ModalRunner.h"
#include "app/NotePrnForm.h"
#include "app/NoteFile.h"
#include "app/PrnList.h"
#include "app/ScrollForm.h"
#include "app/SetForm.h"
#include "app/Udf.h"
#include "app/UdfTable.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/ShellApi.h"
#include "table/XbEngine.h"

using cp949::K;

namespace {

// A note file of the old 1.5 format has exactly this many fields; it is only converted.
constexpr int kOldFormatFieldCount = 8;
constexpr int kMinimumWidth = 300;

}  // namespace

// ---- creation ---------------------------------------------------------------------------

void TMainForm::FormCreate(TObject*) {
  // Without the engine the application is already ending and the user has been told, while
  // the window was made; there is nothing to open, and nothing to tell twice.
  if (!XbEngineReady() && TerminateRequested()) return;
  EnsureEngineLoaded();
  if (!XbEngineReady()) return;
  SetSortTable();

  if (Application) Application->SetHintPause(100);
  Panel2->SetHeight(156);
  Panel4->SetHeight(126);

  DataFolder = GetCurrentDir();
  const std::string unnamed = CurrentDirError();
  if (!unnamed.empty()) {
    // Every note file is named relative to the data folder: without a name for it inside the
    // program nothing could be opened or saved reliably.
    ShowMessage(unnamed);
    RequestTerminate();
    return;
  }
  for (TXbTable* t : {ConTable, NoteTable, PreTable, FFdbTable}) t->SetDatabaseName(DataFolder);

  const std::string sound = FindFileNoCase(DataFolder, "ORVEL.WAV");
  if (!sound.empty()) {
    MediaPlayer1->Enabled = true;
    MediaPlayer1->FileName = IncludeTrailingPathDelimiter(DataFolder) + sound;
    try {
      MediaPlayer1->Open();
      MediaPlayer1->Play();
    } catch (const Exception&) {
      // The start sound is a greeting; a file the player cannot take is passed over.
    }
  }

  PlaceShippedFiles(DataFolder);
  RemoveInterruptedPack(DataFolder);

  try {
    ConTable->SetTableName(kSettingsFile);
    ConTable->Open();
  } catch (const std::exception& e) {
    // Without its settings the program cannot start: say why and end.
    ShowException(e);
    RequestTerminate();
    return;
  }

  if (ConTable->GetString("d2") != kSettingsVersion) {
    ReplaceLocked(*ConTable, "d2", kSettingsVersion);
    ReplaceLocked(*ConTable, "fname", kSampleNoteFile);
  }

  Label6->SetCaption(std::string());
  LinkDir.clear();
  LastClickX = -1;
  FirstActivation = true;
  SavedPanelHeight = 0;
}

// ---- first activation -------------------------------------------------------------------

void TMainForm::FormActivate(TObject*) {
  if (!FirstActivation || !ConTable->Active()) return;
  FirstActivation = false;

  SetBounds(StrToIntZero(Trim(ConTable->GetString("n1"))), StrToIntZero(Trim(ConTable->GetString("n2"))),
            StrToIntZero(Trim(ConTable->GetString("n3"))), StrToIntZero(Trim(ConTable->GetString("n4"))));
  SetCurrentDir(DataFolder);
  if (!cmdChoDbfClick()) return;

  if (Width() < kMinimumWidth) SetBounds(Left(), Top(), 640, 480);
  SetWindowState(Trim(ConTable->GetString("k1")).empty() ? wsNormal : wsMaximized);

  const std::string face = Trim(ConTable->GetString("font3"));
  if (!face.empty()) {
    TFont f;
    f.Assign(&TempEd->Font());
    f.SetName(face);
    f.SetSize(StrToIntZero(Trim(ConTable->GetString("fsize3"))));
    f.SetStyle(Trim(ConTable->GetString("ftype3")) == "1" ? TFontStyles{fsBold} : TFontStyles{});
    f.SetColor(CodeToColor(ConTable->GetString(ScreenColourField(*ConTable))));
    TempEd->SetFont(f);
  }
  Timer1->SetEnabled(true);
}

void TMainForm::Timer1Timer(TObject*) {
  memo1->SetFont(TempEd->Font());
  Timer1->SetEnabled(false);
}

// ---- opening the current note file ------------------------------------------------------

bool TMainForm::ProbeNoteFile(const std::string& FileName) {
  PreTable->Close();
  if (FileName.empty()) return false;
  try {
    PreTable->SetDatabaseName(DataFolder);
    PreTable->SetTableName(FileName);
    PreTable->Open();
    // An old-format file is for the converter only.
    const bool usable = PreTable->FieldCount() != kOldFormatFieldCount && PreTable->FindField("tit1") &&
                        PreTable->FindField("tit4");
    if (usable) {
      Tit1Width = static_cast<int>(PreTable->GetString("tit1").size());
      Tit4Width = static_cast<int>(PreTable->GetString("tit4").size());
    }
    PreTable->Close();
    return usable;
  } catch (const std::exception&) {
    PreTable->Close();
    return false;
  }
}

void TMainForm::OpenNoteFile(const std::string& FileName) {
  FreshNoteRecNo = 0;
  NoteTable->Close();
  NoteTable->SetTableName(FileName);
  NoteTableTIT1->SetSize(Tit1Width);
  NoteTableTIT1->SetDisplayWidth(Tit1Width);
  NoteTableTIT4->SetSize(Tit4Width);
  NoteTableTIT4->SetDisplayWidth(Tit4Width);
  NoteTable->Open();
}

bool TMainForm::cmdChoDbfClick() {
  std::string fileName;
  for (int attempt = 0;; ++attempt) {
    fileName = Trim(ConTable->GetString("fname"));
    if (ProbeNoteFile(fileName)) {
      try {
        OpenNoteFile(fileName);
        break;
      } catch (const std::exception&) {
        NoteTable->Close();
      }
    }
    // After one visit to the file store without result the user may stop instead of being
    // sent there again and again.
    if (attempt > 0) {
      const std::string question = K("노트 파일을 열 수 없습니다: ") + fileName +
                                   K("\r\n파일창고에서 파일을 고르거나 새로 만들까요?\r\n(아니오: 끝내기)");
      if (MessageBox(question, ApplicationTitle(), MB_YESNO | MB_ICONQUESTION) != IDYES) {
        Close();
        return false;
      }
    }
    RunModal(*FileForm);
  }

  AttachDisplay(false);
  bool readOnly = false;
  {
    THeaderRecord header(*XbEnv1, *NoteTable);
    readOnly = NoteTable->GetString("lock") == "1";
    for (TEdit* e : {Edit1, Edit2, Edit3, Edit4}) e->SetReadOnly(readOnly);
    memo1->SetReadOnly(readOnly);
    SBar->Panels()[1].SetText(readOnly ? K("쓰기방지") : std::string());
    SpeedButton2->SetEnabled(!readOnly);

    LinkPath = Trim(NoteTable->GetString("tit3"));
    if (!LinkPath.empty() && LinkPath[0] == '.')
      LinkDir = Trim(DataFolder) + LinkPath.substr(1);
    else
      LinkDir = LinkPath;
    if (LinkDir.empty()) LinkDir = DataFolder;

    const std::array<std::string, 4> labels = HeaderLabels(NoteTable->GetString("tit1"));
    TLabel* captions[4] = {Label1, Label2, Label3, Label4};
    TStringField* columns[4] = {NoteTableTIT1, NoteTableTIT2, NoteTableTIT3, NoteTableTIT4};
    for (int i = 0; i < 4; ++i) {
      captions[i]->SetCaption(labels[i]);
      SeekComboBox->Items().Put(i, labels[i]);
      // The note list heads its title columns with the file's labels too.
      columns[i]->SetDisplayLabel(Trim(labels[i]));
    }
    SetCaption(Trim(NoteTable->GetString("tit2")) + kCaptionSuffix[MakerVariant()]);
    header.Leave(readOnly ? heGoTop : heGoBottom);
  }

  // The reopened table carries no query, and the note it lands on is shown whatever the
  // previous file showed at the same position.
  Label6->SetCaption(std::string());
  Label77->SetCaption("..");
  AttachDisplay(true);
  NoteTable->SetOrder(0);
  NoteTable->Tag = 0;
  if (readOnly)
    NoteTable->GoTop();
  else
    NoteTable->GoBottom();
  // GoTop / GoBottom on the record already current may not report a change.
  NoteDataSourceDataChange(NoteDataSource, nullptr);

  RBankReset();
  RBankPos = 1;
  PreBtn->SetEnabled(false);
  NextBtn->SetEnabled(false);
  SBar->Panels()[2].SetText(IncludeTrailingPathDelimiter(DataFolder) + fileName);
  return true;
}

int TMainForm::MakerVariant() { return ConTable->Active() && ConTable->GetString("k3") == "k" ? 1 : 0; }

// ---- dialog launchers -------------------------------------------------------------------

void TMainForm::ClearQuery(bool Always) {
  if (!Always && Label6->Caption().empty()) return;
  if (NoteTable->Active()) NoteTable->Query(std::string());
  Label6->SetCaption(std::string());
}

void TMainForm::FileBtnClick(TObject*) {
  // A note that could not be saved keeps the window on it: each of these dialogs moves the
  // note table or closes it.
  if (!SaveNote()) return;
  ClearQuery(false);
  NoteTable->Close();
  NoteTable->SetTableName(std::string());
  RunModal(*FileForm);
  cmdChoDbfClick();
}

void TMainForm::IndexBtnClick(TObject*) {
  if (!SaveNote()) return;
  ClearQuery(true);
  RunModal(*IndexDlg);
  cmdChoDbfClick();
}

void TMainForm::SetBtnClick(TObject*) {
  if (!SaveNote()) return;
  RunModal(*SetForm);
  cmdChoDbfClick();
}

void TMainForm::PrintBtnClick(TObject*) {
  if (!SaveNote()) return;
  const int width = Width();
  if (width > 640) SetWidth(640);
  try {
    RunModal(*NotePrnForm);
  } catch (...) {
    SetWidth(width);
    throw;
  }
  SetWidth(width);
}

void TMainForm::FindDlgShow() {
  if (!SaveNote()) return;
  RunModal(*FindForm);
}

void TMainForm::ConvBtnClick(TObject*) { RunModal(*ConvForm); }
void TMainForm::PrnListBtnClick(TObject*) { RunModal(*PrnList); }
void TMainForm::ScrollReaderShow() { RunModal(*ScrollForm); }

void TMainForm::ExitBtnClick(TObject*) {
  if (MessageBox(K("끝낼까요?"), ApplicationTitle(), MB_YESNO) == IDYES) Close();
}

void TMainForm::OpenHelpPage() {
  const std::string inData = IncludeTrailingPathDelimiter(DataFolder) + kHelpPage;
  // The shipped files stand in "share" beside the program's own folder ("bin").
  const std::string bin = ProgramFolder();
  const std::string shipped = bin.size() < 2 ? std::string() : ExtractFilePath(bin.substr(0, bin.size() - 1)) + "share/" + kHelpPage;
  const std::string page = FileExists(inData) || shipped.empty() || !FileExists(shipped) ? inData : shipped;
  if (!FileExists(page)) {
    MessageBox(K("도움말 파일이 없습니다: ") + page, ApplicationTitle(), MB_OK | MB_ICONWARNING);
    return;
  }
  if (ShellExecute(Handle(), "open", page, "", "", SW_SHOWNORMAL) <= 32)
    MessageBox(K("도움말을 열 수 없습니다: ") + page, ApplicationTitle(), MB_OK | MB_ICONWARNING);
}

void TMainForm::HelpBtnClick(TObject*) { OpenHelpPage(); }

void TMainForm::HomeBtnClick(TObject*) {
  DBMemo1Save();
  OpenHelpPage();
}

// ---- closing ----------------------------------------------------------------------------

void TMainForm::FormCloseQuery(TObject*, bool& CanClose) {
  // Entering the list saves the note; the save below covers a window that cannot take the
  // focus (hidden or not yet shown).
  if (DBGrid1->CanFocus()) DBGrid1->SetFocus();
  if (!ConfirmDropUnsaved()) { CanClose = false; return; }
  if (NoteTable->Active()) {
    DBMemo1Save();
    NoteTable->Commit();
  }
  NoteTable->Close();
  CanClose = true;
}

void TMainForm::FormClose(TObject*, TCloseAction&) {
  if (!ConTable->Active()) return;
  const bool maximized = WindowState() == wsMaximized;
  ReplaceLocked(*ConTable, "k1", maximized ? "1 " : "  ");
  SetWindowState(wsNormal);
  // The window system restores the normal bounds of a maximized window on its own time.
  if (maximized && Application) Application->ProcessMessages();
  const int bounds[4] = {Left(), Top(), Width(), Height()};
  const char* fields[4] = {"n1", "n2", "n3", "n4"};
  for (int i = 0; i < 4; ++i) ReplacePosted(*ConTable, fields[i], IntToStr(bounds[i]));
}
