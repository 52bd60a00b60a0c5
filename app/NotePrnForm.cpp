// TNotePrnForm: the note print dialog and the report machinery it shares with the list print
// dialog (NotePrnForm.h).
#include "app/NotePrnForm.h"

#include <limits>

#include <QPrinter>
#include <QRect>

#include "app/MainForm.h"
#include "app/Udf.h"
#include "app/UdfTable.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/gfx/Printers.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/LongOperation.h"
#include "platform/ui/QtText.h"

using cp949::K;

TNotePrnForm* NotePrnForm = nullptr;

const char* const kReportStreamFile = "xx.$$$";

namespace {

// The line spacing choices; item i stands for 8 - i lines per inch.
const char* const kSpacings[8] = {
    "(3.2 mm , 1/8 Inch)", "(3.6 mm , 1/7 Inch)", "(4.2 mm , 1/6 Inch)", "(5.1 mm , 1/5 Inch)",
    "(6.4 mm , 1/4 Inch)", "(8.5 mm , 1/3 Inch)", "(12.7 mm ,1/2 Inch)", "(25.4 mm ,  1 Inch)",
};

// The lines per inch a settings text stands for. An empty or damaged field would leave the
// spacing of an earlier run in force and put the rule under the titles at an infinite offset;
// it prints at the usual 6 lines per inch instead.
int LinesPerInchOf(const std::string& text) {
  const int v = StrToIntZero(Trim(text));
  return v >= 1 && v <= 8 ? v : 6;
}

// The two-character style code of a font style: "1 " bold, " 1" italic, "11" both.
std::string StyleCode(TFontStyles style) {
  if (style == TFontStyles{fsBold}) return "1 ";
  if (style == TFontStyles{fsItalic}) return " 1";
  if (style == TFontStyles{fsBold, fsItalic}) return "11";
  return "  ";
}

// The flag characters of a style code, for the report's bold and italic switches.
void ApplyStyleCode(TBaseReport& r, const std::string& code) {
  r.SetFontBold(code.size() > 0 && code[0] == '1');
  r.SetFontItalic(code.size() > 1 && code[1] == '1');
}

}  // namespace

// ---- TPrintDialog ---------------------------------------------------------------------------

TPrintDialog::TPrintDialog(TComponent* AOwner) : TForm(AOwner) {
  ReportFiler1 = new TReportFiler(this);
  ReportFiler1->SetName("ReportFiler1");
  ReportFiler1->SetUnitsFactor(1.0);
  ReportFiler1->SetScaleX(100);
  ReportFiler1->SetScaleY(100);
  ReportFiler1->SetOrientation(poPortrait);
  ReportFiler1->StatusFormat = "Printing page %p";
  ReportFiler1->Title = "ReportKit Report";
  ReportFiler1->FileName = kReportStreamFile;
  ReportFiler1->OnPrint = [this](TObject* s) { ReportFiler1Print(s); };
  // The component stops recording after page 9999, which a list of a million notes passes:
  // every page is recorded, and the players play every page a stream holds.
  ReportFiler1->LastPage = std::numeric_limits<int>::max();
  // Each recording is this dialog's own: it is recorded into memory and saved as the stream
  // file, and the preview and the print play it from memory. Another copy of the program
  // recording into the same folder meanwhile replaces the file, not what this one plays.
  ReportFiler1->StreamMode = smUser;

  FilePreview1 = new TFilePreview(this);
  FilePreview1->SetName("FilePreview1");
  FilePreview1->FileName = kReportStreamFile;
  FilePreview1->StreamMode = smUser;
  FilePreview1->Stream = &FPreviewed;
  FilePreview1->SetZoomFactor(100);

  FilePrinter1 = new TFilePrinter(this);
  FilePrinter1->SetName("FilePrinter1");
  FilePrinter1->FileName = kReportStreamFile;
  FilePrinter1->StreamMode = smUser;

  ScrollBox1 = nullptr;
  SpeedButton1 = SpeedButton2 = PrevButton = NextButton = nullptr;
  StatusLabel1 = nullptr;
}

TPrintDialog::~TPrintDialog() { FinishPreview(); }

