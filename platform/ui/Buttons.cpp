// Speed buttons and bitmap buttons.
#include "platform/ui/Buttons.h"

#include <QBitmap>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyleOption>

#include "platform/gfx/QtGraphics.h"
#include "platform/ui/Forms.h"
#include "platform/ui/QtText.h"

QPixmap GlyphCell(const TBitmap& glyph, int numGlyphs, int cell) {
  if (glyph.Empty()) return QPixmap();
  int n = std::clamp(numGlyphs, 1, 4);
  int w = glyph.Width() / n;
  if (w <= 0) return QPixmap();
  cell = std::clamp(cell, 0, n - 1);
  QImage img = glyph.Image().copy(cell * w, 0, w, glyph.Height());
  QPixmap pm = QPixmap::fromImage(img);
  TColor t = glyph.TransparentColor();
  QColor tc(GetRValue(t), GetGValue(t), GetBValue(t));
  pm.setMask(pm.createMaskFromColor(tc, Qt::MaskInColor));
  return pm;
}

namespace {
void AutoNumGlyphs(const TBitmap& g, int& num) {
  if (g.Height() > 0 && g.Width() % g.Height() == 0) {
    int n = g.Width() / g.Height();
    if (n >= 1 && n <= 4) num = n;
  }
}
}  // namespace

class SpeedButtonWidget : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    auto* b = dynamic_cast<TSpeedButton*>(TControl::FromWidget(this));
    if (!b) return;
    QPainter p(this);
    bool sunken = b->FDown || b->FPressed;
    QStyleOptionButton opt;
    opt.initFrom(this);
    opt.state |= sunken ? QStyle::State_Sunken : QStyle::State_Raised;
    if (!b->FFlat || sunken || underMouse())
      style()->drawPrimitive(QStyle::PE_PanelButtonTool, &opt, &p, this);
    QPixmap g = GlyphCell(b->FGlyph, b->FNumGlyphs, b->CurrentCell());
    QString text = orv::ToQ(b->FCaption).remove('&');
    QSize ts = text.isEmpty() ? QSize() : fontMetrics().size(Qt::TextSingleLine, text);
    QRect r = rect();
    if (sunken) r.translate(1, 1);
    bool horizontal = b->FLayout == blGlyphLeft || b->FLayout == blGlyphRight;
    int gap = (!g.isNull() && !text.isEmpty()) ? b->Spacing : 0;
    int tw = horizontal ? g.width() + gap + ts.width() : std::max(g.width(), ts.width());
    int th = horizontal ? std::max(g.height(), ts.height()) : g.height() + gap + ts.height();
    int x = r.left() + (r.width() - tw) / 2, y = r.top() + (r.height() - th) / 2;
    QPoint gp, tp;
    switch (b->FLayout) {
      case blGlyphLeft: gp = {x, r.top() + (r.height() - g.height()) / 2}; tp = {x + g.width() + gap, 0}; break;
      case blGlyphRight: tp = {x, 0}; gp = {x + ts.width() + gap, r.top() + (r.height() - g.height()) / 2}; break;
      case blGlyphTop: gp = {r.left() + (r.width() - g.width()) / 2, y}; tp = {0, y + g.height() + gap}; break;
      case blGlyphBottom: tp = {0, y}; gp = {r.left() + (r.width() - g.width()) / 2, y + ts.height() + gap}; break;
    }
    bool disabledLook = !b->Enabled() && b->FNumGlyphs < 2;
    if (!g.isNull()) {
      if (disabledLook) p.setOpacity(0.4);
      p.drawPixmap(gp, g);
      p.setOpacity(1.0);
    }
    if (!text.isEmpty()) {
      QRect trect = horizontal ? QRect(tp.x(), r.top(), ts.width(), r.height())
                               : QRect(r.left(), tp.y(), r.width(), ts.height());
      p.setPen(b->Enabled() ? palette().color(QPalette::ButtonText) : QColor(128, 128, 128));
      p.drawText(trect, Qt::AlignCenter, text);
    }
  }
};

TSpeedButton::TSpeedButton(TComponent* AOwner) : TGraphicControl(AOwner, new SpeedButtonWidget) {
  Widget()->resize(25, 25);
  FGlyph.OnChange = [this](TObject*) { GlyphChanged(); };
}

