// The progress gauge: a bar (or text) showing Progress between MinValue and MaxValue, with
// the percentage written in its middle.
#pragma once

#include "platform/ui/Controls.h"

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

class TGauge : public TGraphicControl {
 public:
  explicit TGauge(TComponent* AOwner);
  int MinValue() const { return FMin; }
  int MaxValue() const { return FMax; }
  int Progress() const { return FProgress; }
  void SetMinValue(int v);
  void SetMaxValue(int v);
  // Kept within MinValue..MaxValue.
  void SetProgress(int v);
  void AddProgress(int v) { SetProgress(FProgress + v); }
  // Whole percent of the way from MinValue to MaxValue.
  int PercentDone() const;
  TGaugeKind Kind() const { return FKind; }
  void SetKind(TGaugeKind v);
  bool ShowText = true;
  TColor ForeColor = clNavy;
  TColor BackColor = clWhite;

 private:
  TGaugeKind FKind = gkHorizontalBar;
  int FMin = 0, FMax = 100, FProgress = 0;
};
