// TPrnList: the list print dialog (PrnList.h).
#include "app/PrnList.h"

#include "app/MainForm.h"
#include "app/Udf.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

using cp949::K;

TPrnList* PrnList = nullptr;

namespace {

// Page geometry in inches: the rules run from kLeft to kRight; a column ends at kListEnd.
constexpr double kLeft = 0.6;
constexpr double kRight = 7.6;
constexpr double kListEnd = 9.7;

// The title columns: 3 inches, text inset by 2 hundredths on either side.
constexpr double kTitleWidth = 3.0;
constexpr double kTitleMargin = 2;
constexpr double kTitleRoom = kTitleWidth - 2 * kTitleMargin / 100;

void Rule(TBaseReport& r, double y) {
  r.MoveTo(kLeft, y);
  r.LineTo(kRight, y);
}

// A title as far as it fits its column on the report's canvas, cut between characters: a
// title of the field's full width runs past the column's line into the next column. The
// blanks that pad the field print nothing and are left off.
std::string FitTitle(TBaseReport& r, const std::string& Title) {
  std::string t = TrimRight(Title);
  // Pixels of the canvas per inch, as the report moves its cursor by a text's width.
  const double perInch = r.XDPI * r.ScaleX() * r.ZoomFactor() / 10000.0;
  t.resize(r.GetCanvas().FitLength(t, kTitleRoom * perInch));
  return t;
}

}  // namespace

TPrnList::TPrnList(TComponent* AOwner) : TPrintDialog(AOwner) {
  SetName("PrnList");
  SetCaption(K("목록인쇄"));
  SetKeyPreview(true);
  SetWindowState(wsMaximized);
  SetBounds(0, 0, 640, 480);

  TPanel* left = Put<TPanel>(this, "Panel1", 0, 0, 180, 480);
  left->SetAlign(alLeft);
  SpeedButton1 = Put<TSpeedButton>(left, "SpeedButton1", 10, 12, 160, 34);
  SpeedButton1->SetText(K("화면으로"));
  SpeedButton2 = Put<TSpeedButton>(left, "SpeedButton2", 10, 52, 160, 34);
  SpeedButton2->SetText(K("인쇄하기"));
  PrevButton = Put<TSpeedButton>(left, "PrevButton", 10, 96, 76, 28);
  PrevButton->SetText("<<");
  NextButton = Put<TSpeedButton>(left, "NextButton", 94, 96, 76, 28);
  NextButton->SetText(">>");

  GroupBox1 = Put<TGroupBox>(left, "GroupBox1", 6, 136, 168, 110);
  GroupBox1->SetText(K("인쇄범위 지정"));
  AllPri = Put<TRadioButton>(GroupBox1, "AllPri", 10, 20, 150, 22);
  AllPri->SetText(K("몽땅인쇄"));
  booPri = Put<TRadioButton>(GroupBox1, "booPri", 10, 46, 150, 22);
  booPri->SetText(K("부분인쇄"));
  Edit1 = Put<TEdit>(GroupBox1, "Edit1", 10, 76, 62, 24);
  Label1 = Put<TLabel>(GroupBox1, "Label1", 78, 80, 12, 18);
  Label1->SetCaption("-");
  Edit2 = Put<TEdit>(GroupBox1, "Edit2", 94, 76, 62, 24);
  for (TEdit* e : {Edit1, Edit2}) e->SetMaxLength(5);

  SpeedButton3 = Put<TSpeedButton>(left, "SpeedButton3", 10, 260, 160, 34);
  SpeedButton3->SetText("  EXIT  ");
  StatusLabel1 = Put<TLabel>(left, "StatusLabel1", 10, 304, 160, 20);

  BuildReportComponents();

  OnActivate = [this](TObject* s) { FormActivate(s); };
  SpeedButton3->OnClick = [this](TObject* s) { SpeedButton3Click(s); };
  AllPri->OnClick = [this](TObject* s) { AllPriClick(s); };
  booPri->OnClick = [this](TObject* s) { booPriClick(s); };
  Edit1->OnExit = [this](TObject* s) { Edit1Exit(s); };
  Edit1->OnKeyPress = [this](TObject* s, char& k) { Edit1KeyPress(s, k); };
}

int TPrnList::NoteCount() const {
  TXbTable& t = *MainForm->NoteTable;
  return t.Active() ? static_cast<int>(t.RecCount()) - 1 : 0;
}

void TPrnList::FormActivate(TObject*) {
  FinishPreview();  // every showing starts without preview
  booPri->SetChecked(false);
  AllPri->SetChecked(true);
  AllPriClick(AllPri);
  if (MainForm->NoteTable->Active()) MainForm->NoteTable->SetOrder(0);
}

void TPrnList::booPriClick(TObject*) {
  if (!booPri->Checked()) return;
  for (TControl* c : {static_cast<TControl*>(Edit1), static_cast<TControl*>(Label1), static_cast<TControl*>(Edit2)})
    c->SetVisible(true);
  Edit1->SetText("1");
  Edit2->SetText(std::to_string(NoteCount()));
  if (Edit1->CanFocus()) Edit1->SetFocus();
}

