// TFilePreview: shows a recorded report on screen one page at a time, at a zoom. Each page is
// played into an off-screen picture at the screen's resolution, drawn as a white sheet with a
// thin black frame, and shown in an image control inside the scroll box the application gives
// it, with an optional margin around the sheet. The image control belongs to the scroll box
// and stays there, with the last page, after FinishPreview.
#pragma once

#include <memory>

#include "report/FilePrinter.h"

class TScrollBox;
class TImage;
class QImage;
class QPainter;

// The page picture holds at most this many pixels (128 MB): a Letter page at 192 dots per
// inch and zoom 200 takes 14 million.
inline constexpr int64_t kPreviewPixelBudget = 32 * 1024 * 1024;
inline constexpr const char* kPageTooLarge = "Page too large to preview at this zoom.";

class TFilePreview : public TFilePrinter {
 public:
  explicit TFilePreview(TComponent* AOwner = nullptr);
  ~TFilePreview() override;

  TScrollBox* ScrollBox() const { return FScrollBox; }
  void SetScrollBox(TScrollBox* v);
  int ZoomInc = 10;
  bool Monochrome = false;
  TMarginMethod MarginMethod = mmFixed;
  double MarginPercent = 0;
  TNotifyEvent OnZoomChange;
  TNotifyEvent OnPageChange;

  // Kept within 10 to 200; redraws the page unless OnZoomChange is assigned.
  void SetZoomFactor(double v) override;

  int GetOutputKind() const override { return okPreview; }
  TReportCanvas& GetCanvas() override { return FPageCanvas; }

  void StartPreview();
  void Execute() override { StartPreview(); }
  void ShowPage(unsigned N);
  void PlayPage(unsigned N) override { ShowPage(N); }
  void PreviousPage();
  void NextPage();
  void RedrawPage() { ShowPage(static_cast<unsigned>(PageNumber)); }
  void FinishPreview();

  // The image control showing the page (nullptr before the first preview).
  TImage* Image() const { return FImage; }
  // The page as drawn (null while no preview runs).
  const QImage* PageImage() const { return FPage.get(); }
  int Margin() const { return FMargin; }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  TScrollBox* FScrollBox = nullptr;
  TImage* FImage = nullptr;
  std::unique_ptr<QImage> FPage;
  TReportCanvas FPageCanvas;
  int FMargin = 0;
};
