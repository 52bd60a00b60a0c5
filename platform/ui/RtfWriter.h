// QTextDocument -> rich-text (RTF) source: the writing half of the rich body's stored form.
//
// The output is 7-bit text in code page 949 terms: "\ansi\ansicpg949", every font with
// \fcharset129, each byte of a Hangul syllable as an \'hh escape, and a character that code
// page 949 lacks as \uN followed by "?" (\uc1). Each paragraph ends with \par and a CR LF, so
// the source stored in the memo has CR LF line breaks. Every run carries its face, size, bold,
// italic, underline, strike-out and colour; RtfReader reads the result to the same formats.
#pragma once

#include <string>
#include <string_view>

class QTextDocument;

namespace rtf {

// What a run that names no face or size is written with (the body's own font).
struct WriteDefaults {
  std::string FaceName;     // code page 949; empty: the document's default font family
  double PointSize = 0;     // 0: the document's default font size
};

std::string WriteRtf(const QTextDocument& doc, const WriteDefaults& defaults = {});

}  // namespace rtf
