// Panels, radio groups, images, bevels and scroll boxes.
#include "platform/ui/ExtCtrls.h"

#include <QFrame>
#include <QLabel>
#include <QPainter>
#include <QRadioButton>
#include <QScrollArea>

#include "platform/gfx/QtGraphics.h"
#include "platform/ui/QtText.h"

// The panel draws its caption itself, like the class library's panel.
class PanelWidget : public QFrame {
 protected:
  void paintEvent(QPaintEvent* e) override {
    QFrame::paintEvent(e);
    auto* panel_ = dynamic_cast<TPanel*>(TControl::FromWidget(this));
    if (!panel_ || panel_->FCaption.empty()) return;
    QPainter p(this);
    p.setFont(font());
    p.setPen(palette().color(QPalette::WindowText));
    int flags = Qt::AlignVCenter | (panel_->FAlignment == taLeftJustify    ? Qt::AlignLeft
                                    : panel_->FAlignment == taRightJustify ? Qt::AlignRight
                                                                           : Qt::AlignHCenter);
    p.drawText(contentsRect().adjusted(2, 0, -2, 0), flags, orv::ToQ(panel_->FCaption));
  }
};

TPanel::TPanel(TComponent* AOwner) : TCustomControl(AOwner, new PanelWidget) {
  Widget()->resize(185, 41);
  ApplyFrame();
}

void TPanel::SetText(const std::string& v) {
  FCaption = v;
  Widget()->update();
}

void TPanel::SetBevelOuter(TPanelBevel v) { FBevelOuter = v; ApplyFrame(); }
void TPanel::SetBevelInner(TPanelBevel v) { FBevelInner = v; ApplyFrame(); }
void TPanel::SetBevelWidth(int v) { FBevelWidth = std::max(1, v); ApplyFrame(); }
void TPanel::SetAlignment(TAlignment v) { FAlignment = v; Widget()->update(); }

void TPanel::ApplyFrame() {
  auto* f = dynamic_cast<QFrame*>(Widget());
  if (!f) return;
  if (FBevelOuter == bvNone && FBevelInner == bvNone) {
    f->setFrameStyle(QFrame::NoFrame);
  } else {
    TPanelBevel b = FBevelOuter != bvNone ? FBevelOuter : FBevelInner;
    f->setFrameStyle(QFrame::Panel | (b == bvLowered ? QFrame::Sunken : QFrame::Raised));
    f->setLineWidth(FBevelWidth);
  }
  Realign();
}

// ---- TRadioGroup --------------------------------------------------------------------------

TRadioGroup::TRadioGroup(TComponent* AOwner) : TGroupBox(AOwner) {
  FItems.OnChange = [this](TObject*) { Rebuild(); };
  SetTabStop(true);
}

TRadioGroup::~TRadioGroup() {
  FItems.OnChange = nullptr;
  for (TRadioButton* b : FButtons) delete b;
}

TRadioButton* TRadioGroup::Buttons(int i) const {
  if (i < 0 || i >= static_cast<int>(FButtons.size()))
    throw EListError(Format("List index out of bounds (%d)", i));
  return FButtons[static_cast<size_t>(i)];
}

void TRadioGroup::Rebuild() {
  for (TRadioButton* b : FButtons) delete b;
  FButtons.clear();
  for (int i = 0; i < FItems.Count(); ++i) {
    auto* b = new TRadioButton(nullptr);
    b->SetParent(this);
    b->SetCaption(FItems[i]);
    b->OnClick = [this, i](TObject*) {
      if (FItemIndex == i) return;
      FItemIndex = i;
      Click();
    };
    FButtons.push_back(b);
  }
  if (FItemIndex >= FItems.Count()) FItemIndex = -1;
  if (FItemIndex >= 0) FButtons[static_cast<size_t>(FItemIndex)]->SetCheckedQuiet(true);
  ArrangeButtons();
}

