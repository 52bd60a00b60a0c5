// The rich-edit body driven for real under the offscreen platform: its stored form, the
// modified rule, byte positions and limits, lines, selection attributes, mouse and key events,
// the popup menu and printing.
#include <gtest/gtest.h>

#include <QAbstractTextDocumentLayout>
#include <QApplication>
#include <QBuffer>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QInputMethodEvent>
#include <QMimeData>
#include <QPdfWriter>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QTimer>

#include "platform/core/TextCodec.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Menus.h"
#include "platform/ui/QtText.h"
#include "platform/ui/RichEdit.h"
#include "platform/ui/RtfReader.h"

using cp949::K;

namespace {

void TypeText(QWidget* w, const QString& text) {
  for (QChar ch : text)
    QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// A shown form with the body and a title edit after it in tab order.
struct BodyForm {
  BodyForm() {
    form = new TForm(nullptr);
    form->SetBounds(10, 10, 400, 300);
    body = new TRichEdit(form);
    body->SetParent(form);
    body->SetBounds(5, 5, 380, 200);
    title = new TEdit(form);
    title->SetParent(form);
    title->SetBounds(5, 220, 200, 22);
    form->Show();
    body->SetFocus();
  }
  ~BodyForm() { delete form; }
  QTextEdit* te() const { return body->TextEdit(); }
  // A point just inside the character at position pos, in viewport coordinates.
  QPoint PointOf(int pos) const {
    QTextCursor c(te()->document());
    c.setPosition(pos);
    QRect a = te()->cursorRect(c);
    return QPoint(a.left() + 2, a.center().y());
  }
  TForm* form;
  TRichEdit* body;
  TEdit* title;
};

const std::string kGulim = K("굴림");

// A rich body: "한글 " plain, "굵게" bold, " ", "www.a.com" marked as a link, then a second
// line.
std::string SampleRtf() {
  return "{\\rtf1\\ansi\\ansicpg949\\deff0{\\fonttbl{\\f0\\fnil\\fcharset129 \\'b1\\'bc\\'b8\\'b2;}}"
         "{\\colortbl ;\\red0\\green128\\blue0;}\\pard\\plain\\f0\\fs20 "
         "\\'c7\\'d1\\'b1\\'db \\b \\'b1\\'bd\\'b0\\'d4\\b0  \\ul\\cf1 www.a.com\\ulnone\\cf0\\par\r\n"
         "\\'b5\\'ce\\'b9\\'f8\\'c2\\'b0\\par\r\n}";
}

// Selects bytes [start, start + length) of Text().
void Select(TRichEdit* e, int start, int length) {
  e->SetSelStart(start);
  e->SetSelLength(length);
}

TEST(RichEditTest, StoredFormInRichAndPlainMode) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->StreamIn(SampleRtf());
  EXPECT_EQ(b->Text(), K("한글 굵게 www.a.com\r\n두번째"));
  ASSERT_EQ(b->Lines().Count(), 2);
  EXPECT_EQ(b->Lines()[1], K("두번째"));

  Select(b, 5, 4);  // 굵게
  EXPECT_EQ(b->SelText(), K("굵게"));
  EXPECT_TRUE(b->SelAttributes().Style().Contains(fsBold));
  Select(b, 10, 9);  // the link
  EXPECT_EQ(b->SelText(), "www.a.com");
  EXPECT_EQ(b->SelAttributes().Style(), TFontStyles({fsUnderline}));
  EXPECT_EQ(b->SelAttributes().Color(), RGB(0, 128, 0));
  EXPECT_EQ(b->SelAttributes().Name(), kGulim);
  EXPECT_EQ(b->SelAttributes().Size(), 10);

  // What the body writes reads back to the same text and formats in another body.
  std::string stored = b->StreamOut();
  ASSERT_TRUE(rtf::IsRtf(stored));
  TRichEdit other(nullptr);
  other.StreamIn(stored);
  EXPECT_EQ(other.Text(), b->Text());
  Select(&other, 10, 9);
  EXPECT_EQ(other.SelAttributes().Style(), TFontStyles({fsUnderline}));
  EXPECT_EQ(other.SelAttributes().Color(), RGB(0, 128, 0));
  EXPECT_EQ(other.StreamOut(), stored);

  // Plain mode: the streams carry the text itself, byte for byte, CR LF kept.
  b->SetPlainText(true);
  EXPECT_EQ(b->StreamOut(), b->Text());
  for (const std::string& text : {K("가\r\n\r\nb\r\n"), std::string("a\r\nb"), std::string()}) {
    b->StreamIn(text);
    EXPECT_EQ(b->StreamOut(), text);
  }
  b->StreamIn(SampleRtf());  // RTF source given to a plain body is shown as it stands
  EXPECT_EQ(b->Text().rfind("{\\rtf1", 0), 0u);
  // A rich body that is given plain text shows that text.
  b->SetPlainText(false);
  b->StreamIn(K("그냥 글"));
  EXPECT_EQ(b->Text(), K("그냥 글"));
}

TEST(RichEditTest, ModifiedRule) {
  BodyForm f;
  TRichEdit* b = f.body;
  struct Step {
    const char* what;
    std::function<void()> act;
    bool modified;
  };
  const Step steps[] = {
      {"a stored body is loaded", [&] { b->StreamIn(SampleRtf()); }, true},
      {"the display clears the flag", [&] { b->SetModified(false); }, false},
      {"the body font is set", [&] {
         TFont font;
         font.SetName(K("바탕체"));
         font.SetSize(14);
         font.SetColor(clBlue);
         b->SetFont(font);
       }, false},
      {"scrolling and moving the caret", [&] { b->ScrollToTop(); Select(b, 2, 3); }, false},
      {"typing", [&] { TypeText(f.te(), QString::fromUtf8("가")); }, true},
      {"a different text from the program", [&] { b->SetText("abc"); }, false},
      {"the same text again", [&] { b->SetModified(true); b->SetText("abc"); }, true},
      {"a different text again", [&] { b->SetText("abd"); }, false},
      {"an attribute for the caret only", [&] { b->SelAttributes().SetStyle({fsBold}); }, false},
      {"a link marked on the selection", [&] {
         Select(b, 0, 2);
         b->SelAttributes().SetStyle({fsUnderline});
       }, true},
      {"program text again", [&] { b->SetText("xyz"); }, false},
      {"Backspace", [&] { b->SetSelStart(3); QTest::keyClick(f.te(), Qt::Key_Backspace); }, true},
      {"program text", [&] { b->SetText("pq"); }, false},
      {"cut", [&] { b->SelectAll(); b->CutToClipboard(); }, true},
      {"program text", [&] { b->SetText("pq"); }, false},
      {"paste", [&] { QApplication::clipboard()->setText("zz"); b->PasteFromClipboard(); }, true},
      {"program text", [&] { b->SetText("pq\r\nrs"); }, false},
      {"a line deleted through Lines", [&] { b->Lines().Delete(0); }, true},
      {"cleared", [&] { b->Clear(); }, false},
      {"a file read through Lines", [&] { b->Lines().SetText("a\r\nb\r\n"); }, true},
  };
  for (const Step& s : steps) {
    s.act();
    EXPECT_EQ(b->Modified(), s.modified) << s.what;
  }
  EXPECT_EQ(b->Text(), "a\r\nb");
}

TEST(RichEditTest, BytePositionsAndCaret) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->SetText(K("가a\r\n나다"));  // bytes: 가 0-1, a 2, CR LF 3-4, 나 5-6, 다 7-8
  EXPECT_EQ(b->GetTextLen(), 9);

