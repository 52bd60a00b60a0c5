// Back pictures of drawn controls.
#include "platform/ui/ControlCanvas.h"

#include <QPainter>
#include <QWidget>

#include "platform/gfx/QtGraphics.h"
#include "platform/ui/Controls.h"

TControlCanvas::TControlCanvas(TControl* c) : FControl(c), FCanvas(&FImage) {
  FCanvas.OnChange = [this](TObject*) {
    if (!FPainting && FControl->Widget()) FControl->Widget()->update();
  };
}

void TControlCanvas::EnsureSize() {
  QSize s = FControl->Widget()->size().expandedTo(QSize(1, 1));
  if (FImage.size() == s) return;
  QImage img(s, QImage::Format_RGB32);
  img.fill(orv::ToQColor(FControl->Color()));
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
    FImage.fill(orv::ToQColor(FControl->Color()));
    FCanvas.Font().Assign(&FControl->Font());
    SafeCall(onPaint);
    FPainting = false;
  }
  QPainter p(w);
  p.drawImage(0, 0, FImage);
}