void TRadioGroup::ArrangeButtons() {
  int n = static_cast<int>(FButtons.size());
  if (!n) return;
  int cols = std::max(1, FColumns);
  int rows = (n + cols - 1) / cols;
  QRect r = Widget()->contentsRect().adjusted(8, 16, -4, -4);
  int cw = r.width() / cols, rh = std::max(1, r.height() / rows);
  for (int i = 0; i < n; ++i) {
    int c = i / rows, row = i % rows;
    FButtons[static_cast<size_t>(i)]->SetBounds(r.left() + c * cw, r.top() + row * rh, cw - 2,
                                                std::min(rh, 20));
  }
}

void TRadioGroup::BoundsChanged() {
  TGroupBox::BoundsChanged();
  ArrangeButtons();
}

void TRadioGroup::SetItemIndex(int v) {
  if (v < -1 || v >= static_cast<int>(FButtons.size())) v = -1;
  if (v == FItemIndex) return;
  for (size_t i = 0; i < FButtons.size(); ++i) FButtons[i]->SetCheckedQuiet(static_cast<int>(i) == v);
  FItemIndex = v;
  if (v >= 0) Click();
}

void TRadioGroup::SetColumns(int v) {
  FColumns = std::max(1, v);
  ArrangeButtons();
}

// ---- TImage, TBevel -----------------------------------------------------------------------

TImage::TImage(TComponent* AOwner) : TGraphicControl(AOwner, new QLabel) {
  Widget()->resize(105, 105);
  FPicture.OnChange = [this](TObject*) { Apply(); };
}

void TImage::SetStretch(bool v) { FStretch = v; Apply(); }
void TImage::SetCenter(bool v) { FCenter = v; Apply(); }

void TImage::Apply() {
  auto* l = static_cast<QLabel*>(Widget());
  l->setScaledContents(FStretch);
  l->setAlignment(FCenter ? Qt::AlignCenter : Qt::AlignLeft | Qt::AlignTop);
  l->setPixmap(QPixmap::fromImage(FPicture.Image()));
}

TBevel::TBevel(TComponent* AOwner) : TGraphicControl(AOwner, new QFrame) {
  Widget()->resize(50, 50);
  Apply();
}

void TBevel::SetShape(TBevelShape v) { FShape = v; Apply(); }
void TBevel::SetStyle(TBevelStyle v) { FStyle = v; Apply(); }

void TBevel::Apply() {
  auto* f = static_cast<QFrame*>(Widget());
  int shadow = FStyle == bsLoweredBevel ? QFrame::Sunken : QFrame::Raised;
  switch (FShape) {
    case bsTopLine: case bsBottomLine: f->setFrameStyle(QFrame::HLine | shadow); break;
    case bsLeftLine: case bsRightLine: f->setFrameStyle(QFrame::VLine | shadow); break;
    default: f->setFrameStyle(QFrame::Box | shadow); break;
  }
}

// ---- TScrollBox ---------------------------------------------------------------------------

TScrollBox::TScrollBox(TComponent* AOwner) : TWinControl(AOwner, new QScrollArea), FClient(new QWidget) {
  Area()->setWidget(FClient);
  Area()->setWidgetResizable(false);
  FClient->resize(185, 41);
  Widget()->resize(185, 41);
  Widget()->setFocusPolicy(Qt::NoFocus);
  SetTabStop(false);
}

QScrollArea* TScrollBox::Area() const { return static_cast<QScrollArea*>(Widget()); }

void TScrollBox::BoundsChanged() {
  // The scrolled area is at least as large as the box and as large as its children need.
  QRect need(0, 0, Area()->viewport()->width(), Area()->viewport()->height());
  for (int i = 0; i < ControlCount(); ++i) {
    TControl* c = Controls(i);
    if (c->Align() == alNone) need = need.united(c->Widget()->geometry());
  }
  FClient->resize(need.size());
  TWinControl::BoundsChanged();
}