  struct Case {
    int start, length;
    int selStart, selLength;
    std::string text;
  };
  const Case cases[] = {
      {0, 2, 0, 2, K("가")},
      {0, 1, 0, 2, K("가")},      // one byte of a syllable takes the syllable
      {1, 1, 0, 2, K("가")},      // so does its second byte
      {2, 3, 2, 3, "a\r\n"},
      {3, 2, 3, 2, "\r\n"},
      {5, 4, 5, 4, K("나다")},
      {7, 50, 7, 2, K("다")},     // clamped at the end
      {-3, 0, 0, 0, ""},
  };
  for (const Case& c : cases) {
    Select(b, c.start, c.length);
    EXPECT_EQ(b->SelStart(), c.selStart) << c.start << "+" << c.length;
    EXPECT_EQ(b->SelLength(), c.selLength) << c.start << "+" << c.length;
    EXPECT_EQ(b->SelText(), c.text) << c.start << "+" << c.length;
  }

  b->SetSelStart(7);
  EXPECT_EQ(b->CaretLine(), 1);
  EXPECT_EQ(b->CaretColumn(), 2);
  b->SetSelStart(3);
  EXPECT_EQ(b->CaretLine(), 0);
  EXPECT_EQ(b->CaretColumn(), 3);

  // The length the save rule counts: a syllable two bytes, a line break two.
  QString syllables(5000, QChar(0xAC00));
  b->SetText(orv::FromQ(syllables));
  EXPECT_EQ(b->GetTextLen(), 10000);
  b->SetText(orv::FromQ(syllables) + "\r\n");
  EXPECT_EQ(b->GetTextLen(), 10002);

