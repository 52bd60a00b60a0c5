// Speed buttons and bitmap buttons: buttons with a glyph strip of NumGlyphs equal cells
// (up, disabled, pressed, latched down). Setting a glyph whose width is a whole multiple of
// its height (at most four squares) sets NumGlyphs to that count, as the class library does;
// the bottom-left pixel's colour is drawn see-through.
#pragma once

#include <string>

#include "platform/gfx/Bitmap.h"
#include "platform/ui/StdCtrls.h"

enum TButtonLayout { blGlyphLeft, blGlyphRight, blGlyphTop, blGlyphBottom };
enum TButtonState { bsUp, bsDisabled, bsDown, bsExclusive };

class TSpeedButton : public TGraphicControl {
 public:
  explicit TSpeedButton(TComponent* AOwner);
  std::string Text() const override { return FCaption; }
  void SetText(const std::string& v) override;

  TBitmap& Glyph() { return FGlyph; }
  int NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int v);
  // Buttons of one parent with the same GroupIndex (> 0) latch down one at a time.
  int GroupIndex() const { return FGroupIndex; }
  void SetGroupIndex(int v) { FGroupIndex = v; }
  bool Down() const { return FDown; }
  void SetDown(bool v);
  bool AllowAllUp() const { return FAllowAllUp; }
  void SetAllowAllUp(bool v) { FAllowAllUp = v; }
  bool Flat() const { return FFlat; }
  void SetFlat(bool v);
  TButtonLayout Layout() const { return FLayout; }
  void SetLayout(TButtonLayout v);
  int Spacing = 4;
  int Margin = -1;

  // The glyph cell drawn now (0 up, 1 disabled, 2 pressed, 3 down), limited to NumGlyphs.
  int CurrentCell() const;
  void Click() override;

 protected:
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  friend class SpeedButtonWidget;
  void GlyphChanged();
  std::string FCaption;
  TBitmap FGlyph;
  int FNumGlyphs = 1;
  int FGroupIndex = 0;
  bool FDown = false;
  bool FAllowAllUp = false;
  bool FFlat = false;
  bool FPressed = false;
  TButtonLayout FLayout = blGlyphLeft;
};

enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkHelp, bkYes, bkNo, bkClose, bkAbort, bkRetry,
                   bkIgnore, bkAll };

class TBitBtn : public TButton {
 public:
  explicit TBitBtn(TComponent* AOwner);
  TBitmap& Glyph() { return FGlyph; }
  int NumGlyphs() const { return FNumGlyphs; }
  void SetNumGlyphs(int v);
  TBitBtnKind Kind() const { return FKind; }
  // OK and Yes are default buttons, Cancel and No cancel buttons; each sets its ModalResult.
  void SetKind(TBitBtnKind v);
  void Click() override;

 private:
  void GlyphChanged();
  TBitmap FGlyph;
  int FNumGlyphs = 1;
  TBitBtnKind FKind = bkCustom;
};

// Cell i of a glyph strip of n cells, with its see-through colour masked (platform side).
class QPixmap;
QPixmap GlyphCell(const TBitmap& glyph, int numGlyphs, int cell);
