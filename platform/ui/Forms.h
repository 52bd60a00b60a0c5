// Forms, the application object and the screen.
//
// TCustomForm is a top-level window. Its life: constructed (controls created), then
// AfterConstruction fires OnCreate (TApplication::CreateForm does this); Show fires OnShow and
// makes it the active form (OnActivate; the form it replaces gets OnDeactivate); Close asks
// OnCloseQuery, then OnClose with an action (hide by default; caNone keeps the form open;
// closing the main form with any other action ends the application). ShowModal runs the message loop until ModalResult is set (a button with a
// ModalResult, Close, or the program), then closes the form as Close does and returns the
// result; a close that OnCloseQuery refuses keeps the dialog open. Forms register themselves
// with the core's form registry, so component searches find them.
//
// A form of the program is a class derived from TForm that makes its controls in its
// constructor (owner: the form; parent: the form or a panel on it) and assigns its handlers:
//
//   class TFindForm : public TForm {
//    public:
//     explicit TFindForm(TComponent* AOwner) : TForm(AOwner) {
//       SetName("FindForm");
//       Edit0 = new TEdit(this);
//       Edit0->SetParent(this);
//       OnCreate = [this](TObject* Sender) { FormCreate(Sender); };
//     }
//     TEdit* Edit0;
//     void FormCreate(TObject* Sender);
//   };
//   Application->CreateForm(FindForm);   // constructs, then OnCreate
//
// TApplication runs the message loop: an exception that a handler raises is shown through the
// core's HandleException and the loop goes on. It creates the Qt application object when none
// exists and installs the Qt services (message boxes, message loop, keys sent to a window).
//
// GUI thread only.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/ui/Controls.h"

class QApplication;
class TButton;
class TCanvas;
class TControlCanvas;


enum TWindowState { wsNormal, wsMinimized, wsMaximized };
enum TFormBorderStyle { bsNone, bsSingle, bsSizeable, bsDialog, bsToolWindow, bsSizeToolWin };
// (The system's "default position" choices are left out: the window manager places every
// new window anyway, and the report components' orientation names keep poDefault.)
enum TPosition { poDesigned, poScreenCenter, poMainFormCenter };
enum TCloseAction { caNone, caHide, caFree, caMinimize };
// The caption's buttons, a set.
using TBorderIcons = unsigned;
enum : unsigned { biSystemMenu = 1u << 0, biMinimize = 1u << 1, biMaximize = 1u << 2, biHelp = 1u << 3 };

using TCloseQueryEvent = std::function<void(TObject* Sender, bool& CanClose)>;
using TCloseEvent = std::function<void(TObject* Sender, TCloseAction& Action)>;

class TCustomForm : public TWinControl {
 public:
  explicit TCustomForm(TComponent* AOwner);
  ~TCustomForm() override;

  // Fires OnCreate; called once after the derived constructor has built the form.
  virtual void AfterConstruction();

  TWindowState WindowState() const;
  void SetWindowState(TWindowState v);
  // Bounds are the outer bounds of the normal (not maximized) window; while the window is
  // maximized they are kept and take effect when it is normal again.
  void SetBounds(int ALeft, int ATop, int AWidth, int AHeight) override;
  TFormBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TFormBorderStyle v);
  TBorderIcons BorderIcons() const { return FBorderIcons; }
  void SetBorderIcons(TBorderIcons v);
  TPosition Position() const { return FPosition; }
  void SetPosition(TPosition v) { FPosition = v; }

  // The form sees keys before its controls.
  bool KeyPreview() const { return FKeyPreview; }
  void SetKeyPreview(bool v) { FKeyPreview = v; }

  // The control that has (or, while the form is hidden, will get) the focus.
  TWinControl* ActiveControl() const { return FActiveControl; }
  void SetActiveControl(TWinControl* c);

  TModalResult ModalResult() const { return FModalResult; }
  void SetModalResult(TModalResult v) { FModalResult = v; }
  bool Modal() const { return FModal; }
  // Shows the form modally; raises EInvalidOperation "Cannot make a visible window modal"
  // when it is already shown.
  virtual TModalResult ShowModal();
  void SetVisible(bool v) override;
  // Shows the form on top of the others without activating it, or hides it again: no
  // activation or show events run, and the active form keeps the focus. For a window that
  // only shows how a long operation advances. Does nothing to a form shown the usual way.
  void ShowInactive(bool v);
  // Asks OnCloseQuery; true when the form may close.
  virtual bool CloseQuery();
  void Close();
  // Activates the window (the form becomes the active form).
  void SetFocus() override;
  bool Active() const;

  // Moves the focus from CurControl to the next (or previous) control in tab order;
  // CheckTabStop skips controls whose TabStop is off.
  void SelectNext(TWinControl* CurControl, bool GoForward, bool CheckTabStop);
  // The next focusable control after CurControl in tab order, or nullptr.
  TWinControl* FindNextControl(TWinControl* CurControl, bool GoForward, bool CheckTabStop) const;
  // The dialogs' Enter rule, for their OnKeyPress: Enter in an edit or a combo box moves the
  // focus to the next control and is swallowed; a focused button keeps its Enter (a click);
  // on other controls Enter passes to the Default button when the form has one shown and
  // enabled, else it moves on too. Other keys pass.
  void EnterMovesToNextControl(char& Key);
  // The frame of a fixed dialog: named and captioned, centred on the screen, with a dialog
  // border, keys seen by the form first, Width x Height.
  void SetUpDialog(const std::string& Name, const std::string& Caption, int Width, int Height);

  // Drawing on the form at any time; OnPaint draws when it repaints (controls stay on top).
  TCanvas& Canvas();
  TNotifyEvent OnPaint;

  TNotifyEvent OnCreate;
  TNotifyEvent OnDestroy;
  TNotifyEvent OnShow;
  TNotifyEvent OnHide;
  TNotifyEvent OnActivate;
  TNotifyEvent OnDeactivate;
  TCloseQueryEvent OnCloseQuery;
  TCloseEvent OnClose;

 protected:
  virtual void DoShow();
  virtual void DoHide();
  virtual void Activate();
  virtual void Deactivate();
  virtual void DoClose(TCloseAction& Action);
  void ColorChanged() override;
  void BoundsChanged() override;

 private:
  friend class TControl;
  friend class TWinControl;
  friend class TScreen;
  friend class ControlEventFilter;
  friend class FormWidget;
  void FocusChanged(TWinControl* c);
  void ControlDestroying(TWinControl* c);
  // Enter / Esc that nobody swallowed: the focused button, the Default or the Cancel button.
  bool DialogKey(uint16_t Key, TWinControl* Source);
  // The first shown and enabled button marked Default (or, with Default off, Cancel), or
  // nullptr.
  TButton* DialogButton(bool Default) const;
  void FocusFirst();
  void CloseModal();
  void CollectTabOrder(const TWinControl* parent, std::vector<TWinControl*>& out) const;
  void ApplyPosition();
  void ApplyWindowFlags();

  TWindowState FWindowState = wsNormal;
  TFormBorderStyle FBorderStyle = bsSizeable;
  TBorderIcons FBorderIcons = biSystemMenu | biMinimize | biMaximize;
  TPosition FPosition = poDesigned;
  bool FKeyPreview = false;
  bool FModal = false;
  bool FShownOnce = false;
  bool FShownInactive = false;
  bool FCreated = false;
  TModalResult FModalResult = mrNone;
  TWinControl* FActiveControl = nullptr;
  TWinControl* FFocusedControl = nullptr;
  std::unique_ptr<TControlCanvas> FCanvas;
  struct { int Left = 0, Top = 0, Width = 0, Height = 0; bool Set = false; } FNormalBounds;
  bool FApplyingBounds = false;
  void ApplyNormalBounds();
  // A window shown before the window manager has put its frame round it was placed and sized
  // as if it had none; once the frame is there the bounds are applied again, so the frame
  // stands where the bounds say, at their size. Until then the window system's moves are not
  // the user's and leave the bounds alone.
  void AwaitFrame();
  void CheckFrame(int Round);
  bool FAwaitingFrame = false;
};

