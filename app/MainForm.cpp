// TMainForm: the main window's components and their layout (MainForm.h).
#include "app/MainForm.h"

#include "components/IMEControl.h"
#include "platform/core/TextCodec.h"

using cp949::K;

TMainForm* MainForm = nullptr;
std::string LinkDir;

// The maker's hosts are not ours to name: neutral texts of the stated length stand in.
const char* const kCaptionSuffix[2] = {" - makers.invalid", " - makerk.invalid"};
const char* const kHelpPage = "help/orvel/helporvel.html";
const char* const kSettingsFile = "condb20.dbf";
const char* const kSettingsVersion = "0270";
const char* const kSampleNoteFile = "orvel27c.dbf";

namespace {

TSpeedButton* Button(TComponent* owner, TWinControl* parent, const char* name, const char* caption,
                     int left, int top, int width, int height = 24) {
  auto* b = CreateControl<TSpeedButton>(owner, parent, name, left, top, width, height);
  b->SetCaption(K(caption));
  return b;
}

TMenuItem* Item(TPopupMenu* menu, const char* name, const char* caption) {
  auto* i = new TMenuItem(menu->Owner());
  i->SetName(name);
  i->SetCaption(K(caption));
  menu->Items()->Add(i);
  return i;
}

TStringField* StringField(TComponent* owner, TDataSet* table, const char* name, int size, bool visible) {
  auto* f = new TStringField(owner);
  f->SetName(std::string("NoteTable") + name);
  f->SetFieldName(name);
  f->SetSize(size);
  f->Visible = visible;
  f->SetDataSet(table);
  return f;
}

}  // namespace

TMainForm::TMainForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("MainForm");
  SetCaption("Orvelane");
  SetKeyPreview(true);
  SetBounds(0, 0, 960, 680);
  BuildTables();
  BuildTopPanel();
  BuildBody();
  BuildMenus();
  BuildEditing();
  BuildNavigation();
  (IMEControl1 = new TIMEControl(this))->SetIMEMode(isHanguel);

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnCloseQuery = [this](TObject* s, bool& c) { FormCloseQuery(s, c); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { FormKeyDown(s, k, sh); };

  FileBtn->OnClick = [this](TObject* s) { FileBtnClick(s); };
  IndexBtn->OnClick = [this](TObject* s) { IndexBtnClick(s); };
  SetBtn->OnClick = [this](TObject* s) { SetBtnClick(s); };
  PrintBtn->OnClick = [this](TObject* s) { PrintBtnClick(s); };
  ConvBtn->OnClick = [this](TObject* s) { ConvBtnClick(s); };
  PrnListBtn->OnClick = [this](TObject* s) { PrnListBtnClick(s); };
  HelpBtn->OnClick = [this](TObject* s) { HelpBtnClick(s); };
  HomeBtn->OnClick = [this](TObject* s) { HomeBtnClick(s); };
  ExitBtn->OnClick = [this](TObject* s) { ExitBtnClick(s); };
}

TMainForm::~TMainForm() {
  // The components' events reach back into this form: free them while it is whole.
  DestroyComponents();
  if (MainForm == this) MainForm = nullptr;
}

