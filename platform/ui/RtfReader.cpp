// RTF source -> QTextDocument. One pass over the bytes with a stack of group states; text is
// gathered per run (same char format) and inserted through one QTextCursor.
#include "platform/ui/RtfReader.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <optional>
#include <vector>

#include <QByteArray>
#include <QColor>
#include <QFont>
#include <QString>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>

#include "platform/core/TextCodec.h"
#include "platform/gfx/QtGraphics.h"

namespace rtf {

bool IsRtf(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\r' || text[i] == '\n' ||
                             text[i] == '\t'))
    ++i;
  return text.substr(i, 5) == "{\\rtf";
}

void SetFaceName(QTextCharFormat& fmt, const std::string& cp949Name) {
  if (cp949Name.empty()) {
    fmt.clearProperty(FaceNameProperty);
    fmt.clearProperty(QTextFormat::FontFamilies);
    return;
  }
  fmt.setProperty(FaceNameProperty,
                  QByteArray(cp949Name.data(), static_cast<qsizetype>(cp949Name.size())));
  fmt.setFontFamilies(QStringList{orv::MapFontFamily(cp949Name)});
}

std::string FaceName(const QTextCharFormat& fmt) {
  if (fmt.hasProperty(FaceNameProperty)) {
    QByteArray b = fmt.property(FaceNameProperty).toByteArray();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
  }
  QStringList families = fmt.fontFamilies().toStringList();
  if (families.isEmpty() || families.front().isEmpty()) return {};
  std::string out;
  if (!cp949::TryFromUtf8(families.front().toStdString(), out)) return {};
  return out;
}

namespace {

constexpr int kMaxDepth = 256;        // deeper groups share their parent's state
constexpr int kMaxHalfPoints = 3276;  // 1638 points, the largest size a font takes

// Code page of Windows charset numbers, for the charsets whose text we decode ourselves.
int CodePageOfCharset(int charset, int ansiCodePage) {
  switch (charset) {
    case 0:
      return 1252;
    case 129:
      return 949;
    default:
      return ansiCodePage;
  }
}

// Windows-1252 bytes 0x80..0x9F; the rest of the code page is Latin-1.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

QString DecodeBytes(const std::string& bytes, int codePage) {
  if (codePage == 949) return QString::fromStdString(cp949::ToUtf8(bytes));
  QString out;
  out.reserve(static_cast<qsizetype>(bytes.size()));
  for (unsigned char c : bytes)
    out.append(QChar(c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : char16_t(c)));
  return out;
}

std::string ToCp949(const QString& s) {
  std::string out;
  if (cp949::TryFromUtf8(s.toStdString(), out)) return out;
  // A name with a character code page 949 lacks: keep what converts.
  out.clear();
  for (QChar ch : s) {
    std::string one;
    if (cp949::TryFromUtf8(QString(ch).toStdString(), one)) out += one;
  }
  return out;
}

enum class Dest { Text, Skip, FontTable, ColourTable };

struct GroupState {
  Dest dest = Dest::Text;
  int font = -1;        // font table number; -1 = the default font
  int halfPoints = 0;   // 0 = no size given
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  int colour = 0;       // colour table index; 0 = automatic
  int uc = 1;           // fallback characters after \uN
};

struct FontEntry {
  std::string name;  // code page 949
  int charset = 1;
  int codePage = 0;  // \cpgN; 0 = from the charset
};

// Control words that open a group holding no body text.
bool IsSkippedDestination(std::string_view w) {
  static constexpr std::string_view kWords[] = {
      "annotation", "atnauthor", "atndate",  "atnid",       "atnparent",  "atnref",
      "atntime",    "author",    "bkmkend",  "bkmkstart",   "buptim",     "colorschememapping",
      "comment",    "creatim",   "datafield", "datastore",  "do",         "doccomm",
      "docvar",     "falt",      "filetbl",  "fldinst",     "footer",     "footerf",
      "footerl",    "footerr",   "footnote", "ftncn",       "ftnsep",     "ftnsepc",
      "generator",  "header",    "headerf",  "headerl",     "headerr",    "info",
      "keywords",   "latentstyles", "listoverridetable", "listtable", "nonshppict",
      "object",     "objdata",   "operator", "panose",      "pgdsctbl",   "pict",
      "pn",         "pntxta",    "pntxtb",   "printim",     "private",    "revtbl",
      "revtim",     "rsidtbl",   "shp",      "shpinst",     "stylesheet", "subject",
      "tc",         "template",  "themedata", "title",      "txe",        "upr",       "userprops",
      "xe",         "xmlnstbl"};
  return std::find(std::begin(kWords), std::end(kWords), w) != std::end(kWords);
}

// Symbol words that stand for one character.
std::optional<char16_t> SymbolWord(std::string_view w) {
  struct Sym {
    std::string_view word;
    char16_t ch;
  };
  static constexpr Sym kSymbols[] = {
      {"tab", u'\t'},       {"lquote", 0x2018},  {"rquote", 0x2019},  {"ldblquote", 0x201C},
      {"rdblquote", 0x201D}, {"bullet", 0x2022}, {"endash", 0x2013},  {"emdash", 0x2014},
      {"enspace", 0x2002},  {"emspace", 0x2003}, {"qmspace", 0x2005}, {"line", 0x2028}};
  for (const Sym& s : kSymbols)
    if (s.word == w) return s.ch;
  return std::nullopt;
}

class Reader {
 public:
  Reader(std::string_view src, QTextDocument& doc) : src_(src), doc_(doc), cursor_(&doc) {}