  // SelText replaces the selection with line breaks as typed.
  b->SetText("abc");
  Select(b, 1, 1);
  b->SetSelText(K("가\r\n"));
  EXPECT_EQ(b->Text(), K("a가\r\nc"));
  EXPECT_EQ(b->SelStart(), 5);
}

TEST(RichEditTest, MaxLengthInBytesForTypingAndPaste) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->SetMaxLength(5);
  b->SetText("");
  TypeText(f.te(), QString::fromUtf8("ab가c"));  // 가 ends at 4 bytes, c at 5
  EXPECT_EQ(b->Text(), K("ab가c"));
  TypeText(f.te(), "d");
  QTest::keyClick(f.te(), Qt::Key_Return);
  EXPECT_EQ(b->Text(), K("ab가c"));

  b->SetMaxLength(6);
  b->SetText("ab");
  b->SetSelStart(2);
  QApplication::clipboard()->setText(QString::fromUtf8("가나다"));
  b->PasteFromClipboard();
  EXPECT_EQ(b->Text(), K("ab가나"));  // cut on a syllable boundary

  // A syllable the input method composes is held to the same limit.
  b->SetMaxLength(4);
  b->SetText("abc");
  b->SetSelStart(3);
  auto compose = [&] {
    QInputMethodEvent ime(QString(), {});
    ime.setCommitString(QString::fromUtf8("가"));
    QCoreApplication::sendEvent(f.te(), &ime);
  };
  compose();
  EXPECT_EQ(b->Text(), "abc");
  b->SetMaxLength(5);
  compose();
  EXPECT_EQ(b->Text(), K("abc가"));

  // Characters without a code page 949 form are neither typed nor pasted.
  b->SetMaxLength(0);
  b->SetText("x");
  b->SetSelStart(1);
  TypeText(f.te(), QString::fromUtf8("é"));
  QApplication::clipboard()->setText(QString::fromUtf8("yé\U0001F600z"));
  b->PasteFromClipboard();
  EXPECT_EQ(b->Text(), "xyz");
}

TEST(RichEditTest, FormattedPasteKeepsTheBodysFormats) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->StreamIn(SampleRtf());
  Select(b, 10, 9);
  b->SelAttributes().SetName(K("바탕체"));
  b->CopyToClipboard();
  b->SetSelStart(b->GetTextLen());
  b->PasteFromClipboard();
  EXPECT_EQ(b->Lines()[1], K("두번째www.a.com"));
  Select(b, 27, 9);
  EXPECT_EQ(b->SelText(), "www.a.com");
  EXPECT_EQ(b->SelAttributes().Style(), TFontStyles({fsUnderline}));
  EXPECT_EQ(b->SelAttributes().Color(), RGB(0, 128, 0));
  EXPECT_EQ(b->SelAttributes().Name(), K("바탕체"));  // the face as the program names it
}

