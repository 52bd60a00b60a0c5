// Application services that the libraries and the program call without knowing the UI:
// message boxes, the message loop (pending messages, termination), key-downs sent to a window
// by handle, the run-time library loader, and the registry of the application's data modules
// and forms.
//
// One process-wide registry holds one implementation of each service. The UI layer installs
// the real ones when the program starts; tests install the recording fakes of FakeServices.h.
// Until something is installed, defaults stand in: message boxes go to stderr and answer the
// cautious button (OK for MB_OK, otherwise Cancel / No / Abort), the loop services do nothing
// but keep the terminate flag, and the loader is the dlopen loader.
//
// Texts are code page 949 bytes. GUI thread only, like everything the services reach.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

class TComponent;

// ---- Message boxes ----------------------------------------------------------------------

// Buttons, icons and default button, or'ed together, with the values of the Windows API so
// that stored or computed flags mean the same.
enum : unsigned {
  MB_OK = 0x0000,
  MB_OKCANCEL = 0x0001,
  MB_ABORTRETRYIGNORE = 0x0002,
  MB_YESNOCANCEL = 0x0003,
  MB_YESNO = 0x0004,
  MB_RETRYCANCEL = 0x0005,
  MB_ICONHAND = 0x0010,
  MB_ICONERROR = 0x0010,
  MB_ICONSTOP = 0x0010,
  MB_ICONQUESTION = 0x0020,
  MB_ICONEXCLAMATION = 0x0030,
  MB_ICONWARNING = 0x0030,
  MB_ICONASTERISK = 0x0040,
  MB_ICONINFORMATION = 0x0040,
  MB_DEFBUTTON1 = 0x0000,
  MB_DEFBUTTON2 = 0x0100,
  MB_DEFBUTTON3 = 0x0200,
  MB_APPLMODAL = 0x0000,
  MB_SYSTEMMODAL = 0x1000,
  MB_TASKMODAL = 0x2000,
  MB_TYPEMASK = 0x000F,
  MB_ICONMASK = 0x00F0,
  MB_DEFMASK = 0x0F00,
};

// Answers.
enum : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

class IMessageBoxService {
 public:
  virtual ~IMessageBoxService();
  // Shows Text under Caption with the buttons and icon of Flags, modally; returns the answer.
  virtual int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) = 0;
};

// The answer a box gives when nobody can answer it: the button that changes nothing.
int CautiousAnswer(unsigned Flags);

// ---- Message loop -----------------------------------------------------------------------

class IMessageLoopService {
 public:
  virtual ~IMessageLoopService();
  // Runs the messages that are waiting (repaints, timers), then returns.
  virtual void ProcessMessages() = 0;
  // Asks the loop to end after the current message. The registry has already set the flag.
  virtual void Terminate() = 0;
};

// ---- Library loader ---------------------------------------------------------------------

using TLibHandle = void*;

class ILibraryLoader {
 public:
  virtual ~ILibraryLoader();
  // Loads the library of that name; nullptr when it cannot be loaded.
  virtual TLibHandle Open(const std::string& Name) = 0;
  // The address of an exported name; nullptr when the library does not export it.
  virtual void* Symbol(TLibHandle Handle, const std::string& Name) = 0;
  virtual void Close(TLibHandle Handle) = 0;
  // Why the last Open or Symbol failed, for diagnostics.
  virtual std::string LastError() const { return std::string(); }
};

// "XBENG61.DLL" -> "libxbeng61.so": lower-case name without ".dll", "lib" prefix, ".so".
// A name that is already a shared-object name ("libm.so.6") or holds a '/' is kept.
std::string MapLibraryName(const std::string& Name);

// The folder of the running program (from /proc/self/exe), with a trailing '/'.
std::string ProgramFolder();

// The program's loader: dlopen of the mapped name in each folder of Folders, in order, then
// (when SystemSearch) by the system's search.
class TDlLibraryLoader : public ILibraryLoader {
 public:
  TDlLibraryLoader();  // the program's folder, then the system
  TDlLibraryLoader(std::vector<std::string> Folders, bool SystemSearch);
  TLibHandle Open(const std::string& Name) override;
  void* Symbol(TLibHandle Handle, const std::string& Name) override;
  void Close(TLibHandle Handle) override;
  std::string LastError() const override { return FLastError; }

