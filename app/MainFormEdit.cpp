// TMainForm: saving the note being edited (DBMemo1Save), the note commands (new note,
// delete, V mark), the body commands (rich/plain switch, line delete, font, caret panel, the
// Esc prompt), both popup menus, selection to title, text import and export (MainForm.h).
#include "app/MainForm.h"
#include "app/Udf.h"
#include "app/UdfTable.h"
#include "platform/core/Cp949.h"
#include "platform/core/OsText.h"
#include "platform/core/Services.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

using cp949::K;

namespace {

// Memo text for TXbTable::Replace.
constexpr XbShort kReplaceMemo = 3072;
// Rich-text bodies longer than this (bytes of the body's text) are not stored as rich text.
constexpr int kRichBodyLimit = 10000;

const char* const kTitleFields[4] = {"tit1", "tit2", "tit3", "tit4"};

TMenuItem* MenuItem(TComponent* form, const char* name) {
  return dynamic_cast<TMenuItem*>(form->FindComponent(name));
}

void OnClickOf(TComponent* form, const char* name, std::function<void()> f) {
  if (TMenuItem* i = MenuItem(form, name)) i->OnClick = [f = std::move(f)](TObject*) { f(); };
}

// Puts a handler in front of the one a control already has, so that the files of the form
// can each hook the same event.
template <class Event, class F>
void Chain(Event& event, F&& mine) {
  Event before = event;
  event = [before, mine = std::forward<F>(mine)](auto&&... args) {
    mine(args...);
    if (before) before(args...);
  };
}

// A text file's contents as program text: UTF-8 (with or without a byte-order mark) or code
// page 949. A character the note cannot hold stops the import with a message naming it.
bool ReadTextFile(const std::string& name, std::string& text) {
  std::string failure;
  if (ostext::TextFromFile(ReadFileBytes(name), text, failure)) return true;
  ShowMessage(name + K(" : 한글 코드(CP949)로 나타낼 수 없는 글자(") + failure + K(")가 있어 읽을 수 없습니다."));
  return false;
}

}  // namespace

// ---- wiring -----------------------------------------------------------------------------