TEST(RichEditTest, LoadingABodyForgetsTheUndoHistory) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->StreamIn("first note");
  TypeText(f.te(), "x");
  b->StreamIn(SampleRtf());
  b->Undo();
  EXPECT_EQ(b->Lines()[1], K("두번째"));
  b->SetPlainText(true);
  b->StreamIn("third");
  b->Undo();
  b->SetText("fourth");
  b->Undo();
  EXPECT_EQ(b->Text(), "fourth");
}

TEST(RichEditTest, LinesEditTheDocumentInPlace) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->StreamIn(SampleRtf());
  TStrings& lines = b->Lines();
  lines.Add("third");
  lines.Insert(0, "zero");
  lines.Put(3, "THIRD");
  EXPECT_EQ(lines.Text(), K("zero\r\n한글 굵게 www.a.com\r\n두번째\r\nTHIRD\r\n"));
  lines.Delete(0);
  lines.Delete(2);
  EXPECT_EQ(b->Text(), K("한글 굵게 www.a.com\r\n두번째"));
  // The runs the line operations did not touch keep their formats.
  Select(b, 10, 9);
  EXPECT_EQ(b->SelAttributes().Color(), RGB(0, 128, 0));
  EXPECT_THROW(lines.Delete(5), EListError);
  EXPECT_THROW(lines.Get(2), EListError);

  // Loading through Lines reads RTF source in rich mode, text in plain mode.
  lines.SetText(SampleRtf());
  EXPECT_EQ(lines.Count(), 2);
  Select(b, 5, 4);
  EXPECT_TRUE(b->SelAttributes().Style().Contains(fsBold));
  b->SetPlainText(true);
  lines.SetText("p\r\nq");
  EXPECT_EQ(b->Text(), "p\r\nq");
  lines.Clear();
  EXPECT_EQ(lines.Count(), 0);
  lines.Add("only");
  EXPECT_EQ(b->Text(), "only");
}

TEST(RichEditTest, SelectionAttributes) {
  BodyForm f;
  TRichEdit* b = f.body;
  TFont font;
  font.SetName(kGulim);
  font.SetSize(11);
  font.SetColor(clNavy);
  b->SetFont(font);
  b->SetText("plain link");
  // Unformatted text reports the control's font.
  Select(b, 0, 5);
  EXPECT_EQ(b->SelAttributes().Name(), kGulim);
  EXPECT_EQ(b->SelAttributes().Size(), 11);
  EXPECT_EQ(b->SelAttributes().Color(), clNavy);
  EXPECT_TRUE(b->SelAttributes().Style().Empty());

  // Marking a link: underline only, green.
  Select(b, 6, 4);
  b->SelAttributes().SetStyle({fsBold});
  b->SelAttributes().SetStyle({fsUnderline});
  b->SelAttributes().SetColor(RGB(0, 128, 0));
  EXPECT_EQ(b->SelAttributes().Style(), TFontStyles({fsUnderline}));
  // A style counts only where every selected character has it.
  Select(b, 5, 2);
  EXPECT_TRUE(b->SelAttributes().Style().Empty());
  // The caret reports the character before it.
  b->SetSelStart(8);
  EXPECT_EQ(b->SelAttributes().Style(), TFontStyles({fsUnderline}));
  EXPECT_EQ(b->SelAttributes().Color(), RGB(0, 128, 0));
  b->SetSelStart(6);
  EXPECT_TRUE(b->SelAttributes().Style().Empty());
  // A line break carries no style, so marked text never reaches over a line end.
  b->SetText("ab\r\ncd");
  b->SelectAll();
  b->SelAttributes().SetStyle({fsUnderline});
  Select(b, 2, 2);
  EXPECT_EQ(b->SelText(), "\r\n");
  EXPECT_TRUE(b->SelAttributes().Style().Empty());
  Select(b, 1, 3);
  EXPECT_EQ(b->SelAttributes().Style(), TFontStyles({fsUnderline}));
  b->SetText("plain link");
  Select(b, 6, 4);
  b->SelAttributes().SetStyle({fsUnderline});
  b->SelAttributes().SetColor(RGB(0, 128, 0));

  // The font dialog's way: preset from the selection, then applied to it.
  Select(b, 6, 4);
  TFont dlg;
  dlg.Assign(&b->SelAttributes());
  EXPECT_EQ(dlg.Name(), kGulim);
  EXPECT_EQ(dlg.Color(), RGB(0, 128, 0));
  EXPECT_TRUE(dlg.Style().Contains(fsUnderline));
  dlg.SetName(K("바탕체"));
  dlg.SetSize(16);
  dlg.SetStyle({fsBold, fsItalic});
  dlg.SetColor(clRed);
  b->SelAttributes().Assign(&dlg);
  EXPECT_EQ(b->SelAttributes().Name(), K("바탕체"));
  EXPECT_EQ(b->SelAttributes().Size(), 16);
  EXPECT_EQ(b->SelAttributes().Style(), TFontStyles({fsBold, fsItalic}));
  EXPECT_EQ(b->SelAttributes().Color(), clRed);
  // ... and the stored form carries it.
  TRichEdit other(nullptr);
  other.StreamIn(b->StreamOut());
  Select(&other, 6, 4);
  EXPECT_EQ(other.SelAttributes().Name(), K("바탕체"));
  EXPECT_EQ(other.SelAttributes().Size(), 16);
  EXPECT_EQ(other.SelAttributes().Color(), clRed);
}

