// Colour resolution and the font object; no Qt here, so the report and picture code can use
// fonts and colours as values.
#include "platform/gfx/Graphics.h"

#include "platform/core/Classes.h"
#include "platform/core/TextCodec.h"

namespace {

// The classic desktop colours, indexed by system colour number.
constexpr TColor kSystemColors[] = {
    RGB(192, 192, 192),  // scroll bar
    RGB(0, 128, 128),    // background
    RGB(0, 0, 128),      // active caption
    RGB(128, 128, 128),  // inactive caption
    RGB(192, 192, 192),  // menu
    RGB(255, 255, 255),  // window
    RGB(0, 0, 0),        // window frame
    RGB(0, 0, 0),        // menu text
    RGB(0, 0, 0),        // window text
    RGB(255, 255, 255),  // caption text
    RGB(192, 192, 192),  // active border
    RGB(192, 192, 192),  // inactive border
    RGB(128, 128, 128),  // application work space
    RGB(0, 0, 128),      // highlight
    RGB(255, 255, 255),  // highlight text
    RGB(192, 192, 192),  // button face
    RGB(128, 128, 128),  // button shadow
    RGB(128, 128, 128),  // grey text
    RGB(0, 0, 0),        // button text
    RGB(192, 192, 192),  // inactive caption text
    RGB(255, 255, 255),  // button highlight
    RGB(0, 0, 0),        // 3-D dark shadow
    RGB(223, 223, 223),  // 3-D light
    RGB(0, 0, 0),        // tool-tip text
    RGB(255, 255, 225),  // tool-tip background
};

}  // namespace

TColor ColorToRGB(TColor c) {
  if (c == clNone) return clBlack;
  if (c == clDefault) return kSystemColors[5];
  if (c & clSystemColor) {
    unsigned i = c & 0xFF;
    if (i < sizeof kSystemColors / sizeof kSystemColors[0]) return kSystemColors[i];
    return clBlack;
  }
  return c & 0x00FFFFFF;
}

TFont::~TFont() = default;

std::string TFont::DefaultName() {
  static const std::string name = cp949::FromUtf8("굴림");
  return name;
}

void TFont::Changed() {
  if (OnChange) OnChange(this);
}

void TFont::SetName(const std::string& v) {
  if (v == FName || v.empty()) return;
  FName = v;
  Changed();
}

void TFont::SetSize(int v) {
  if (StoreChanged(FSize, v)) Changed();
}

int TFont::Height() const { return -(FSize * ScreenPixelsPerInch + 36) / 72; }

void TFont::SetHeight(int v) {
  int px = v < 0 ? -v : v;
  SetSize((px * 72 + ScreenPixelsPerInch / 2) / ScreenPixelsPerInch);
}

void TFont::SetStyle(TFontStyles v) {
  if (StoreChanged(FStyle, v)) Changed();
}

void TFont::SetColor(TColor v) {
  if (StoreChanged(FColor, v)) Changed();
}

void TFont::SetPitch(TFontPitch v) {
  if (StoreChanged(FPitch, v)) Changed();
}

bool TFont::SameAs(const TFont& o) const {
  return FName == o.FName && FSize == o.FSize && FStyle == o.FStyle && FColor == o.FColor &&
         FPitch == o.FPitch;
}

void TFont::Assign(TPersistent* Source) {
  auto* f = dynamic_cast<TFont*>(Source);
  if (!f) {
    TPersistent::Assign(Source);
    return;
  }
  if (SameAs(*f)) return;
  FName = f->FName;
  FSize = f->FSize;
  FStyle = f->FStyle;
  FColor = f->FColor;
  FPitch = f->FPitch;
  Changed();
}
