// TMainForm: moving through the notes — the sort buttons, the entry order and the
// record-number entry, the quick move, the seek panel and its search, the walk to the next
// marked note, and the visit history (MainForm.h).
#include <algorithm>

#include "app/IndexDlg.h"
#include "app/MainForm.h"
#include "app/SearchExpr.h"
#include "app/Udf.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/LongOperation.h"

using cp949::K;

namespace {

constexpr int kPanel4Height = 126;
constexpr int kPanel4SeekHeight = 159;
constexpr int kPanel2SeekMinimum = 194;
constexpr int kRecEdTop = 98;

void FocusIfPossible(TWinControl* c) {
  if (c->CanFocus()) c->SetFocus();
}

}  // namespace

void TMainForm::BuildNavigation() {
  TSpeedButton* sorts[4] = {Sort1Btn, Sort2Btn, Sort3Btn, Sort4Btn};
  for (int i = 0; i < 4; ++i) sorts[i]->OnClick = [this, i](TObject*) { SortBtnClick(i + 1); };
  RecOrderBtn->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    RecOrderBtnMouseDown(s, b, sh, x, y);
  };
  RecOrderBtn->OnDblClick = [this](TObject*) { RecEdShow(); };
  RecEd->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { RecEdKeyDown(s, k, sh); };
  RecEd->OnExit = [this](TObject*) { RecEd->SetVisible(false); };
  QuickBtn->OnClick = [this](TObject* s) { QuickBtnClick(s); };
  SeekBtn->OnClick = [this](TObject* s) { SeekBtnClick(s); };
  // The search needs one of the five choices; typed text would choose none.
  SeekComboBox->SetStyle(csDropDownList);
  SeekComboBox->OnChange = [this](TObject* s) { SeekComboBoxChange(s); };
  Vchk->OnClick = [this](TObject* s) { VchkClick(s); };
  SeekEd->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { SeekEdKeyDown(s, k, sh); };
  OkSeekBtn->OnClick = [this](TObject* s) { OkSeekBtnClick(s); };
  PreBtn->OnClick = [this](TObject* s) { PreBtnClick(s); };
  NextBtn->OnClick = [this](TObject* s) { NextBtnClick(s); };
  // Esc in the note list drops the search; the list's other keys stay with their handler.
  TKeyEvent listKeys = DBGrid1->OnKeyDown;
  DBGrid1->OnKeyDown = [this, listKeys](TObject* s, uint16_t& k, TShiftState sh) {
    if (k == VK_ESCAPE) ClearQuery(false);
    if (listKeys) listKeys(s, k, sh);
  };
}

// ---- sorting ------------------------------------------------------------------------------

bool TMainForm::IsTag(const std::string& TagName) {
  if (!NoteTable->Active()) return false;
  for (XbShort i = 1; i <= 4; ++i)
    if (NoteTable->TagName(i) == TagName) return true;
  return false;
}

void TMainForm::SortBtnClick(int N) {
  if (!NoteTable->Active() || N < 1 || N > 4) return;
  // The sorted list shows another note where this one was: what is typed is saved first,
  // and stays on its note when it cannot be.
  if (!SaveNote()) return;
  const std::string tag = "TIT" + std::to_string(N);
  if (!IsTag(tag)) {
    THourGlass wait;
    if (!IndexDlg->MakeIndex(*NoteTable, tag, "tit" + std::to_string(N))) return;
  }
  NoteTable->SetOrder(NoteTable->TagArea(tag));
  NoteTable->Tag = N;
  DBGrid1->SetSelectedIndex(N - 1);
}

void TMainForm::RecOrderBtnMouseDown(TObject*, TMouseButton Button, TShiftState, int, int) {
  if (Button == mbRight) {
    RecEdShow();
    return;
  }
  if (!NoteTable->Active() || !SaveNote()) return;
  NoteTable->SetOrder(0);
  NoteTable->Tag = 0;
  NoteTable->GoBottom();
  DBGrid1->SetSelectedIndex(0);
}

void TMainForm::RecEdShow() {
  RecEd->SetTop(kRecEdTop);
  RecEd->SetText(std::string());
  RecEd->SetVisible(true);
  FocusIfPossible(RecEd);
}