void TPrintDialog::BuildReportComponents() {
  ScrollBox1 = Put<TScrollBox>(this, "ScrollBox1", 0, 0, 100, 100);
  ScrollBox1->SetAlign(alClient);
  ScrollBox1->SetVisible(false);
  FilePreview1->SetScrollBox(ScrollBox1);
  StatusLabel1->SetVisible(false);
  ReportFiler1->SetStatusLabel(StatusLabel1);
  FilePrinter1->SetStatusLabel(StatusLabel1);

  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
  SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
  SpeedButton2->OnClick = [this](TObject* s) { PrintClick(s); };
  PrevButton->OnClick = [this](TObject* s) { PrevButtonClick(s); };
  NextButton->OnClick = [this](TObject* s) { NextButtonClick(s); };
}

void TPrintDialog::FinishPreview() {
  if (FPreviewActive && FilePreview1->Printing()) FilePreview1->FinishPreview();
  FPreviewActive = false;
  // Its recording goes with it; a preview still starting (the window may be activated while
  // it loads) keeps the one it shows.
  if (!FilePreview1->Printing()) FPreviewed.Clear();
}

void TPrintDialog::Record(TMemoryStream& Into) {
  struct Detach {
    TReportFiler* f;
    TMemoryStream& m;
    bool done = false;
    ~Detach() {
      f->Stream = nullptr;
      if (!done) m.Clear();  // what a failed run left is no report
    }
  } detach{ReportFiler1, Into};
  ReportFiler1->Stream = &Into;
  ReportFiler1->Execute();
  SaveReportStream(Into, kReportStreamFile);
  detach.done = true;
}

void TPrintDialog::RunReport(const std::function<void()>& Work) {
  struct Shown {
    TLabel* l;
    ~Shown() {
      l->SetVisible(false);
      l->SetText(std::string());
    }
  } shown{StatusLabel1};
  StatusLabel1->SetText(std::string());
  StatusLabel1->SetVisible(true);
  TLongOperation busy;
  Work();
}

void TPrintDialog::SpeedButton1Click(TObject*) {
  FinishPreview();
  ScrollBox1->Show();
  RunReport([this] {
    Record(FPreviewed);
    FilePreview1->StartPreview();
  });
  FilePreview1->SetZoomFactor(50);
  // The preview does not start when the stream cannot be read (it has said why).
  FPreviewActive = FilePreview1->Printing();
}

void TPrintDialog::SpeedButton2Click(TObject*) {
  RunReport([this] {
    // A recording of its own: a preview shown meanwhile keeps playing the one it shows.
    TMemoryStream printed;
    Record(printed);
    struct Detach {
      TFilePrinter* p;
      ~Detach() { p->Stream = nullptr; }
    } detach{FilePrinter1};
    FilePrinter1->Stream = &printed;
    FilePrinter1->Execute();
  });
}

void TPrintDialog::PrintClick(TObject* Sender) {
  // Without a printer, and when no PDF file is asked for, the pages go to a PDF file in the
  // data folder, and the user is told where to find it.
  TPrinter& sys = Printer();
  const bool toPdf = TBaseReport::NoPrintersInstalled() && sys.OutputFileName.empty();
  if (!toPdf) {
    SpeedButton2Click(Sender);
    return;
  }
  const std::string file = TPrinter::FallbackOutputFile();
  sys.OutputFileName = file;
  struct Restore {
    TPrinter& p;
    ~Restore() { p.OutputFileName.clear(); }
  } restore{sys};
  SpeedButton2Click(Sender);
  if (FileExists(file)) MessageDlg(K("프린터가 없어 PDF 파일로 저장했습니다:\n") + file, mtInformation, {mbOK}, 0);
}

void TPrintDialog::PrevButtonClick(TObject*) { FilePreview1->PreviousPage(); }
void TPrintDialog::NextButtonClick(TObject*) { FilePreview1->NextPage(); }

void TPrintDialog::FormKeyPress(TObject*, char& Key) {
  EnterMovesToNextControl(Key);
}

void TPrintDialog::FormClose(TObject*, TCloseAction&) { FinishPreview(); }

// ---- TNotePrnForm ---------------------------------------------------------------------------

