// Numbers as the files and the xBase expressions write them: '.' is the decimal point
// whatever the process locale (Qt's application object sets the locale from the environment,
// so a German or French desktop would otherwise write "2,25" and read "1.5" as 1). The engine
// and the table layer both build this file in, so a stored number reads the same through
// either. Nothing here looks at the locale or at the display format (FormatSettings).
// Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace numtext {

// The fixed-point text of v with `decimals` places, right-aligned in `width` ("%*.*f" of the
// C locale). False when v is not finite or the text is wider than width.
bool Fixed(double v, int width, int decimals, std::string& out);
// The fixed-point text of v with `decimals` places and no padding ("%.*f").
std::string Fixed(double v, int decimals);
// The shortest of fixed and exponent form with `precision` significant digits ("%.*g").
std::string General(double v, int precision);
// A number for an expression or a key: a whole number without a point, any other value with
// at most 10 decimals and no trailing zeros ("3", "2.25", "-0.1").
std::string Plain(double v);
// A number as a field holds it: blanks or NULs around it, an optional sign; one "," stands for
// the decimal point when there is no ".", otherwise "," separates thousands, so "  1,234.50"
// is 1234.5 and "2,25" is 2.25. False for text that is not one whole number.
bool ReadStored(std::string_view text, double& v);
// The number at the start of text after blanks ("12abc" is 12); 0 when there is none.
double ReadLeading(std::string_view text);

}  // namespace numtext
