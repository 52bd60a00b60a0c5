// TMainForm: showing the current note when the note table moves (MainForm.h). The save of
// the note being edited, DBMemo1Save, is in MainFormEdit.cpp.
#include "app/MainForm.h"
#include "app/UdfTable.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

void TMainForm::AttachDisplay(bool On) {
  if (On)
    NoteDataSource->OnDataChange = [this](TObject* s, TField* f) { NoteDataSourceDataChange(s, f); };
  else
    NoteDataSource->OnDataChange = nullptr;
}

void TMainForm::NoteDataSourceDataChange(TObject*, TField*) {
  if (!NoteTable->Active() || NoteTable->State() != dsBrowse) return;
  // The position text doubles as the marker of what is shown: only a move redisplays, so
  // text being typed survives a change that does not move.
  const std::string position = IntToStr(NoteTable->RecNo() - 1) + "/" + IntToStr(NoteTable->RecCount() - 1);
  if (position == Label77->Caption()) return;
  Label77->SetCaption(position);

  ChkBtn->SetNumGlyphs(NoteTable->GetString("chk") != " " ? 2 : 1);
  TEdit* edits[4] = {Edit1, Edit2, Edit3, Edit4};
  const char* fields[4] = {"tit1", "tit2", "tit3", "tit4"};
  for (int i = 0; i < 4; ++i) edits[i]->SetText(Trim(NoteTable->GetString(fields[i])));

  const bool rich = NoteTable->GetString("type") != " ";
  ARBtn->SetNumGlyphs(rich ? 2 : 1);
  memo1->SetPlainText(!rich);
  const std::string body = NoteTableMMM->AsString();
  if (rich)
    memo1->StreamIn(body);
  else
    memo1->SetText(body);
  memo1->SetModified(false);
  memo1->SetFont(TempEd->Font());
  memo1->ScrollToTop();
}
