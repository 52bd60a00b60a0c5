// Back pictures of drawn controls.
#include "platform/ui/ControlCanvas.h"

#include <QPainter>
#include <QWidget>

#include "platform/gfx/QtGraphics.h"
#include "platform/ui/Controls.h"

TControlCanvas::TControlCanvas(TControl* c, bool Opaque) : FControl(c), FCanvas(&FImage), FOpaque(Opaque) {
  FCanvas.OnChange = [this](TObject*) {
    if (!FPainting && FControl->Widget()) FControl->Widget()->update();
  };
}

void TControlCanvas::EnsureSize() {
  QSize s = FControl->Widget()->size().expandedTo(QSize(1, 1));
  if (FImage.size() == s) return;
  QImage img(s, FOpaque ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied);
  img.fill(FOpaque ? orv::ToQColor(FControl->Color()) : QColor(Qt::transparent));
  if (!FImage.isNull()) {
    QPainter p(&img);
    p.drawImage(0, 0, FImage);
  }
  FImage = img;
}

TCanvas& TControlCanvas::Canvas() {
  FUsed = true;
  EnsureSize();
  return FCanvas;
}

void TControlCanvas::Paint(QWidget* w, const std::function<void()>& onPaint) {
  if (!FUsed && !onPaint) return;
  FUsed = true;
  EnsureSize();
  if (onPaint) {
    FPainting = true;
    FImage.fill(FOpaque ? orv::ToQColor(FControl->Color()) : QColor(Qt::transparent));
    FCanvas.Font().Assign(&FControl->Font());
    SafeCall(onPaint);
    FPainting = false;
  }
  QPainter p(w);
  p.drawImage(0, 0, FImage);
}