// For tests: a hook that runs in place of the modal loop. ShowModal shows the form (OnShow,
// OnActivate), then calls the hook with it; the hook drives the dialog (clicks its buttons,
// fills its edits) and returns. A dialog the hook left without a ModalResult ends with
// mrCancel; OnCloseQuery and OnClose run as after a real loop (a refused close ends it with
// mrCancel all the same, since nobody is left to answer). nullptr: the real loop.
using TModalHook = std::function<void(TCustomForm* Form)>;
TModalHook SetModalHook(TModalHook Hook);

class TForm : public TCustomForm {
 public:
  explicit TForm(TComponent* AOwner) : TCustomForm(AOwner) {}
};

// ---- Application ----------------------------------------------------------------------------

class TApplication : public TComponent {
 public:
  // Creates the Qt application when none exists yet (argc/argv may then be omitted) and
  // installs the Qt services. One per process; sets the global Application and Screen.
  TApplication(int argc = 0, char** argv = nullptr);
  ~TApplication() override;

  const std::string& Title() const;
  void SetTitle(const std::string& v);

  TCustomForm* MainForm() const { return FMainForm; }

  // Creates a form owned by the application; the first one becomes the main form.
  template <class T>
  void CreateForm(T*& Reference) {
    Reference = new T(this);
    if (!FMainForm) FMainForm = Reference;
    Reference->AfterConstruction();
  }

  // Shows the main form and runs the loop until Terminate (closing the main form).
  void Run();
  // Runs what is waiting, then returns.
  void ProcessMessages();
  // Waits for messages and runs them (one turn of the loop).
  void HandleMessage();
  void Terminate();
  bool Terminated() const;
  // Shows the exception in flight (for a catch (...)).
  void HandleException();

  int HintPause() const { return FHintPause; }
  void SetHintPause(int v) { FHintPause = v; }
  std::string ExeName() const;

 private:
  friend class TCustomForm;
  std::string FTitle;
  TCustomForm* FMainForm = nullptr;
  QApplication* FOwnedQApp = nullptr;
  int FHintPause = 500;
};

// ---- Screen -------------------------------------------------------------------------------

class TScreen : public TComponent {
 public:
  explicit TScreen(TComponent* AOwner);

  // crDefault restores the controls' own cursors; any other cursor overrides them all.
  TCursor Cursor() const { return FCursor; }
  void SetCursor(TCursor v);

  int FormCount() const;
  TCustomForm* Forms(int Index) const;
  TCustomForm* ActiveForm() const { return FActiveForm; }
  TWinControl* ActiveControl() const;

  int Width() const;
  int Height() const;
  int PixelsPerInch() const { return ScreenPixelsPerInch; }

 private:
  friend class TCustomForm;
  friend class FormWidget;
  // Makes f the active form: the old one gets OnDeactivate, f OnActivate.
  void SetActiveForm(TCustomForm* f);
  void FormHidden(TCustomForm* f);
  void FormDestroying(TCustomForm* f);

  TCursor FCursor = crDefault;
  bool FOverriding = false;
  TCustomForm* FActiveForm = nullptr;
};

extern TApplication* Application;
extern TScreen* Screen;
