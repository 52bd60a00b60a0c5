// TMainForm: showing the current note when the note table moves, and saving the note being
// edited (DBMemo1Save) (MainForm.h).
#include "app/MainForm.h"
#include "app/UdfTable.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

namespace {

// Memo text for TXbTable::Replace.
constexpr XbShort kReplaceMemo = 3072;
// Rich-text bodies longer than this cannot be stored.
constexpr int kRichBodyLimit = 10000;

}  // namespace

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

void TMainForm::DBMemo1Save() {
  if (!NoteTable->Active()) return;
  TEdit* edits[4] = {Edit1, Edit2, Edit3, Edit4};
  bool titles = false;
  for (TEdit* e : edits) titles = titles || e->Modified();
  if (!titles && !memo1->Modified()) return;

  AttachDisplay(false);
  struct Reattach {
    TMainForm* f;
    ~Reattach() { f->AttachDisplay(true); }
  } reattach{this};

  const XbLong recNo = NoteTable->RecNo();
  // A refused lock keeps everything as typed; the next save tries again.
  if (NoteTable->Rlock(recNo) == 0) return;
  struct Unlock {
    TXbTable* t;
    XbLong r;
    ~Unlock() {
      try {
        t->Unlock(r);
      } catch (...) {
      }
    }
  } unlock{NoteTable, recNo};

  NoteTable->Edit();
  if (titles) {
    // A title longer than its field keeps what fits; the field never cuts a character.
    const char* fields[4] = {"tit1", "tit2", "tit3", "tit4"};
    for (int i = 0; i < 4; ++i) ReplaceField(*NoteTable, fields[i], edits[i]->Text());
    for (TEdit* e : edits) e->SetModified(false);
  }
  if (memo1->Modified()) {
    const int length = memo1->GetTextLen();
    if (memo1->PlainText() || length <= kRichBodyLimit) {
      ReplaceField(*NoteTable, "type", memo1->PlainText() ? " " : "R");
      const std::string body = memo1->PlainText() ? memo1->Text() : memo1->StreamOut();
      NoteTable->Replace("mmm", kReplaceMemo, body.c_str());
      memo1->SetModified(false);
    } else {
      ShowMessage("(" + IntToStr(length) + cp949::K("Byte) 10000 Byte 이상은 RTF형식으로 저장할수 없습니다."));
      if (memo1->CanFocus()) memo1->SetFocus();
    }
  }
  NoteTable->Commit();
}
