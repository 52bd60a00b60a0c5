// Status bar, page control and progress bar.
#include "platform/ui/ComCtrls.h"

#include <QPainter>
#include <QProgressBar>
#include <QStyleOption>
#include <QTabWidget>

#include "platform/ui/QtText.h"

// The status bar paints its panels like the system one: sunken frames, text inside.
class StatusBarWidget : public QWidget {
 protected:
  void paintEvent(QPaintEvent*) override {
    auto* bar = dynamic_cast<TStatusBar*>(TControl::FromWidget(this));
    if (!bar) return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    auto drawPanel = [&](QRect r, const std::string& text, TAlignment a, TStatusPanelBevel bevel) {
      if (bevel != pbNone) {
        QStyleOptionFrame opt;
        opt.initFrom(this);
        opt.rect = r;
        opt.lineWidth = 1;
        opt.state |= bevel == pbLowered ? QStyle::State_Sunken : QStyle::State_Raised;
        style()->drawPrimitive(QStyle::PE_Frame, &opt, &p, this);
      }
      int flags = Qt::AlignVCenter | (a == taRightJustify ? Qt::AlignRight : a == taCenter ? Qt::AlignHCenter : Qt::AlignLeft);
      p.drawText(r.adjusted(3, 0, -3, 0), flags, orv::ToQ(text));
    };
    QRect all = rect().adjusted(0, 2, 0, 0);
    if (bar->FSimplePanel) {
      drawPanel(all, bar->FSimpleText, taLeftJustify, pbLowered);
      return;
    }
    int x = 0;
    int n = bar->FPanels.Count();
    for (int i = 0; i < n; ++i) {
      TStatusPanel* panel = bar->FPanels.Items(i);
      int w = i + 1 == n ? std::max(0, width() - x) : panel->Width();
      drawPanel(QRect(x, all.top(), w - 2, all.height()), panel->Text(), panel->Alignment(), panel->Bevel);
      x += w;
    }
  }
};

void TStatusPanel::SetText(const std::string& v) {
  if (v == FText) return;
  FText = v;
  FBar->Invalidate();
}

void TStatusPanel::SetWidth(int v) {
  FWidth = std::max(0, v);
  FBar->Invalidate();
}

void TStatusPanel::SetAlignment(TAlignment v) {
  FAlignment = v;
  FBar->Invalidate();
}

TStatusPanel* TStatusPanels::Add() {
  FPanels.push_back(std::make_unique<TStatusPanel>(FBar));
  FBar->Invalidate();
  return FPanels.back().get();
}

TStatusPanel* TStatusPanels::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FPanels[static_cast<size_t>(Index)].get();
}

void TStatusPanels::Clear() {
  FPanels.clear();
  FBar->Invalidate();
}

TStatusBar::TStatusBar(TComponent* AOwner) : TWinControl(AOwner, new StatusBarWidget) {
  Widget()->resize(200, 19);
  Widget()->setFocusPolicy(Qt::NoFocus);
  SetTabStop(false);
  SetAlign(alBottom);
}

void TStatusBar::SetSimplePanel(bool v) {
  FSimplePanel = v;
  Invalidate();
}

void TStatusBar::SetSimpleText(const std::string& v) {
  FSimpleText = v;
  Invalidate();
}

// ---- Pages --------------------------------------------------------------------------------

TTabSheet::TTabSheet(TComponent* AOwner) : TWinControl(AOwner, new QWidget) {
  Widget()->setFocusPolicy(Qt::NoFocus);
  SetTabStop(false);
}

TTabSheet::~TTabSheet() { SetPageControl(nullptr); }

void TTabSheet::SetPageControl(TPageControl* p) {
  if (p == FPageControl) return;
  if (FPageControl) {
    auto& pages = FPageControl->FPages;
    int i = PageIndex();
    if (i >= 0) FPageControl->Tabs()->removeTab(i);
    pages.erase(std::remove(pages.begin(), pages.end(), this), pages.end());
  }
  FPageControl = p;
  SetParent(p);
  if (p) {
    p->FProgram = true;
    p->Tabs()->addTab(Widget(), orv::ToQ(FCaption));
    p->FProgram = false;
    p->FPages.push_back(this);
  }
}

int TTabSheet::PageIndex() const {
  if (!FPageControl) return -1;
  return FPageControl->Tabs()->indexOf(Widget());
}

void TTabSheet::SetText(const std::string& v) {
  FCaption = v;
  if (FPageControl) FPageControl->Tabs()->setTabText(PageIndex(), orv::ToQ(v));
}

void TTabSheet::SetTabVisible(bool v) {
  FTabVisible = v;
  if (FPageControl) FPageControl->Tabs()->setTabVisible(PageIndex(), v);
}

TPageControl::TPageControl(TComponent* AOwner) : TWinControl(AOwner, new QTabWidget) {
  Widget()->resize(289, 193);
  QObject::connect(Tabs(), &QTabWidget::currentChanged, [this](int) {
    if (FProgram) return;
    SafeCall([this] {
      if (OnChange) OnChange(this);
    });
  });
}

QTabWidget* TPageControl::Tabs() const { return static_cast<QTabWidget*>(Widget()); }

TTabSheet* TPageControl::Pages(int Index) const {
  if (Index < 0 || Index >= PageCount()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FPages[static_cast<size_t>(Index)];
}

TTabSheet* TPageControl::ActivePage() const {
  QWidget* w = Tabs()->currentWidget();
  for (TTabSheet* p : FPages)
    if (p->Widget() == w) return p;
  return nullptr;
}

void TPageControl::SetActivePage(TTabSheet* p) {
  if (!p || p->PageControl() != this) return;
  FProgram = true;
  Tabs()->setCurrentWidget(p->Widget());
  FProgram = false;
}

int TPageControl::ActivePageIndex() const { return Tabs()->currentIndex(); }

void TPageControl::SetActivePageIndex(int v) {
  FProgram = true;
  Tabs()->setCurrentIndex(v);
  FProgram = false;
}

// ---- TProgressBar -------------------------------------------------------------------------

TProgressBar::TProgressBar(TComponent* AOwner) : TWinControl(AOwner, new QProgressBar) {
  Widget()->resize(150, 16);
  Widget()->setFocusPolicy(Qt::NoFocus);
  static_cast<QProgressBar*>(Widget())->setTextVisible(false);
  SetTabStop(false);
  Apply();
}

void TProgressBar::SetMin(int v) { FMin = v; Apply(); }
void TProgressBar::SetMax(int v) { FMax = v; Apply(); }
void TProgressBar::SetPosition(int v) { FPosition = std::clamp(v, FMin, std::max(FMin, FMax)); Apply(); }

void TProgressBar::Apply() {
  auto* b = static_cast<QProgressBar*>(Widget());
  b->setRange(FMin, std::max(FMin, FMax));
  b->setValue(FPosition);
}