TNotePrnForm::TNotePrnForm(TComponent* AOwner) : TPrintDialog(AOwner) {
  SetName("NotePrnForm");
  SetCaption(K("인 쇄"));
  SetKeyPreview(true);
  SetWindowState(wsMaximized);
  SetBounds(0, 0, 640, 480);

  TPanel* left = Put<TPanel>(this, "Panel1", 0, 0, 250, 480);
  left->SetAlign(alLeft);
  TabbedNotebook1 = Put<TPageControl>(left, "TabbedNotebook1", 4, 4, 242, 420);
  PrintPage = new TTabSheet(this);
  PrintPage->SetName("PrintPage");
  PrintPage->SetPageControl(TabbedNotebook1);
  PrintPage->SetText(K("인쇄"));
  SettingsPage = new TTabSheet(this);
  SettingsPage->SetName("SettingsPage");
  SettingsPage->SetPageControl(TabbedNotebook1);
  SettingsPage->SetText(K("설정"));

  SpeedButton1 = Put<TSpeedButton>(PrintPage, "SpeedButton1", 16, 16, 200, 36);
  SpeedButton1->SetText(K("   화면으로"));
  SpeedButton2 = Put<TSpeedButton>(PrintPage, "SpeedButton2", 16, 60, 200, 36);
  SpeedButton2->SetText(K("   인쇄하기"));
  PrevButton = Put<TSpeedButton>(PrintPage, "PrevButton", 16, 112, 96, 30);
  PrevButton->SetText("<<");
  NextButton = Put<TSpeedButton>(PrintPage, "NextButton", 120, 112, 96, 30);
  NextButton->SetText(">>");
  StatusLabel1 = Put<TLabel>(PrintPage, "StatusLabel1", 16, 156, 200, 20);

  GroupBox1 = Put<TGroupBox>(SettingsPage, "GroupBox1", 6, 6, 224, 82);
  GroupBox1->SetText(K("표제 줄간격"));
  TitleList = Put<TComboBox>(GroupBox1, "TitleList", 8, 20, 208, 24);
  Button6 = Put<TButton>(GroupBox1, "Button6", 8, 50, 56, 24);
  Button6->SetText(K("글꼴"));
  Fedit1 = Put<TEdit>(GroupBox1, "Fedit1", 70, 50, 146, 24);
  Fedit1->SetReadOnly(true);

  GroupBox2 = Put<TGroupBox>(SettingsPage, "GroupBox2", 6, 94, 224, 190);
  GroupBox2->SetText(K("표제인쇄"));
  TCheckBox** boxes[6] = {&CheckBox1, &CheckBox2, &CheckBox3, &CheckBox4, &CheckBox5, &CheckBox6};
  for (int i = 0; i < 6; ++i)
    *boxes[i] = Put<TCheckBox>(GroupBox2, ("CheckBox" + std::to_string(i + 1)).c_str(), 10,
                               20 + i * 27, 200, 22);
  CheckBox5->SetText(K("구분명표시"));
  CheckBox6->SetText(K("첫장만 표제인쇄"));

  GroupBox3 = Put<TGroupBox>(SettingsPage, "GroupBox3", 6, 290, 224, 82);
  GroupBox3->SetText(K("본문 줄간격"));
  MainList = Put<TComboBox>(GroupBox3, "MainList", 8, 20, 208, 24);
  Button7 = Put<TButton>(GroupBox3, "Button7", 8, 50, 56, 24);
  Button7->SetText(K("글꼴"));
  Fedit2 = Put<TEdit>(GroupBox3, "Fedit2", 70, 50, 146, 24);
  Fedit2->SetReadOnly(true);

  for (TComboBox* list : {TitleList, MainList}) {
    list->SetStyle(csDropDownList);
    for (const char* s : kSpacings) list->Items().Add(s);
  }

  Button3 = Put<TButton>(left, "Button3", 60, 436, 130, 32);
  Button3->SetText(K("닫   기"));

  BuildReportComponents();

  OnActivate = [this](TObject* s) { FormActivate(s); };
  TabbedNotebook1->OnChange = [this](TObject* s) {
    bool allow = true;
    TabbedNotebook1Change(s, TabbedNotebook1->ActivePageIndex(), allow);
  };
  Button6->OnClick = [this](TObject* s) { Button6Click(s); };
  Button7->OnClick = [this](TObject* s) { Button7Click(s); };
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
}

