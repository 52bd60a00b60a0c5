// QTextDocument -> RTF source in code page 949. Two passes: the first collects the faces and
// colours for the tables, the second writes the runs with only the words that change.
#include "platform/ui/RtfWriter.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include <QColor>
#include <QFont>
#include <QString>
#include <QTextBlock>
#include <QTextCharFormat>
#include <QTextDocument>
#include <QTextFragment>

#include "platform/core/TextCodec.h"
#include "platform/ui/RtfReader.h"

namespace rtf {
namespace {

struct RunAttr {
  int font = 0;
  int halfPoints = 20;
  bool bold = false;
  bool italic = false;
  bool underline = false;
  bool strike = false;
  int colour = 0;  // colour table index, 0 = automatic
  bool operator==(const RunAttr&) const = default;
};

constexpr char kHex[] = "0123456789abcdef";

void AppendEscapedByte(std::string& out, unsigned char b) {
  out += "\\'";
  out += kHex[b >> 4];
  out += kHex[b & 0xF];
}

// Code page 949 bytes as RTF text; the RTF specials are escaped by the caller.
void AppendBytes(std::string& out, const std::string& bytes) {
  for (unsigned char b : bytes) {
    if (b >= 0x80)
      AppendEscapedByte(out, b);
    else if (b >= 0x20)
      out += static_cast<char>(b);
  }
}

void AppendUnicodeWord(std::string& out, char32_t cp) {
  auto unit = [&](char16_t u) {
    out += "\\u";
    out += std::to_string(static_cast<int16_t>(u));
    out += '?';
  };
  if (cp >= 0x10000) {
    cp -= 0x10000;
    unit(static_cast<char16_t>(0xD800 + (cp >> 10)));
    unit(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
  } else {
    unit(static_cast<char16_t>(cp));
  }
}

// Ordinary characters: as code page 949 bytes where the code page has them, else \uN.
void AppendPlain(std::string& out, const QString& seg) {
  if (seg.isEmpty()) return;
  std::string bytes;
  if (cp949::TryFromUtf8(seg.toStdString(), bytes)) {
    AppendBytes(out, bytes);
    return;
  }
  for (char32_t cp : seg.toUcs4()) {
    std::string one;
    if (cp949::TryFromUtf8(QString::fromUcs4(&cp, 1).toStdString(), one))
      AppendBytes(out, one);
    else
      AppendUnicodeWord(out, cp);
  }
}

void AppendText(std::string& out, const QString& text) {
  QString seg;
  auto flush = [&] {
    AppendPlain(out, seg);
    seg.clear();
  };
  for (QChar c : text) {
    char16_t u = c.unicode();
    switch (u) {
      case u'\\':
      case u'{':
      case u'}':
        flush();
        out += '\\';
        out += static_cast<char>(u);
        break;
      case u'\t':
        flush();
        out += "\\tab ";
        break;
      case 0x2028:
        flush();
        out += "\\line ";
        break;
      case 0x00A0:
        flush();
        out += "\\~";
        break;
      case 0xFFFC:  // an embedded object: the body keeps none
        break;
      default:
        // Control characters and the document's own markers (noncharacters) are no text.
        if (u >= 0x20 && !(u >= 0xFDD0 && u <= 0xFDEF)) seg += c;
        break;
    }
  }
  flush();
}

void AppendFaceName(std::string& out, const std::string& name) {
  for (unsigned char b : name) {
    if (b == ';' || b == '{' || b == '}' || b == '\\' || b < 0x20) continue;
    if (b >= 0x80)
      AppendEscapedByte(out, b);
    else
      out += static_cast<char>(b);
  }
}

class Writer {
 public:
  Writer(const QTextDocument& doc, const WriteDefaults& d) : doc_(doc) {
    QFont df = doc.defaultFont();
    defaultFace_ = d.FaceName;
    if (defaultFace_.empty()) {
      QTextCharFormat f;
      f.setFontFamilies(QStringList{df.family()});
      defaultFace_ = FaceName(f);
    }
    defaultPoints_ = d.PointSize > 0 ? d.PointSize : df.pointSizeF();
    if (defaultPoints_ <= 0) defaultPoints_ = 10;
    defaultBold_ = df.bold();
    defaultItalic_ = df.italic();
    defaultUnderline_ = df.underline();
    defaultStrike_ = df.strikeOut();
    faces_.push_back(defaultFace_);
  }

  std::string Run() {
    // Pass 1: attributes of every run, which fill the tables.
    std::vector<std::vector<std::pair<RunAttr, QString>>> blocks;
    for (QTextBlock b = doc_.begin(); b.isValid(); b = b.next()) {
      auto& runs = blocks.emplace_back();
      for (auto it = b.begin(); !it.atEnd(); ++it) {
        QTextFragment frag = it.fragment();
        if (frag.isValid()) runs.emplace_back(AttrOf(frag.charFormat()), frag.text());
      }
    }

    std::string out = "{\\rtf1\\ansi\\ansicpg949\\deff0\\deflang1042{\\fonttbl";
    for (std::size_t i = 0; i < faces_.size(); ++i) {
      out += "{\\f" + std::to_string(i) + "\\fnil\\fcharset129 ";
      AppendFaceName(out, faces_[i]);
      out += ";}";
    }
    out += "}\r\n";
    if (!colours_.empty()) {
      out += "{\\colortbl ;";
      for (QRgb c : colours_)
        out += "\\red" + std::to_string(qRed(c)) + "\\green" + std::to_string(qGreen(c)) +
               "\\blue" + std::to_string(qBlue(c)) + ";";
      out += "}\r\n";
    }
    out += "\\uc1\\pard\\plain";

    // Pass 2: the text, each run after the words that change its format.
    std::optional<RunAttr> cur;
    bool wordPending = true;  // the last output was a control word without its delimiter
    auto word = [&](const char* w) {
      out += w;
      wordPending = true;
    };
    auto wordN = [&](const char* w, int n) {
      out += w;
      out += std::to_string(n);
      wordPending = true;
    };
    auto set = [&](const RunAttr& a) {
      if (!cur || cur->font != a.font) wordN("\\f", a.font);
      if (!cur || cur->halfPoints != a.halfPoints) wordN("\\fs", a.halfPoints);
      if (!cur || cur->bold != a.bold) word(a.bold ? "\\b" : "\\b0");
      if (!cur || cur->italic != a.italic) word(a.italic ? "\\i" : "\\i0");
      if (!cur || cur->underline != a.underline) word(a.underline ? "\\ul" : "\\ulnone");
      if (!cur || cur->strike != a.strike) word(a.strike ? "\\strike" : "\\strike0");
      if (!cur || cur->colour != a.colour) wordN("\\cf", a.colour);
      cur = a;
    };
    for (const auto& runs : blocks) {
      if (!cur) set(runs.empty() ? RunAttr{} : runs.front().first);
      for (const auto& [attr, text] : runs) {
        if (attr != *cur) set(attr);
        if (text.isEmpty()) continue;
        if (wordPending) out += ' ';
        wordPending = false;
        AppendText(out, text);
      }
      out += "\\par\r\n";
      wordPending = false;
    }
    out += "}\r\n";
    return out;
  }

 private:
  RunAttr AttrOf(const QTextCharFormat& f) {
    RunAttr a;
    std::string face = FaceName(f);
    if (face.empty()) face = defaultFace_;
    auto fit = std::find(faces_.begin(), faces_.end(), face);
    if (fit == faces_.end()) fit = faces_.insert(faces_.end(), face);
    a.font = static_cast<int>(fit - faces_.begin());

    double pt = f.hasProperty(QTextFormat::FontPointSize) ? f.fontPointSize() : 0;
    if (pt <= 0) pt = defaultPoints_;
    a.halfPoints = std::clamp(static_cast<int>(std::lround(pt * 2)), 1, 3276);

    a.bold = f.hasProperty(QTextFormat::FontWeight) ? f.fontWeight() >= QFont::DemiBold
                                                    : defaultBold_;
    a.italic = f.hasProperty(QTextFormat::FontItalic) ? f.fontItalic() : defaultItalic_;
    a.underline = f.hasProperty(QTextFormat::TextUnderlineStyle) ||
                          f.hasProperty(QTextFormat::FontUnderline)
                      ? f.fontUnderline()
                      : defaultUnderline_;
    a.strike = f.hasProperty(QTextFormat::FontStrikeOut) ? f.fontStrikeOut() : defaultStrike_;

    if (f.hasProperty(QTextFormat::ForegroundBrush) && f.foreground().style() != Qt::NoBrush) {
      QRgb c = f.foreground().color().rgb() | 0xFF000000u;
      auto cit = std::find(colours_.begin(), colours_.end(), c);
      if (cit == colours_.end()) cit = colours_.insert(colours_.end(), c);
      a.colour = static_cast<int>(cit - colours_.begin()) + 1;
    }
    return a;
  }

  const QTextDocument& doc_;
  std::string defaultFace_;
  double defaultPoints_ = 10;
  bool defaultBold_ = false;
  bool defaultItalic_ = false;
  bool defaultUnderline_ = false;
  bool defaultStrike_ = false;
  std::vector<std::string> faces_;
  std::vector<QRgb> colours_;
};

}  // namespace

std::string WriteRtf(const QTextDocument& doc, const WriteDefaults& defaults) {
  return Writer(doc, defaults).Run();
}

}  // namespace rtf
