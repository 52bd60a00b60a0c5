// The gauge paints itself: the done part in ForeColor, the rest in BackColor, the percentage
// in the middle.
#include "platform/ui/Gauges.h"

#include <QPainter>
#include <QRegion>
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
    QRect done;
    if (g->Kind() == gkVerticalBar) {
      int h = r.height() * pct / 100;
      done = QRect(r.left(), r.bottom() - h, r.width(), h);
    } else if (g->Kind() != gkText) {
      done = QRect(r.left(), r.top(), r.width() * pct / 100, r.height());
    }
    p.fillRect(done, orv::ToQColor(g->ForeColor));
    p.setPen(Qt::black);
    p.drawRect(r);
    if (g->ShowText) {
      // Over the done part the figure takes the back colour, so it reads on the bar too.
      const QString text = QString("%1%").arg(pct);
      p.save();
      p.setClipRegion(QRegion(r).subtracted(done));
      p.setPen(orv::ToQColor(g->Font().Color()));
      p.drawText(r, Qt::AlignCenter, text);
      p.setClipRect(done);
      p.setPen(orv::ToQColor(g->BackColor));
      p.drawText(r, Qt::AlignCenter, text);
      p.restore();
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
