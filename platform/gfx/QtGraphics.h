// The Qt side of colours, fonts and points: TColor <-> QColor, TFont <-> QFont, point lists as
// QPolygon, and the mapping of
// the program's face names to the families installed here (the Nanum faces stand in for the
// Korean Windows faces).
#pragma once

#include <QColor>
#include <QFont>
#include <QPolygon>
#include <QString>
#include <string>

#include "platform/gfx/Graphics.h"

struct TPoint;

namespace orv {

QColor ToQColor(TColor c);
TColor FromQColor(const QColor& c);

// The installed family for a face name (code page 949): the Korean and Latin names of the
// Windows faces map to Nanum / URW families; a name that is installed as it is stays; any
// other name falls back to NanumGothic.
QString MapFontFamily(const std::string& faceName);

QFont ToQFont(const TFont& f);
// Size, style and colour from Qt; the name becomes the family as Qt reports it, unless it is
// the family that the font's current name maps to (so "굴림" stays "굴림").
void AssignQFont(TFont& f, const QFont& q, const QColor& color);

// The first Count points as a Qt polygon (none for Count <= 0).
QPolygon ToQPolygon(const TPoint* Points, int Count);

}  // namespace orv