void TMainForm::BuildEditing() {
  SpeedButton2->OnClick = [this](TObject* s) { SpeedButton2Click(s); };
  DeleteBtn->OnClick = [this](TObject* s) { DeleteClick(s); };
  ChkBtn->OnClick = [this](TObject* s) { ChkBtnClick(s); };
  ARBtn->OnClick = [this](TObject* s) { ARBtnClick(s); };
  ReadFileBtn->OnClick = [this](TObject* s) { ReadFileBtnClick(s); };
  SaveFileBtn->OnClick = [this](TObject* s) { SaveFileBtnClick(s); };

  memo1->OnEnter = [this](TObject*) { ActiveEdit = memo1; };
  Chain(memo1->OnExit, [this](TObject* s) { Memo1Exit(s); });
  memo1->OnKeyDown = [this](TObject* s, uint16_t& k, TShiftState sh) { Memo1KeyDown(s, k, sh); };
  memo1->OnKeyUp = [this](TObject* s, uint16_t& k, TShiftState sh) { Memo1KeyUp(s, k, sh); };
  memo1->OnKeyPress = [this](TObject* s, char& k) { Memo1KeyPress(s, k); };
  memo1->OnMouseDown = [this](TObject* s, TMouseButton b, TShiftState sh, int x, int y) {
    memo1MouseDown(s, b, sh, x, y);
  };

  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4}) {
    e->OnEnter = [this, e](TObject*) { ActiveEdit = e; };
    // Enter moves on to the next control.
    e->OnKeyPress = [this, e](TObject*, char& k) {
      if (k != '\r') return;
      k = 0;
      SelectNext(e, true, true);
    };
    e->OnDblClick = [this](TObject* s) { LinkDblClick(s); };
  }

  Chain(DBGrid1->OnEnter, [this](TObject* s) { DBGrid1Enter(s); });
  Chain(DBGrid1->OnKeyDown, [this](TObject* s, uint16_t& k, TShiftState sh) { DBGrid1KeyDown(s, k, sh); });

  PopupMenu1->OnPopup = [this](TObject* s) { PopupMenu1Popup(s); };
  OnClickOf(this, "BodyCut", [this] { memo1->CutToClipboard(); });
  OnClickOf(this, "BodyCopy", [this] { memo1->CopyToClipboard(); });
  OnClickOf(this, "BodyPaste", [this] { memo1->PasteFromClipboard(); });
  OnClickOf(this, "BodySelectAll", [this] { memo1->SelectAll(); });
  OnClickOf(this, "BodyPasteNew", [this] {
    // A refused save or a protected file leaves the note as it was: nothing to paste into.
    if (memo1->ReadOnly()) {
      SpeedButton2Click(this);
      return;
    }
    if (AppendNote()) memo1->PasteFromClipboard();
  });
  const char* titleItems[4] = {"BodyPasteTit1", "BodyPasteTit2", "BodyPasteTit3", "BodyPasteTit4"};
  for (int n = 1; n <= 4; ++n) OnClickOf(this, titleItems[n - 1], [this, n] { PasteToTitle(n, true); });
  OnClickOf(this, "BodyFont", [this] { SelectionFont(); });
  OnClickOf(this, "BodyLink", [this] { MarkLinkClick(this); });
  OnClickOf(this, "BodyFileLink", [this] { InsertFileLinkClick(this); });

  PopupMenu2->OnPopup = [this](TObject* s) { PopupMenu2Popup(s); };
  OnClickOf(this, "TitleCut", [this] { if (ActiveEdit) ActiveEdit->CutToClipboard(); });
  OnClickOf(this, "TitleCopy", [this] { if (ActiveEdit) ActiveEdit->CopyToClipboard(); });
  OnClickOf(this, "TitlePaste", [this] { if (ActiveEdit) ActiveEdit->PasteFromClipboard(); });
  OnClickOf(this, "TitleSelectAll", [this] { if (ActiveEdit) ActiveEdit->SelectAll(); });
  OnClickOf(this, "TitleFileLink", [this] { InsertFileLinkClick(this); });
}

// ---- saving -----------------------------------------------------------------------------

bool TMainForm::NoteDirty() const {
  return memo1->Modified() || Edit1->Modified() || Edit2->Modified() || Edit3->Modified() ||
         Edit4->Modified();
}

void TMainForm::DBMemo1Save() { SaveNote(); }

