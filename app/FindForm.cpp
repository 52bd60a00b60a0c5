// TFindForm: the title search dialog (FindForm.h).
#include "app/FindForm.h"

#include <exception>

#include "app/IndexDlg.h"
#include "app/MainForm.h"
#include "app/SearchExpr.h"
#include "platform/core/Services.h"
#include "platform/core/TextCodec.h"

using cp949::K;

TFindForm* FindForm = nullptr;

TFindForm::TFindForm(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog("FindForm", K("표 제 검 색"), 420, 330);

  RBtn1 = CreateControl<TRadioButton>(this, this, "RBtn1", 12, 8, 120, 22);
  RBtn1->SetText(K("전항목검색"));
  RBun2 = CreateControl<TRadioButton>(this, this, "RBun2", 140, 8, 120, 22);
  RBun2->SetText(K("항목별검색"));

  GBox1 = CreateControl<TGroupBox>(this, this, "GBox1", 12, 34, 390, 52);
  GBox1->SetText(K("전항목검색"));
  Edit0 = CreateControl<TEdit>(this, GBox1, "Edit0", 10, 20, 370, 24);

  GBox2 = CreateControl<TGroupBox>(this, this, "GBox2", 12, 92, 390, 130);
  GBox2->SetText(K("항목별검색"));
  TLabel** labels[4] = {&Label1, &Label2, &Label3, &Label4};
  TEdit** edits[4] = {&Edit1, &Edit2, &Edit3, &Edit4};
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i + 1);
    *labels[i] = CreateControl<TLabel>(this, GBox2, ("Label" + n).c_str(), 10, 24 + i * 26, 70, 20);
    *edits[i] = CreateControl<TEdit>(this, GBox2, ("Edit" + n).c_str(), 84, 20 + i * 26, 296, 24);
  }
  for (TEdit* e : {Edit0, Edit1, Edit2, Edit3, Edit4}) e->ImeName = K("한국어(한글)");

  GBox3 = CreateControl<TGroupBox>(this, this, "GBox3", 12, 228, 390, 44);
  NewRbtn = CreateControl<TRadioButton>(this, GBox3, "NewRbtn", 10, 16, 90, 22);
  NewRbtn->SetText(K("신규검색"));
  AndRbtn = CreateControl<TRadioButton>(this, GBox3, "AndRbtn", 110, 16, 130, 22);
  AndRbtn->SetText(K("and추가검색"));
  OrRbtn = CreateControl<TRadioButton>(this, GBox3, "OrRbtn", 250, 16, 130, 22);
  OrRbtn->SetText(K("or추가검색"));

  Button2 = CreateControl<TButton>(this, this, "Button2", 200, 280, 96, 30);
  Button2->SetText(K("검  색"));
  Button3 = CreateControl<TButton>(this, this, "Button3", 306, 280, 96, 30);
  Button3->SetText(K("해 제"));

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
  RBtn1->OnClick = [this](TObject* s) { RBtn1Click(s); };
  RBun2->OnClick = [this](TObject* s) { RBun2Click(s); };
  Button2->OnClick = [this](TObject* s) { Button2Click(s); };
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
}

void TFindForm::FormCreate(TObject*) {
  RBtn1->SetChecked(true);
  RBtn1Click(RBtn1);
}

void TFindForm::FormActivate(TObject*) {
  NewRbtn->SetChecked(true);
  if (!MainForm) return;
  const bool active = !MainForm->Label6->Caption().empty();
  AndRbtn->SetEnabled(active);
  OrRbtn->SetEnabled(active);
  Label1->SetCaption(MainForm->Label1->Caption());
  Label2->SetCaption(MainForm->Label2->Caption());
  Label3->SetCaption(MainForm->Label3->Caption());
  Label4->SetCaption(MainForm->Label4->Caption());
}

void TFindForm::RBtn1Click(TObject*) {
  Edit0->SetEnabled(true);
  Edit0->SetColor(clWindow);
  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4}) {
    e->SetEnabled(false);
    e->SetColor(clBtnFace);
  }
}

void TFindForm::RBun2Click(TObject*) {
  Edit0->SetEnabled(false);
  Edit0->SetColor(clBtnFace);
  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4}) {
    e->SetEnabled(true);
    e->SetColor(clWindow);
  }
}

void TFindForm::FormKeyPress(TObject*, char& Key) {
  EnterMovesToNextControl(Key);
}

void TFindForm::Button2Click(TObject*) {
  if (!MainForm || !MainForm->NoteTable->Active()) return;
  THourGlass wait;
  TSearchResult part;
  if (RBtn1->Checked()) {
    part = BuildAllTitlesExpression(Edit0->Text());
  } else {
    const std::string texts[4] = {Edit1->Text(), Edit2->Text(), Edit3->Text(), Edit4->Text()};
    part = BuildPerTitleExpression(texts);
  }
  if (part.Status == sbUnquotable) {
    ShowMessage(K("  한 검색어에 \" ' ] 세 가지를 함께 쓸 수 없습니다: ") + part.Word);
    return;
  }
  const TQueryCombine how = AndRbtn->Checked() ? qcAnd : OrRbtn->Checked() ? qcOr : qcNew;
  // Adding nothing to the query in force leaves it as it is.
  if (how != qcNew && Trim(part.Expression).empty()) {
    Close();
    return;
  }
  const TSearchResult query = CombineQuery(MainForm->QueryText, part.Expression, how);
  try {
    MainForm->ApplySearch(query.Expression);
  } catch (const std::exception& e) {
    // The engine refused the text: the query in force and the result label stay.
    ShowException(e);
    return;
  }
  Close();
}

void TFindForm::Button3Click(TObject*) {
  if (MainForm) {
    MainForm->Label6->SetCaption(std::string());
    if (MainForm->NoteTable->Active()) MainForm->NoteTable->Query(std::string());
  }
  Close();
}
