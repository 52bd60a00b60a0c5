// TSetForm: the settings dialog (SetForm.h).
#include "app/SetForm.h"

#include <array>
#include <string>

#include "app/MainForm.h"
#include "app/NoteFile.h"
#include "app/Udf.h"
#include "app/UdfTable.h"
#include "platform/core/Cp949.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

using cp949::K;

TSetForm* SetForm = nullptr;

namespace {

// The text cut to what the field holds, never inside a character: the engine would cut it at
// the byte and leave half a Hangul syllable behind.
std::string FitField(TXbTable& table, const std::string& field, const std::string& text) {
  const int width = table.FieldWidth(field);
  return width > 0 ? cp949::Cut(text, static_cast<std::size_t>(width)) : text;
}

}  // namespace

TSetForm::TSetForm(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog("SetForm", K("환 경 설 정"), 460, 380);

  GroupBox1 = CreateControl<TGroupBox>(this, this, "GroupBox1", 12, 8, 200, 150);
  GroupBox1->SetText(K(" 구 분 명 "));
  TEdit** edits[4] = {&Edit1, &Edit2, &Edit3, &Edit4};
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i + 1);
    *edits[i] = CreateControl<TEdit>(this, GroupBox1, ("Edit" + n).c_str(), 14, 22 + i * 30, 172, 24);
    (*edits[i])->ImeName = K("한국어(한글)");
  }
  Edit1->SetMaxLength(kLabelWidth);

  GroupBox2 = CreateControl<TGroupBox>(this, this, "GroupBox2", 12, 166, 200, 56);
  GroupBox2->SetText(K(" 데이타보호 "));
  ReadOnlyChk = CreateControl<TCheckBox>(this, GroupBox2, "ReadOnlyChk", 14, 22, 172, 24);
  ReadOnlyChk->SetText(K("쓰기,삭제방지"));

  GroupBox3 = CreateControl<TGroupBox>(this, this, "GroupBox3", 224, 8, 224, 150);
  GroupBox3->SetText(K(" 폰트설정 "));
  Memo1 = CreateControl<TMemo>(this, GroupBox3, "Memo1", 12, 22, 200, 80);
  Memo1->SetReadOnly(true);
  Memo1->SetTabStop(false);
  Memo1->SetText(std::string("\r\n") + K("  본문 글자모양") + "\r\n");
  Button3 = CreateControl<TButton>(this, GroupBox3, "Button3", 112, 110, 100, 28);
  Button3->SetText(K("폰트변경"));
  FontDialog1 = new TFontDialog(this);
  FontDialog1->SetName("FontDialog1");

  GroupBox4 = CreateControl<TGroupBox>(this, this, "GroupBox4", 12, 230, 436, 60);
  GroupBox4->SetText(K("링크경로"));
  LinkPathEd = CreateControl<TEdit>(this, GroupBox4, "LinkPathEd", 14, 22, 330, 24);
  Button1 = CreateControl<TButton>(this, GroupBox4, "Button1", 352, 20, 70, 28);
  Button1->SetText(K("경로"));

  Ok = CreateControl<TButton>(this, this, "Ok", 348, 304, 100, 32);
  Ok->SetText(K("확인"));
  Ok->SetDefault(true);

  ImagePan = CreateControl<TPanel>(this, this, "ImagePan", 90, 20, 300, 300);
  ImagePan->SetVisible(false);
  TitleLA = CreateControl<TLabel>(this, ImagePan, "TitleLA", 10, 8, 280, 20);
  TitleLA->SetCaption(K("사진파일경로지정"));
  DirListBox = CreateControl<TDirectoryListBox>(this, ImagePan, "DirListBox", 10, 30, 280, 190);
  dirLA = CreateControl<TLabel>(this, ImagePan, "dirLA", 10, 226, 280, 20);
  DirListBox->DirLabel = dirLA;
  dirLA->SetCaption(DirListBox->Directory());
  OKBtn = CreateControl<TButton>(this, ImagePan, "OKBtn", 60, 254, 90, 30);
  OKBtn->SetText(K("지   정"));
  CancelBtn = CreateControl<TBitBtn>(this, ImagePan, "CancelBtn", 160, 254, 90, 30);
  CancelBtn->SetKind(bkCancel);
  CancelBtn->SetText(K("취   소"));

  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
  OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
  Button3->OnClick = [this](TObject* s) { Button3Click(s); };
  Button1->OnClick = [this](TObject* s) { Button1Click(s); };
  OKBtn->OnClick = [this](TObject* s) { OKBtnClick(s); };
  Ok->OnClick = [this](TObject* s) { OkClick(s); };
}

