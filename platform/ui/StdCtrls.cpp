// The standard controls over Qt widgets.
#include "platform/ui/StdCtrls.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QValidator>
#include <climits>

#include "platform/core/Cp949.h"
#include "platform/ui/Clipbrd.h"
#include "platform/ui/Forms.h"
#include "platform/ui/QtText.h"
#include "platform/ui/UiInternal.h"

using orv::FromCrLf;
using orv::FromQ;
using orv::ToCrLf;
using orv::ToQ;

namespace {

// Byte offset in the code page 949 form of text of the character index i.
int ByteOffset(const QString& text, int i) {
  i = std::clamp(i, 0, static_cast<int>(text.size()));
  return orv::ByteLength(text.left(i));
}

// Character index of byte offset b (a byte inside a character counts as that character's
// start; past the end gives the length).
int CharIndex(const QString& text, int b) {
  if (b <= 0) return 0;
  int bytes = 0;
  for (int i = 0; i < text.size(); ++i) {
    int n = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
    int len = orv::ByteLength(text.mid(i, n));
    if (bytes + len > b) return i;
    bytes += len;
    if (n == 2) ++i;
  }
  return static_cast<int>(text.size());
}

// "&x" -> x, "&&" -> "&" for display without accelerators.
QString StripAccel(const QString& s) {
  QString out;
  for (int i = 0; i < s.size(); ++i) {
    if (s.at(i) == '&' && i + 1 < s.size()) {
      ++i;
    }
    out += s.at(i);
  }
  return out;
}

// Refuses text that has no code page 949 form or grows beyond the byte limit.
class ByteLimitValidator : public QValidator {
 public:
  explicit ByteLimitValidator(TEdit* e) : edit_(e) {}
  State validate(QString& input, int&) const override {
    if (!orv::Convertible(input)) return Invalid;
    int max = edit_->MaxLength();
    if (max > 0) {
      int n = orv::ByteLength(input);
      if (n > max && n > edit_->AcceptedBytes()) return Invalid;
    }
    return Acceptable;
  }

 private:
  TEdit* edit_;
};

}  // namespace

namespace orv {
void ApplyScrollBars(QAbstractScrollArea* area, TScrollStyle style) {
  auto pol = [](bool on) { return on ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAsNeeded; };
  area->setHorizontalScrollBarPolicy(pol(style == ssHorizontal || style == ssBoth));
  area->setVerticalScrollBarPolicy(pol(style == ssVertical || style == ssBoth));
}
}  // namespace orv

// ---- TLabel -------------------------------------------------------------------------------

TLabel::TLabel(TComponent* AOwner) : TGraphicControl(AOwner, new QLabel) {
  Label()->setTextFormat(Qt::PlainText);
  Apply();
}

QLabel* TLabel::Label() const { return static_cast<QLabel*>(Widget()); }

void TLabel::SetText(const std::string& v) {
  if (StoreChanged(FCaption, v)) Apply();
}

void TLabel::SetAutoSize(bool v) { FAutoSize = v; Apply(); }
void TLabel::SetAlignment(TAlignment v) { FAlignment = v; Apply(); }
void TLabel::SetLayout(TTextLayout v) { FLayout = v; Apply(); }
void TLabel::SetWordWrap(bool v) { FWordWrap = v; Apply(); }
void TLabel::SetShowAccelChar(bool v) { FShowAccelChar = v; Apply(); }

void TLabel::SetTransparent(bool v) {
  FTransparent = v;
  ColorChanged();
}

void TLabel::FontChanged() {
  TGraphicControl::FontChanged();
  Apply();
}

void TLabel::ColorChanged() {
  TControl::ColorChanged();
  Widget()->setAutoFillBackground(!FTransparent);
}

void TLabel::Apply() {
  QString t = ToQ(FCaption);
  Label()->setText(FShowAccelChar ? StripAccel(t) : t);
  Qt::Alignment a = FAlignment == taRightJustify ? Qt::AlignRight
                    : FAlignment == taCenter     ? Qt::AlignHCenter
                                                 : Qt::AlignLeft;
  a |= FLayout == tlCenter ? Qt::AlignVCenter : FLayout == tlBottom ? Qt::AlignBottom : Qt::AlignTop;
  Label()->setAlignment(a);
  Label()->setWordWrap(FWordWrap);
  if (FAutoSize && !FWordWrap) {
    QSize s = Label()->sizeHint();
    Widget()->resize(s);
  }
}

