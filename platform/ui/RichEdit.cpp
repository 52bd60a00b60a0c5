// The rich-edit control over QTextEdit: byte positions over the document's characters, the
// stored form through the RTF reader and writer, and the editor's own input checks.
#include "platform/ui/RichEdit.h"

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPagedPaintDevice>
#include <QPainter>
#include <QPointer>
#include <QRawFont>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextDocumentFragment>
#include <QTextEdit>
#include <algorithm>
#include <array>
#include <climits>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "platform/core/Cp949.h"
#include "platform/gfx/QtGraphics.h"
#include "platform/ui/QtText.h"
#include "platform/ui/RtfReader.h"
#include "platform/ui/RtfWriter.h"
#include "platform/ui/UiInternal.h"

using orv::FromCrLf;
using orv::FromQ;
using orv::ToCrLf;
using orv::ToQ;

namespace {

// Bytes of one UTF-16 unit in the code page 949 form of the text: a line break is CR LF, a
// character without a form becomes one '?', a surrogate pair one character.
int UnitBytes(char16_t u) {
  if (u == u'\n') return 2;
  if (u < 0x80) return 1;
  if (u >= 0xAC00 && u <= 0xD7A3) return 2;  // Hangul syllables: all in the code page
  if (u >= 0xD800 && u <= 0xDBFF) return 1;
  if (u >= 0xDC00 && u <= 0xDFFF) return 0;
  static std::array<uint8_t, 0x10000> known{};  // 0 = not asked yet
  uint8_t& k = known[u];
  if (!k) k = static_cast<uint8_t>(orv::ByteLength(QString(QChar(u))));
  return k;
}

// Bytes of a pasted or typed text in the body (line breaks as CR LF).
int TextBytes(const QString& q) {
  int n = 0;
  for (QChar c : q) n += UnitBytes(c.unicode() == 0x2029 ? u'\n' : c.unicode());
  return n;
}

// A paste holds only what the body keeps: the text runs with their formats.
std::unique_ptr<QTextDocument> RichPaste(const QMimeData* src) {
  auto doc = std::make_unique<QTextDocument>();
  for (const char* type : {"text/rtf", "application/rtf", "text/richtext"}) {
    if (src->hasFormat(QString::fromLatin1(type))) {
      QByteArray b = src->data(QString::fromLatin1(type));
      rtf::ReadRtf(std::string_view(b.constData(), static_cast<size_t>(b.size())), *doc);
      return doc;
    }
  }
  if (!src->hasHtml()) return nullptr;
  QTextDocument html;
  html.setHtml(src->html());
  rtf::ReadRtf(rtf::WriteRtf(html), *doc);
  return doc;
}

}  // namespace

// ---- The editor widget ----------------------------------------------------------------------

