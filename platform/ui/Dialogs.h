// Common dialogs and message dialogs.
//
// Every dialog goes through a service interface, so tests answer them and nothing blocks on a
// real modal loop: message dialogs through the core's message-box service (Services.h), the
// input box, the open/save, font, folder and printer dialogs through IDialogService. The
// dialog components keep the rules of the class library themselves, whatever service answers:
// the default extension is added to a name without one, and a save dialog with
// ofOverwritePrompt asks before an existing file is chosen (No asks for another name).
//
// Texts and file names are code page 949 bytes. GUI thread only.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/gfx/Graphics.h"
#include "platform/ui/Controls.h"

// ---- Message dialogs ------------------------------------------------------------------------

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll,
                  mbYesToAll, mbHelp };

class TMsgDlgButtons {
 public:
  constexpr TMsgDlgButtons() = default;
  constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> l) {
    for (TMsgDlgBtn b : l) Bits |= 1u << static_cast<unsigned>(b);
  }
  constexpr bool Contains(TMsgDlgBtn b) const { return (Bits >> static_cast<unsigned>(b)) & 1u; }
  unsigned Bits = 0;
};

// A message box with the type's caption, in the program's language ("경고", "오류", "정보",
// "확인", or the application title for mtCustom), and icon; answers mrOk, mrYes, ... (the ID
// values).
int MessageDlg(const std::string& Msg, TMsgDlgType DlgType, TMsgDlgButtons Buttons, int HelpCtx);

// ---- The dialog service -------------------------------------------------------------------

struct TFileDialogRequest {
  bool Save = false;
  std::string Title;
  std::string InitialDir;
  std::string FileName;
  // "Text|*.TXT|All|*.*": description and pattern pairs.
  std::string Filter;
  int FilterIndex = 1;  // 1-based
  std::string DefaultExt;
  bool MustExist = false;
};

class IDialogService {
 public:
  virtual ~IDialogService();
  // Asks for one line of text; false when cancelled (Value unchanged).
  virtual bool InputQuery(const std::string& Caption, const std::string& Prompt,
                          std::string& Value) = 0;
  // Lets the user choose a file; on OK sets FileName (full path) and FilterIndex.
  virtual bool ChooseFile(TFileDialogRequest& Request) = 0;
  // Lets the user choose a font (name, size, style, colour); true on OK.
  virtual bool ChooseFont(TFont& Font) = 0;
  // Lets the user choose a folder, starting at Folder; true on OK.
  virtual bool ChooseFolder(const std::string& Caption, std::string& Folder) = 0;
  // The printer set-up dialog; true on OK.
  virtual bool PrinterSetup() = 0;
};

// Installs a dialog service (nullptr restores the Qt one); returns the previous one.
IDialogService* SetDialogService(IDialogService* Service);
IDialogService& DialogService();

// The Qt dialogs.
class TQtDialogService : public IDialogService {
 public:
  bool InputQuery(const std::string& Caption, const std::string& Prompt, std::string& Value) override;
  bool ChooseFile(TFileDialogRequest& Request) override;
  bool ChooseFont(TFont& Font) override;
  bool ChooseFolder(const std::string& Caption, std::string& Folder) override;
  // There is no printer set-up here yet: says so and answers Cancel.
  bool PrinterSetup() override;
};

std::string InputBox(const std::string& ACaption, const std::string& APrompt,
                     const std::string& ADefault);
bool InputQuery(const std::string& ACaption, const std::string& APrompt, std::string& Value);

// ---- Dialog components ----------------------------------------------------------------------

enum : unsigned {
  ofReadOnly = 1u << 0, ofOverwritePrompt = 1u << 1, ofHideReadOnly = 1u << 2,
  ofNoChangeDir = 1u << 3, ofShowHelp = 1u << 4, ofNoValidate = 1u << 5,
  ofAllowMultiSelect = 1u << 6, ofExtensionDifferent = 1u << 7, ofPathMustExist = 1u << 8,
  ofFileMustExist = 1u << 9, ofCreatePrompt = 1u << 10,
};
using TOpenOptions = unsigned;

class TOpenDialog : public TComponent {
 public:
  explicit TOpenDialog(TComponent* AOwner) : TComponent(AOwner) {}
  // Shows the dialog; true when a file was chosen (FileName holds it).
  virtual bool Execute();

  std::string FileName;
  std::string Filter;
  int FilterIndex = 1;
  std::string DefaultExt;
  std::string InitialDir;
  std::string Title;
  TOpenOptions Options = ofHideReadOnly;

 protected:
  bool Run(bool save);
};

class TSaveDialog : public TOpenDialog {
 public:
  explicit TSaveDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}
  bool Execute() override;
};

// The open dialog with a picture preview (the preview is the service's business).
class TOpenPictureDialog : public TOpenDialog {
 public:
  explicit TOpenPictureDialog(TComponent* AOwner) : TOpenDialog(AOwner) {}
};

class TFontDialog : public TComponent {
 public:
  explicit TFontDialog(TComponent* AOwner) : TComponent(AOwner) {}
  // Starts from Font; on OK Font holds the choice.
  bool Execute();
  TFont& Font() { return FFont; }

 private:
  TFont FFont;
};

class TPrinterSetupDialog : public TComponent {
 public:
  explicit TPrinterSetupDialog(TComponent* AOwner) : TComponent(AOwner) {}
  bool Execute() { return DialogService().PrinterSetup(); }
};

// "<name>" with DefaultExt added when it has no extension.
std::string AddDefaultExt(const std::string& Name, const std::string& DefaultExt);
