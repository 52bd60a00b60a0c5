// Menu items and pop-up menus over QMenu / QAction.
#include "platform/ui/Menus.h"

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <algorithm>

#include "platform/ui/Controls.h"
#include "platform/ui/QtText.h"

namespace {

QKeySequence ToSequence(TShortCut s) {
  if (!s) return QKeySequence();
  int key = s & 0xFF;
  int qt = 0;
  if (key >= 'A' && key <= 'Z') qt = Qt::Key_A + (key - 'A');
  else if (key >= '0' && key <= '9') qt = Qt::Key_0 + (key - '0');
  else if (key >= VK_F1 && key <= VK_F12) qt = Qt::Key_F1 + (key - VK_F1);
  else if (key == VK_DELETE) qt = Qt::Key_Delete;
  else if (key == VK_INSERT) qt = Qt::Key_Insert;
  else if (key == VK_RETURN) qt = Qt::Key_Return;
  else return QKeySequence();
  int mods = 0;
  if (s & scShift) mods |= Qt::SHIFT;
  if (s & scCtrl) mods |= Qt::CTRL;
  if (s & scAlt) mods |= Qt::ALT;
  return QKeySequence(qt | mods);
}

}  // namespace

TShortCut ShortCut(uint16_t Key, unsigned Shift) {
  TShortCut s = Key & 0xFF;
  if (Shift & ssShift) s |= scShift;
  if (Shift & ssCtrl) s |= scCtrl;
  if (Shift & ssAlt) s |= scAlt;
  return s;
}

TMenuItem::TMenuItem(TComponent* AOwner) : TComponent(AOwner), FAction(new QAction) {
  QObject::connect(FAction, &QAction::triggered, [this] { SafeCall([this] { Click(); }); });
}

TMenuItem::~TMenuItem() {
  if (FParent) FParent->Remove(this);
  while (!FItems.empty()) {
    TMenuItem* last = FItems.back();
    if (last->Owner() == nullptr || last->Owner() == this) {
      delete last;  // removes itself from FItems
    } else {
      Remove(last);
    }
  }
  delete FSubMenu;
  delete FAction;
}

void TMenuItem::Sync() {
  // A line is drawn as the separator alone: a separator with a text would show it ("-").
  FAction->setSeparator(IsLine());
  FAction->setText(IsLine() ? QString() : orv::ToQ(FCaption));
  FAction->setCheckable(FChecked || RadioItem);
  FAction->setChecked(FChecked);
  FAction->setEnabled(FEnabled);
  FAction->setVisible(FVisible);
  FAction->setShortcut(ToSequence(FShortCut));
}

void TMenuItem::SetCaption(const std::string& v) { FCaption = v; Sync(); }
void TMenuItem::SetChecked(bool v) { FChecked = v; Sync(); }
void TMenuItem::SetEnabled(bool v) { FEnabled = v; Sync(); }
void TMenuItem::SetVisible(bool v) { FVisible = v; Sync(); }
void TMenuItem::SetShortCut(TShortCut v) { FShortCut = v; Sync(); }

TMenuItem* TMenuItem::Items(int Index) const {
  if (Index < 0 || Index >= Count()) throw EListError(Format("List index out of bounds (%d)", Index));
  return FItems[static_cast<size_t>(Index)];
}

void TMenuItem::Add(TMenuItem* Item) { Insert(Count(), Item); }

void TMenuItem::Insert(int Index, TMenuItem* Item) {
  if (Item->FParent) throw EInvalidOperation("Menu inserted twice");
  Index = std::clamp(Index, 0, Count());
  FItems.insert(FItems.begin() + Index, Item);
  Item->FParent = this;
  QMenu* m = SubMenu();
  QAction* before = Index + 1 < Count() ? FItems[static_cast<size_t>(Index) + 1]->FAction : nullptr;
  m->insertAction(before, Item->FAction);
}

void TMenuItem::Remove(TMenuItem* Item) {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  if (it == FItems.end()) return;
  FItems.erase(it);
  Item->FParent = nullptr;
  if (FSubMenu) FSubMenu->removeAction(Item->FAction);
}

int TMenuItem::IndexOf(const TMenuItem* Item) const {
  auto it = std::find(FItems.begin(), FItems.end(), Item);
  return it == FItems.end() ? -1 : static_cast<int>(it - FItems.begin());
}

QMenu* TMenuItem::SubMenu() {
  if (!FSubMenu) {
    FSubMenu = new QMenu;
    FAction->setMenu(FSubMenu);
  }
  return FSubMenu;
}

void TMenuItem::Click() {
  if (!FEnabled) return;
  if (OnClick) OnClick(this);
}

TPopupMenu::TPopupMenu(TComponent* AOwner) : TComponent(AOwner), FItems(new TMenuItem(nullptr)) {}

TPopupMenu::~TPopupMenu() { delete FItems; }

void TPopupMenu::Popup(int X, int Y) {
  if (OnPopup) OnPopup(this);
  FItems->SubMenu()->exec(QPoint(X, Y));
}