  void Run() {
    doc_.clear();
    cursor_ = QTextCursor(&doc_);
    cursor_.beginEditBlock();
    stack_.push_back(GroupState{});  // outside the outermost group
    while (pos_ < src_.size() && !done_) Step();
    FlushBytes();
    FlushRun();
    // The last \par is the document's own final paragraph mark.
    if (pendingBreaks_ > 0) --pendingBreaks_;
    MaterialiseBreaks();
    cursor_.endEditBlock();
  }

 private:
  GroupState& St() { return stack_.back(); }

  void Step() {
    char c = src_[pos_++];
    switch (c) {
      case '{':
        FlushBytes();
        ucSkip_ = 0;
        if (static_cast<int>(stack_.size()) >= kMaxDepth) {
          ++overflow_;
        } else {
          GroupState inherited = St();
          stack_.push_back(inherited);
        }
        groupStart_ = true;
        return;
      case '}':
        FlushBytes();
        ucSkip_ = 0;
        groupStart_ = false;
        if (overflow_ > 0) {
          --overflow_;
        } else if (stack_.size() > 2) {
          if (St().dest == Dest::FontTable) FinishFontName();
          stack_.pop_back();
          fmtDirty_ = true;
        } else {
          done_ = true;  // the outermost group closed: the document ends here
        }
        return;
      case '\\':
        ControlWord();
        return;
      case '\r':
      case '\n':
        return;
      default:
        groupStart_ = false;
        if (stack_.size() < 2) return;  // bytes before the outermost group
        if (ucSkip_ > 0) {
          --ucSkip_;
          return;
        }
        if (c == '\t') {
          Symbol(u'\t');
          return;
        }
        if (static_cast<unsigned char>(c) < 0x20) return;
        Byte(c);
        return;
    }
  }

