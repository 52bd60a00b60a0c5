// The control base of the class library over Qt Widgets.
//
// TControl is a component that owns one QWidget (its Widget()); TWinControl adds focus, tab
// order, child controls and key events; TGraphicControl is a control that never takes the
// focus (labels, speed buttons, gauges). Derived classes create their widget in their own
// constructor and hand it to the base constructor; the control deletes the widget with itself.
//
// Events arrive as the class library delivers them, whatever Qt does underneath:
// - Keys: a key press goes first to the form's OnKeyDown when the form's KeyPreview is on,
//   then to the focused control's OnKeyDown; a character then goes to the form's OnKeyPress
//   (KeyPreview) and the control's OnKeyPress, one key press per character whatever its code
//   page 949 byte count: Key is its first byte, PressedChar(Key) the whole character. A handler
//   that sets Key to 0 swallows the key: nothing later sees it and the widget does not act on
//   it; one that changes Key puts that byte in the character's place.
//   Tab and Shift+Tab move the focus in TabOrder (controls that do not want tabs); Enter and
//   Esc that nobody swallowed click the form's Default / Cancel button.
// - Focus: OnEnter / OnExit fire when the focus moves between controls of one form; switching
//   windows (a modal dialog, a popup menu) does not fire them, as the form remembers its
//   ActiveControl.
// - Mouse: OnMouseDown / OnMouseMove / OnMouseUp with client coordinates; OnClick after a left
//   press and release inside the control (buttons: their own click); OnDblClick. A control
//   that takes no double clicks (FDoubleClicks off) hears the second press of a double click
//   as a press of its own, so each press and release clicks.
// An exception that a handler raises is shown through the application's exception handling
// and the loop goes on; it never unwinds through Qt.
//
// Text properties are code page 949 bytes; they cross into Qt through the one conversion.
// GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/gfx/Graphics.h"
#include "platform/ui/VirtualKeys.h"

class QWidget;
class QEvent;
class QKeyEvent;
class QObject;
class TWinControl;
class TCustomForm;
class TPopupMenu;
class TBitmap;
struct TPoint;

// Modal results (the message-box answers share the values).
enum : int {
  mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5, mrYes = 6,
  mrNo = 7, mrAll = 8,
};
using TModalResult = int;

enum TMouseButton { mbLeft, mbRight, mbMiddle };
enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

// Cursor identities.
using TCursor = int;
enum : int {
  crDefault = 0, crNone = -1, crArrow = -2, crCross = -3, crIBeam = -4, crSizeNESW = -6,
  crSizeNS = -7, crSizeNWSE = -8, crSizeWE = -9, crUpArrow = -10, crHourGlass = -11,
  crDrag = -12, crNoDrop = -13, crHSplit = -14, crVSplit = -15, crMultiDrag = -16,
  crSQLWait = -17, crNo = -18, crAppStart = -19, crHelp = -20, crHandPoint = -21,
  crSizeAll = -22,
};

// The screen's table of the program's own cursors (numbers above 0): a picture, black where
// Picture is black and white elsewhere, drawn where Mask is black, with its hot spot. A control
// or the screen whose Cursor is such a number shows it; registering a number again replaces
// its picture. May be called before the application object exists (start-up registrations).
void SetScreenCursor(TCursor Cursor, const TBitmap& Picture, const TBitmap& Mask, const TPoint& HotSpot);

using TKeyEvent = std::function<void(TObject* Sender, uint16_t& Key, TShiftState Shift)>;
using TKeyPressEvent = std::function<void(TObject* Sender, char& Key)>;
using TMouseEvent =
    std::function<void(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y)>;
using TMouseMoveEvent = std::function<void(TObject* Sender, TShiftState Shift, int X, int Y)>;

// Runs a handler at a Qt boundary: an exception goes to the application's exception
// handling (a message box) and is not rethrown.
void SafeCall(const std::function<void()>& f);

class TControl : public TComponent {
 public:
  ~TControl() override;

  // The Qt widget; for the Qt side of the layer.
  QWidget* Widget() const { return FWidget; }

  TWinControl* Parent() const { return FParent; }
  virtual void SetParent(TWinControl* AParent);
  // The form this control stands on (itself for a form), or nullptr.
  TCustomForm* ParentForm() const;

  int Left() const;
  int Top() const;
  int Width() const;
  int Height() const;
  void SetLeft(int v);
  void SetTop(int v);
  void SetWidth(int v);
  void SetHeight(int v);
  virtual void SetBounds(int ALeft, int ATop, int AWidth, int AHeight);
  int ClientWidth() const;
  int ClientHeight() const;
  void SetClientWidth(int v);
  void SetClientHeight(int v);