// ---- TCustomEdit --------------------------------------------------------------------------

TCustomEdit::TCustomEdit(TComponent* AOwner, QWidget* w) : TWinControl(AOwner, w) {
  SetColor(clWindow);
}

void TCustomEdit::SetMaxLength(int v) { FMaxLength = std::max(0, v); }
void TCustomEdit::SetReadOnly(bool v) { FReadOnly = v; }

void TCustomEdit::UserEdited() {
  FModified = true;
  Changed();
}

void TCustomEdit::Changed() {
  if (OnChange) OnChange(this);
}

int TCustomEdit::Room() const {
  if (FMaxLength <= 0) return INT_MAX;
  int used = static_cast<int>(Text().size()) - SelLength();
  return std::max(0, FMaxLength - used);
}

void TCustomEdit::ClearSelection() {
  if (FReadOnly || SelLength() == 0) return;
  SetSelText(std::string());
}

void TCustomEdit::CopyToClipboard() {
  std::string s = SelText();
  if (!s.empty()) Clipboard().SetAsText(s);
}

void TCustomEdit::CutToClipboard() {
  if (FReadOnly) {
    CopyToClipboard();
    return;
  }
  CopyToClipboard();
  ClearSelection();
}

bool TCustomEdit::PasteKey(QKeyEvent* e) {
  // Paste is cut to the room left, as the system edit does, instead of being refused.
  if (!e->matches(QKeySequence::Paste)) return false;
  PasteFromClipboard();
  return true;
}

void TCustomEdit::PasteFromClipboard() {
  if (FReadOnly) return;
  std::string s = Clipboard().AsText();
  int room = Room();
  if (static_cast<int>(s.size()) > room) s = cp949::Cut(s, static_cast<size_t>(room));
  if (s.empty() && SelLength() == 0) return;
  SetSelText(s);
}

// ---- TEdit --------------------------------------------------------------------------------

TEdit::TEdit(TComponent* AOwner) : TCustomEdit(AOwner, new QLineEdit) {
  QLineEdit* le = LineEdit();
  le->setValidator(new ByteLimitValidator(this));
  le->resize(121, 21);
  QObject::connect(le, &QLineEdit::textChanged, [this](const QString& t) {
    FAcceptedBytes = orv::ByteLength(t);
    if (FProgramChange) return;
    // Every change the program does not make is the user's (typing, cut, paste, delete).
    SafeCall([this] { UserEdited(); });
  });
}

QLineEdit* TEdit::LineEdit() const { return static_cast<QLineEdit*>(Widget()); }

std::string TEdit::Text() const { return FromQ(LineEdit()->text()); }

void TEdit::SetText(const std::string& v) {
  if (v == Text()) return;
  FProgramChange = true;
  LineEdit()->setText(ToQ(v));
  FProgramChange = false;
  FModified = false;
  Changed();
}

int TEdit::SelStart() const {
  QLineEdit* le = LineEdit();
  int start = le->hasSelectedText() ? le->selectionStart() : le->cursorPosition();
  return ByteOffset(le->text(), start);
}

void TEdit::SetSelStart(int v) {
  QLineEdit* le = LineEdit();
  le->deselect();
  le->setCursorPosition(CharIndex(le->text(), v));
}

int TEdit::SelLength() const {
  QLineEdit* le = LineEdit();
  if (!le->hasSelectedText()) return 0;
  return orv::ByteLength(le->selectedText());
}

void TEdit::SetSelLength(int v) {
  QLineEdit* le = LineEdit();
  QString t = le->text();
  int start = le->hasSelectedText() ? le->selectionStart() : le->cursorPosition();
  int startByte = ByteOffset(t, start);
  int end = CharIndex(t, startByte + std::max(0, v));
  le->setSelection(start, end - start);
}

std::string TEdit::SelText() const { return FromQ(LineEdit()->selectedText()); }

void TEdit::SetSelText(const std::string& v) {
  // insert() goes through the validator like typing; the textChanged handler marks it.
  LineEdit()->insert(ToQ(v));
}