void TSpeedButton::SetText(const std::string& v) {
  FCaption = v;
  Invalidate();
}

void TSpeedButton::GlyphChanged() {
  AutoNumGlyphs(FGlyph, FNumGlyphs);
  Invalidate();
}

void TSpeedButton::SetNumGlyphs(int v) {
  FNumGlyphs = std::clamp(v, 1, 4);
  Invalidate();
}

void TSpeedButton::SetFlat(bool v) {
  FFlat = v;
  Widget()->setAttribute(Qt::WA_Hover, v);
  Invalidate();
}

void TSpeedButton::SetLayout(TButtonLayout v) {
  FLayout = v;
  Invalidate();
}

int TSpeedButton::CurrentCell() const {
  int cell = !Enabled() ? 1 : FDown ? 3 : FPressed ? 2 : 0;
  if (cell == 3 && FNumGlyphs < 4) cell = FNumGlyphs >= 3 ? 2 : 0;
  if (cell >= FNumGlyphs) cell = 0;
  return cell;
}

void TSpeedButton::SetDown(bool v) {
  if (v == FDown) return;
  if (FGroupIndex == 0) v = false;
  if (!v && FDown && !FAllowAllUp && FParent) {
    // One button of the group stays down unless all may be up.
    bool otherDown = false;
    for (int i = 0; i < FParent->ControlCount(); ++i) {
      auto* s = dynamic_cast<TSpeedButton*>(FParent->Controls(i));
      if (s && s != this && s->FGroupIndex == FGroupIndex && s->FDown) otherDown = true;
    }
    if (!otherDown) return;
  }
  FDown = v;
  if (v && FParent) {
    for (int i = 0; i < FParent->ControlCount(); ++i) {
      auto* s = dynamic_cast<TSpeedButton*>(FParent->Controls(i));
      if (s && s != this && s->FGroupIndex == FGroupIndex && s->FDown) {
        s->FDown = false;
        s->Invalidate();
      }
    }
  }
  Invalidate();
}

void TSpeedButton::Click() {
  if (FGroupIndex != 0) {
    if (!FDown) SetDown(true);
    else if (FAllowAllUp) {
      FDown = false;
      Invalidate();
    }
  }
  TGraphicControl::Click();
}

void TSpeedButton::MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    FPressed = true;
    Invalidate();
  }
  TGraphicControl::MouseDown(Button, Shift, X, Y);
}

void TSpeedButton::MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) {
  if (Button == mbLeft) {
    FPressed = false;
    Invalidate();
  }
  TGraphicControl::MouseUp(Button, Shift, X, Y);
}

// ---- TBitBtn ------------------------------------------------------------------------------

TBitBtn::TBitBtn(TComponent* AOwner) : TButton(AOwner) {
  FGlyph.OnChange = [this](TObject*) { GlyphChanged(); };
}

void TBitBtn::GlyphChanged() {
  AutoNumGlyphs(FGlyph, FNumGlyphs);
  SetNumGlyphs(FNumGlyphs);
}

void TBitBtn::SetNumGlyphs(int v) {
  FNumGlyphs = std::clamp(v, 1, 4);
  auto* b = static_cast<QPushButton*>(Widget());
  QPixmap pm = GlyphCell(FGlyph, FNumGlyphs, 0);
  b->setIcon(pm.isNull() ? QIcon() : QIcon(pm));
  if (!pm.isNull()) b->setIconSize(pm.size());
}

void TBitBtn::SetKind(TBitBtnKind v) {
  FKind = v;
  switch (v) {
    case bkOK: ModalResult = mrOk; SetDefault(true); break;
    case bkYes: ModalResult = mrYes; SetDefault(true); break;
    case bkCancel: ModalResult = mrCancel; SetCancel(true); break;
    case bkNo: ModalResult = mrNo; SetCancel(true); break;
    case bkAbort: ModalResult = mrAbort; break;
    case bkRetry: ModalResult = mrRetry; break;
    case bkIgnore: ModalResult = mrIgnore; break;
    case bkAll: ModalResult = mrAll; break;
    default: break;
  }
}

void TBitBtn::Click() {
  if (FKind == bkClose) {
    if (TCustomForm* f = ParentForm()) {
      TButton::Click();
      f->Close();
      return;
    }
  }
  TButton::Click();
}