  void ControlWord() {
    if (pos_ >= src_.size()) return;
    char c = src_[pos_];
    bool atGroupStart = groupStart_;
    groupStart_ = false;
    if (!IsAlpha(c)) {
      ++pos_;
      ControlSymbol(c, atGroupStart);
      return;
    }
    std::size_t start = pos_;
    while (pos_ < src_.size() && IsAlpha(src_[pos_]) && pos_ - start < 32) ++pos_;
    std::string_view word = src_.substr(start, pos_ - start);
    while (pos_ < src_.size() && IsAlpha(src_[pos_])) ++pos_;  // over-long word: ignored rest
    bool hasParam = false;
    long long param = 0;
    bool negative = false;
    if (pos_ < src_.size() && src_[pos_] == '-' && pos_ + 1 < src_.size() &&
        IsDigit(src_[pos_ + 1])) {
      negative = true;
      ++pos_;
    }
    int digits = 0;
    while (pos_ < src_.size() && IsDigit(src_[pos_])) {
      if (digits < 10) param = param * 10 + (src_[pos_] - '0');
      ++digits;
      ++pos_;
      hasParam = true;
    }
    if (negative) param = -param;
    param = std::clamp<long long>(param, INT_MIN, INT_MAX);
    if (pos_ < src_.size() && src_[pos_] == ' ') ++pos_;

    int n = static_cast<int>(param);
    if (word == "bin") {
      // Binary data: step over it whatever the destination.
      std::size_t len = hasParam && n > 0 ? static_cast<std::size_t>(n) : 0;
      pos_ += std::min(len, src_.size() - pos_);
      return;
    }
    if (stack_.size() < 2) return;
    if (ucSkip_ > 0 && word != "u") {
      --ucSkip_;  // a control word in a \u fallback counts as one character
      return;
    }
    Word(word, hasParam, n, atGroupStart);
  }

  void ControlSymbol(char c, bool atGroupStart) {
    if (stack_.size() < 2) return;
    switch (c) {
      case '\'': {
        int value = 0, digits = 0;
        while (digits < 2 && pos_ < src_.size() && HexValue(src_[pos_]) >= 0) {
          value = value * 16 + HexValue(src_[pos_]);
          ++pos_;
          ++digits;
        }
        if (digits == 0) return;
        if (ucSkip_ > 0) {
          --ucSkip_;
          return;
        }
        Byte(static_cast<char>(value));
        return;
      }
      case '*':
        // An ignorable destination: none of them carries body text.
        if (atGroupStart) St().dest = Dest::Skip;
        return;
      case '\\':
      case '{':
      case '}':
        if (ucSkip_ > 0) {
          --ucSkip_;
          return;
        }
        Byte(c);
        return;
      case '~':
        Symbol(0x00A0);
        return;
      case '_':
        Symbol(u'-');
        return;
      case '\r':
      case '\n':
        Paragraph();
        return;
      default:
        return;  // \- optional hyphen, \: index entry, \| formula ...
    }
  }

  void Word(std::string_view w, bool hasParam, int n, bool atGroupStart) {
    GroupState& s = St();
    if (s.dest == Dest::Skip) return;
    if (atGroupStart || s.dest != Dest::Text) {
      if (w == "fonttbl") {
        FlushBytes();
        s.dest = Dest::FontTable;
        return;
      }
      if (w == "colortbl") {
        FlushBytes();
        s.dest = Dest::ColourTable;
        colourSet_ = false;
        return;
      }
    }
    if (atGroupStart && IsSkippedDestination(w)) {
      FlushBytes();
      s.dest = Dest::Skip;
      return;
    }
    if (w == "ansicpg") {
      if (hasParam && n > 0) ansiCodePage_ = n;
      return;
    }
    if (w == "ansi") {
      ansiCodePage_ = 1252;
      return;
    }
    if (w == "deff") {
      if (hasParam) defaultFont_ = n;
      return;
    }
    if (w == "uc") {
      if (hasParam && n >= 0) s.uc = std::min(n, 16);
      return;
    }
    if (w == "u") {
      if (!hasParam) return;
      int unit = n < 0 ? n + 65536 : n;
      if (unit > 0 && unit < 65536) Unicode(static_cast<char16_t>(unit));
      ucSkip_ = s.uc;
      return;
    }
    switch (s.dest) {
      case Dest::FontTable:
        FontTableWord(w, hasParam, n);
        return;
      case Dest::ColourTable:
        if (w == "red" || w == "green" || w == "blue") {
          int v = std::clamp(hasParam ? n : 0, 0, 255);
          (w == "red" ? red_ : w == "green" ? green_ : blue_) = v;
          colourSet_ = true;
        }
        return;
      default:
        break;
    }
    TextWord(w, hasParam, n);
  }