void TEdit::SelectAll() { LineEdit()->selectAll(); }
void TEdit::Undo() { LineEdit()->undo(); }

void TEdit::SetReadOnly(bool v) {
  TCustomEdit::SetReadOnly(v);
  LineEdit()->setReadOnly(v);
}

void TEdit::SetPasswordChar(char v) {
  FPasswordChar = v;
  LineEdit()->setEchoMode(v ? QLineEdit::Password : QLineEdit::Normal);
}

void TEdit::SetBorderStyle(TBorderStyle v) {
  FBorderStyle = v;
  LineEdit()->setFrame(v == bsSingleBorder);
}

void TEdit::DoEnter() {
  if (AutoSelect && !(QApplication::mouseButtons() & Qt::LeftButton)) SelectAll();
  TCustomEdit::DoEnter();
}

void TEdit::KeyPress(char& Key) {
  TCustomEdit::KeyPress(Key);
  if (FCharCase == ecUpperCase && Key >= 'a' && Key <= 'z') Key = static_cast<char>(Key - 32);
  if (FCharCase == ecLowerCase && Key >= 'A' && Key <= 'Z') Key = static_cast<char>(Key + 32);
}

bool TEdit::DefaultKey(QKeyEvent* e) { return PasteKey(e); }

void TMaskEdit::KeyPress(char& Key) {
  TEdit::KeyPress(Key);
  if (!Key || FEditMask.empty()) return;
  bool digitsOnly = FEditMask.find_first_not_of("09#;_!") == std::string::npos ||
                    FEditMask.rfind("9", 0) == 0 || FEditMask.rfind("0", 0) == 0;
  unsigned char c = static_cast<unsigned char>(Key);
  if (digitsOnly && c >= 0x20 && !(c >= '0' && c <= '9') && !(c == '-' && FEditMask[0] == '#'))
    Key = 0;
}

// ---- TMemo --------------------------------------------------------------------------------

TMemo::TMemo(TComponent* AOwner) : TCustomEdit(AOwner, new QPlainTextEdit) {
  QPlainTextEdit* te = TextEdit();
  te->resize(185, 89);
  te->setTabChangesFocus(true);
  WatchInner(te->viewport());
  QObject::connect(te, &QPlainTextEdit::textChanged, [this] {
    if (FProgramChange) return;
    SafeCall([this] { UserEdited(); });
  });
}

TMemo::~TMemo() = default;

QPlainTextEdit* TMemo::TextEdit() const { return static_cast<QPlainTextEdit*>(Widget()); }

std::string TMemo::Text() const { return ToCrLf(TextEdit()->toPlainText()); }

void TMemo::SetTextInternal(const std::string& v) {
  FProgramChange = true;
  TextEdit()->setPlainText(FromCrLf(v));
  FProgramChange = false;
}

void TMemo::SetText(const std::string& v) {
  if (v == Text()) return;
  SetTextInternal(v);
  FModified = false;
  Changed();
}

namespace {
// Byte offsets in the memo count a line break as two bytes (CR LF), as Text() does.
int MemoByteOffset(const QString& plain, int pos) {
  QString left = plain.left(pos);
  return orv::ByteLength(left) + static_cast<int>(left.count('\n'));
}
int MemoCharIndex(const QString& plain, int b) {
  int bytes = 0;
  for (int i = 0; i < plain.size(); ++i) {
    int len = plain.at(i) == '\n' ? 2 : orv::ByteLength(plain.mid(i, 1));
    if (bytes + len > b) return i;
    bytes += len;
  }
  return static_cast<int>(plain.size());
}
}  // namespace

int TMemo::SelStart() const {
  QTextCursor c = TextEdit()->textCursor();
  return MemoByteOffset(TextEdit()->toPlainText(), c.selectionStart());
}

void TMemo::SetSelStart(int v) {
  QTextCursor c = TextEdit()->textCursor();
  c.setPosition(MemoCharIndex(TextEdit()->toPlainText(), v));
  TextEdit()->setTextCursor(c);
}

int TMemo::SelLength() const {
  QTextCursor c = TextEdit()->textCursor();
  QString plain = TextEdit()->toPlainText();
  return MemoByteOffset(plain, c.selectionEnd()) - MemoByteOffset(plain, c.selectionStart());
}