void TSetForm::FormActivate(TObject*) {
  ImagePan->SetVisible(false);
  if (!MainForm) return;
  Memo1->SetFont(MainForm->TempEd->Font());
  // The captions are the 8-byte slices of the header, blank-padded; the blanks come back
  // when the labels are stored, and without them the limited first edit has room to type.
  TLabel* labels[4] = {MainForm->Label1, MainForm->Label2, MainForm->Label3, MainForm->Label4};
  TEdit* edits[4] = {Edit1, Edit2, Edit3, Edit4};
  for (int i = 0; i < 4; ++i) edits[i]->SetText(StrRTrim(labels[i]->Caption()));
  // Typing stops where the header field ends; a folder chosen in the tree is checked on "확인".
  LinkPathEd->SetMaxLength(MainForm->NoteTable->Active() ? MainForm->NoteTable->FieldWidth("tit3") : 0);
  LinkPathEd->SetText(MainForm->LinkPath);
  ReadOnlyChk->SetChecked(MainForm->memo1->ReadOnly());
  SetActiveControl(Edit1);
}

void TSetForm::FormKeyPress(TObject*, char& Key) {
  EnterMovesToNextControl(Key);
}

void TSetForm::FormClose(TObject*, TCloseAction&) {
  if (MainForm && !MainForm->DataFolder.empty()) SetCurrentDir(MainForm->DataFolder);
}

void TSetForm::Button3Click(TObject*) {
  FontDialog1->Font().Assign(&Memo1->Font());
  if (FontDialog1->Execute()) Memo1->SetFont(FontDialog1->Font());
}

void TSetForm::Button1Click(TObject*) {
  const std::string here = GetCurrentDir();
  if (DirectoryExists(here)) DirListBox->SetDirectory(here);
  ImagePan->SetLeft(90);
  ImagePan->SetVisible(true);
  ImagePan->BringToFront();
  if (DirListBox->CanFocus()) DirListBox->SetFocus();
}

void TSetForm::OKBtnClick(TObject*) {
  LinkPathEd->SetText(dirLA->Caption());
  ImagePan->SetVisible(false);
}

void TSetForm::OkClick(TObject*) {
  if (!MainForm) return;
  TXbTable& notes = *MainForm->NoteTable;
  TXbTable& settings = *MainForm->ConTable;

  const std::string labels = JoinLabels({Edit1->Text(), Edit2->Text(), Edit3->Text(), Edit4->Text()});
  const std::string linkPath = LinkPathEd->Text();

  if (notes.Active()) {
    // A folder cut to the field's width would name another folder; refuse before anything
    // is written, so the file's settings stay whole.
    const int width = notes.FieldWidth("tit3");
    if (width > 0 && static_cast<int>(linkPath.size()) > width) {
      ShowMessage(K("링크경로가 너무 깁니다. ") + IntToStr(width) + K("바이트까지 쓸 수 있습니다."));
      if (LinkPathEd->CanFocus()) LinkPathEd->SetFocus();
      return;
    }
    THeaderRecord header(*MainForm->XbEnv1, notes, heGoBottom);
    ReplacePosted(notes, "lock", ReadOnlyChk->Checked() ? "1" : " ");
    ReplaceLocked(notes, "tit1", FitField(notes, "tit1", labels));
    ReplaceLocked(notes, "tit3", linkPath);
    header.Leave();
  }

  if (settings.Active()) {
    const TFont& font = Memo1->Font();
    ReplacePosted(settings, "font3", FitField(settings, "font3", font.Name()));
    ReplacePosted(settings, ScreenColourField(settings), ColorToCode(font.Color()));
    ReplacePosted(settings, "fsize3", IntToStr(font.Size()));
    ReplacePosted(settings, "ftype3", font.Style().Contains(fsBold) ? "1" : " ");
  }

  MainForm->TempEd->SetFont(Memo1->Font());
  MainForm->memo1->SetFont(Memo1->Font());
  SetModalResult(mrOk);
  if (!Modal()) Close();
}