void TMainForm::RecEdKeyDown(TObject*, uint16_t& Key, TShiftState) {
  if (Key != VK_RETURN) return;
  Key = 0;
  // The number typed is a note number; the note is the record after it.
  GoToNote(StrToIntZero(Trim(RecEd->Text())) + 1);
  FocusIfPossible(DBGrid1);
  RecEd->SetVisible(false);
}

bool TMainForm::GoToNote(XbLong RecNo) {
  if (!NoteTable->Active() || NoteTable->State() != dsBrowse) return false;
  // Record 1 is the header: shown as a note, the next save would overwrite it.
  if (RecNo < 2 || RecNo > NoteTable->RecCount()) return false;
  const XbLong from = NoteTable->RecNo();
  if (RecNo == from) return true;
  if (!SaveNote()) return false;
  AttachDisplay(false);
  NoteTable->SetRecNo(static_cast<int>(RecNo));
  NoteTable->SelectWorkArea();
  const bool reached = NoteTable->RecNo() == RecNo && NoteTable->xb_Deleted() == 0;
  if (!reached) NoteTable->SetRecNo(static_cast<int>(from));
  AttachDisplay(true);
  NoteDataSourceDataChange(NoteDataSource, nullptr);
  return reached;
}

// ---- quick move ---------------------------------------------------------------------------

void TMainForm::QuickBtnClick(TObject*) {
  if (!NoteTable->Active() || !SaveNote()) return;
  const std::string input = InputBox(K("빠른이동"), K("이동할 첫단어를 입력하세요."), std::string());
  if (!IsTag("TIT1")) {
    THourGlass wait;
    if (!IndexDlg->MakeIndex(*NoteTable, "TIT1", "tit1")) return;
  }
  if (Trim(input).empty()) return;
  XbEnv1->SetSoftSeek(true);
  try {
    NoteTable->SetOrder(NoteTable->TagArea("TIT1"));
    NoteTable->Tag = 1;
    NoteTable->Seek(input);
  } catch (...) {
    XbEnv1->SetSoftSeek(false);
    throw;
  }
  XbEnv1->SetSoftSeek(false);
  DBGrid1->SetSelectedIndex(0);
}

// ---- seek panel ---------------------------------------------------------------------------

void TMainForm::SeekBtnClick(TObject*) {
  if (!SaveNote()) return;
  if (!SeekPan->Visible()) SavedPanelHeight = Panel2->Height();
  Panel4->SetHeight(kPanel4SeekHeight);
  if (Panel2->Height() < kPanel2SeekMinimum) Panel2->SetHeight(kPanel2SeekMinimum);
  SeekPan->SetVisible(true);
  FocusIfPossible(SeekEd);
}

void TMainForm::SeekPanClose() {
  FocusIfPossible(DBGrid1);
  SeekPan->SetVisible(false);
  Panel4->SetHeight(kPanel4Height);
  if (SavedPanelHeight > 0) Panel2->SetHeight(SavedPanelHeight);
  ClearQuery(false);
}

void TMainForm::SeekComboBoxChange(TObject*) {
  const int i = SeekComboBox->ItemIndex();
  DBGrid1->SetSelectedIndex(i >= 0 && i <= 3 ? i : 0);
}

void TMainForm::VchkClick(TObject*) {
  // Ticked, the box shows its caption beside a shorter edit.
  if (Vchk->Checked()) {
    SeekEd->SetWidth(227);
    Vchk->SetBounds(306, Vchk->Top(), 52, Vchk->Height());
  } else {
    SeekEd->SetWidth(265);
    Vchk->SetBounds(343, Vchk->Top(), 16, Vchk->Height());
  }
}

void TMainForm::SeekEdKeyDown(TObject*, uint16_t& Key, TShiftState) {
  if (Key == VK_RETURN) {
    Key = 0;
    OkSeekBtnClick(SeekEd);
  } else if (Key == VK_ESCAPE) {
    Key = 0;
    SeekPanClose();
  }
}