void TMemo::SetSelLength(int v) {
  QTextCursor c = TextEdit()->textCursor();
  QString plain = TextEdit()->toPlainText();
  int start = c.selectionStart();
  int end = MemoCharIndex(plain, MemoByteOffset(plain, start) + std::max(0, v));
  c.setPosition(start);
  c.setPosition(end, QTextCursor::KeepAnchor);
  TextEdit()->setTextCursor(c);
}

std::string TMemo::SelText() const {
  QString s = TextEdit()->textCursor().selectedText();
  s.replace(QChar(0x2029), '\n');
  return ToCrLf(s);
}

void TMemo::SetSelText(const std::string& v) { TextEdit()->textCursor().insertText(FromCrLf(v)); }

void TMemo::SelectAll() { TextEdit()->selectAll(); }
void TMemo::Undo() { TextEdit()->undo(); }

void TMemo::SetReadOnly(bool v) {
  TCustomEdit::SetReadOnly(v);
  TextEdit()->setReadOnly(v);
}

void TMemo::SetWordWrap(bool v) {
  FWordWrap = v;
  TextEdit()->setLineWrapMode(v ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
}

void TMemo::SetScrollBars(TScrollStyle v) {
  FScrollBars = v;
  orv::ApplyScrollBars(TextEdit(), v);
}

int TMemo::CaretLine() const { return TextEdit()->textCursor().blockNumber(); }

int TMemo::CaretColumn() const {
  QTextCursor c = TextEdit()->textCursor();
  return orv::ByteLength(c.block().text().left(c.positionInBlock()));
}

void TMemo::KeyPress(char& Key) {
  TCustomEdit::KeyPress(Key);
  if (!Key || FMaxLength <= 0 || static_cast<unsigned char>(Key) < 0x20) return;
  // A character that would pass the limit is refused (a Hangul syllable needs two bytes).
  int need = static_cast<unsigned char>(Key) >= 0x80 ? 2 : 1;
  if (Room() < need) Key = 0;
}

bool TMemo::DefaultKey(QKeyEvent* e) { return PasteKey(e); }

std::vector<std::string> TMemoStrings::Split() const {
  std::vector<std::string> lines;
  QTextDocument* doc = FMemo->TextEdit()->document();
  if (doc->isEmpty()) return lines;
  for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) lines.push_back(FromQ(b.text()));
  return lines;
}

void TMemoStrings::Join(const std::vector<std::string>& lines) {
  std::string t;
  for (size_t i = 0; i < lines.size(); ++i) {
    if (i) t += "\r\n";
    t += lines[i];
  }
  bool wasModified = FMemo->FModified;
  std::string old = FMemo->Text();
  if (t == old) return;
  FMemo->SetTextInternal(t);
  FMemo->FModified = wasModified;
  FMemo->Changed();
}

int TMemoStrings::Count() const {
  QTextDocument* doc = FMemo->TextEdit()->document();
  return doc->isEmpty() ? 0 : doc->blockCount();
}

std::string TMemoStrings::Get(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseIndexError(Index);
  return FromQ(FMemo->TextEdit()->document()->findBlockByNumber(Index).text());
}

void TMemoStrings::Put(int Index, const std::string& S) {
  auto lines = Split();
  if (Index < 0 || Index >= static_cast<int>(lines.size())) RaiseIndexError(Index);
  lines[static_cast<size_t>(Index)] = S;
  Join(lines);
}

void TMemoStrings::Insert(int Index, const std::string& S) {
  auto lines = Split();
  if (Index < 0 || Index > static_cast<int>(lines.size())) RaiseIndexError(Index);
  lines.insert(lines.begin() + Index, S);
  Join(lines);
}

void TMemoStrings::Delete(int Index) {
  auto lines = Split();
  if (Index < 0 || Index >= static_cast<int>(lines.size())) RaiseIndexError(Index);
  lines.erase(lines.begin() + Index);
  Join(lines);
}

void TMemoStrings::Clear() { Join({}); }

// ---- Buttons ------------------------------------------------------------------------------

TButton::TButton(TComponent* AOwner) : TButton(AOwner, new QPushButton) {}

