// The preview: pages played into a picture shown in a scroll box.
#include "report/FilePreview.h"

#include <QImage>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <cmath>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"

TFilePreview::TFilePreview(TComponent* AOwner) : TFilePrinter(AOwner) {
  // The base ran the metrics as a printer would; a preview keeps no printer offsets.
  UpdatePrinterMetrics();
}

TFilePreview::~TFilePreview() {
  if (Printing()) FinishPreview();
  if (FImage) FImage->RemoveFreeNotification(this);
  if (FScrollBox) FScrollBox->RemoveFreeNotification(this);
}

void TFilePreview::Notification(TComponent* AComponent, TOperation Operation) {
  TFilePrinter::Notification(AComponent, Operation);
  if (Operation != opRemove) return;
  if (AComponent == FScrollBox) FScrollBox = nullptr;
  if (AComponent == FImage) FImage = nullptr;
}

void TFilePreview::SetScrollBox(TScrollBox* v) {
  if (v == FScrollBox) return;
  if (FScrollBox) FScrollBox->RemoveFreeNotification(this);
  FScrollBox = v;
  if (v) v->FreeNotification(this);
}

void TFilePreview::SetZoomFactor(double v) {
  if (!(v >= 10)) v = 10;  // also a value that is not a number
  if (v > 200) v = 200;
  TFilePrinter::SetZoomFactor(v);
  if (OnZoomChange)
    OnZoomChange(this);
  else if (Printing())
    RedrawPage();
}

void TFilePreview::StartPreview() {
  CheckNotPrinting();
  if (!FScrollBox) throw EReportKit("ScrollBox must be assigned for FilePreview component");
  if (OnZoomChange) OnZoomChange(this);
  FPage = std::make_unique<QImage>();
  if (FImage) {
    TImage* old = FImage;
    old->RemoveFreeNotification(this);
    FImage = nullptr;
    delete old;
  }
  FImage = new TImage(FScrollBox);
  FImage->SetParent(FScrollBox);
  FImage->FreeNotification(this);
  FImage->SetBounds(0, 0, 100, 100);
  DeviceOriginX = DeviceOriginY = 0;
  XDPI = YDPI = Screen ? Screen->PixelsPerInch() : ScreenPixelsPerInch;
  if (!OpenInputStream()) {
    FPage.reset();
    return;
  }
  try {
    ReadReportHeader();
  } catch (...) {
    CloseInputStream();
    FPage.reset();
    throw;
  }
  StartWalk();
  if (!HasPages()) {
    // Nothing to show is said plainly; the preview does not start.
    CloseInputStream();
    FPage.reset();
    SayNoPages();
    return;
  }
  SetPrinting(true);
  SetAborted(false);
  // A new preview shows its pages, whatever an earlier aborted one left behind.
  PageOutputOff = false;
  FPageCanvas.Font().PixelsPerInch = YDPI;
  try {
    ShowPage(1);
  } catch (...) {
    // A first page that cannot be shown leaves no preview running that nobody finishes.
    FinishPreview();
    throw;
  }
}

void TFilePreview::ShowPage(unsigned N) {
  if (!Printing()) return;
  BusyCursor cursor;
  GotoPage(N);
  if (OnPageChange) OnPageChange(this);

  QScrollArea* area = FScrollBox ? FScrollBox->Area() : nullptr;
  int hpos = 0, vpos = 0;
  if (area) {
    hpos = area->horizontalScrollBar()->value();
    vpos = area->verticalScrollBar()->value();
    area->horizontalScrollBar()->setValue(0);
    area->verticalScrollBar()->setValue(0);
  }

  double w = XDPI * PageWidthInches();
  FMargin = MarginMethod == mmFixed ? RoundEven(w * MarginPercent / 100)
                                    : RoundEven(w * MarginPercent / 100 * ZoomFactor() / 100);
  int bw = std::max(1, RoundEven(w * ZoomFactor() / 100));
  int bh = std::max(1, RoundEven(YDPI * PageHeightInches() * ZoomFactor() / 100));
  if (static_cast<int64_t>(bw) * bh > kPreviewPixelBudget) throw EReportKit(kPageTooLarge);
  *FPage = QImage(bw, bh, QImage::Format_RGB32);
  if (FPage->isNull()) throw EReportKit(kPageTooLarge);
  FPage->fill(Qt::white);
  {
    QPainter painter(FPage.get());
    FPageCanvas.SetPainter(&painter);
    struct Unhook {
      TReportCanvas& c;
      ~Unhook() { c.SetPainter(nullptr); }
    } unhook{FPageCanvas};
    SetPen(clBlack, psSolid, 1, TReportPenMode::pmCopy);
    SetBrush(clWhite, bsSolid, nullptr);
    FPageCanvas.Rectangle(0, 0, bw, bh);
    TFilePrinter::PlayPage(N);
  }

  QImage shown = Monochrome ? FPage->convertToFormat(QImage::Format_Mono) : *FPage;
  if (FImage) {
    FImage->SetBounds(FMargin, FMargin, bw, bh);
    FImage->Picture().SetImage(shown);
  }
  if (area) {
    if (area->widget()) area->widget()->resize(bw + 2 * FMargin, bh + 2 * FMargin);
    area->horizontalScrollBar()->setValue(hpos);
    area->verticalScrollBar()->setValue(vpos);
  }
}

void TFilePreview::PreviousPage() {
  if (Printing() && PrevLink() > 0) ShowPage(static_cast<unsigned>(PageNumber - 1));
}

void TFilePreview::NextPage() {
  if (Printing() && NextLink() > 0) ShowPage(static_cast<unsigned>(PageNumber + 1));
}

void TFilePreview::FinishPreview() {
  if (!Printing()) throw EReportKit(kNotPrinting);
  SetPrinting(false);
  FPage.reset();
  CloseInputStream();
}