class RichEditWidget : public QTextEdit {
 public:
  explicit RichEditWidget(TRichEdit* owner) : owner_(owner) {}

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    // The body has no redo key; Ctrl+Y belongs to the program.
    if (e->key() == Qt::Key_Y && (e->modifiers() & Qt::ControlModifier)) {
      e->accept();
      return;
    }
    if (!isReadOnly()) {
      QString t = e->text();
      int need = 0;
      if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter)
        need = 2;
      else if (!t.isEmpty() && t.at(0).unicode() >= 0x20 && t.at(0).unicode() != 0x7F)
        need = orv::Convertible(t) ? TextBytes(t) : -1;
      if (need < 0 || (need > 0 && !owner_->HasRoom(need))) {
        e->accept();
        return;
      }
    }
    QTextEdit::keyPressEvent(e);
  }

  void inputMethodEvent(QInputMethodEvent* e) override {
    QString commit = e->commitString();
    if (!commit.isEmpty() &&
        (!orv::Convertible(commit) || !owner_->HasRoom(TextBytes(commit)))) {
      QInputMethodEvent copy(e->preeditString(), e->attributes());
      copy.setCommitString(QString(), e->replacementStart(), e->replacementLength());
      QTextEdit::inputMethodEvent(&copy);
      return;
    }
    QTextEdit::inputMethodEvent(e);
  }

  // The clipboard gets the selection's RTF besides Qt's own forms: it keeps the face names
  // as the program knows them, and other programs read it.
  QMimeData* createMimeDataFromSelection() const override {
    // Qt's own mime data lists only its own forms; copy them into a plain one.
    std::unique_ptr<QMimeData> qt(QTextEdit::createMimeDataFromSelection());
    auto* data = new QMimeData;
    for (const QString& type : qt->formats()) data->setData(type, qt->data(type));
    QTextDocument sel;
    sel.setDefaultFont(document()->defaultFont());
    QTextCursor(&sel).insertFragment(textCursor().selection());
    rtf::WriteDefaults d;
    d.FaceName = owner_->Font().Name();
    d.PointSize = owner_->Font().Size();
    std::string source = rtf::WriteRtf(sel, d);
    data->setData(QStringLiteral("text/rtf"),
                  QByteArray(source.data(), static_cast<qsizetype>(source.size())));
    return data;
  }

  bool canInsertFromMimeData(const QMimeData* src) const override {
    return src->hasText() || QTextEdit::canInsertFromMimeData(src);
  }

  void insertFromMimeData(const QMimeData* src) override {
    if (isReadOnly()) return;
    QTextCursor c = textCursor();
    std::unique_ptr<QTextDocument> rich = RichPaste(src);
    if (rich && !rich->isEmpty()) {
      QString plain = rich->toPlainText();
      if (orv::Convertible(plain) && owner_->HasRoom(TextBytes(plain))) {
        c.insertFragment(QTextDocumentFragment(rich.get()));
        setTextCursor(c);
        return;
      }
    }
    // Plain text: what has no code page 949 form goes, and the rest is cut to what fits.
    QString text = orv::LfBreaks(src->hasText() ? src->text() : rich ? rich->toPlainText() : QString());
    std::string bytes;
    if (orv::Convertible(text)) {
      bytes = FromQ(text);
    } else {
      for (QChar ch : text) {
        if (ch.isSurrogate()) continue;
        std::string one = FromQ(QString(ch));
        if (one != "?" || ch == u'?') bytes += one;
      }
    }
    int room = owner_->FMaxLength > 0 ? std::max(0, owner_->Room()) : INT_MAX;
    // Line breaks count two bytes in the body, one in bytes here.
    std::string fit;
    int used = 0;
    for (std::size_t i = 0; i < bytes.size();) {
      std::size_t n = bytes[i] == '\n' ? 1 : std::max<std::size_t>(1, cp949::CharLength(bytes, i));
      int cost = bytes[i] == '\n' ? 2 : static_cast<int>(n);
      if (used + cost > room) break;
      fit.append(bytes, i, n);
      used += cost;
      i += n;
    }
    if (fit.empty() && !c.hasSelection()) return;
    c.insertText(ToQ(fit));
    setTextCursor(c);
  }

  void mousePressEvent(QMouseEvent* e) override {
    QPointer<RichEditWidget> alive(this);
    QTextEdit::mousePressEvent(e);
    if (!alive) return;
    if (e->button() == Qt::LeftButton) leftPressed_ = true;
    Report(e, [&](TMouseButton b, TShiftState sh, QPoint p) {
      owner_->MouseDown(b, sh, p.x(), p.y());
    });
  }

  void mouseReleaseEvent(QMouseEvent* e) override {
    QPointer<RichEditWidget> alive(this);
    QTextEdit::mouseReleaseEvent(e);
    if (!alive) return;
    bool click = e->button() == Qt::LeftButton && leftPressed_ &&
                 rect().contains(viewport()->mapTo(this, e->position().toPoint()));
    if (e->button() == Qt::LeftButton) leftPressed_ = false;
    Report(e, [&](TMouseButton b, TShiftState sh, QPoint p) {
      owner_->MouseUp(b, sh, p.x(), p.y());
      if (click) owner_->Click();
    });
  }

  void mouseDoubleClickEvent(QMouseEvent* e) override {
    QPointer<RichEditWidget> alive(this);
    QTextEdit::mouseDoubleClickEvent(e);
    if (!alive) return;
    Report(e, [&](TMouseButton b, TShiftState sh, QPoint p) {
      owner_->DblClick();
      owner_->MouseDown(b, sh | ssDouble, p.x(), p.y());
    });
  }

  void mouseMoveEvent(QMouseEvent* e) override {
    QPointer<RichEditWidget> alive(this);
    QTextEdit::mouseMoveEvent(e);
    if (!alive) return;
    Report(e, [&](TMouseButton, TShiftState sh, QPoint p) { owner_->MouseMove(sh, p.x(), p.y()); });
  }

  void contextMenuEvent(QContextMenuEvent* e) override {
    // The control's popup menu, through the layer's event handling; the body has no menu of
    // its own.
    if (forwarding_) return;
    forwarding_ = true;
    QContextMenuEvent copy(e->reason(), mapFromGlobal(e->globalPos()), e->globalPos(),
                           e->modifiers());
    QCoreApplication::sendEvent(this, &copy);
    forwarding_ = false;
  }

 private:
  // Reports the event to the control and keeps it from travelling on to the parent widgets,
  // which would report it a second time.
  template <class F>
  void Report(QMouseEvent* e, F&& f) {
    e->accept();
    QPoint p = viewport()->mapTo(this, e->position().toPoint());
    TMouseButton b = e->button() == Qt::RightButton    ? mbRight
                     : e->button() == Qt::MiddleButton ? mbMiddle
                                                       : mbLeft;
    TShiftState sh = orv::ShiftFromQt(e->modifiers(), e->buttons());
    SafeCall([&] { f(b, sh, p); });
  }

  TRichEdit* owner_;
  bool leftPressed_ = false;
  bool forwarding_ = false;
};