TButton::TButton(TComponent* AOwner, QWidget* w) : TButtonControl(AOwner, w) {
  w->resize(75, 25);
  w->setFocusPolicy(Qt::StrongFocus);
  if (auto* b = qobject_cast<QAbstractButton*>(w)) {
    QObject::connect(b, &QAbstractButton::clicked, [this] { SafeCall([this] { Click(); }); });
  }
}

void TButton::SetText(const std::string& v) {
  FCaption = v;
  if (auto* b = qobject_cast<QAbstractButton*>(Widget())) b->setText(ToQ(v));
}

void TButton::SetDefault(bool v) {
  FDefault = v;
  if (auto* b = qobject_cast<QPushButton*>(Widget())) b->setDefault(v);
}

void TButton::Click() {
  if (ModalResult != mrNone) {
    if (TCustomForm* f = ParentForm()) f->SetModalResult(ModalResult);
  }
  TButtonControl::Click();
}

TCheckBox::TCheckBox(TComponent* AOwner) : TButtonControl(AOwner, new QCheckBox) {
  Widget()->resize(97, 17);
  QObject::connect(Box(), &QAbstractButton::clicked, [this] {
    SafeCall([this] {
      // The user's click moves unchecked -> checked (-> grayed when allowed) -> unchecked.
      TCheckBoxState next = FState == cbUnchecked                 ? cbChecked
                            : (FState == cbChecked && AllowGrayed) ? cbGrayed
                                                                   : cbUnchecked;
      SetState(next);
    });
  });
}

QCheckBox* TCheckBox::Box() const { return static_cast<QCheckBox*>(Widget()); }

void TCheckBox::SetText(const std::string& v) {
  FCaption = v;
  Box()->setText(ToQ(v));
}

void TCheckBox::SetChecked(bool v) { SetState(v ? cbChecked : cbUnchecked); }

void TCheckBox::SetState(TCheckBoxState v) {
  QSignalBlocker block(Box());
  Box()->setTristate(AllowGrayed || v == cbGrayed);
  Box()->setCheckState(v == cbChecked ? Qt::Checked : v == cbGrayed ? Qt::PartiallyChecked : Qt::Unchecked);
  if (v == FState) return;
  FState = v;
  Click();
}

TRadioButton::TRadioButton(TComponent* AOwner) : TButtonControl(AOwner, new QRadioButton) {
  Widget()->resize(113, 17);
  // Exclusivity among siblings is kept here, so program and user changes behave alike.
  Radio()->setAutoExclusive(false);
  QObject::connect(Radio(), &QAbstractButton::clicked, [this] {
    SafeCall([this] {
      if (FChecked) {
        SetCheckedQuiet(true);  // a click on a checked radio button keeps it checked
        return;
      }
      SetChecked(true);
    });
  });
}

QRadioButton* TRadioButton::Radio() const { return static_cast<QRadioButton*>(Widget()); }

void TRadioButton::SetText(const std::string& v) {
  FCaption = v;
  Radio()->setText(ToQ(v));
}

void TRadioButton::SetCheckedQuiet(bool v) {
  FChecked = v;
  QSignalBlocker block(Radio());
  Radio()->setChecked(v);
}

void TRadioButton::SetChecked(bool v) {
  if (v == FChecked) {
    SetCheckedQuiet(v);
    return;
  }
  SetCheckedQuiet(v);
  if (!v) return;
  if (FParent) {
    for (int i = 0; i < FParent->ControlCount(); ++i) {
      auto* r = dynamic_cast<TRadioButton*>(FParent->Controls(i));
      if (r && r != this && r->FChecked) r->SetCheckedQuiet(false);
    }
  }
  Click();
}

// ---- List strings -------------------------------------------------------------------------

void TListControlStrings::Check(int Index) const {
  if (Index < 0 || Index >= Count()) RaiseIndexError(Index);
}

std::string TListControlStrings::Get(int Index) const {
  Check(Index);
  return FBackend->get(Index);
}

void TListControlStrings::Put(int Index, const std::string& S) {
  Check(Index);
  FBackend->put(Index, S);
}

TObject* TListControlStrings::GetObject(int Index) const {
  Check(Index);
  return FObjects[static_cast<size_t>(Index)];
}

void TListControlStrings::PutObject(int Index, TObject* AObject) {
  Check(Index);
  FObjects[static_cast<size_t>(Index)] = AObject;
}