TNotePrnForm::~TNotePrnForm() {
  // Taking the pages down switches between them; that is no choice of the user's.
  TabbedNotebook1->OnChange = nullptr;
}

void TNotePrnForm::FormActivate(TObject*) {
  FinishPreview();  // every showing starts without preview
  TLabel* labels[4] = {MainForm->Label1, MainForm->Label2, MainForm->Label3, MainForm->Label4};
  TCheckBox* boxes[4] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4};
  for (int i = 0; i < 4; ++i) boxes[i]->SetText(labels[i]->Caption());
  ScrollBox1->SetVisible(false);
  PrevButton->SetEnabled(true);
  NextButton->SetEnabled(true);
}

void TNotePrnForm::TabbedNotebook1Change(TObject*, int NewTab, bool&) {
  TXbTable& con = *MainForm->ConTable;
  TCheckBox* boxes[6] = {CheckBox1, CheckBox2, CheckBox3, CheckBox4, CheckBox5, CheckBox6};
  if (NewTab == 1) {
    const std::string flags = con.GetString("font4");
    for (int i = 0; i < 6; ++i)
      if (i < static_cast<int>(flags.size()) && flags[static_cast<size_t>(i)] == '1') boxes[i]->SetChecked(true);
    TitleList->SetItemIndex(8 - LinesPerInchOf(con.GetString("utab1")));
    MainList->SetItemIndex(8 - LinesPerInchOf(con.GetString("utab2")));
    Fedit1->SetText(Trim(con.GetString("font1")));
    Fedit2->SetText(Trim(con.GetString("font2")));
    return;
  }
  std::string flags;
  for (TCheckBox* b : boxes) flags += b->Checked() ? "1" : " ";
  ReplaceLocked(con, "font4", flags);
  if (TitleList->ItemIndex() >= 0) ReplaceLockedInt(con, "utab1", std::to_string(8 - TitleList->ItemIndex()));
  if (MainList->ItemIndex() >= 0) ReplaceLockedInt(con, "utab2", std::to_string(8 - MainList->ItemIndex()));
}

void TNotePrnForm::ChooseFont(int N, TEdit* Shown) {
  TXbTable& con = *MainForm->ConTable;
  const std::string n = std::to_string(N);
  TFontDialog& dialog = *MainForm->FontDialog1;
  TFont& font = dialog.Font();
  font.SetSize(StrToIntZero(Trim(con.GetString("fsize" + n))));
  font.SetName(Trim(con.GetString("font" + n)));
  const std::string code = con.GetString("FType" + n);
  if (code == "1 ") font.SetStyle(TFontStyles{fsBold});
  else if (code == " 1") font.SetStyle(TFontStyles{fsItalic});
  else if (code == "11") font.SetStyle(TFontStyles{fsBold, fsItalic});
  if (dialog.Execute()) {
    ReplaceLocked(con, "fsize" + n, StrLeft(std::to_string(font.Size()), 2));
    ReplaceLocked(con, "font" + n, font.Name());
    ReplaceLocked(con, "FType" + n, StyleCode(font.Style()));
  }
  Shown->SetText(Trim(con.GetString("font" + n)));
}

void TNotePrnForm::Button6Click(TObject*) { ChooseFont(1, Fedit1); }
void TNotePrnForm::Button7Click(TObject*) { ChooseFont(2, Fedit2); }

void TNotePrnForm::Button3Click(TObject*) {
  FinishPreview();
  Close();
}

void TNotePrnForm::SpeedButton1Click(TObject* Sender) {
  TPrintDialog::SpeedButton1Click(Sender);
  PrevButton->SetEnabled(FPageCount > 1);
  NextButton->SetEnabled(FPageCount > 1);
}

void TNotePrnForm::SpeedButton2Click(TObject* Sender) {
  if (!MainForm->memo1->PlainText()) {
    // The editor prints in one go; what the user does meanwhile is dropped with it.
    TLongOperation busy;
    RtfPrint();
    return;
  }
  TPrintDialog::SpeedButton2Click(Sender);
}

