// Menus: menu items (a tree) and the pop-up menu, over QMenu / QAction.
//
// A TMenuItem owns its sub-items (deleting an item deletes them). A caption of "-" makes a
// separator; "&" marks the accelerator as in the class library. A TPopupMenu opens on a
// right click of a control whose PopupMenu it is while AutoPopup is on; OnPopup runs before it
// shows (handlers enable and disable items there). Popup blocks until the menu closes, like
// the system menu it stands in for; tests call Items(i)->Click() instead.
#pragma once

#include <string>
#include <vector>

#include "platform/core/Classes.h"

class QAction;
class QMenu;
class TControl;

// Shortcut value: the virtual key in the low byte with scShift / scCtrl / scAlt.
using TShortCut = uint16_t;
enum : uint16_t { scShift = 0x2000, scCtrl = 0x4000, scAlt = 0x8000, scNone = 0 };

class TMenuItem : public TComponent {
 public:
  explicit TMenuItem(TComponent* AOwner);
  ~TMenuItem() override;

  std::string Caption() const { return FCaption; }
  void SetCaption(const std::string& v);
  bool Checked() const { return FChecked; }
  void SetChecked(bool v);
  bool Enabled() const { return FEnabled; }
  void SetEnabled(bool v);
  bool Visible() const { return FVisible; }
  void SetVisible(bool v);
  TShortCut ShortCut() const { return FShortCut; }
  void SetShortCut(TShortCut v);
  bool RadioItem = false;

  // Sub-items.
  int Count() const { return static_cast<int>(FItems.size()); }
  TMenuItem* Items(int Index) const;
  void Add(TMenuItem* Item);
  void Insert(int Index, TMenuItem* Item);
  void Remove(TMenuItem* Item);
  int IndexOf(const TMenuItem* Item) const;
  TMenuItem* Parent() const { return FParent; }
  bool IsLine() const { return FCaption == "-"; }

  // Fires OnClick (as choosing the item does).
  virtual void Click();
  TNotifyEvent OnClick;

  QAction* Action() const { return FAction; }
  // The sub-menu of an item with sub-items (built when first needed).
  QMenu* SubMenu();

 private:
  void Sync();
  std::string FCaption;
  bool FChecked = false;
  bool FEnabled = true;
  bool FVisible = true;
  TShortCut FShortCut = 0;
  TMenuItem* FParent = nullptr;
  std::vector<TMenuItem*> FItems;
  QAction* FAction = nullptr;
  QMenu* FSubMenu = nullptr;
};

class TPopupMenu : public TComponent {
 public:
  explicit TPopupMenu(TComponent* AOwner);
  ~TPopupMenu() override;

  // The root item; its sub-items are the menu.
  TMenuItem* Items() const { return FItems; }
  bool AutoPopup() const { return FAutoPopup; }
  void SetAutoPopup(bool v) { FAutoPopup = v; }
  // The control whose right click opened the menu last.
  TControl* PopupComponent = nullptr;

  // Runs OnPopup, then shows the menu at screen point (X, Y) until it closes.
  virtual void Popup(int X, int Y);
  TNotifyEvent OnPopup;

 private:
  TMenuItem* FItems;
  bool FAutoPopup = true;
};

// Builds a shortcut from a key and a shift state (ssShift / ssCtrl / ssAlt).
TShortCut ShortCut(uint16_t Key, unsigned Shift);
