// Colours and fonts of the class library.
//
// TColor is 0x00BBGGRR for a plain colour; 0x80000000 + n names system colour n, which
// ColorToRGB resolves to the classic fixed values (so drawings and tests do not depend on the
// desktop theme); clNone and clDefault are the two special values of the picture components.
//
// TFont holds a face name as the program knows it (code page 949 text, e.g. the Korean
// names of the Windows faces), a size in points, a style set and a colour. The Qt side maps
// the name to an installed family (the Nanum faces for the Korean names) through
// MapFontFamily; nothing else in the system sees a Qt font. Not thread-safe.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "platform/core/Classes.h"

using TColor = uint32_t;

// The 16 standard colours.
constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clLtGray = clSilver;
constexpr TColor clDkGray = clGray;

// System colours.
constexpr TColor clSystemColor = 0x80000000;
constexpr TColor clScrollBar = clSystemColor + 0;
constexpr TColor clBackground = clSystemColor + 1;
constexpr TColor clActiveCaption = clSystemColor + 2;
constexpr TColor clInactiveCaption = clSystemColor + 3;
constexpr TColor clMenu = clSystemColor + 4;
constexpr TColor clWindow = clSystemColor + 5;
constexpr TColor clWindowFrame = clSystemColor + 6;
constexpr TColor clMenuText = clSystemColor + 7;
constexpr TColor clWindowText = clSystemColor + 8;
constexpr TColor clCaptionText = clSystemColor + 9;
constexpr TColor clActiveBorder = clSystemColor + 10;
constexpr TColor clInactiveBorder = clSystemColor + 11;
constexpr TColor clAppWorkSpace = clSystemColor + 12;
constexpr TColor clHighlight = clSystemColor + 13;
constexpr TColor clHighlightText = clSystemColor + 14;
constexpr TColor clBtnFace = clSystemColor + 15;
constexpr TColor clBtnShadow = clSystemColor + 16;
constexpr TColor clGrayText = clSystemColor + 17;
constexpr TColor clBtnText = clSystemColor + 18;
constexpr TColor clInactiveCaptionText = clSystemColor + 19;
constexpr TColor clBtnHighlight = clSystemColor + 20;
constexpr TColor cl3DDkShadow = clSystemColor + 21;
constexpr TColor cl3DLight = clSystemColor + 22;
constexpr TColor clInfoText = clSystemColor + 23;
constexpr TColor clInfoBk = clSystemColor + 24;

constexpr TColor clNone = 0x1FFFFFFF;
constexpr TColor clDefault = 0x20000000;

constexpr TColor RGB(int r, int g, int b) {
  return static_cast<TColor>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
constexpr int GetRValue(TColor c) { return static_cast<int>(c & 0xFF); }
constexpr int GetGValue(TColor c) { return static_cast<int>((c >> 8) & 0xFF); }
constexpr int GetBValue(TColor c) { return static_cast<int>((c >> 16) & 0xFF); }

// A system colour becomes its fixed classic value; any other colour keeps its low 24 bits.
// clNone and clDefault resolve to black and the window colour.
TColor ColorToRGB(TColor c);

// ---- Fonts ------------------------------------------------------------------------------

enum TFontStyle { fsBold, fsItalic, fsUnderline, fsStrikeOut };

// A set of font styles.
class TFontStyles {
 public:
  constexpr TFontStyles() = default;
  constexpr TFontStyles(std::initializer_list<TFontStyle> l) {
    for (TFontStyle s : l) Bits |= Bit(s);
  }
  constexpr bool Contains(TFontStyle s) const { return (Bits & Bit(s)) != 0; }
  constexpr bool Empty() const { return Bits == 0; }
  constexpr void Include(TFontStyle s) { Bits |= Bit(s); }
  constexpr void Exclude(TFontStyle s) { Bits &= ~Bit(s); }
  constexpr bool operator==(const TFontStyles& o) const { return Bits == o.Bits; }
  constexpr TFontStyles operator+(TFontStyles o) const { return FromBits(Bits | o.Bits); }
  constexpr TFontStyles operator-(TFontStyles o) const { return FromBits(Bits & ~o.Bits); }
  constexpr TFontStyles operator*(TFontStyles o) const { return FromBits(Bits & o.Bits); }

  unsigned Bits = 0;

 private:
  static constexpr unsigned Bit(TFontStyle s) { return 1u << static_cast<unsigned>(s); }
  static constexpr TFontStyles FromBits(unsigned b) {
    TFontStyles r;
    r.Bits = b;
    return r;
  }
};

enum TFontPitch { fpDefault, fpVariable, fpFixed };

// The resolution the layer assumes for point/pixel conversions.
constexpr int ScreenPixelsPerInch = 96;

class TFont : public TPersistent {
 public:
  TFont() = default;
  ~TFont() override;

  // Face name in code page 949, as the program stores it ("굴림체", "Times New Roman").
  const std::string& Name() const { return FName; }
  void SetName(const std::string& v);
  // Size in points; Height is the negative pixel height at ScreenPixelsPerInch.
  int Size() const { return FSize; }
  void SetSize(int v);
  int Height() const;
  void SetHeight(int v);
  TFontStyles Style() const { return FStyle; }
  void SetStyle(TFontStyles v);
  TColor Color() const { return FColor; }
  void SetColor(TColor v);
  TFontPitch Pitch() const { return FPitch; }
  void SetPitch(TFontPitch v);

  // Copies name, size, style, colour and pitch from another TFont.
  void Assign(TPersistent* Source) override;
  bool SameAs(const TFont& o) const;

  TNotifyEvent OnChange;

 private:
  void Changed();

  std::string FName = DefaultName();
  int FSize = 9;
  TFontStyles FStyle;
  TColor FColor = clWindowText;
  TFontPitch FPitch = fpDefault;

 public:
  // "굴림" in code page 949: the face of controls that set none.
  static std::string DefaultName();
};