void TPrnList::AllPriClick(TObject*) {
  if (!AllPri->Checked()) return;
  for (TControl* c : {static_cast<TControl*>(Edit1), static_cast<TControl*>(Label1), static_cast<TControl*>(Edit2)})
    c->SetVisible(false);
}

void TPrnList::Edit1Exit(TObject*) {
  if (StrToInt(Trim(Edit1->Text())) <= NoteCount()) return;
  Edit1->SetText("1");
  if (Edit1->CanFocus()) Edit1->SetFocus();
}

void TPrnList::Edit1KeyPress(TObject*, char& Key) {
  if (Key != '\r') return;
  SelectNext(Edit1, true, true);
  Key = 0;
}

void TPrnList::SpeedButton3Click(TObject*) {
  FinishPreview();
  Close();
}

void TPrnList::TitPri(TObject* Sender) {
  TBaseReport& r = *static_cast<TBaseReport*>(Sender);
  r.GotoPageTop();
  r.SetCursorY(r.GetCursorY() + 0.8);
  r.AddTabStop(kLeft, 0, 6.8, 2, 0, 0);
  r.SetFont(K("궁서체"), 13);
  // The caption is the file description followed by the maker's suffix; cutting one
  // character less than the suffix leaves a blank that the trim removes.
  const std::string caption = MainForm->Caption();
  const std::string head = StrLeft(caption, static_cast<int>(caption.size()) - (kCaptionSuffixLength - 1));
  r.PrintTabbed("\t" + StrAllTrim(StrRight(head, 42)));
  r.ClearTabStops();
  r.SetCursorY(r.GetCursorY() + 0.1);
  Rule(r, r.GetCursorY());
  r.PrintTabbedLine("");

  r.SetFont(K("굴림체"), 10);
  r.AddTabStop(kLeft, 1, 0.4, 2, 0, 0);
  r.AddTabStop(kTabDefault, 1, kTitleWidth, kTitleMargin, 2, 0);  // its right line parts the two halves
  r.AddTabStop(kTabDefault, 1, 0.4, 2, 0, 0);
  r.AddTabStop(kTabDefault, 1, kTitleWidth, kTitleMargin, 0, 0);
  const std::string label = MainForm->Label1->Caption();
  r.PrintTabbed("\tNo");
  r.PrintTabbed("\t" + label);
  r.PrintTabbed("\tNo");
  r.PrintTabbedLine("\t" + label);
  r.SetCursorY(r.GetCursorY() - 0.1);
  Rule(r, r.GetCursorY());
  r.PrintTabbedLine("");
}

void TPrnList::ReportFiler1Print(TObject* Sender) {
  TBaseReport& r = *static_cast<TBaseReport*>(Sender);
  TXbTable& table = *MainForm->NoteTable;
  const bool part = booPri->Checked();
  int first = 0, last = 0;
  if (part) {
    first = StrToInt(Trim(Edit1->Text()));
    last = StrToInt(Trim(Edit2->Text()));
  }

  // The main window must not redisplay every note the walk passes, and must find its note
  // again afterwards, whatever ends the walk.
  struct TWalk {
    TXbTable& table;
    TDataSource& source;
    XbLong here;
    ~TWalk() {
      try {
        if (here > 1 && here <= table.RecCount()) table.SetRecNo(static_cast<int>(here));
      } catch (...) {
        // The note list then shows where the walk ended; nothing is lost.
      }
      source.SetEnabled(true);
    }
  } walk{table, *MainForm->NoteDataSource, table.Active() ? table.RecNo() : 0};
  MainForm->NoteDataSource->SetEnabled(false);

  FPageCount = 1;
  TitPri(&r);
  double top = r.GetCursorY();
  int column = 1;
  if (table.Active()) {
    auto inRange = [&] { return !table.Eof() && !(part && table.RecNo() > last + 1); };
    table.GoTop();
    // Walking from the top keeps a range within the notes in view.
    if (part)
      while (!table.Eof() && table.RecNo() < first + 1) table.Skip(1);
    while (inRange()) {
      const std::string number = std::to_string(table.RecNo() - 1);
      const std::string tit1 = FitTitle(r, table.GetString("tit1"));
      if (column == 1) {
        r.PrintTabbed("\t" + number);
        r.PrintTabbedLine("\t" + tit1 + "\t\t");
      } else {
        r.PrintTabbed("\t\t\t" + number);
        r.PrintTabbedLine("\t" + tit1);
      }
      table.Skip(1);
      if (r.GetCursorY() < kListEnd) continue;
      if (column == 1) {
        r.SetCursorY(top);
        column = 2;
      } else if (inRange()) {
        // A new page only when a note is left for it: a full last page gets no blank one.
        r.SetCursorY(kListEnd);
        Rule(r, kListEnd);
        r.ClearTabStops();
        r.NewPage();
        ++FPageCount;
        TitPri(&r);
        top = r.GetCursorY();
        column = 1;
      }
    }
  }
  if (column == 1) {
    r.SetCursorY(r.GetCursorY() - 0.1);
    Rule(r, r.GetCursorY());
  } else {
    r.SetCursorY(kListEnd);
    Rule(r, kListEnd);
  }
}