TEST(RichEditTest, MouseEventsSeeTheCaretOfTheirPress) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->SetText("one two three");
  std::vector<std::string> log;
  b->OnMouseDown = [&](TObject*, TMouseButton btn, TShiftState sh, int, int) {
    log.push_back("down" + std::to_string(btn) + (sh & ssDouble ? "d" : "") + "@" +
                  std::to_string(b->SelStart()) + "+" + std::to_string(b->SelLength()));
  };
  b->OnMouseUp = [&](TObject*, TMouseButton btn, TShiftState, int, int) {
    log.push_back("up" + std::to_string(btn));
  };
  b->OnClick = [&](TObject*) { log.push_back("click"); };
  b->OnDblClick = [&](TObject*) { log.push_back("dbl"); };
  int xs[2] = {-1, -1};
  int n = 0;
  b->OnMouseDown = [&, down = b->OnMouseDown](TObject* s, TMouseButton btn, TShiftState sh, int x,
                                              int y) {
    if (n < 2) xs[n++] = x;
    down(s, btn, sh, x, y);
  };

  QPoint at5 = f.PointOf(5);  // inside "two"
  QTest::mouseClick(f.te()->viewport(), Qt::LeftButton, {}, at5);
  QTest::mouseClick(f.te()->viewport(), Qt::LeftButton, {}, at5);
  EXPECT_EQ(xs[0], xs[1]);  // two presses at one place report one X
  // A double click: its first click, then the word it selects.
  QTest::mouseClick(f.te()->viewport(), Qt::LeftButton, {}, f.PointOf(9));
  QTest::mouseDClick(f.te()->viewport(), Qt::LeftButton, {}, f.PointOf(9));
  // A right press leaves the caret and the selection where they were.
  QTest::mouseClick(f.te()->viewport(), Qt::RightButton, {}, f.PointOf(1));
  const std::vector<std::string> expected = {
      "down0@5+0", "up0", "click", "down0@5+0", "up0", "click",
      "down0@9+0", "up0", "click", "dbl", "down0d@8+5",
      "down1@8+5", "up1"};
  EXPECT_EQ(log.size(), expected.size());
  for (size_t i = 0; i < std::min(log.size(), expected.size()); ++i)
    EXPECT_EQ(log[i], expected[i]) << i;
}