// ---- TRichEdit ------------------------------------------------------------------------------

TRichEdit::TRichEdit(TComponent* AOwner) : TCustomEdit(AOwner, new RichEditWidget(this)) {
  QTextEdit* te = TextEdit();
  te->resize(185, 89);
  te->setTabChangesFocus(true);
  te->setAcceptRichText(true);
  te->setContextMenuPolicy(Qt::DefaultContextMenu);
  FConnections.push_back(QObject::connect(te->document(), &QTextDocument::contentsChange,
                                          [this](int, int, int) { FMap.valid = false; }));
  FConnections.push_back(QObject::connect(te, &QTextEdit::textChanged, [this] {
    if (FProgramChange) return;
    // Every change the program does not make is the user's.
    SafeCall([this] { UserEdited(); });
  }));
  auto moved = [this] { SafeCall([this] { SelectionMoved(); }); };
  FConnections.push_back(QObject::connect(te, &QTextEdit::cursorPositionChanged, moved));
  FConnections.push_back(QObject::connect(te, &QTextEdit::selectionChanged, moved));
}

TRichEdit::~TRichEdit() {
  // The widget outlives this part of the control; nothing it signals may reach it any more.
  for (const QMetaObject::Connection& c : FConnections) QObject::disconnect(c);
}

QTextEdit* TRichEdit::TextEdit() const { return static_cast<QTextEdit*>(Widget()); }

void TRichEdit::SelectionMoved() {
  QTextCursor c = TextEdit()->textCursor();
  if (c.anchor() == FLastAnchor && c.position() == FLastPosition) return;
  FLastAnchor = c.anchor();
  FLastPosition = c.position();
  if (OnSelectionChange) OnSelectionChange(this);
}

template <class F>
void TRichEdit::ProgramEdit(F&& f) {
  bool was = FProgramChange;
  FProgramChange = true;
  try {
    f();
  } catch (...) {
    FProgramChange = was;
    throw;
  }
  FProgramChange = was;
  Changed();
}

// ---- Byte positions

const TRichEdit::ByteMap& TRichEdit::Map() const {
  if (FMap.valid) return FMap;
  FMap.plain = TextEdit()->document()->toPlainText();
  FMap.offset.resize(static_cast<size_t>(FMap.plain.size()) + 1);
  FMap.lineStart.clear();
  if (!FMap.plain.isEmpty()) FMap.lineStart.push_back(0);
  int bytes = 0;
  for (qsizetype i = 0; i < FMap.plain.size(); ++i) {
    FMap.offset[static_cast<size_t>(i)] = bytes;
    char16_t u = FMap.plain.at(i).unicode();
    bytes += UnitBytes(u);
    if (u == u'\n') FMap.lineStart.push_back(static_cast<int>(i) + 1);
  }
  FMap.offset.back() = bytes;
  FMap.valid = true;
  return FMap;
}