void TListControlStrings::Insert(int Index, const std::string& S) { InsertObject(Index, S, nullptr); }

void TListControlStrings::InsertObject(int Index, const std::string& S, TObject* AObject) {
  if (Index < 0 || Index > Count()) RaiseIndexError(Index);
  FBackend->insert(Index, S);
  FObjects.insert(FObjects.begin() + Index, AObject);
}

void TListControlStrings::Delete(int Index) {
  Check(Index);
  FBackend->remove(Index);
  FObjects.erase(FObjects.begin() + Index);
}

void TListControlStrings::Clear() {
  FBackend->clear();
  FObjects.clear();
}

int TListControlStrings::AddObject(const std::string& S, TObject* AObject) {
  int at = Count();
  if (Sorted) {
    at = 0;
    while (at < Count() && CompareText(FBackend->get(at), S) <= 0) ++at;
  }
  InsertObject(at, S, AObject);
  return at;
}

// ---- TComboBox ----------------------------------------------------------------------------

struct TComboBox::ItemsBackend : TListControlStrings::Backend {
  explicit ItemsBackend(QComboBox* c) : combo(c) {}
  int count() const override { return combo->count(); }
  std::string get(int i) const override { return FromQ(combo->itemText(i)); }
  void put(int i, const std::string& s) override { combo->setItemText(i, ToQ(s)); }
  void insert(int i, const std::string& s) override {
    QString keep = combo->isEditable() ? combo->currentText() : QString();
    combo->insertItem(i, ToQ(s));
    if (combo->isEditable()) combo->setEditText(keep);
  }
  void remove(int i) override { combo->removeItem(i); }
  void clear() override { combo->clear(); }
  QComboBox* combo;
};

TComboBox::TComboBox(TComponent* AOwner) : TWinControl(AOwner, new QComboBox) {
  QComboBox* c = Combo();
  c->setInsertPolicy(QComboBox::NoInsert);
  c->resize(145, 21);
  FBackend = std::make_unique<ItemsBackend>(c);
  FItems = std::make_unique<TListControlStrings>(FBackend.get());
  SetColor(clWindow);
  SetStyle(csDropDown);
  QObject::connect(c, QOverload<int>::of(&QComboBox::activated), [this](int) {
    SafeCall([this] {
      if (OnChange) OnChange(this);
      Click();
    });
  });
}

TComboBox::~TComboBox() {
  FItems.reset();
  FBackend.reset();
}

QComboBox* TComboBox::Combo() const { return static_cast<QComboBox*>(Widget()); }

void TComboBox::SetStyle(TComboBoxStyle v) {
  FStyle = v;
  QComboBox* c = Combo();
  c->setEditable(v != csDropDownList);
  QLineEdit* le = c->lineEdit();
  if (le && le->property("orvComboEdit").isNull()) {
    le->setProperty("orvComboEdit", true);  // connected once per line edit
    WatchInner(le);
    QObject::connect(le, &QLineEdit::textEdited, [this](const QString&) {
      SafeCall([this] {
        if (OnChange) OnChange(this);
      });
    });
  }
}

int TComboBox::ItemIndex() const {
  QComboBox* c = Combo();
  if (c->currentIndex() < 0) return -1;
  if (c->isEditable() && c->currentText() != c->itemText(c->currentIndex())) return -1;
  return c->currentIndex();
}

void TComboBox::SetItemIndex(int v) {
  if (v < -1 || v >= Combo()->count()) v = -1;
  Combo()->setCurrentIndex(v);
  if (v < 0 && Combo()->isEditable()) Combo()->setEditText(QString());
}

std::string TComboBox::Text() const { return FromQ(Combo()->currentText()); }

void TComboBox::SetText(const std::string& v) {
  QComboBox* c = Combo();
  int i = c->findText(ToQ(v));
  if (c->isEditable()) {
    if (i >= 0) c->setCurrentIndex(i);
    c->setEditText(ToQ(v));
  } else if (i >= 0) {
    c->setCurrentIndex(i);
  }
}

void TComboBox::SetSorted(bool v) {
  FItems->Sorted = v;
  if (!v) return;
  Combo()->model()->sort(0);
}

// ---- TListBox -----------------------------------------------------------------------------