  TAlign Align() const { return FAlign; }
  void SetAlign(TAlign v);

  // Visible is the control's own flag; Showing is whether it and all its parents are shown.
  bool Visible() const { return FVisible; }
  virtual void SetVisible(bool v);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Showing() const;
  bool Enabled() const { return FEnabled; }
  virtual void SetEnabled(bool v);

  // The control's font; changing it applies at once. ParentFont (on by default) follows the
  // parent's font until the control's own font is set.
  TFont& Font() { return FFont; }
  const TFont& Font() const { return FFont; }
  void SetFont(const TFont& f);
  bool ParentFont() const { return FParentFont; }
  void SetParentFont(bool v);

  TColor Color() const { return FColor; }
  virtual void SetColor(TColor v);

  const std::string& Hint() const { return FHint; }
  void SetHint(const std::string& v);
  bool ShowHint() const { return FShowHint; }
  void SetShowHint(bool v);

  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor v);

  // Caption and Text are one property, as in the class library.
  virtual std::string Text() const;
  virtual void SetText(const std::string& v);
  std::string Caption() const { return Text(); }
  void SetCaption(const std::string& v) { SetText(v); }

  TPopupMenu* PopupMenu() const { return FPopupMenu; }
  void SetPopupMenu(TPopupMenu* m);

  void BringToFront();
  void SendToBack();
  void Invalidate();
  void Repaint();
  void Update();

  // Points between client and screen coordinates.
  void ClientToScreen(int x, int y, int& sx, int& sy) const;
  void ScreenToClient(int sx, int sy, int& x, int& y) const;

  // Fires OnClick (buttons call it when clicked; Click() from the program does the same).
  virtual void Click();

  TNotifyEvent OnClick;
  TNotifyEvent OnDblClick;
  TMouseEvent OnMouseDown;
  TMouseMoveEvent OnMouseMove;
  TMouseEvent OnMouseUp;
  TNotifyEvent OnResize;

  // The control a widget belongs to (also for inner widgets of compound controls).
  static TControl* FromWidget(const QObject* w);

 protected:
  TControl(TComponent* AOwner, QWidget* AWidget);
  void Notification(TComponent* AComponent, TOperation Operation) override;

  // Inner widgets that receive input for this control (a scroll area's viewport, a combo
  // box's line edit) are watched as the control itself.
  void WatchInner(QWidget* inner);

  // Overridables behind the events.
  virtual void DblClick();
  virtual void MouseDown(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void MouseMove(TShiftState Shift, int X, int Y);
  virtual void MouseUp(TMouseButton Button, TShiftState Shift, int X, int Y);
  virtual void Resize();
  // True for controls whose widget reports clicks itself (buttons); the generic
  // press-and-release click is then not made.
  virtual bool OwnClick() const { return false; }
  // The control style's double-click flag: off, a double click is two presses.
  bool FDoubleClicks = true;
  // The font or colour changed: apply them to the widget.
  virtual void FontChanged();
  virtual void ColorChanged();
  // Called after the widget's geometry changed (moves and resizes).
  virtual void BoundsChanged() {}

  // Qt-side event hook for derived controls: true to stop Qt from handling the event.
  virtual bool WidgetEvent(QObject* watched, QEvent* e) { return false; }

  TWinControl* FParent = nullptr;

 private:
  friend class TWinControl;
  friend class TCustomForm;
  friend class ControlEventFilter;
  void ApplyVisible();
  void ParentFontChanged();
  void ApplyFont();

  QWidget* FWidget = nullptr;
  TAlign FAlign = alNone;
  bool FVisible = true;
  bool FEnabled = true;
  bool FParentFont = true;
  bool FApplyingParentFont = false;
  TFont FFont;
  TColor FColor = clBtnFace;
  std::string FHint;
  bool FShowHint = false;
  TCursor FCursor = crDefault;
  TPopupMenu* FPopupMenu = nullptr;
  bool FLeftPressed = false;
};

class TWinControl : public TControl {
 public:
  ~TWinControl() override;

  // Child controls in the order they were put on this control.
  int ControlCount() const { return static_cast<int>(FControls.size()); }
  TControl* Controls(int Index) const;

  // Position among the siblings for Tab / Enter moves; -1 when not in the parent.
  int TabOrder() const;
  void SetTabOrder(int v);
  bool TabStop() const { return FTabStop; }
  void SetTabStop(bool v) { FTabStop = v; }