const QString& TRichEdit::Plain() const { return Map().plain; }

int TRichEdit::BytesAt(int pos) const {
  const ByteMap& m = Map();
  pos = std::clamp(pos, 0, static_cast<int>(m.offset.size()) - 1);
  return m.offset[static_cast<size_t>(pos)];
}

int TRichEdit::PosOfByte(int bytes, bool roundUp) const {
  const ByteMap& m = Map();
  int last = static_cast<int>(m.offset.size()) - 1;
  if (bytes <= 0) return 0;
  if (bytes >= m.offset.back()) return last;
  // The last position whose offset is not above bytes.
  auto it = std::upper_bound(m.offset.begin(), m.offset.end(), bytes);
  int pos = static_cast<int>(it - m.offset.begin()) - 1;
  while (pos > 0 && m.offset[static_cast<size_t>(pos - 1)] == m.offset[static_cast<size_t>(pos)])
    --pos;  // the second half of a surrogate pair starts nothing
  if (roundUp && m.offset[static_cast<size_t>(pos)] < bytes) {
    ++pos;
    while (pos < last && m.offset[static_cast<size_t>(pos + 1)] == m.offset[static_cast<size_t>(pos)])
      ++pos;
  }
  return pos;
}

int TRichEdit::GetTextLen() const { return Map().offset.back(); }

bool TRichEdit::HasRoom(int bytes) const {
  if (FMaxLength <= 0) return true;
  return bytes <= Room();
}

// ---- Text

std::string TRichEdit::Text() const { return ToCrLf(Plain()); }

namespace {
// Text without any character format, so it shows in the edit's own font only: Qt would give
// the whole new text the format at the caret (say the bold heading of a rich body shown
// before), and so would it to what is typed next.
void LoadPlainText(QTextEdit* te, const QString& text) {
  te->setCurrentCharFormat(QTextCharFormat());
  te->setPlainText(text);
  te->setCurrentCharFormat(QTextCharFormat());
}
}  // namespace

void TRichEdit::SetText(const std::string& v) {
  if (v == Text()) return;
  ProgramEdit([&] {
    LoadPlainText(TextEdit(), FromCrLf(v));
    FModified = false;
  });
}

void TRichEdit::LoadSource(std::string_view source) {
  QTextEdit* te = TextEdit();
  if (!FPlainText && rtf::IsRtf(source)) {
    rtf::ReadRtf(source, *te->document());
    te->document()->clearUndoRedoStacks();
    QTextCursor c(te->document());
    te->setTextCursor(c);
  } else {
    LoadPlainText(te, FromCrLf(source));
  }
}

void TRichEdit::StreamIn(std::string_view source) {
  ProgramEdit([&] {
    LoadSource(source);
    FModified = true;
  });
}

std::string TRichEdit::StreamOut() const {
  if (FPlainText) return Text();
  rtf::WriteDefaults d;
  d.FaceName = Font().Name();
  d.PointSize = Font().Size();
  return rtf::WriteRtf(*TextEdit()->document(), d);
}

// ---- Selection

int TRichEdit::SelStart() const { return BytesAt(TextEdit()->textCursor().selectionStart()); }

void TRichEdit::SetSelStart(int v) {
  QTextCursor c = TextEdit()->textCursor();
  c.setPosition(PosOfByte(v, false));
  TextEdit()->setTextCursor(c);
}

int TRichEdit::SelLength() const {
  QTextCursor c = TextEdit()->textCursor();
  return BytesAt(c.selectionEnd()) - BytesAt(c.selectionStart());
}

void TRichEdit::SetSelLength(int v) {
  QTextCursor c = TextEdit()->textCursor();
  int start = c.selectionStart();
  int end = PosOfByte(BytesAt(start) + std::max(0, v), true);
  c.setPosition(start);
  c.setPosition(end, QTextCursor::KeepAnchor);
  TextEdit()->setTextCursor(c);
}

std::string TRichEdit::SelText() const {
  QTextCursor c = TextEdit()->textCursor();
  return ToCrLf(Plain().mid(c.selectionStart(), c.selectionEnd() - c.selectionStart()));
}

