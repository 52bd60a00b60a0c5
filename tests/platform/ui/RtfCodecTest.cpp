// The rich body's stored form: RTF source read into a text document and written back.
#include <memory>
#include <random>
#include <string>

#include <QColor>
#include <QFont>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <gtest/gtest.h>

#include "platform/core/TextCodec.h"
#include "platform/ui/RtfReader.h"
#include "platform/ui/RtfWriter.h"

namespace {

std::unique_ptr<QTextDocument> Read(const std::string& rtf) {
  auto doc = std::make_unique<QTextDocument>();
  rtf::ReadRtf(rtf, *doc);
  return doc;
}

// The document's characters with every line break as '\n', no other conversion.
std::string Plain(const QTextDocument& doc) {
  QString s = doc.toRawText();
  s.replace(QChar(0x2029), QChar('\n'));
  s.replace(QChar(0x2028), QChar('\n'));
  return s.toStdString();
}

struct Attr {
  std::string face;  // code page 949
  double points = 0;
  bool bold = false, italic = false, underline = false, strike = false;
  QColor colour;  // invalid = automatic
  bool operator==(const Attr&) const = default;
};

// An expected format: styles holds 'b', 'i', 'u', 's' for bold, italic, underline, strike-out.
Attr A(std::string face, double points, const char* styles = "", QColor colour = {}) {
  Attr a;
  a.face = std::move(face);
  a.points = points;
  for (const char* p = styles; *p; ++p) {
    a.bold |= *p == 'b';
    a.italic |= *p == 'i';
    a.underline |= *p == 'u';
    a.strike |= *p == 's';
  }
  a.colour = colour;
  return a;
}

std::ostream& operator<<(std::ostream& os, const Attr& a) {
  return os << "{face=" << cp949::ToUtf8(a.face) << " pt=" << a.points << " b=" << a.bold
            << " i=" << a.italic << " ul=" << a.underline << " s=" << a.strike
            << " c=" << (a.colour.isValid() ? a.colour.name().toStdString() : "auto") << "}";
}

// Format of the character that follows position pos.
Attr AttrAt(const QTextDocument& doc, int pos) {
  QTextCursor c(const_cast<QTextDocument*>(&doc));
  c.setPosition(pos);
  c.setPosition(pos + 1, QTextCursor::KeepAnchor);
  QTextCharFormat f = c.charFormat();
  Attr a;
  a.face = rtf::FaceName(f);
  a.points = f.fontPointSize();
  a.bold = f.fontWeight() >= QFont::DemiBold;
  a.italic = f.fontItalic();
  a.underline = f.fontUnderline();
  a.strike = f.fontStrikeOut();
  if (f.hasProperty(QTextFormat::ForegroundBrush)) a.colour = f.foreground().color();
  return a;
}

const std::string kGulim = cp949::K("굴림");
const char kGulimRtf[] = "\\'b1\\'bc\\'b8\\'b2";

// ---- reading ---------------------------------------------------------------------------

struct TextCase {
  const char* what;
  std::string rtf;
  std::string utf8;
};

TEST(RtfReader, TextOfTheSource) {
  const TextCase cases[] = {
      {"hangul as escapes",
       std::string("{\\rtf1\\ansi\\ansicpg949\\deff0{\\fonttbl{\\f0\\fnil\\fcharset129 ") +
           kGulimRtf + ";}}\\f0\\fs20 \\'c7\\'d1\\'b1\\'db abc\\par\r\n}",
       "한글 abc"},
      {"a word processor's body",
       "{\\rtf1\\ansi\\ansicpg949\\deff0\\deflang1033\\deflangfe1042{\\fonttbl{\\f0\\fnil"
       "\\fcharset129 \\'b1\\'bc\\'b8\\'b2;}}\r\n{\\*\\generator SomeWriter 5.4;}"
       "\\viewkind4\\uc1\\pard\\lang1042\\f0\\fs20\\'c7\\'d1\\'b1\\'db\\par\r\n}\r\n",
       "한글"},
      {"hangul as raw bytes", "{\\rtf1\\ansi\\ansicpg949 " + cp949::K("한글") + "}", "한글"},
      {"unicode with fallback", "{\\rtf1\\ansi caf\\u233?s}", "cafés"},
      {"two fallback bytes", "{\\rtf1\\uc2 a\\u44032\\'b0\\'a1 b}", "a가 b"},
      {"no fallback", "{\\rtf1\\uc0 a\\u44032 b}", "a가b"},
      {"negative unicode", "{\\rtf1 \\u-21504?}", "가"},
      {"fallback ends at a group", "{\\rtf1\\uc3 \\u44032 a{b}c}", "가bc"},
      {"specials", "{\\rtf1 a\\{b\\}c\\\\d\\tab e\\emdash f\\~g}", "a{b}c\\d\te—f\u00A0g"},
      {"paragraphs and lines", "{\\rtf1 a\\par b\\line c\\par}", "a\nb\nc"},
      {"an empty last line", "{\\rtf1 a\\par\\par}", "a\n"},
      {"no final paragraph mark", "{\\rtf1 a}", "a"},
      {"raw line breaks are not text", "{\\rtf1 a\r\nb\n}", "ab"},
      {"control words end at a blank or a non-letter",
       "{\\rtf1\\foo12 a\\barbaz-3 b\\qux;c}", "ab;c"},
      {"destinations carry no text",
       "{\\rtf1{\\fonttbl{\\f0 Arial;}}{\\colortbl;\\red1\\green2\\blue3;}"
       "{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author A}}{\\*\\generator SomeWriter;}"
       "{\\pict\\wmetafile8 0123abcd}x{\\*\\unknown zz}y"
       "{\\field{\\*\\fldinst HYPERLINK \"u\"}{\\fldrslt link}}z}",
       "xylinkz"},
      {"binary data is stepped over", "{\\rtf1 a{\\pict\\bin3 {}\\}b}", "ab"},
      {"code page 1252 fonts",
       "{\\rtf1\\ansi{\\fonttbl{\\f0\\fcharset0 Arial;}}\\f0 \\'e9\\'80}", "é€"},
      {"text after the document is not read", "{\\rtf1 a}b}", "a"},
  };
  for (const TextCase& c : cases) EXPECT_EQ(Plain(*Read(c.rtf)), c.utf8) << c.what;
}

TEST(RtfReader, RunFormats) {
  auto doc = Read(std::string("{\\rtf1\\ansi\\ansicpg949\\deff0{\\fonttbl{\\f0\\fnil\\fcharset129 ") +
                  kGulimRtf +
                  ";}{\\f1\\fswiss\\fcharset0 Arial;}}"
                  "{\\colortbl ;\\red0\\green128\\blue0;\\red255\\green0\\blue0;}"
                  "\\pard\\plain\\f0\\fs20 n\\b b\\b0\\i i\\i0\\ul u\\ulnone\\strike s\\strike0"
                  "\\cf1\\ul L\\cf0\\ulnone{\\f1\\fs40\\cf2 G}c\\plain x\\cf9 y}");
  ASSERT_EQ(Plain(*doc), "nbiusLGcxy");
  const QColor green(0, 128, 0), red(255, 0, 0);
  const Attr expected[] = {
      A(kGulim, 10),            // n
      A(kGulim, 10, "b"),       // b
      A(kGulim, 10, "i"),       // i
      A(kGulim, 10, "u"),       // u
      A(kGulim, 10, "s"),       // s
      A(kGulim, 10, "u", green), // L: a link's marking
      A("Arial", 20, "", red),  // G, in its own group
      A(kGulim, 10),            // c: the group's end restores
      A(kGulim, 0),             // x: \plain, no size given
      A(kGulim, 0),             // y: no such colour
  };
  for (int i = 0; i < 10; ++i) EXPECT_EQ(AttrAt(*doc, i), expected[i]) << "char " << i;

  // A colour table without the empty first entry colours \cf0 text too.
  auto blue = Read("{\\rtf1{\\colortbl\\red0\\green0\\blue255;}a\\cf0 b}");
  EXPECT_EQ(AttrAt(*blue, 0).colour, QColor(0, 0, 255));
  EXPECT_EQ(AttrAt(*blue, 1).colour, QColor(0, 0, 255));
}

TEST(RtfReader, BadInputEndsWhereItEnds) {
  const std::string cases[] = {
      "", "{", "{\\", "{\\rtf1", "{\\rtf1 \\'", "{\\rtf1 \\'b", "{\\rtf1 \\'bz", "{\\rtf1 \\u",
      "{\\rtf1 \\u-", "{\\rtf1 \\u99999999999999 a", "}}}{", "{\\rtf1 }}}}} after",
      "{\\rtf1 {\\fonttbl{\\f0", "{\\rtf1 {\\fonttbl{\\f0\\fcharset129 \\'b1", "{\\rtf1{\\colortbl\\red",
      "{\\rtf1\\bin999999999 ab", "{\\rtf1\\bin-5 ab}", "{\\rtf1\\fs99999999999999 a}",
      "{\\rtf1\\fs-4 a}", "{\\rtf1\\uc999999 \\u44032 abc}", std::string("{\\rtf1 a\0b}", 11),
      "{\\rtf1\\" + std::string(5000, 'x') + " a}",
  };
  for (const std::string& c : cases) Read(c);

  EXPECT_EQ(Plain(*Read("{\\rtf1 abc\\par de")), "abc\nde");  // truncated: the text so far

  // Nesting far deeper than any writer makes: read, and quickly.
  std::string deep = "{\\rtf1 " + std::string(200000, '{') + "x" + std::string(200000, '}') + "y}";
  EXPECT_EQ(Plain(*Read(deep)), "xy");
}

TEST(RtfReader, DamagedSourcesNeverCrash) {
  const std::string seed =
      std::string("{\\rtf1\\ansi\\ansicpg949\\deff0{\\fonttbl{\\f0\\fnil\\fcharset129 ") + kGulimRtf +
      ";}}{\\colortbl ;\\red0\\green128\\blue0;}{\\*\\generator x;}\\uc1\\pard\\plain\\f0\\fs20 "
      "\\'c7\\'d1\\b b\\b0\\cf1\\ul L\\ulnone\\cf0\\u44032?{\\pict\\bin2 {}}\\line x\\par\r\n}";
  const char alphabet[] = "{}\\'*;0123456789abfuclrtx -\xb0\xa1";
  std::mt19937 rng(949);
  for (int round = 0; round < 3000; ++round) {
    std::string s = seed;
    int edits = 1 + static_cast<int>(rng() % 8);
    for (int e = 0; e < edits && !s.empty(); ++e) {
      std::size_t at = rng() % s.size();
      switch (rng() % 3) {
        case 0: s.erase(at, 1 + rng() % 4); break;
        case 1: s.insert(at, 1, alphabet[rng() % (sizeof alphabet - 1)]); break;
        default: s.resize(at); break;
      }
    }
    Read(s);
  }
}

TEST(RtfReader, IsRtf) {
  EXPECT_TRUE(rtf::IsRtf("{\\rtf1\\ansi}"));
  EXPECT_TRUE(rtf::IsRtf("\r\n  {\\rtf1"));
  EXPECT_FALSE(rtf::IsRtf("{\\rt"));
  EXPECT_FALSE(rtf::IsRtf("plain {\\rtf1"));
  EXPECT_FALSE(rtf::IsRtf(""));
}

// ---- writing ---------------------------------------------------------------------------

void Insert(QTextCursor& c, const char* utf8, const Attr& a) {
  QTextCharFormat f;
  rtf::SetFaceName(f, a.face);
  f.setFontPointSize(a.points);
  f.setFontWeight(a.bold ? QFont::Bold : QFont::Normal);
  f.setFontItalic(a.italic);
  f.setFontUnderline(a.underline);
  f.setFontStrikeOut(a.strike);
  if (a.colour.isValid()) f.setForeground(a.colour);
  c.insertText(QString::fromUtf8(utf8), f);
}

// A body with every attribute the editor sets, Korean faces, a link, the RTF specials, a
// character code page 949 lacks, an empty line and a line break inside a paragraph.
std::unique_ptr<QTextDocument> SampleBody() {
  auto doc = std::make_unique<QTextDocument>();
  QTextCursor c(doc.get());
  const std::string batang = cp949::K("바탕체");
  Insert(c, "한글 본문 ", A(kGulim, 10));
  Insert(c, "굵게", A(kGulim, 10, "b"));
  Insert(c, "기울임", A(kGulim, 12, "i"));
  Insert(c, "밑줄", A(batang, 9, "u"));
  Insert(c, "취소", A(batang, 9, "s"));
  Insert(c, "빨강", A(kGulim, 10, "bi", QColor(255, 0, 0)));
  c.insertBlock();
  Insert(c, "www.orvelane.test", A(kGulim, 10, "u", QColor(0, 128, 0)));
  Insert(c, " {x}\\y\tcafé\u00A0z", A("Arial", 20.5));
  c.insertBlock();
  c.insertBlock();
  Insert(c, "a\u2028b", A(kGulim, 10));
  return doc;
}

TEST(RtfWriter, RoundTripKeepsTextAndEveryRunFormat) {
  auto doc = SampleBody();
  std::string out = rtf::WriteRtf(*doc, {kGulim, 10});

  // Stored form: 7-bit RTF in code page 949 terms, CR LF line breaks.
  EXPECT_EQ(out.rfind("{\\rtf1\\ansi\\ansicpg949", 0), 0u);
  EXPECT_NE(out.find("\\fcharset129"), std::string::npos);
  EXPECT_NE(out.find("\\'c7\\'d1\\'b1\\'db"), std::string::npos);  // 한글
  EXPECT_NE(out.find("\\u233?"), std::string::npos);                // é
  for (std::size_t i = 0; i < out.size(); ++i) {
    ASSERT_LT(static_cast<unsigned char>(out[i]), 0x80) << "byte " << i;
    if (out[i] == '\n') {
      ASSERT_TRUE(i > 0 && out[i - 1] == '\r') << "bare LF at " << i;
    }
  }

  auto back = Read(out);
  ASSERT_EQ(Plain(*back), Plain(*doc));
  ASSERT_EQ(back->blockCount(), doc->blockCount());
  int n = static_cast<int>(QString::fromStdString(Plain(*doc)).size());
  for (int i = 0; i < n; ++i) {
    if (Plain(*doc)[static_cast<std::size_t>(i)] == '\n') continue;
    EXPECT_EQ(AttrAt(*back, i), AttrAt(*doc, i)) << "char " << i;
  }
  // Writing what was read gives the same source again.
  EXPECT_EQ(rtf::WriteRtf(*back, {kGulim, 10}), out);
}

TEST(RtfWriter, RunsWithoutAttributesTakeTheDefaults) {
  QTextDocument doc;
  QFont f;
  f.setBold(true);
  doc.setDefaultFont(f);
  doc.setPlainText("x\n");
  auto back = Read(rtf::WriteRtf(doc, {kGulim, 11}));
  EXPECT_EQ(Plain(*back), "x\n");
  EXPECT_EQ(AttrAt(*back, 0), A(kGulim, 11, "b"));

  QTextDocument empty;
  std::string out = rtf::WriteRtf(empty, {kGulim, 10});
  auto readEmpty = Read(out);
  EXPECT_EQ(Plain(*readEmpty), "");
  EXPECT_EQ(readEmpty->blockCount(), 1);
}

}  // namespace
