// The gauge paints itself: the done part in ForeColor, the rest in BackColor, the percentage
// in the middle.
#include "platform/ui/Gauges.h"

#include <QPainter>
#include <QWidget>

#include "platform/gfx/QtGraphics.h"

namespace {
class GaugeWidget : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    auto* g = dynamic_cast<TGauge*>(TControl::FromWidget(this));
    if (!g) return;
    QPainter p(this);
    QRect r = rect().adjusted(0, 0, -1, -1);
    p.fillRect(r, orv::ToQColor(g->BackColor));
    int pct = g->PercentDone();
    if (g->Kind() == gkVerticalBar) {
      int h = r.height() * pct / 100;
      p.fillRect(QRect(r.left(), r.bottom() - h, r.width(), h), orv::ToQColor(g->ForeColor));
    } else if (g->Kind() != gkText) {
      p.fillRect(QRect(r.left(), r.top(), r.width() * pct / 100, r.height()), orv::ToQColor(g->ForeColor));
    }
    p.setPen(Qt::black);
    p.drawRect(r);
    if (g->ShowText) {
      p.setPen(orv::ToQColor(g->Font().Color()));
      p.drawText(r, Qt::AlignCenter, QString("%1%").arg(pct));
    }
  }
};
}  // namespace

TGauge::TGauge(TComponent* AOwner) : TGraphicControl(AOwner, new GaugeWidget) {
  Widget()->resize(100, 100);
}

void TGauge::SetMinValue(int v) { FMin = v; SetProgress(FProgress); }
void TGauge::SetMaxValue(int v) { FMax = v; SetProgress(FProgress); }

void TGauge::SetProgress(int v) {
  v = std::clamp(v, FMin, std::max(FMin, FMax));
  if (v == FProgress) return;
  FProgress = v;
  Invalidate();
}

int TGauge::PercentDone() const {
  int span = FMax - FMin;
  if (span <= 0) return 100;
  return static_cast<int>((static_cast<long long>(FProgress - FMin) * 100) / span);
}

void TGauge::SetKind(TGaugeKind v) {
  FKind = v;
  Invalidate();
}