 private:
  std::vector<std::string> FFolders;
  bool FSystemSearch;
  std::string FLastError;
};

// ---- Screen cursor ------------------------------------------------------------------------

// The cursor shown over the whole application, in the class library's cursor numbers (0: each
// control shows its own). The UI layer installs the one that changes the real screen; until
// then the number is only kept, so the layers without Qt can switch it all the same.
class IScreenCursorService {
 public:
  virtual ~IScreenCursorService();
  virtual int Cursor() const = 0;
  virtual void SetCursor(int Cursor) = 0;
};

// ---- Registry -----------------------------------------------------------------------------
// Each setter installs an implementation (nullptr restores the default) and returns the one
// it replaced, so a test can put it back. The registry never owns what is installed.

IMessageBoxService* SetMessageBoxService(IMessageBoxService* Service);
IMessageLoopService* SetMessageLoopService(IMessageLoopService* Service);
ILibraryLoader* SetLibraryLoader(ILibraryLoader* Loader);
IScreenCursorService* SetScreenCursorService(IScreenCursorService* Service);

IMessageBoxService& MessageBoxService();
IMessageLoopService& MessageLoopService();
ILibraryLoader& LibraryLoader();

// Shortcuts through the installed services.
int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags);
// An OK box under the application title.
void ShowMessage(const std::string& Text);
// The caption of the library's error boxes, in the program's language ("오류").
std::string ErrorCaption();
void ProcessMessages();
int ScreenCursor();
void SetScreenCursor(int Cursor);

// ---- Key-downs sent to a window -----------------------------------------------------------
// The engine reports the progress of a long operation as key-downs for the window it was
// hooked to, while it works. SendKeyDown hands such a key to the installed receiver at once
// and returns when the window's handlers are done with it; the UI layer installs the receiver
// that delivers it to the window's key handling. Without a receiver the key goes nowhere.
// SetKeyDownReceiver returns the receiver it replaced (nullptr: none), so a test can wrap it.
using TKeyDownReceiver = std::function<void(intptr_t Window, uint16_t Key)>;
TKeyDownReceiver SetKeyDownReceiver(TKeyDownReceiver Receiver);
void SendKeyDown(intptr_t Window, uint16_t Key);

// Termination: RequestTerminate sets the flag and tells the loop; the flag stays set until
// ResetTerminate (for tests).
void RequestTerminate();
bool TerminateRequested();
void ResetTerminate();

// The application title ("" until the program sets it); captions of the library's boxes.
const std::string& ApplicationTitle();
void SetApplicationTitle(const std::string& Title);

// ---- Exceptions that reach the message loop ---------------------------------------------

// The text a message box shows for the exception: its message, with a full stop added when
// it ends in a letter or digit (a two-byte character counts as a letter); an exception without
// a message is named by its class. Empty for EAbort, which is silent.
std::string ExceptionMessageText(const std::exception& E);
// Shows ExceptionMessageText in an error box under the application title, unless it is empty.
void ShowException(const std::exception& E);
// For the loop's catch (...): shows the exception in flight (or "Unknown exception") through
// the installed OnException handler, or ShowException when there is none. Never throws.
void HandleException();
// Replaces the exception handler; nullptr restores the message box. Returns the previous one.
using TExceptionHandler = std::function<void(const std::exception&)>;
TExceptionHandler SetExceptionHandler(TExceptionHandler Handler);

// ---- Data modules and forms ---------------------------------------------------------------
// The application's data modules in creation order and its forms in the screen's order;
// component searches walk data modules first, then forms. A registered component leaves the
// list by itself when it is destroyed.

void RegisterDataModule(TComponent* Module);
void UnregisterDataModule(TComponent* Module);
int DataModuleCount();
TComponent* DataModules(int Index);

void RegisterForm(TComponent* Form);
void UnregisterForm(TComponent* Form);
// The screen's order changes with activation: the UI layer moves a form to a new position.
void MoveForm(TComponent* Form, int NewIndex);
int FormCount();
TComponent* Forms(int Index);
