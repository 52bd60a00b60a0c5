// The Qt side of text: code page 949 bytes to QString and back, through the one conversion
// routine. Only platform/ui and platform/gfx include this.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace orv {

QString ToQ(std::string_view cp949Text);
// Characters without a code page 949 form become '?', so text taken from a widget always
// converts; controls that accept typing refuse such characters before they get that far.
std::string FromQ(const QString& text);
// False when some character has no code page 949 form.
bool Convertible(const QString& text);
// Number of code page 949 bytes of text (characters without a form count one byte).
int ByteLength(const QString& text);

// File names chosen in or shown by Qt (file dialogs): program text to QString and back. A name
// is never changed into another: NameFromQ answers false for a name with a character that has
// no code page 949 form, and `message` then names the file (OsText.h).
QString NameToQ(std::string_view programName);
bool NameFromQ(const QString& name, std::string& programName, std::string& message);

// Line breaks: the controls hand out and take text with CR LF between lines, as the class
// library's edits do; the Qt editors hold '\n'. LfBreaks makes CR LF and a lone CR '\n'.
QString LfBreaks(QString text);
QString FromCrLf(std::string_view cp949Text);
std::string ToCrLf(const QString& text);

}  // namespace orv