void TMainForm::BuildTables() {
  XbEnv1 = new TXbEnv(this);
  XbEnv1->SetName("XbEnv1");
  XbEnv1->SetDeleted(true);

  auto table = [this](const char* name) {
    auto* t = new TXbTable(this);
    t->SetName(name);
    t->SetTableType(ttXBNSX);
    t->SetOEMTranslate(true);
    return t;
  };
  NoteTable = table("NoteTable");
  ConTable = table("ConTable");
  PreTable = table("PreTable");
  FFdbTable = table("FFdbTable");
  FFdbTable->SetTableName("FFDB.DBF");

  NoteTableCHK = StringField(this, NoteTable, "CHK", 1, false);
  NoteTableTIT1 = StringField(this, NoteTable, "TIT1", 40, true);
  NoteTableTIT2 = StringField(this, NoteTable, "TIT2", 40, true);
  NoteTableTIT3 = StringField(this, NoteTable, "TIT3", 40, true);
  NoteTableTIT4 = StringField(this, NoteTable, "TIT4", 40, true);
  NoteTableMMM = new TMemoField(this);
  NoteTableMMM->SetName("NoteTableMMM");
  NoteTableMMM->SetFieldName("MMM");
  NoteTableMMM->SetSize(10);
  NoteTableMMM->Visible = false;
  NoteTableMMM->SetDataSet(NoteTable);
  NoteTableKNO = StringField(this, NoteTable, "KNO", 12, false);
  NoteTableLOCK = StringField(this, NoteTable, "LOCK", 1, false);
  NoteTableTYPE = StringField(this, NoteTable, "TYPE", 1, false);
  NoteTableBIBLE = StringField(this, NoteTable, "BIBLE", 4, false);
  for (TStringField* f : {NoteTableTIT1, NoteTableTIT2, NoteTableTIT3, NoteTableTIT4})
    f->SetDisplayWidth(40);

  NoteDataSource = new TDataSource(this);
  NoteDataSource->SetName("NoteDataSource");
  NoteDataSource->SetDataSet(NoteTable);
  FFdbDataSource = new TDataSource(this);
  FFdbDataSource->SetName("FFdbDataSource");
  FFdbDataSource->SetDataSet(FFdbTable);
}

