// Common controls: the status bar with panels, page control with tab sheets, progress bar.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/ui/StdCtrls.h"

class QTabWidget;
class TStatusBar;

enum TStatusPanelBevel { pbNone, pbLowered, pbRaised };

class TStatusPanel {
 public:
  explicit TStatusPanel(TStatusBar* bar) : FBar(bar) {}
  const std::string& Text() const { return FText; }
  void SetText(const std::string& v);
  int Width() const { return FWidth; }
  void SetWidth(int v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  TStatusPanelBevel Bevel = pbLowered;

 private:
  TStatusBar* FBar;
  std::string FText;
  int FWidth = 50;
  TAlignment FAlignment = taLeftJustify;
};

class TStatusPanels {
 public:
  explicit TStatusPanels(TStatusBar* bar) : FBar(bar) {}
  TStatusPanel* Add();
  int Count() const { return static_cast<int>(FPanels.size()); }
  // An index out of range raises EListError.
  TStatusPanel* Items(int Index) const;
  TStatusPanel& operator[](int Index) const { return *Items(Index); }
  void Clear();

 private:
  TStatusBar* FBar;
  std::vector<std::unique_ptr<TStatusPanel>> FPanels;
};

// Panels left to right with their widths; the last panel takes the rest. SimplePanel shows
// SimpleText across the whole bar instead. Aligned to the bottom by default.
class TStatusBar : public TWinControl {
 public:
  explicit TStatusBar(TComponent* AOwner);
  TStatusPanels& Panels() { return FPanels; }
  bool SimplePanel() const { return FSimplePanel; }
  void SetSimplePanel(bool v);
  const std::string& SimpleText() const { return FSimpleText; }
  void SetSimpleText(const std::string& v);
  bool SizeGrip = true;

 private:
  friend class StatusBarWidget;
  TStatusPanels FPanels{this};
  bool FSimplePanel = false;
  std::string FSimpleText;
};

class TPageControl;

class TTabSheet : public TWinControl {
 public:
  explicit TTabSheet(TComponent* AOwner);
  ~TTabSheet() override;
  TPageControl* PageControl() const { return FPageControl; }
  void SetPageControl(TPageControl* p);
  std::string Text() const override { return FCaption; }
  void SetText(const std::string& v) override;
  bool TabVisible() const { return FTabVisible; }
  void SetTabVisible(bool v);
  int PageIndex() const;

 private:
  TPageControl* FPageControl = nullptr;
  std::string FCaption;
  bool FTabVisible = true;
};

class TPageControl : public TWinControl {
 public:
  explicit TPageControl(TComponent* AOwner);
  int PageCount() const { return static_cast<int>(FPages.size()); }
  TTabSheet* Pages(int Index) const;
  TTabSheet* ActivePage() const;
  void SetActivePage(TTabSheet* p);
  int ActivePageIndex() const;
  void SetActivePageIndex(int v);
  // The user chose another page.
  TNotifyEvent OnChange;
  QTabWidget* Tabs() const;

 private:
  friend class TTabSheet;
  std::vector<TTabSheet*> FPages;
  bool FProgram = false;
};

class TProgressBar : public TWinControl {
 public:
  explicit TProgressBar(TComponent* AOwner);
  int Min() const { return FMin; }
  int Max() const { return FMax; }
  int Position() const { return FPosition; }
  void SetMin(int v);
  void SetMax(int v);
  void SetPosition(int v);
  int Step = 10;
  void StepIt() { SetPosition(FPosition + Step); }

 private:
  void Apply();
  int FMin = 0, FMax = 100, FPosition = 0;
};