  // The window handle of this control for key-downs sent by handle (SendKeyDown); stays unique
  // while the control exists, and a key for a destroyed control is dropped.
  intptr_t Handle() const { return reinterpret_cast<intptr_t>(this); }
  static TWinControl* FromHandle(intptr_t h);

  // Gives this control the keyboard focus (and makes it its form's ActiveControl); raises
  // EInvalidOperation "Cannot focus a disabled or invisible window" when it cannot.
  virtual void SetFocus();
  bool Focused() const;
  virtual bool CanFocus() const;

  // Delivers a key-down as if typed: the form's preview, then OnKeyDown; returns the key
  // as the handlers left it (0 when swallowed). Used for keys sent by handle too.
  uint16_t PerformKeyDown(uint16_t Key, TShiftState Shift);

  // Re-lays out the aligned children (alTop ... alClient) in the client area.
  void Realign();

  TNotifyEvent OnEnter;
  TNotifyEvent OnExit;
  TKeyEvent OnKeyDown;
  TKeyEvent OnKeyUp;
  TKeyPressEvent OnKeyPress;

  // What a key press with Key types, in code page 949 bytes: the whole character being
  // pressed while Key is still its first byte, else Key alone.
  static std::string PressedChar(char Key);

 protected:
  TWinControl(TComponent* AOwner, QWidget* AWidget);

  // Overridables behind the key and focus events.
  virtual void KeyDown(uint16_t& Key, TShiftState Shift);
  virtual void KeyUp(uint16_t& Key, TShiftState Shift);
  virtual void KeyPress(char& Key);
  virtual void DoEnter();
  virtual void DoExit();
  // Controls that take Tab / Enter themselves (a memo with WantTabs, a multi-line editor).
  virtual bool WantTabs() const { return false; }
  virtual bool WantReturns() const { return false; }
  // The widget that takes the keyboard focus for this control.
  virtual QWidget* FocusWidget() const;
  // A key that the handlers left alone, before the widget acts on it: true when the control
  // handled it itself (the widget then does not see it).
  virtual bool DefaultKey(QKeyEvent* e) { return false; }
  // The widget that child controls are put on (a scroll box's inner area).
  virtual QWidget* ClientWidget() const { return Widget(); }
  void BoundsChanged() override;

 private:
  friend class TControl;
  friend class TCustomForm;
  friend class TScreen;
  friend class ControlEventFilter;
  void InsertControl(TControl* c);
  void RemoveControl(TControl* c);
  bool HandleKeyPress(QObject* watched, QEvent* e);

  std::vector<TControl*> FControls;
  bool FTabStop = true;
};

class TControlCanvas;
class TCanvas;

// A control that never takes the focus. Made with the plain constructor it is drawn by its
// Paint (Canvas is its picture, see-through where Paint draws nothing, so what lies behind
// shows, as for the class library's graphic controls); made with a widget it shows that.
class TGraphicControl : public TControl {
 public:
  ~TGraphicControl() override;
  // The drawing surface of a drawn control.
  TCanvas& Canvas();

 protected:
  explicit TGraphicControl(TComponent* AOwner);
  TGraphicControl(TComponent* AOwner, QWidget* AWidget);
  // Draws the control on Canvas when it repaints.
  virtual void Paint() {}

 private:
  friend class PaintWidget;
  std::unique_ptr<TControlCanvas> FCanvas;
};

// A focusable control on a plain widget that derived classes paint or fill themselves.
// A focusable control that the program paints: Canvas draws on it at any time, OnPaint runs
// when it repaints.
class TCustomControl : public TWinControl {
 public:
  explicit TCustomControl(TComponent* AOwner);
  ~TCustomControl() override;
  TCanvas& Canvas();
  TNotifyEvent OnPaint;

 protected:
  TCustomControl(TComponent* AOwner, QWidget* AWidget);
  // Draws the control on Canvas when it repaints; fires OnPaint.
  virtual void Paint();

 private:
  friend class PaintWidget;
  std::unique_ptr<TControlCanvas> FCanvas;
};

// A drawn area without focus.
class TPaintBox : public TGraphicControl {
 public:
  explicit TPaintBox(TComponent* AOwner);
  TNotifyEvent OnPaint;

 protected:
  void Paint() override;
};

// Creates a control of type T owned by Owner on Parent, with its name and bounds: the one
// way the forms lay out their controls in code.
template <class T>
T* CreateControl(TComponent* Owner, TWinControl* Parent, const char* Name, int Left, int Top, int Width,
                 int Height) {
  T* c = new T(Owner);
  c->SetName(Name);
  c->SetParent(Parent);
  c->SetBounds(Left, Top, Width, Height);
  return c;
}