bool TMainForm::SaveNote() {
  if (!NoteTable->Active() || !NoteDirty()) return true;

  AttachDisplay(false);
  struct Reattach {
    TMainForm* f;
    ~Reattach() { f->AttachDisplay(true); }
  } reattach{this};

  const XbLong recNo = NoteTable->RecNo();
  if (recNo < 1 || NoteTable->Rlock(recNo) == 0) {
    // Everything stays as typed; the next save tries again.
    ShowMessage(kRecordLockFailed);
    return false;
  }
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

  // Another copy may have deleted the note since it was shown here: what is typed would go
  // into a record no one sees. The edit brings the note back instead. (Record 1, the file's
  // header, is always deleted.)
  NoteTable->SelectWorkArea();
  NoteTable->xb_Go(recNo);
  const bool deletedElsewhere = recNo > 1 && NoteTable->xb_Deleted() != 0;
  if (deletedElsewhere) NoteTable->Recall();

  TEdit* edits[4] = {Edit1, Edit2, Edit3, Edit4};
  TStringField* widths[4] = {NoteTableTIT1, NoteTableTIT2, NoteTableTIT3, NoteTableTIT4};
  const bool titles = Edit1->Modified() || Edit2->Modified() || Edit3->Modified() || Edit4->Modified();
  bool body = memo1->Modified();
  bool tooLong = false;
  int length = 0;
  std::string typed[4];
  for (int i = 0; i < 4; ++i)
    typed[i] = cp949::Cut(edits[i]->Text(), static_cast<std::size_t>(widths[i]->Size()));
  try {
    NoteTable->Edit();
    // A title left as it was shown keeps what the file holds now: another copy may have
    // changed it since.
    if (titles)
      for (int i = 0; i < 4; ++i)
        if (typed[i] != cp949::Cut(ShownTitles[i], static_cast<std::size_t>(widths[i]->Size())))
          ReplaceField(*NoteTable, kTitleFields[i], typed[i]);
    if (body) {
      length = memo1->GetTextLen();
      if (memo1->PlainText() || length <= kRichBodyLimit) {
        ReplaceField(*NoteTable, "type", memo1->PlainText() ? " " : "R");
        const std::string stored = memo1->PlainText() ? memo1->Text() : memo1->StreamOut();
        NoteTable->Replace("mmm", kReplaceMemo, stored.c_str());
      } else {
        body = false;
        tooLong = true;
      }
    }
    NoteTable->Commit();
  } catch (...) {
    // Nothing was stored: the edits keep their text and flags.
    if (NoteTable->State() == dsEdit) NoteTable->Cancel();
    throw;
  }
  // The flags go only once the write is committed.
  if (titles)
    for (int i = 0; i < 4; ++i) {
      edits[i]->SetModified(false);
      ShownTitles[i] = edits[i]->Text();
    }
  if (body) memo1->SetModified(false);
  if (deletedElsewhere) ShowMessage(K(" 다른 곳에서 삭제된 문서입니다. 고친 내용으로 되살렸습니다."));
  if (tooLong) {
    ShowMessage("(" + IntToStr(length) + K("Byte) 10000 Byte 이상은 RTF형식으로 저장할수 없습니다."));
    if (memo1->CanFocus()) memo1->SetFocus();
    return false;
  }
  return true;
}

bool TMainForm::ConfirmDropUnsaved() {
  if (!NoteTable->Active() || !NoteDirty() || SaveNote()) return true;
  if (MessageBox(K("저장하지 못한 내용이 있습니다. 저장하지 않고 끝낼까요?"), ApplicationTitle(),
                 MB_YESNO | MB_ICONQUESTION) != IDYES)
    return false;
  for (TCustomEdit* e : std::initializer_list<TCustomEdit*>{memo1, Edit1, Edit2, Edit3, Edit4})
    e->SetModified(false);
  return true;
}

// ---- note commands ----------------------------------------------------------------------

void TMainForm::ShowBlankNote() {
  ShowButtonState(ChkBtn, false);
  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4}) e->Clear();
  for (std::string& t : ShownTitles) t.clear();
  ShowButtonState(ARBtn, false);
  memo1->SetPlainText(true);
  memo1->StreamIn(std::string());
  memo1->SetModified(false);
  memo1->SetFont(TempEd->Font());
}

void TMainForm::SpeedButton2Click(TObject*) {
  if (memo1->ReadOnly()) {
    ShowMessage(K("  \"쓰기방지\" 되어 있습니다..."));
    return;
  }
  AppendNote();
}

bool TMainForm::AppendNote() {
  if (!NoteTable->Active()) return false;
  // Text that could not be saved stays on its own note.
  if (!SaveNote()) return false;
  NoteTable->SetOrder(0);
  NoteTable->Tag = 0;
  NoteTable->GoBottom();
  // The blank note this window made last and nobody has touched: another would only be a
  // second empty one.
  if (NoteTable->RecNo() != FreshNoteRecNo || NoteDirty() || !IsBlankNoteShown()) {
    // The note is in the file from now on: no later move of the table can drop it, and what
    // is typed into it is saved like any note's edit.
    NoteTable->AppendBlank();
    try {
      NoteTable->Commit();
    } catch (...) {
      if (NoteTable->State() == dsInsert) NoteTable->Cancel();
      throw;
    }
    FreshNoteRecNo = NoteTable->RecNo();
    ShowBlankNote();
  }
  if (Edit1->CanFocus()) Edit1->SetFocus();
  return true;
}

bool TMainForm::IsBlankNoteShown() const {
  for (TEdit* e : {Edit1, Edit2, Edit3, Edit4})
    if (!e->Text().empty()) return false;
  return memo1->GetTextLen() == 0;
}