void TMainForm::BuildTopPanel() {
  Panel2 = CreateControl<TPanel>(this, this, "Panel2", 0, 0, 960, 156);
  Panel2->SetAlign(alTop);
  Panel2->SetBevelOuter(bvNone);

  Panel1 = CreateControl<TPanel>(this, Panel2, "Panel1", 0, 0, 960, 30);
  Panel1->SetAlign(alTop);
  FileBtn = Button(this, Panel1, "FileBtn", "화일창고 [Alt+O]", 2, 3, 118);
  IndexBtn = Button(this, Panel1, "IndexBtn", "자료정렬", 122, 3, 74);
  SetBtn = Button(this, Panel1, "SetBtn", "환경설정", 198, 3, 74);
  PrintBtn = Button(this, Panel1, "PrintBtn", "인쇄(Ctrl+P)", 274, 3, 96);
  ConvBtn = Button(this, Panel1, "ConvBtn", "일괄입력", 372, 3, 74);
  PrnListBtn = Button(this, Panel1, "PrnListBtn", "목록인쇄", 448, 3, 74);
  HelpBtn = Button(this, Panel1, "HelpBtn", "도 움 말", 524, 3, 74);
  HomeBtn = Button(this, Panel1, "HomeBtn", "홈페이지", 600, 3, 74);
  ExitBtn = Button(this, Panel1, "ExitBtn", "끝내기", 676, 3, 74);

  Panel4 = CreateControl<TPanel>(this, Panel2, "Panel4", 0, 30, 960, 126);
  Panel4->SetAlign(alTop);
  SpeedButton2 = Button(this, Panel4, "SpeedButton2", "새로입력 [F2]", 4, 4, 104);
  QuickBtn = Button(this, Panel4, "QuickBtn", "빠른이동 [F3]", 110, 4, 104);
  SeekBtn = Button(this, Panel4, "SeekBtn", "검색하기 [F4]", 216, 4, 104);
  DeleteBtn = Button(this, Panel4, "DeleteBtn", "삭 제", 322, 4, 56);
  RecOrderBtn = Button(this, Panel4, "RecOrderBtn", "입력순정렬", 380, 4, 86);
  ReadFileBtn = Button(this, Panel4, "ReadFileBtn", "파일읽기", 468, 4, 74);
  SaveFileBtn = Button(this, Panel4, "SaveFileBtn", "파일로 복사", 544, 4, 86);
  PreBtn = Button(this, Panel4, "PreBtn", "◀", 636, 4, 28);
  NextBtn = Button(this, Panel4, "NextBtn", "▶", 666, 4, 28);
  PreBtn->SetEnabled(false);
  NextBtn->SetEnabled(false);
  Label77 = CreateControl<TLabel>(this, Panel4, "Label77", 702, 8, 120, 18);

  // Their pictures show the state (ShowButtonState); a caption would not fit beside them.
  ChkBtn = Button(this, Panel4, "ChkBtn", "", 4, 38, 26, 24);
  ARBtn = Button(this, Panel4, "ARBtn", "", 4, 70, 26, 24);
  ShowButtonState(ChkBtn, false);
  ShowButtonState(ARBtn, false);

  struct Row {
    const char* label;
    const char* edit;
    const char* sort;
    int left;
    int top;
    int maxLength;
  };
  const Row rows[4] = {{"Label1", "Edit1", "Sort1Btn", 36, 38, 40},
                       {"Label2", "Edit2", "Sort2Btn", 488, 38, 40},
                       {"Label3", "Edit3", "Sort3Btn", 36, 70, 40},
                       {"Label4", "Edit4", "Sort4Btn", 488, 70, 80}};
  TLabel* labels[4];
  TEdit* edits[4];
  TSpeedButton* sorts[4];
  for (int i = 0; i < 4; ++i) {
    const Row& r = rows[i];
    labels[i] = CreateControl<TLabel>(this, Panel4, r.label, r.left, r.top + 4, 66, 18);
    edits[i] = CreateControl<TEdit>(this, Panel4, r.edit, r.left + 68, r.top, 330, 24);
    edits[i]->SetMaxLength(r.maxLength);
    edits[i]->ImeName = K("한국어(한글)");
    sorts[i] = Button(this, Panel4, r.sort, "정렬", r.left + 400, r.top, 44);
  }
  Label1 = labels[0], Label2 = labels[1], Label3 = labels[2], Label4 = labels[3];
  Edit1 = edits[0], Edit2 = edits[1], Edit3 = edits[2], Edit4 = edits[3];
  Sort1Btn = sorts[0], Sort2Btn = sorts[1], Sort3Btn = sorts[2], Sort4Btn = sorts[3];

  RecEd = CreateControl<TEdit>(this, Panel4, "RecEd", 36, 98, 80, 22);
  RecEd->SetVisible(false);

  // Shown below the title rows when Panel4 grows for it.
  SeekPan = CreateControl<TPanel>(this, Panel4, "SeekPan", 0, 126, 960, 33);
  SeekPan->SetBevelOuter(bvNone);
  SeekPan->SetVisible(false);
  SeekComboBox = CreateControl<TComboBox>(this, SeekPan, "SeekComboBox", 2, 4, 72, 24);
  for (int i = 0; i < 4; ++i) SeekComboBox->Items().Add(std::string());
  SeekComboBox->Items().Add(K("몽땅찾기"));
  SeekComboBox->SetItemIndex(4);
  SeekEd = CreateControl<TEdit>(this, SeekPan, "SeekEd", 76, 4, 265, 24);
  SeekEd->ImeName = K("한국어(한글)");
  Vchk = CreateControl<TCheckBox>(this, SeekPan, "Vchk", 343, 6, 16, 20);
  Vchk->SetCaption(K("V표만"));
  OkSeekBtn = CreateControl<TButton>(this, SeekPan, "OkSeekBtn", 362, 4, 64, 24);
  OkSeekBtn->SetCaption(K("검 색"));
  Label6 = CreateControl<TLabel>(this, SeekPan, "Label6", 432, 8, 120, 18);
}

void TMainForm::BuildBody() {
  SBar = CreateControl<TStatusBar>(this, this, "SBar", 0, 660, 960, 20);
  SBar->SetAlign(alBottom);
  const int widths[3] = {80, 80, 400};
  for (int w : widths) SBar->Panels().Add()->SetWidth(w);

  DBGrid1 = CreateControl<TDBGrid>(this, this, "DBGrid1", 0, 440, 960, 220);
  DBGrid1->SetAlign(alBottom);
  DBGrid1->SetDataSource(NoteDataSource);

  memo1 = CreateControl<TRichEdit>(this, this, "memo1", 0, 156, 960, 284);
  memo1->SetAlign(alClient);
  memo1->SetMaxLength(60000);
  memo1->SetScrollBars(ssVertical);
  memo1->ImeName = K("한국어(한글)");
  // Tab and Enter from the last title go on to the body, then to the list.
  memo1->SetTabOrder(DBGrid1->TabOrder());

  // Holds the body font; never seen, never reached by Tab.
  TempEd = CreateControl<TEdit>(this, this, "TempEd", -400, -100, 100, 22);
  TempEd->SetTabStop(false);

  HDBGrid1 = CreateControl<THDBGrid>(this, this, "HDBGrid1", 0, 0, 200, 100);
  HDBGrid1->SetVisible(false);
  HDBGrid1->SetDataSource(FFdbDataSource);

  Timer1 = new TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(1000);
  Timer1->SetOnTimer([this](TObject* s) { Timer1Timer(s); });

  MediaPlayer1 = new TMediaPlayer(this);
  MediaPlayer1->SetName("MediaPlayer1");
  MediaPlayer1->Enabled = false;
  MediaPlayer1->DeviceType = dtWaveAudio;
}