TEST(RichEditTest, KeysOfTheBody) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->SetText("ab");
  b->SetSelStart(2);
  std::string pressed;
  int exits = 0, keyUps = 0;
  b->OnKeyPress = [&](TObject*, char& k) { pressed += k; };
  b->OnKeyUp = [&](TObject*, uint16_t& k, TShiftState) { keyUps += k != VK_CONTROL; };
  b->OnExit = [&](TObject*) { ++exits; };
  // Esc reaches the body's key press; Enter makes a line break; Ctrl+Y changes nothing.
  QTest::keyClick(f.te(), Qt::Key_Escape);
  QTest::keyClick(f.te(), Qt::Key_Return);
  QTest::keyClick(f.te(), Qt::Key_Y, Qt::ControlModifier);
  EXPECT_EQ(pressed, std::string("\x1b\r\x19"));
  EXPECT_EQ(b->Text(), "ab\r\n");
  EXPECT_EQ(keyUps, 3);
  // The body takes no tab characters: Tab moves on and leaves the body.
  QTest::keyClick(f.te(), Qt::Key_Tab);
  EXPECT_EQ(b->Text(), "ab\r\n");
  EXPECT_EQ(exits, 1);
  EXPECT_EQ(f.form->ActiveControl(), f.title);

  // A read-only body takes no typing but can be read with the keyboard.
  b->SetFocus();
  b->SetReadOnly(true);
  b->SetSelStart(0);
  TypeText(f.te(), "x");
  QTest::keyClick(f.te(), Qt::Key_Right);
  EXPECT_EQ(b->Text(), "ab\r\n");
  EXPECT_EQ(b->SelStart(), 1);
  b->SetReadOnly(false);
  TypeText(f.te(), "x");
  EXPECT_EQ(b->Text(), "axb\r\n");
}

TEST(RichEditTest, OnlyTheControlsPopupMenuOpens) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->SetText("text");
  auto* menu = new TPopupMenu(f.form);
  auto* item = new TMenuItem(menu);
  item->SetCaption("x");
  menu->Items()->Add(item);
  int popups = 0;
  menu->OnPopup = [&](TObject*) { ++popups; };
  b->SetPopupMenu(menu);
  int shown = 0;
  auto rightClick = [&] {
    // Close whatever menu opens, and count it.
    QTimer::singleShot(30, [&] {
      if (QWidget* p = QApplication::activePopupWidget()) {
        ++shown;
        p->close();
      }
    });
    QPoint p = f.PointOf(1);
    QContextMenuEvent e(QContextMenuEvent::Mouse, p, f.te()->viewport()->mapToGlobal(p));
    QCoreApplication::sendEvent(f.te()->viewport(), &e);
    QTest::qWait(60);
  };
  rightClick();
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(shown, 1);
  menu->SetAutoPopup(false);
  shown = 0;
  rightClick();
  EXPECT_EQ(popups, 1);
  EXPECT_EQ(shown, 0);  // and no menu of the editor's own
}

TEST(RichEditTest, SelectionChangeEvent) {
  BodyForm f;
  TRichEdit* b = f.body;
  b->SetText("abcdef");
  int changes = 0;
  b->OnSelectionChange = [&](TObject*) { ++changes; };
  b->SetSelStart(2);
  b->SetSelLength(2);
  b->SetSelLength(2);  // no move: no event
  QTest::keyClick(f.te(), Qt::Key_Right);
  EXPECT_EQ(changes, 3);
}

TEST(RichEditTest, PrintsPageByPage) {
  BodyForm f;
  TRichEdit* b = f.body;
  // Pages printed, and pages the PDF holds.
  auto print = [&](const std::string& body) {
    b->StreamIn(body);
    QBuffer buf;
    buf.open(QIODevice::WriteOnly);
    int pages = 0;
    {
      QPdfWriter pdf(&buf);
      pdf.setResolution(300);
      pages = b->PrintTo(pdf, QRect(200, 250, 3000, 3050));
    }
    const QByteArray& d = buf.data();
    return std::make_pair(pages, static_cast<int>(d.count("/Type /Page") - d.count("/Type /Pages")));
  };
  EXPECT_EQ(print(SampleRtf()), std::make_pair(1, 1));
  std::string longBody;
  for (int i = 0; i < 400; ++i) longBody += "line " + std::to_string(i) + "\r\n";
  auto [pages, inPdf] = print(longBody);
  EXPECT_GT(pages, 2);
  EXPECT_EQ(inPdf, pages);
}

}  // namespace