void TRichEdit::SetSelText(const std::string& v) {
  QTextCursor c = TextEdit()->textCursor();
  c.insertText(FromCrLf(v));
  TextEdit()->setTextCursor(c);
}

void TRichEdit::SelectAll() { TextEdit()->selectAll(); }
void TRichEdit::Undo() { TextEdit()->undo(); }

void TRichEdit::SetReadOnly(bool v) {
  TCustomEdit::SetReadOnly(v);
  QTextEdit* te = TextEdit();
  te->setReadOnly(v);
  // A protected body can still be read with the keyboard and its links clicked.
  if (v) te->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void TRichEdit::CopyToClipboard() { TextEdit()->copy(); }

void TRichEdit::CutToClipboard() {
  if (FReadOnly)
    TextEdit()->copy();
  else
    TextEdit()->cut();
}

void TRichEdit::PasteFromClipboard() {
  if (!FReadOnly) TextEdit()->paste();
}

// ---- Lines and caret

int TRichEdit::LineCount() const { return static_cast<int>(Map().lineStart.size()); }

void TRichEdit::LineRange(int index, int& start, int& end) const {
  const ByteMap& m = Map();
  auto i = static_cast<size_t>(index);
  start = m.lineStart[i];
  end = i + 1 < m.lineStart.size() ? m.lineStart[i + 1] - 1 : static_cast<int>(m.plain.size());
}

int TRichEdit::CaretLine() const {
  const ByteMap& m = Map();
  int pos = TextEdit()->textCursor().position();
  auto it = std::upper_bound(m.lineStart.begin(), m.lineStart.end(), pos);
  return std::max(0, static_cast<int>(it - m.lineStart.begin()) - 1);
}

int TRichEdit::CaretColumn() const {
  const ByteMap& m = Map();
  int pos = TextEdit()->textCursor().position();
  int line = CaretLine();
  int start = m.lineStart.empty() ? 0 : m.lineStart[static_cast<size_t>(line)];
  return BytesAt(pos) - BytesAt(start);
}

void TRichEdit::ScrollToTop() {
  TextEdit()->verticalScrollBar()->setValue(0);
  TextEdit()->horizontalScrollBar()->setValue(0);
}

void TRichEdit::SetWordWrap(bool v) {
  FWordWrap = v;
  TextEdit()->setLineWrapMode(v ? QTextEdit::WidgetWidth : QTextEdit::NoWrap);
}

void TRichEdit::SetScrollBars(TScrollStyle v) {
  FScrollBars = v;
  orv::ApplyScrollBars(TextEdit(), v);
}

// ---- Printing

namespace {

// The face blanks are printed in when their own face draws control characters with its blank
// glyph (the Nanum faces do): a PDF names a glyph by the lowest character drawn with it, so
// the blanks came out as U+0001 and copied or searched text lost its spaces.
constexpr const char* kBlankFace = "DejaVu Sans";

// Of the blanks " ", tab and no-break space, those Font draws with the glyph of U+0001.
QString BlanksSharingAGlyph(const QFont& Font) {
  const QString blanks = QStringLiteral(" \t\u00A0");
  const QList<quint32> g = QRawFont::fromFont(Font).glyphIndexesForString(QChar(1) + blanks);
  QString shared;
  if (g.size() != blanks.size() + 1 || g[0] == 0) return shared;
  for (qsizetype i = 0; i < blanks.size(); ++i)
    if (g[i + 1] == g[0]) shared += blanks[i];
  return shared;
}

// How the blanks of one font are printed.
struct TBlankFace {
  QString Blanks;  // the ones that need another face
  QFont Font;      // that face
};

// The other face is made smaller than the font, so that it never makes a line taller, and
// its word spacing (in device pixels) gives a blank its advance back: the lines are laid out
// exactly as in the font itself.
std::optional<TBlankFace> BlankFace(const QFont& Font, QPaintDevice* Device) {
  TBlankFace face{BlanksSharingAGlyph(Font), Font};
  if (face.Blanks.isEmpty()) return std::nullopt;
  face.Font.setFamilies({QString::fromLatin1(kBlankFace)});
  if (!BlanksSharingAGlyph(face.Font).isEmpty() ||
      QFontInfo(face.Font).family().compare(QString::fromLatin1(kBlankFace), Qt::CaseInsensitive) != 0)
    return std::nullopt;
  const QFontMetricsF own(Font, Device), other(face.Font, Device);
  if (other.ascent() <= 0 || other.descent() <= 0) return std::nullopt;
  const qreal scale = std::min({own.ascent() / other.ascent(), own.descent() / other.descent(), 1.0}) * 0.8;
  if (Font.pointSizeF() > 0)
    face.Font.setPointSizeF(Font.pointSizeF() * scale);
  else
    face.Font.setPixelSize(std::max(1, static_cast<int>(Font.pixelSize() * scale)));
  face.Font.setWordSpacing(Font.wordSpacing() + own.horizontalAdvance(QLatin1Char(' ')) -
                           QFontMetricsF(face.Font, Device).horizontalAdvance(QLatin1Char(' ')));
  return face;
}

void GiveBlanksTheirOwnGlyphs(QTextDocument& Doc, QPaintDevice* Device) {
  struct Run {
    int Start, Length;
    const QFont* Font;
  };
  std::vector<Run> runs;
  std::map<QString, std::optional<TBlankFace>> faces;  // by QFont::key()
  for (QTextBlock b = Doc.begin(); b.isValid(); b = b.next()) {
    for (QTextBlock::iterator it = b.begin(); !it.atEnd(); ++it) {
      const QTextFragment f = it.fragment();
      const QFont font = f.charFormat().font().resolve(Doc.defaultFont());
      auto at = faces.find(font.key());
      if (at == faces.end()) at = faces.emplace(font.key(), BlankFace(font, Device)).first;
      if (!at->second) continue;
      const QString text = f.text();
      for (qsizetype i = 0; i < text.size();) {
        qsizetype j = i;
        while (j < text.size() && at->second->Blanks.contains(text[j])) ++j;
        if (j > i) runs.push_back({f.position() + static_cast<int>(i), static_cast<int>(j - i), &at->second->Font});
        i = j + 1;
      }
    }
  }
  // One edit: the document is laid out again once, not after every run.
  Doc.setUndoRedoEnabled(false);
  QTextCursor c(&Doc);
  c.beginEditBlock();
  for (const Run& r : runs) {
    c.setPosition(r.Start);
    c.setPosition(r.Start + r.Length, QTextCursor::KeepAnchor);
    QTextCharFormat blank;
    blank.setFont(*r.Font, QTextCharFormat::FontPropertiesAll);
    c.mergeCharFormat(blank);
  }
  c.endEditBlock();
}

}  // namespace

int TRichEdit::PrintTo(QPagedPaintDevice& device, const QRect& pageRect) const {
  std::unique_ptr<QTextDocument> doc(TextEdit()->document()->clone());
  doc->setDefaultFont(TextEdit()->document()->defaultFont());
  doc->documentLayout()->setPaintDevice(&device);
  doc->setDocumentMargin(0);
  GiveBlanksTheirOwnGlyphs(*doc, &device);
  QSizeF page(pageRect.width(), pageRect.height());
  if (page.width() <= 0 || page.height() <= 0) return 0;
  doc->setPageSize(page);
  int pages = doc->pageCount();
  QPainter painter(&device);
  for (int i = 0; i < pages; ++i) {
    if (i > 0) device.newPage();
    painter.save();
    painter.setClipRect(pageRect);
    painter.translate(pageRect.left(), pageRect.top() - i * page.height());
    doc->drawContents(&painter, QRectF(QPointF(0, i * page.height()), page));
    painter.restore();
  }
  return pages;
}

// ---- TRichEditStrings -----------------------------------------------------------------------

void TRichEditStrings::Check(int Index, int Count) const {
  if (Index < 0 || Index >= Count) RaiseIndexError(Index);
}

int TRichEditStrings::Count() const {
  return FGathering ? static_cast<int>(FGathered.size()) : FEdit->LineCount();
}

std::string TRichEditStrings::Get(int Index) const {
  if (FGathering) {
    Check(Index, Count());
    return FGathered[static_cast<size_t>(Index)];
  }
  Check(Index, Count());
  int s, e;
  FEdit->LineRange(Index, s, e);
  return FromQ(FEdit->Plain().mid(s, e - s));
}

void TRichEditStrings::Put(int Index, const std::string& S) {
  Check(Index, Count());
  if (FGathering) {
    FGathered[static_cast<size_t>(Index)] = S;
    return;
  }
  int s, e;
  FEdit->LineRange(Index, s, e);
  FEdit->ProgramEdit([&] {
    QTextCursor c(FEdit->TextEdit()->document());
    c.setPosition(s);
    c.setPosition(e, QTextCursor::KeepAnchor);
    c.insertText(FromCrLf(S));
    FEdit->FModified = true;
  });
}

void TRichEditStrings::Insert(int Index, const std::string& S) {
  int n = Count();
  if (Index < 0 || Index > n) RaiseIndexError(Index);
  if (FGathering) {
    FGathered.insert(FGathered.begin() + Index, S);
    return;
  }
  FEdit->ProgramEdit([&] {
    QTextCursor c(FEdit->TextEdit()->document());
    QString line = FromCrLf(S);
    if (Index < n) {
      int s, e;
      FEdit->LineRange(Index, s, e);
      c.setPosition(s);
      c.insertText(line + QChar('\n'));
    } else {
      c.movePosition(QTextCursor::End);
      c.insertText(n > 0 ? QChar('\n') + line : line);
    }
    FEdit->FModified = true;
  });
}

void TRichEditStrings::Delete(int Index) {
  int n = Count();
  Check(Index, n);
  if (FGathering) {
    FGathered.erase(FGathered.begin() + Index);
    return;
  }
  int s, e;
  FEdit->LineRange(Index, s, e);
  if (Index < n - 1) {
    e += 1;  // the line and its break
  } else if (Index > 0) {
    s -= 1;  // the last line and the break before it
  }
  FEdit->ProgramEdit([&] {
    QTextCursor c(FEdit->TextEdit()->document());
    c.setPosition(s);
    c.setPosition(e, QTextCursor::KeepAnchor);
    c.removeSelectedText();
    FEdit->FModified = true;
  });
}

void TRichEditStrings::Clear() {
  if (FUpdating) {
    // A whole new body is coming: gather it and load it at the end of the update.
    FGathering = true;
    FGathered.clear();
    return;
  }
  FEdit->ProgramEdit([&] {
    FEdit->TextEdit()->clear();
    FEdit->FModified = true;
  });
}

void TRichEditStrings::SetUpdateState(bool Updating) {
  FUpdating = Updating;
  if (Updating || !FGathering) return;
  FGathering = false;
  std::string source;
  for (size_t i = 0; i < FGathered.size(); ++i) {
    if (i) source += "\r\n";
    source += FGathered[i];
  }
  FGathered.clear();
  FEdit->StreamIn(source);
}

// ---- TTextAttributes ------------------------------------------------------------------------

namespace {

struct Resolved {
  std::string name;
  int size = 0;
  TFontStyles style;
  TColor color = clBlack;
};

Resolved Resolve(const QTextCharFormat& f, const TFont& font) {
  Resolved r;
  r.name = rtf::FaceName(f);
  if (r.name.empty()) r.name = font.Name();
  double pt = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : 0;
  r.size = pt > 0 ? static_cast<int>(std::lround(pt)) : font.Size();
  TFontStyles fs = font.Style();
  auto pick = [&](TFontStyle s, bool has, bool on) {
    if (has ? on : fs.Contains(s)) r.style.Include(s);
  };
  pick(fsBold, f.hasProperty(QTextFormat::FontWeight), f.fontWeight() >= QFont::DemiBold);
  pick(fsItalic, f.hasProperty(QTextFormat::FontItalic), f.fontItalic());
  pick(fsUnderline,
       f.hasProperty(QTextFormat::TextUnderlineStyle) || f.hasProperty(QTextFormat::FontUnderline),
       f.fontUnderline());
  pick(fsStrikeOut, f.hasProperty(QTextFormat::FontStrikeOut), f.fontStrikeOut());
  if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush)
    r.color = orv::FromQColor(f.foreground().color());
  else
    r.color = font.Color();
  return r;
}

// The formats of the selected characters (line breaks have none), in order.
std::vector<QTextCharFormat> SelectedFormats(const QTextEdit* te) {
  QTextCursor c = te->textCursor();
  std::vector<QTextCharFormat> out;
  if (!c.hasSelection()) {
    out.push_back(te->currentCharFormat());
    return out;
  }
  int start = c.selectionStart(), end = c.selectionEnd();
  for (QTextBlock b = te->document()->findBlock(start); b.isValid() && b.position() < end;
       b = b.next()) {
    for (auto it = b.begin(); !it.atEnd(); ++it) {
      QTextFragment f = it.fragment();
      if (f.position() + f.length() <= start || f.position() >= end) continue;
      out.push_back(f.charFormat());
    }
  }
  return out;
}

Resolved Current(const TRichEdit* e) {
  std::vector<QTextCharFormat> fmts = SelectedFormats(e->TextEdit());
  if (fmts.empty()) {
    // Only line breaks are selected: they carry no style, so a run of marked text never
    // reaches over a line end.
    QTextCursor c = e->TextEdit()->textCursor();
    c.setPosition(c.selectionStart());
    Resolved r = Resolve(c.charFormat(), e->Font());
    r.style = TFontStyles();
    return r;
  }
  Resolved r = Resolve(fmts.front(), e->Font());
  for (std::size_t i = 1; i < fmts.size(); ++i) r.style = r.style * Resolve(fmts[i], e->Font()).style;
  return r;
}

}  // namespace