void TMainForm::DeleteClick(TObject*) {
  if (memo1->ReadOnly()) {
    MessageBox(K("  쓰기,삭제 방지 되어 있습니다. "), ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (!NoteTable->Active()) return;
  if (MessageBox(K(" 삭제 할까요?"), ApplicationTitle(), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  // Refused while another copy holds the note (it is saving into it): nothing changes.
  NoteTable->Delete();
  // What was typed belonged to the deleted note; it must not reach the note shown next.
  for (TCustomEdit* e : std::initializer_list<TCustomEdit*>{memo1, Edit1, Edit2, Edit3, Edit4})
    e->SetModified(false);
  Label77->SetCaption("..");
  NoteDataSourceDataChange(NoteDataSource, nullptr);
}

void TMainForm::ChkBtnClick(TObject*) {
  if (!NoteTable->Active()) return;
  if (!Trim(NoteTable->GetString("chk")).empty()) {
    if (ReplaceLocked(*NoteTable, "chk", " ")) ShowButtonState(ChkBtn, false);
  } else {
    if (ReplaceLocked(*NoteTable, "chk", "v")) ShowButtonState(ChkBtn, true);
  }
}

// ---- body commands ----------------------------------------------------------------------

void TMainForm::ARBtnClick(TObject*) {
  if (memo1->ReadOnly()) return;
  memo1->SetModified(true);
  const bool rich = memo1->PlainText();
  memo1->SetPlainText(!rich);
  ShowButtonState(ARBtn, rich);
}

void TMainForm::DeleteCaretLine() {
  if (memo1->ReadOnly()) return;
  const int line = memo1->CaretLine();
  if (line < memo1->Lines().Count()) memo1->Lines().Delete(line);
  // The table goes into edit state only under the save's lock.
  memo1->SetModified(true);
}

void TMainForm::SelectionFont() {
  FontDialog1->Font().Assign(&memo1->SelAttributes());
  if (FontDialog1->Execute()) memo1->SelAttributes().Assign(&FontDialog1->Font());
}

void TMainForm::Memo1KeyDown(TObject*, uint16_t& Key, TShiftState Shift) {
  const TShiftState mods = KeyModifiers(Shift);
  if (Key == 'Y' && mods == ssCtrl) {
    DeleteCaretLine();
    Key = 0;
  } else if (Key == 'L' && mods == ssAlt) {
    SelectionFont();
    Key = 0;
  } else if (Key >= '1' && Key <= '4' && mods == ssAlt) {
    // The window's map has made the selection a title; the digit is not typed over it.
    Key = 0;
  }
}

void TMainForm::Memo1KeyUp(TObject*, uint16_t&, TShiftState) {
  SBar->Panels()[0].SetText(IntToStr(memo1->CaretLine() + 1) + "," + IntToStr(memo1->CaretColumn() + 1));
}

void TMainForm::Memo1KeyPress(TObject*, char& Key) {
  if (Key != 27 && Key != 9) return;
  Key = 0;
  if (memo1->Modified()) {
    if (MessageBox(K("본문이 변경되었습니다 저장할까요?"), ApplicationTitle(), MB_YESNO | MB_ICONQUESTION) ==
        IDYES) {
      SaveNote();
    } else if (NoteTable->Active()) {
      memo1->SetModified(false);
      // The stored note is shown again.
      Label77->SetCaption("..");
      NoteDataSourceDataChange(NoteDataSource, nullptr);
    }
  }
  if (!memo1->Modified() && DBGrid1->CanFocus()) DBGrid1->SetFocus();
}

void TMainForm::Memo1Exit(TObject*) {
  SBar->Panels()[0].SetText(std::string());
  if (NoteTable->Active() && NoteTable->State() == dsBrowse && !NoteTable->IsEmpty()) RBankAdd();
  if (!SaveNote()) StayOnNote(memo1);
}

void TMainForm::StayOnNote(TWinControl* Editor) {
  // On its way into the note list a refused save keeps the user where the text is: the
  // click or key that moves the list would show another note and drop what is typed.
  if (!NoteDirty() || ActiveControl() != DBGrid1 || !Editor || !Editor->CanFocus()) return;
  Editor->SetFocus();
}

// ---- the note list ----------------------------------------------------------------------

void TMainForm::DBGrid1Enter(TObject*) {
  if (!SaveNote()) StayOnNote(ActiveEdit);
}

void TMainForm::DBGrid1KeyDown(TObject*, uint16_t& Key, TShiftState) {
  switch (Key) {
    case VK_SPACE:
      if (!NoteTable->Active() || NoteTable->IsEmpty()) return;
      NoteTableCHK->Visible = true;
      DBGrid1->LayoutChanged();
      DBGrid1->SetSelectedIndex(0);
      ChkBtnClick(this);
      NoteTable->Skip(1);
      break;
    case VK_DELETE:
      DeleteClick(this);
      break;
    case VK_RETURN:
      if (memo1->CanFocus()) memo1->SetFocus();
      Key = 0;
      break;
    default:
      break;
  }
}

// ---- popup menus ------------------------------------------------------------------------

void TMainForm::PopupMenu1Popup(TObject*) {
  // Each opening needs a fresh right press in the body.
  PopupMenu1->SetAutoPopup(false);
  const bool selected = memo1->SelLength() > 0;
  const bool rich = !memo1->PlainText();
  if (TMenuItem* i = MenuItem(this, "BodyCut")) i->SetEnabled(selected);
  if (TMenuItem* i = MenuItem(this, "BodyCopy")) i->SetEnabled(selected);
  if (TMenuItem* i = MenuItem(this, "BodyFont")) i->SetEnabled(rich);
  if (TMenuItem* i = MenuItem(this, "BodyLink")) i->SetEnabled(selected && rich);
}

void TMainForm::PopupMenu2Popup(TObject*) {
  const bool selected = ActiveEdit && ActiveEdit->SelLength() > 0;
  if (TMenuItem* i = MenuItem(this, "TitleCut")) i->SetEnabled(selected);
  if (TMenuItem* i = MenuItem(this, "TitleCopy")) i->SetEnabled(selected);
}

// ---- selection to title -----------------------------------------------------------------

void TMainForm::PasteToTitle(int N, bool TrimTitle) {
  if (N < 1 || N > 4 || memo1->ReadOnly()) return;
  // Without a selection the clipboard would bring in whatever it held before.
  if (memo1->SelLength() <= 0) return;
  TEdit* edits[4] = {Edit1, Edit2, Edit3, Edit4};
  TEdit* e = edits[N - 1];
  memo1->CopyToClipboard();
  e->Clear();
  e->PasteFromClipboard();
  if (TrimTitle) e->SetText(Trim(e->Text()));
}

void TMainForm::SelToTitle(int N) { PasteToTitle(N, false); }

// ---- text import and export -------------------------------------------------------------

void TMainForm::ReadFileBtnClick(TObject*) {
  if (!NoteTable->Active()) return;
  if (memo1->ReadOnly()) {
    ShowMessage(K("  \"쓰기방지\" 되어 있습니다..."));
    return;
  }
  if (!OpenDialog1->Execute()) return;
  const std::string name = OpenDialog1->FileName;
  std::string contents;
  if (!ReadTextFile(name, contents)) return;
  // The note being edited is stored before the file becomes a note of its own.
  if (!AppendNote()) return;
  // The name is the new note's title 1; the save cuts it to the field.
  Edit1->SetText(name);
  Edit1->SetModified(true);
  memo1->Lines().SetText(contents);
  memo1->SetModified(true);
  SaveNote();
}

void TMainForm::SaveFileBtnClick(TObject*) {
  if (!SaveDialog1->Execute()) return;
  // The body as it holds it: its lines in the system's encoding, or the rich-text source of a
  // rich body, whose own escapes carry its characters.
  WriteFileBytes(SaveDialog1->FileName,
                 memo1->PlainText() ? ostext::TextToFile(memo1->Lines().Text()) : memo1->StreamOut());
}