void TNotePrnForm::ReportFiler1Print(TObject* Sender) {
  TBaseReport& r = *static_cast<TBaseReport*>(Sender);
  TXbTable& con = *MainForm->ConTable;
  const std::string font1 = Trim(con.GetString("font1"));
  const std::string font2 = Trim(con.GetString("font2"));
  const int fsize1 = StrToIntZero(Trim(con.GetString("fsize1")));
  const int fsize2 = StrToIntZero(Trim(con.GetString("fsize2")));
  const int utab1 = LinesPerInchOf(con.GetString("utab1"));
  const int utab2 = LinesPerInchOf(con.GetString("utab2"));
  const std::string flags = StrPadR(con.GetString("font4"), 6);
  const std::string type1 = StrPadR(con.GetString("FType1"), 2);
  const std::string type2 = StrPadR(con.GetString("FType2"), 2);
  const bool labels = flags[4] == '1';
  const bool firstOnly = flags[5] == '1';
  TLabel* captions[4] = {MainForm->Label1, MainForm->Label2, MainForm->Label3, MainForm->Label4};

  r.GotoPageTop();
  bool headerPending = true;
  // Blank lines at the end are not printed; blank lines before the last text are.
  const TStrings& body = MainForm->memo1->Lines();
  int last = body.Count() - 1;
  while (last >= 0 && StrAllTrim(body[last]).empty()) --last;
  FPageCount = 0;

  auto foot = [&] {
    r.SetCursorY(r.GetPageHeight() - 0.8);
    r.SetFont("Times New Roman", 10);
    r.PrintCenterAt("- " + std::to_string(FPageCount) + " -", r.GetPageWidth() / 2);
  };

  for (int i = 0; i <= last; ++i) {
    if (r.GetCursorY() > r.GetPageHeight() - 1.0) {
      foot();
      headerPending = true;
      r.NewPage();
    }
    if (headerPending) {
      r.SetLinesPerInch(utab1);
      r.SetFont(font1, fsize1);
      ApplyStyleCode(r, type1);
      r.ClearTabStops();
      r.AddTabStop(1.0, 1, 0.8, 2, 0, 0);
      r.AddTabStop(kTabDefault, 1, 4.5, 2, 0, 0);
      r.AddTabStop(kTabDefault, 1, 1.0, 2, 0, 0);
      ++FPageCount;
      r.SetCursorY(1.0);
      if (!(firstOnly && FPageCount > 1)) {
        bool any = false;
        for (int t = 0; t < 4; ++t) {
          if (flags[static_cast<size_t>(t)] != '1') continue;
          std::string line = "\t";
          if (labels) line += StrPadR(captions[t]->Caption(), 8) + ": ";
          line += MainForm->NoteTable->GetString("tit" + std::to_string(t + 1));
          r.PrintTabbedLine(line);
          any = true;
        }
        if (any) {
          r.SetCursorY(r.GetCursorY() - 1.0 / (2.0 * utab1));
          const double y = r.GetCursorY();
          r.MoveTo(0.3, y);
          r.LineTo(r.GetPageWidth() - 0.3, y);
          r.PrintTabbedLine("\t");
        }
      }
      r.SetLinesPerInch(utab2);
      r.SetFont(font2, fsize2);
      ApplyStyleCode(r, type2);
      headerPending = false;
    }
    r.PrintTabbedLine("\t" + body[i]);
  }
  foot();
}

void TNotePrnForm::RtfPrint() {
  // The body editor lays its content out for the printer itself, so the printer is opened
  // here as the class library's printer would open it: the chosen printer, or a PDF file
  // when there is none (or one is asked for).
  QPrinter printer(QPrinter::HighResolution);
  Printer().SelectOutput(printer);
  // The page rectangle is in the pixels of a 300-dots-per-inch printer; on a sheet narrower
  // than it the right edge is kept on the printable page, so no text is cut off.
  printer.setResolution(300);
  printer.setDocName(QStringLiteral("."));
  QRect page(QPoint(200, 250), QPoint(3200 - 1, 3300 - 1));
  page &= QRect(0, 0, printer.width(), printer.height());
  MainForm->memo1->PrintTo(printer, page);
  if (printer.printerState() == QPrinter::Error) throw EPrinter("Printer is not ready");
}
