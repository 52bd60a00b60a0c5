// The canvas of a control (forms, custom controls, paint boxes): a back picture as large as
// the control that the program draws on at any time and that the control shows when it
// repaints. While the control repaints, OnPaint draws into the picture after it was filled
// with the control's colour, as the system erases a window before it paints.
#pragma once

#include <QImage>
#include <functional>

#include "platform/gfx/Canvas.h"

class QWidget;
class TControl;

class TControlCanvas {
 public:
  // Opaque: the picture starts in the control's colour; otherwise it starts see-through, so
  // what lies behind the control shows where nothing is drawn.
  TControlCanvas(TControl* c, bool Opaque);
  // The canvas, with its picture grown to the control's size (drawn content kept).
  TCanvas& Canvas();
  // From the widget's paint event: runs onPaint (when set) into the picture, then shows the
  // picture; nothing when neither the canvas nor onPaint was ever used.
  void Paint(QWidget* w, const std::function<void()>& onPaint);

 private:
  void EnsureSize();
  TControl* FControl;
  QImage FImage;
  TCanvas FCanvas;
  bool FOpaque;
  bool FUsed = false;
  bool FPainting = false;
};
