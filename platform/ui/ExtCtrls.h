// Panels, the radio group, images, bevels and the scroll box.
#pragma once

#include <memory>
#include <string>

#include "platform/gfx/Bitmap.h"
#include "platform/ui/StdCtrls.h"

class QScrollArea;

enum TPanelBevel { bvNone, bvLowered, bvRaised, bvSpace };

// A container with a bevelled edge and an optional caption drawn in its middle.
class TPanel : public TCustomControl {
 public:
  explicit TPanel(TComponent* AOwner);
  std::string Text() const override { return FCaption; }
  void SetText(const std::string& v) override;
  TPanelBevel BevelOuter() const { return FBevelOuter; }
  void SetBevelOuter(TPanelBevel v);
  TPanelBevel BevelInner() const { return FBevelInner; }
  void SetBevelInner(TPanelBevel v);
  int BevelWidth() const { return FBevelWidth; }
  void SetBevelWidth(int v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);

 private:
  friend class PanelWidget;
  void ApplyFrame();
  std::string FCaption;
  TPanelBevel FBevelOuter = bvRaised;
  TPanelBevel FBevelInner = bvNone;
  int FBevelWidth = 1;
  TAlignment FAlignment = taCenter;
};

// A group box of radio buttons made from Items; ItemIndex is the checked one (-1 none).
class TRadioGroup : public TGroupBox {
 public:
  explicit TRadioGroup(TComponent* AOwner);
  ~TRadioGroup() override;
  TStrings& Items() { return FItems; }
  int ItemIndex() const { return FItemIndex; }
  // Checking another item fires OnClick.
  void SetItemIndex(int v);
  int Columns() const { return FColumns; }
  void SetColumns(int v);
  // The radio button of item i (for tests and focus moves).
  TRadioButton* Buttons(int i) const;

 protected:
  void BoundsChanged() override;

 private:
  void Rebuild();
  void ArrangeButtons();
  TStringList FItems;
  std::vector<TRadioButton*> FButtons;
  int FItemIndex = -1;
  int FColumns = 1;
};

// A picture; Stretch scales it to the control, Center centres it.
class TImage : public TGraphicControl {
 public:
  explicit TImage(TComponent* AOwner);
  TBitmap& Picture() { return FPicture; }
  bool Stretch() const { return FStretch; }
  void SetStretch(bool v);
  bool Center() const { return FCenter; }
  void SetCenter(bool v);

 private:
  void Apply();
  TBitmap FPicture;
  bool FStretch = false;
  bool FCenter = false;
};

enum TBevelShape { bsBox, bsFrame, bsTopLine, bsBottomLine, bsLeftLine, bsRightLine };
enum TBevelStyle { bsLoweredBevel, bsRaisedBevel };

class TBevel : public TGraphicControl {
 public:
  explicit TBevel(TComponent* AOwner);
  TBevelShape Shape() const { return FShape; }
  void SetShape(TBevelShape v);
  TBevelStyle Style() const { return FStyle; }
  void SetStyle(TBevelStyle v);

 private:
  void Apply();
  TBevelShape FShape = bsBox;
  TBevelStyle FStyle = bsLoweredBevel;
};

// A container whose children scroll when they do not fit.
class TScrollBox : public TWinControl {
 public:
  explicit TScrollBox(TComponent* AOwner);
  QScrollArea* Area() const;

 protected:
  QWidget* ClientWidget() const override { return FClient; }
  void BoundsChanged() override;

 private:
  QWidget* FClient;
};
