// Rich-text (RTF) source into a Qt text document: the reading half of the rich body's stored
// form. Rich bodies live in the memo as RTF text in code page 949, so this reads the subset
// that the body editor writes and that older bodies and pasted files bring along:
// - text as plain bytes, \'hh escapes (the two bytes of a Hangul syllable are two escapes),
//   decoded by the code page of the current font's \fcharset (129 = code page 949) or of
//   \ansicpgN; \uN with its \ucN fallback characters skipped;
// - the font table (face names, charsets) and the colour table;
// - \fN \fsN \b \i \ul \ulnone \strike \cfN \plain, \par \line \tab \pard and the common
//   symbol words (\emdash, \bullet, \lquote ...);
// - destination groups that carry no body text ({\* ...}, \pict, \stylesheet, \info, headers,
//   footnotes, field instructions ...) are skipped, \binN data is stepped over.
// Unknown control words are ignored. Bad input never throws and never reads past the end:
// an unbalanced or truncated source ends where it ends.
//
// Each run of text becomes a QTextCharFormat on the document. The face name is kept as the
// program knows it (code page 949) in the format property FaceNameProperty, beside the
// installed family it is displayed with, so that writing the document gives the same name back.
#pragma once

#include <string>
#include <string_view>

#include <QTextFormat>

class QTextCharFormat;
class QTextDocument;

namespace rtf {

// The char-format property that holds the face name in code page 949 bytes (a QByteArray).
constexpr int FaceNameProperty = QTextFormat::UserProperty + 0x4F52;

// True when text starts with "{\rtf" (leading blanks and line breaks allowed): the form a rich
// body is stored in. Anything else is shown as plain text.
bool IsRtf(std::string_view text);

// Replaces the whole contents of doc by what source holds. The source's final \par is the
// document's last paragraph mark and adds no empty line. Never throws on bad input.
void ReadRtf(std::string_view source, QTextDocument& doc);

// Sets the face of fmt: the code page 949 name kept for writing, and the installed family it
// is shown with. An empty name removes both.
void SetFaceName(QTextCharFormat& fmt, const std::string& cp949Name);
// The face name of fmt in code page 949: the kept name, else the family converted; empty when
// fmt names no face.
std::string FaceName(const QTextCharFormat& fmt);

}  // namespace rtf