std::string TTextAttributes::Name() const { return Current(FEdit).name; }
int TTextAttributes::Size() const { return Current(FEdit).size; }
TFontStyles TTextAttributes::Style() const { return Current(FEdit).style; }
TColor TTextAttributes::Color() const { return Current(FEdit).color; }

void TTextAttributes::Apply(const QTextCharFormat& delta) {
  QTextEdit* te = FEdit->TextEdit();
  QTextCursor c = te->textCursor();
  if (c.hasSelection()) {
    c.mergeCharFormat(delta);  // a change of the text: the edit's own handler marks it
  } else {
    QTextCharFormat f = te->currentCharFormat();
    f.merge(delta);
    te->setCurrentCharFormat(f);
  }
}

void TTextAttributes::SetName(const std::string& v) {
  QTextCharFormat f;
  rtf::SetFaceName(f, v);
  Apply(f);
}

void TTextAttributes::SetSize(int v) {
  if (v <= 0) return;
  QTextCharFormat f;
  f.setFontPointSize(v);
  Apply(f);
}

namespace {
void PutStyle(QTextCharFormat& f, TFontStyles v) {
  f.setFontWeight(v.Contains(fsBold) ? QFont::Bold : QFont::Normal);
  f.setFontItalic(v.Contains(fsItalic));
  f.setFontUnderline(v.Contains(fsUnderline));
  f.setFontStrikeOut(v.Contains(fsStrikeOut));
}
}  // namespace

void TTextAttributes::SetStyle(TFontStyles v) {
  QTextCharFormat f;
  PutStyle(f, v);
  Apply(f);
}

void TTextAttributes::SetColor(TColor v) {
  QTextCharFormat f;
  f.setForeground(orv::ToQColor(v));
  Apply(f);
}

void TTextAttributes::Assign(TPersistent* Source) {
  auto* font = dynamic_cast<TFont*>(Source);
  if (!font) {
    TPersistent::Assign(Source);
    return;
  }
  QTextCharFormat f;
  rtf::SetFaceName(f, font->Name());
  if (font->Size() > 0) f.setFontPointSize(font->Size());
  PutStyle(f, font->Style());
  f.setForeground(orv::ToQColor(font->Color()));
  Apply(f);
}

void TTextAttributes::AssignTo(TPersistent* Dest) {
  auto* font = dynamic_cast<TFont*>(Dest);
  if (!font) {
    TPersistent::AssignTo(Dest);
    return;
  }
  Resolved r = Current(FEdit);
  font->SetName(r.name);
  font->SetSize(r.size);
  font->SetStyle(r.style);
  font->SetColor(r.color);
}