  void FontTableWord(std::string_view w, bool hasParam, int n) {
    if (w == "f") {
      FinishFontName();
      fontNum_ = hasParam ? n : 0;
      fontName_.clear();
      fonts_.push_back({fontNum_, FontEntry{}});
      return;
    }
    if (fonts_.empty()) return;
    if (w == "fcharset" && hasParam) {
      FlushBytes();
      fonts_.back().second.charset = n;
    } else if (w == "cpg" && hasParam) {
      FlushBytes();
      fonts_.back().second.codePage = n;
    }
  }

  void TextWord(std::string_view w, bool hasParam, int n) {
    GroupState& s = St();
    bool on = !hasParam || n != 0;
    if (w == "par" || w == "sect" || w == "page" || w == "row") {
      Paragraph();
    } else if (auto sym = SymbolWord(w)) {
      Symbol(*sym);
    } else if (w == "cell") {
      Symbol(u'\t');
    } else if (w == "plain") {
      FlushBytes();
      int uc = s.uc;
      Dest dest = s.dest;
      s = GroupState{};
      s.uc = uc;
      s.dest = dest;
      fmtDirty_ = true;
    } else if (w == "f") {
      FlushBytes();
      s.font = hasParam ? n : 0;
      fmtDirty_ = true;
    } else if (w == "fs") {
      s.halfPoints = hasParam && n > 0 ? std::min(n, kMaxHalfPoints) : 0;
      fmtDirty_ = true;
    } else if (w == "b") {
      s.bold = on;
      fmtDirty_ = true;
    } else if (w == "i") {
      s.italic = on;
      fmtDirty_ = true;
    } else if (w == "ul" || w == "uld" || w == "uldash" || w == "uldashd" ||
               w == "uldashdd" || w == "uldb" || w == "ulth" || w == "ulw" || w == "ulwave") {
      s.underline = on;
      fmtDirty_ = true;
    } else if (w == "ulnone") {
      s.underline = false;
      fmtDirty_ = true;
    } else if (w == "strike") {
      s.strike = on;
      fmtDirty_ = true;
    } else if (w == "cf") {
      s.colour = hasParam ? n : 0;
      fmtDirty_ = true;
    }
    // \pard and every other paragraph or document word: nothing the body keeps.
  }

  // ---- text

  int CurrentCodePage() {
    const GroupState& s = St();
    if (s.dest == Dest::FontTable) {
      if (fonts_.empty()) return ansiCodePage_;
      const FontEntry& f = fonts_.back().second;
      return f.codePage > 0 ? f.codePage : CodePageOfCharset(f.charset, ansiCodePage_);
    }
    const FontEntry* f = FindFont(s.font >= 0 ? s.font : defaultFont_);
    if (!f) return ansiCodePage_;
    return f->codePage > 0 ? f->codePage : CodePageOfCharset(f->charset, ansiCodePage_);
  }

  void Byte(char c) {
    GroupState& s = St();
    if (s.dest == Dest::Skip) return;
    if (s.dest == Dest::ColourTable) {
      if (c == ';') {
        if (colourSet_)
          colours_.push_back(QColor(red_, green_, blue_));
        else
          colours_.push_back(std::nullopt);
        red_ = green_ = blue_ = 0;
        colourSet_ = false;
      }
      return;
    }
    if (s.dest == Dest::FontTable) {
      if (fonts_.empty()) return;
      if (c == ';') {
        FinishFontName();
        return;
      }
      int cp = CurrentCodePage();
      if (!bytes_.empty() && bytesCodePage_ != cp) FlushBytes();
      bytesCodePage_ = cp;
      bytes_ += c;
      return;
    }
    int cp = CurrentCodePage();
    if (!bytes_.empty() && (bytesCodePage_ != cp || fmtDirty_)) FlushBytes();
    if (bytes_.empty()) {
      BeginText();
      bytesCodePage_ = cp;
    }
    bytes_ += c;
  }