void TMainForm::BuildMenus() {
  PopupMenu1 = new TPopupMenu(this);
  PopupMenu1->SetName("PopupMenu1");
  // Opens only after a right press in the body allowed it.
  PopupMenu1->SetAutoPopup(false);
  Item(PopupMenu1, "BodyCut", "잘라내기(&T)");
  Item(PopupMenu1, "BodyCopy", "복사하기(&C)");
  Item(PopupMenu1, "BodyPaste", "붙이기(&P)");
  Item(PopupMenu1, "BodySelectAll", "모두선택(&A)");
  Item(PopupMenu1, "BodyLine1", "-");
  Item(PopupMenu1, "BodyPasteNew", "붙이기->새로입력(&N)");
  Item(PopupMenu1, "BodyPasteTit1", "붙이기->표제1  (&1)");
  Item(PopupMenu1, "BodyPasteTit2", "붙이기->표제2  (&2)");
  Item(PopupMenu1, "BodyPasteTit3", "붙이기->표제3  (&3)");
  Item(PopupMenu1, "BodyPasteTit4", "붙이기->표제4  (&4)");
  Item(PopupMenu1, "BodyLine2", "-");
  Item(PopupMenu1, "BodyFont", "글꼴(&L)");
  Item(PopupMenu1, "BodyLink", "하이퍼텍스트");
  Item(PopupMenu1, "BodyFileLink", "파일찾아넣기     (&F)");
  memo1->SetPopupMenu(PopupMenu1);

  PopupMenu2 = new TPopupMenu(this);
  PopupMenu2->SetName("PopupMenu2");
  Item(PopupMenu2, "TitleCut", "잘라내기(&T)");
  Item(PopupMenu2, "TitleCopy", "복사하기(&C)");
  Item(PopupMenu2, "TitlePaste", "붙이기(&P)");
  Item(PopupMenu2, "TitleSelectAll", "모두선택(&A)");
  Item(PopupMenu2, "TitleLine1", "-");
  Item(PopupMenu2, "TitleFileLink", "파일찾아넣기     (&F)");
  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4}) e->SetPopupMenu(PopupMenu2);

  OpenDialog1 = new TOpenDialog(this);
  OpenDialog1->SetName("OpenDialog1");
  OpenDialog1->Filter = K("텍스트|*.TXT");
  OpenDialog1->DefaultExt = "TXT";
  SaveDialog1 = new TSaveDialog(this);
  SaveDialog1->SetName("SaveDialog1");
  SaveDialog1->FileName = "FTXT1.TXT";
  SaveDialog1->DefaultExt = "TXT";
  SaveDialog1->Filter = "Text files|*.TXT";
  SaveDialog1->Options |= ofOverwritePrompt;
  OpenPictureDialog1 = new TOpenPictureDialog(this);
  OpenPictureDialog1->SetName("OpenPictureDialog1");
  OpenPictureDialog1->Filter =
      K("모든파일(*.*)|*.*|그림파일(*.gif,*.jpg,*.bmp)|*.gif;*.jpg;*.jpeg;*.bmp|"
        "한글파일(*.hwp)|*.hwp|엑셀파일(*.exl)|*.exl");
  OpenPictureDialog1->FilterIndex = 1;
  FontDialog1 = new TFontDialog(this);
  FontDialog1->SetName("FontDialog1");
}
