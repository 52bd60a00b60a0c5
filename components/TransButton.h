// The transparent button: a windowless push button that paints only a frame, a glyph and a
// caption over whatever lies behind it.
//
// Seven frame styles, nine caption placements (the glyph sits on the opposite side), a glyph
// strip of up to four cells (up, disabled, pressed, down) with a grey image for the explorer
// style's resting look and an embossed image for a disabled button with one cell, a latched
// Down state, a menu dropped below the button on a press, hover tracking, and Movable, which
// lets the mouse drag the button around its parent.
//
// The button owns its glyph, its images and nothing else; the drop-down menu is the form's.
// GUI thread only.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/gfx/Bitmap.h"
#include "platform/gfx/Canvas.h"
#include "platform/ui/Controls.h"
#include "platform/ui/Menus.h"

class QShortcut;

enum TFrameStyle { fsRegular = 0, fsIndent = 1, fsExplorer = 2, fsNone = 3, fsLight = 4,
                   fsDark = 5, fsMono = 6 };
enum TTextAlign { ttaTopLeft = 0, ttaTop = 1, ttaTopRight = 2, ttaRight = 3,
                  ttaBottomRight = 4, ttaBottom = 5, ttaBottomLeft = 6, ttaLeft = 7,
                  ttaCenter = 8 };
using TNumGlyphs = int;  // 1..4

class TTransparentButton : public TGraphicControl {
 public:
  explicit TTransparentButton(TComponent* AOwner);
  ~TTransparentButton() override;

  bool AutoGray() const { return FAutoGray; }
  void SetAutoGray(bool v);
  unsigned BorderWidth() const { return FBorderWidth; }
  void SetBorderWidth(unsigned v);
  std::string Text() const override { return FCaption; }
  void SetText(const std::string& v) override;
  bool Down() const { return FDown; }
  void SetDown(bool v);
  TFrameStyle FrameStyle() const { return FFrameStyle; }
  void SetFrameStyle(TFrameStyle v);
  // Setting a glyph copies it; a strip of up to four squares sets NumGlyphs.
  TBitmap& Glyph() { return FGlyph; }
  void SetGlyph(TBitmap* v);
  TNumGlyphs NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(TNumGlyphs v);
  int Spacing() const { return FSpacing; }
  void SetSpacing(int v);
  TTextAlign TextAlign() const { return FTextAlign; }
  void SetTextAlign(TTextAlign v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  bool ShowPressed() const { return FShowPressed; }
  void SetShowPressed(bool v);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  bool Movable() const { return FMovable; }
  void SetMovable(bool v) { FMovable = v; }
  TPopupMenu* PopUpMenu() const { return FPopUpMenu; }
  void SetPopUpMenu(TPopupMenu* v);
  bool ParentShowHint = true;

  TNotifyEvent OnMouseEnter;
  TNotifyEvent OnMouseExit;

  void SetEnabled(bool v) override;
  void Click() override;

  // The accelerator-key message: true (handled) when Key is the caption's accelerator and
  // the button is enabled; the button is then clicked.
  bool DialogChar(char Key);

  // What the paint step shows, for the checks of the drawing: the image drawn (cells 0 to
  // NumGlyphs - 1, then the grey image, then the disabled image; -1 without glyph), and the
  // states.
  int ImageIndex() const;
  int ImageCount() const { return static_cast<int>(FImages.size()); }
  const TBitmap& Image(int Index) const { return *FImages.at(static_cast<size_t>(Index)); }
  const TBitmap& GrayImage() const { return FGray; }
  const TBitmap& DisabledImage() const { return FDisabled; }
  bool DrawnPressed() const { return FDrawPressed; }
  bool MouseInside() const { return FMouseInside; }
  bool Tracking() const { return FTracking; }
  // Top-left of the glyph and of the caption's rectangle in the last paint.
  TPoint GlyphPos() const { return FGlyphPos; }
  TRect TextRect() const { return FTextRect; }

  // The grey level of the glyph images: g = (11 R + 59 G + 30 B) div 100.
  static void GrayBitmap(TBitmap& B);
  // The embossed look of a disabled glyph.
  static void DisabledBitmap(TBitmap& B);

 protected:
  void Paint() override;
  void Notification(TComponent* AComponent, TOperation Operation) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseMove(TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  bool WidgetEvent(QObject* watched, QEvent* e) override;
  void MouseEnter();
  void MouseLeave();

 private:
  void GlyphChanged();
  void BuildImages();
  void UpdateShortcut();
  void DrawContent(TCanvas& C);
  std::string FCaption;
  bool FAutoGray = true;
  unsigned FBorderWidth = 1;
  bool FDown = false;
  TFrameStyle FFrameStyle = fsExplorer;
  TBitmap FGlyph;
  TNumGlyphs FNumGlyphs = 1;
  int FSpacing = 2;
  TTextAlign FTextAlign = ttaCenter;
  bool FTransparent = true;
  bool FShowPressed = true;
  bool FWordWrap = false;
  bool FMovable = false;
  TPopupMenu* FPopUpMenu = nullptr;

  std::vector<std::unique_ptr<TBitmap>> FImages;
  TBitmap FGray;
  TBitmap FDisabled;
  bool FHeld = false;
  bool FTracking = false;
  bool FDrawPressed = false;
  bool FMouseInside = false;
  int FPressX = 0;
  int FPressY = 0;
  TPoint FGlyphPos{0, 0};
  TRect FTextRect{0, 0, 0, 0};
  QShortcut* FShortcut = nullptr;
};