  void Unicode(char16_t u) {
    GroupState& s = St();
    if (s.dest == Dest::Skip || s.dest == Dest::ColourTable) return;
    FlushBytes();
    if (s.dest == Dest::FontTable) {
      if (!fonts_.empty()) fontName_.append(QChar(u));
      return;
    }
    BeginText();
    run_.append(QChar(u));
  }

  void Symbol(char16_t u) {
    if (St().dest != Dest::Text) return;
    Unicode(u);
  }

  void Paragraph() {
    if (St().dest != Dest::Text) return;
    FlushBytes();
    FlushRun();
    ++pendingBreaks_;
  }

  // Text is about to be added: pending paragraph marks and a format change come first.
  void BeginText() {
    if (pendingBreaks_ > 0) {
      FlushRun();
      MaterialiseBreaks();
    }
    if (fmtDirty_) {
      QTextCharFormat f = FormatOf(St());
      if (f != runFmt_) {
        FlushRun();
        runFmt_ = f;
      }
      fmtDirty_ = false;
    }
  }

  void MaterialiseBreaks() {
    for (; pendingBreaks_ > 0; --pendingBreaks_) cursor_.insertBlock(QTextBlockFormat(), runFmt_);
  }

  void FlushBytes() {
    if (bytes_.empty()) return;
    QString text = DecodeBytes(bytes_, bytesCodePage_);
    bytes_.clear();
    if (St().dest == Dest::FontTable)
      fontName_ += text;
    else
      run_ += text;
  }

  void FlushRun() {
    if (run_.isEmpty()) return;
    cursor_.insertText(run_, runFmt_);
    run_.clear();
  }

  void FinishFontName() {
    FlushBytes();
    if (fonts_.empty() || fontName_.isEmpty()) return;
    QString name = fontName_.trimmed();
    fontName_.clear();
    if (fonts_.back().second.name.empty()) fonts_.back().second.name = ToCp949(name);
  }

  const FontEntry* FindFont(int num) const {
    // The first entry of a number counts, as a table with duplicates is read elsewhere.
    for (const auto& [n, f] : fonts_)
      if (n == num) return &f;
    return nullptr;
  }

  QTextCharFormat FormatOf(const GroupState& s) const {
    QTextCharFormat f;
    if (const FontEntry* font = FindFont(s.font >= 0 ? s.font : defaultFont_))
      if (!font->name.empty()) SetFaceName(f, font->name);
    if (s.halfPoints > 0) f.setFontPointSize(s.halfPoints / 2.0);
    f.setFontWeight(s.bold ? QFont::Bold : QFont::Normal);
    f.setFontItalic(s.italic);
    f.setFontUnderline(s.underline);
    f.setFontStrikeOut(s.strike);
    // Entry 0 is usually empty (the automatic colour), but a table may give it a colour.
    if (s.colour >= 0 && s.colour < static_cast<int>(colours_.size()) && colours_[s.colour])
      f.setForeground(*colours_[s.colour]);
    return f;
  }

  static bool IsAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
  static int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  }

  std::string_view src_;
  std::size_t pos_ = 0;
  QTextDocument& doc_;
  QTextCursor cursor_;
  std::vector<GroupState> stack_;
  int overflow_ = 0;
  bool done_ = false;
  bool groupStart_ = false;
  int ucSkip_ = 0;

  int ansiCodePage_ = 1252;
  int defaultFont_ = 0;
  std::vector<std::pair<int, FontEntry>> fonts_;
  int fontNum_ = 0;
  QString fontName_;
  std::vector<std::optional<QColor>> colours_;
  int red_ = 0, green_ = 0, blue_ = 0;
  bool colourSet_ = false;

  std::string bytes_;
  int bytesCodePage_ = 1252;
  QString run_;
  QTextCharFormat runFmt_;
  bool fmtDirty_ = true;
  int pendingBreaks_ = 0;
};

}  // namespace

void ReadRtf(std::string_view source, QTextDocument& doc) { Reader(source, doc).Run(); }

}  // namespace rtf