struct TListBox::ItemsBackend : TListControlStrings::Backend {
  explicit ItemsBackend(QListWidget* l) : list(l) {}
  int count() const override { return list->count(); }
  std::string get(int i) const override { return FromQ(list->item(i)->text()); }
  void put(int i, const std::string& s) override { list->item(i)->setText(ToQ(s)); }
  void insert(int i, const std::string& s) override { list->insertItem(i, ToQ(s)); }
  void remove(int i) override { delete list->takeItem(i); }
  void clear() override { list->clear(); }
  QListWidget* list;
};

TListBox::TListBox(TComponent* AOwner) : TWinControl(AOwner, new QListWidget) {
  QListWidget* l = List();
  l->resize(121, 97);
  WatchInner(l->viewport());
  FBackend = std::make_unique<ItemsBackend>(l);
  FItems = std::make_unique<TListControlStrings>(FBackend.get());
  SetColor(clWindow);
  QObject::connect(l, &QListWidget::currentRowChanged, [this](int) {
    if (FProgram) return;
    // Moving the selection by mouse or keys clicks the list, as in the class library.
    SafeCall([this] { Click(); });
  });
}

TListBox::~TListBox() {
  FItems.reset();
  FBackend.reset();
}

QListWidget* TListBox::List() const { return static_cast<QListWidget*>(Widget()); }

int TListBox::ItemIndex() const { return List()->currentRow(); }

void TListBox::SetItemIndex(int v) {
  FProgram = true;
  if (v < 0 || v >= List()->count()) {
    List()->setCurrentRow(-1);
    List()->clearSelection();
  } else {
    List()->setCurrentRow(v);
  }
  FProgram = false;
}

void TListBox::SetMultiSelect(bool v) {
  FMultiSelect = v;
  List()->setSelectionMode(v ? QAbstractItemView::ExtendedSelection : QAbstractItemView::SingleSelection);
}

bool TListBox::Selected(int Index) const {
  QListWidgetItem* it = List()->item(Index);
  if (!it) throw EListError(Format("List index out of bounds (%d)", Index));
  return it->isSelected();
}

void TListBox::SetSelected(int Index, bool v) {
  QListWidgetItem* it = List()->item(Index);
  if (!it) throw EListError(Format("List index out of bounds (%d)", Index));
  FProgram = true;
  it->setSelected(v);
  FProgram = false;
}

int TListBox::SelCount() const { return static_cast<int>(List()->selectedItems().size()); }

void TListBox::SetSorted(bool v) {
  FItems->Sorted = v;
  if (!v) return;
  // Sort by the stored bytes, so the order is the same the file list rules expect.
  int n = FItems->Count();
  std::vector<std::pair<std::string, TObject*>> all;
  for (int i = 0; i < n; ++i) all.emplace_back(FItems->Get(i), FItems->Objects(i));
  std::stable_sort(all.begin(), all.end(),
                   [](const auto& a, const auto& b) { return CompareText(a.first, b.first) < 0; });
  FProgram = true;
  FItems->Clear();
  FItems->Sorted = false;
  for (auto& [s, o] : all) FItems->AddObject(s, o);
  FItems->Sorted = true;
  FProgram = false;
}

int TListBox::TopIndex() const {
  QListWidgetItem* it = List()->itemAt(0, 0);
  return it ? List()->row(it) : 0;
}

void TListBox::SetTopIndex(int v) {
  if (QListWidgetItem* it = List()->item(v)) List()->scrollToItem(it, QAbstractItemView::PositionAtTop);
}

int TListBox::ItemHeight() const {
  int h = List()->sizeHintForRow(0);
  return h > 0 ? h : List()->fontMetrics().height() + 2;
}

// ---- TGroupBox ----------------------------------------------------------------------------

TGroupBox::TGroupBox(TComponent* AOwner) : TGroupBox(AOwner, new QGroupBox) {}

TGroupBox::TGroupBox(TComponent* AOwner, QGroupBox* box) : TWinControl(AOwner, box) {
  box->resize(185, 105);
  box->setFocusPolicy(Qt::NoFocus);
  SetTabStop(false);
}

void TGroupBox::SetText(const std::string& v) {
  FCaption = v;
  static_cast<QGroupBox*>(Widget())->setTitle(ToQ(v));
}
