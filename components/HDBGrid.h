// The Hangul data grid: a data grid whose cells take Korean input-method composition. The
// first syllable composed on a grid that is not editing opens the cell editor, and the
// composition goes on in the editor, drawn inline in the cell (the editor asks the input
// method not to show a composition window of its own).
//
// The cell editor THDBGridInplaceEdit has four edit styles: simple, an ellipsis button
// (Ctrl+Enter or the button runs the grid's OnEditButtonClick), a pick list (the column's
// pick list), and a data list (a lookup field's values). Lists drop down as THPopupListBox, a
// top-level tool window under the cell that searches its items by the letters typed.
//
// The layer's grid has no column objects, so the pick list, drop-down rows and button of a
// column are kept by field name in ColumnEditing. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "components/IMEControl.h"
#include "platform/core/Variant.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/StdCtrls.h"

class THDBGrid;
class THDBGridInplaceEdit;
class QWidget;

enum THEditStyle { esSimple = 0, esEllipsis = 1, esPickList = 2, esDataList = 3 };

// The drop-down list: a top-level window with a border, searching by typed letters.
class THPopupListBox : public TListBox {
 public:
  explicit THPopupListBox(TComponent* AOwner);

  const std::string& SearchText() const { return FSearchText; }
  // The editor that the list belongs to (it closes the list on a mouse release).
  THDBGridInplaceEdit* Editor = nullptr;
  // Milliseconds of a steady clock; tests replace it to tell quick keys from a pause.
  static std::function<uint64_t()> TickCount;

  // Screen position and size of the pop-up window.
  void Place(int ScreenX, int ScreenY, int AWidth, int AHeight);
  void Popup();
  void Close();
  bool PoppedUp() const;

  // Key press: Backspace or Esc clears the search; a character 32..255 extends the search
  // (a new one after 2000 ms without keys) and selects the first item starting with it.
  void KeyPress(char& Key) override;

 protected:
  void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y) override;

 private:
  std::string FSearchText;
  uint64_t FSearchTime = 0;
};

class THDBGridInplaceEdit : public TInplaceEdit {
 public:
  explicit THDBGridInplaceEdit(THDBGrid* AGrid);
  ~THDBGridInplaceEdit() override;

  THDBGrid* HGrid() const { return FHGrid; }
  THEditStyle EditStyle() const { return FEditStyle; }
  // Width of the button at the right edge (the system's vertical scroll-bar width).
  int ButtonWidth() const { return FButtonWidth; }
  // The list of the current style (pick list or lookup list), shown or not.
  THPopupListBox* ActiveList() const { return FActiveList; }
  THPopupListBox* PickList() const { return FPickList; }
  THPopupListBox* DataList() const { return FDataList; }
  bool ListVisible() const { return FListVisible; }

  void DropDown();
  // Closes the list; Accept writes the choice into the field.
  void CloseUp(bool Accept);
  // Re-reads the edit style from the current column.
  void UpdateContents();

  // The editor's handling of an input-method message; true when it is passed on.
  virtual bool ImeMessage(TImeMessage& Message);

 protected:
  void KeyDown(uint16_t& Key, TShiftState Shift) override;
  void KeyPress(char& Key) override;
  void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y) override;
  void BoundsChanged() override;
  bool WidgetEvent(QObject* watched, QEvent* e) override;

 private:
  friend class THPopupListBox;
  // Space, Alt+Up / Alt+Down, Enter and Esc of a list style; Key is 0 when used.
  void DoDropDownKeys(uint16_t& Key, TShiftState Shift);
  // A moving key for the shown list; false for other keys.
  bool ListKey(uint16_t Key);
  bool InButton(int X, int Y) const;
  void FillDataList(TField* Field);

  THDBGrid* FHGrid;
  int FButtonWidth;
  THEditStyle FEditStyle = esSimple;
  THPopupListBox* FPickList = nullptr;
  THPopupListBox* FDataList = nullptr;
  THPopupListBox* FActiveList = nullptr;
  std::vector<Variant> FDataKeys;  // the lookup key of each data-list row
  bool FListVisible = false;
  bool FPressed = false;
  bool FMouseInButton = false;
  QWidget* FButton = nullptr;
};

class THDBGrid : public TDBGrid {
 public:
  explicit THDBGrid(TComponent* AOwner);

  struct TColumnEditing {
    TStringList PickList;
    int DropDownRows = 7;
    bool EllipsisButton = false;
  };
  // The editing choices of the column of that field (made on first use).
  TColumnEditing& ColumnEditing(const std::string& FieldName);
  const TColumnEditing* FindColumnEditing(const TField* Field) const;

  // The input method the grid asks for ("한국어(한글)" on the program's forms); stored.
  std::string ImeName;
  TNotifyEvent OnEditButtonClick;
  void EditButtonClick();

  THDBGridInplaceEdit* HEditor() const;

  // The grid's handling of an input-method message (a composition on a grid that is not
  // editing hands the composition to the cell editor).
  virtual void ImeMessage(TImeMessage& Message);

 protected:
  TInplaceEdit* CreateEditor() override;
  bool WidgetEvent(QObject* watched, QEvent* e) override;

 private:
  void CompositionHandOver(uint32_t Flags);
  std::map<std::string, std::unique_ptr<TColumnEditing>> FColumnEditing;
};

// The class registry that forms find component classes in; the grid's unit registers its
// editor and list classes at start-up.
using TComponentFactory = std::function<TComponent*(TComponent* Owner)>;
void RegisterComponentClass(const std::string& ClassName, TComponentFactory Factory);
TComponentFactory FindComponentClass(const std::string& ClassName);