void TMainForm::OkSeekBtnClick(TObject*) {
  // The search moves the list: what is typed is saved first (typed after the panel opened,
  // an Alt+1..4 title), and stays on its note when it cannot be.
  if (!NoteTable->Active() || !SaveNote()) return;
  THourGlass wait;
  const int choice = SeekComboBox->ItemIndex();
  const TSearchResult built = BuildSeekExpression(SeekEd->Text(), choice + 1, Vchk->Checked());
  if (built.Status == sbTooLong) {
    ShowMessage(K("   검색 조건이 너무 길어요...  "));
    return;
  }
  if (built.Status == sbUnquotable) {
    ShowMessage(K("  한 검색어에 \" ' ] 세 가지를 함께 쓸 수 없습니다: ") + built.Word);
    return;
  }
  ApplySearch(built.Expression);
  FocusIfPossible(DBGrid1);
  DBGrid1->SetSelectedIndex(choice >= 0 && choice <= 3 ? choice : 0);
}

bool TMainForm::ApplySearch(const std::string& Expression) {
  bool applied = false;
  if (!Trim(Expression).empty()) {
    // A text the engine refuses raises here: the query, QueryText and Label6 stay as they were.
    NoteTable->Query(Expression);
    applied = true;
  }
  QueryText = Expression;
  const XbLong hits = applied ? NoteTable->QueryRecCount() : 0;
  if (hits > 0) {
    Label6->SetCaption(IntToStr(hits) + K("건 검색"));
    return true;
  }
  ShowMessage(K(" 조건을 만족하는 문서가 없습니다."));
  NoteTable->Query(std::string());
  Label6->SetCaption(std::string());
  return false;
}

// ---- the next marked note -----------------------------------------------------------------

void TMainForm::NextMarkedNote() {
  if (!NoteTable->Active()) return;
  // What is typed belongs to the note it was typed on, not to the one the walk reaches.
  if (!SaveNote()) return;
  AttachDisplay(false);
  {
    // A file of many notes without a mark ahead is a long walk: the status bar shows how far
    // it has come, the window repaints, and no second command starts meanwhile.
    TLongOperation busy;
    TStatusPanel& shown = SBar->Panels()[0];
    const std::string before = shown.Text();
    struct TEnd {
      TMainForm& f;
      TStatusPanel& panel;
      const std::string& text;
      ~TEnd() {
        panel.SetText(text);
        f.AttachDisplay(true);
      }
    } end{*this, shown, before};
    const XbLong notes = std::max<XbLong>(1, NoteTable->RecCount());
    XbLong seen = 0;
    int percent = -1;
    while (!NoteTable->Eof()) {
      if (!Trim(NoteTable->GetString("chk")).empty()) break;
      NoteTable->Skip(1);
      if (++seen % 1024 != 0) continue;
      const int now = static_cast<int>(std::min<XbLong>(99, seen * 100 / notes));
      if (now != percent) shown.SetText(IntToStr(percent = now) + "%");
      TLongOperation::Pump();
    }
  }
  NoteTable->SetRecNo(static_cast<int>(NoteTable->RecNo()));
  NoteDataSourceDataChange(NoteDataSource, nullptr);
}

// ---- history ------------------------------------------------------------------------------

void TMainForm::RBankAdd() {
  if (!NoteTable->Active()) return;
  const XbLong recNo = NoteTable->RecNo();
  if (recNo < 2) return;
  if (VisitHistory.empty() || VisitHistory.back() != recNo) VisitHistory.push_back(recNo);
  RBankPos = static_cast<int>(VisitHistory.size());
  PreBtn->SetEnabled(true);
  NextBtn->SetEnabled(false);
}

void TMainForm::RBankReset() {
  VisitHistory.clear();
  RBankPos = 1;
  PreBtn->SetEnabled(false);
  NextBtn->SetEnabled(false);
}

void TMainForm::PreBtnClick(TObject*) {
  // Leaving the body adds the note being left; a note that could not be saved stays.
  FocusIfPossible(DBGrid1);
  if (NoteDirty()) return;
  if (RBankPos < 2) {
    PreBtn->SetEnabled(false);
  } else {
    --RBankPos;
    GoToNote(VisitHistory[static_cast<std::size_t>(RBankPos - 1)]);
  }
  if (!VisitHistory.empty()) NextBtn->SetEnabled(true);
}

void TMainForm::NextBtnClick(TObject*) {
  FocusIfPossible(DBGrid1);
  if (NoteDirty()) return;
  if (RBankPos < static_cast<int>(VisitHistory.size())) {
    ++RBankPos;
    GoToNote(VisitHistory[static_cast<std::size_t>(RBankPos - 1)]);
  } else {
    NextBtn->SetEnabled(false);
  }
  if (!VisitHistory.empty()) PreBtn->SetEnabled(true);
}
