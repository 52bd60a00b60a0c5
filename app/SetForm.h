// TSetForm: the settings of the current note file that live in its header record (the four
// field labels, write and delete protection, the link folder) and the screen font of the note
// body, kept in the settings record. A modal dialog of the main window, created at start-up
// and living to exit; it reaches the main window through the global MainForm, which saves the
// note before showing it and reopens the note file after it (that applies labels, protection
// and link folder).
//
// "확인" stores everything through the locked single-field writes: a refused lock is told to
// the user and leaves that one field as it was; the other fields are still written. A link
// folder longer than the header field can hold is refused before anything is written, and the
// dialog stays open. Closing the dialog makes the data folder the current folder again, as
// browsing in the folder tree changes it. GUI thread only.
#pragma once

#include "platform/ui/Buttons.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/FileCtrl.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TSetForm : public TForm {
 public:
  explicit TSetForm(TComponent* AOwner);

  TGroupBox* GroupBox1;   // " 구 분 명 "
  TEdit* Edit1;           // the four field labels
  TEdit* Edit2;
  TEdit* Edit3;
  TEdit* Edit4;
  TGroupBox* GroupBox2;   // " 데이타보호 "
  TCheckBox* ReadOnlyChk;
  TGroupBox* GroupBox3;   // " 폰트설정 "
  TMemo* Memo1;           // sample of the body font
  TButton* Button3;       // "폰트변경"
  TFontDialog* FontDialog1;
  TGroupBox* GroupBox4;   // "링크경로"
  TEdit* LinkPathEd;
  TButton* Button1;       // "경로": shows the folder panel
  TButton* Ok;            // "확인"

  // The folder panel, hidden until "경로".
  TPanel* ImagePan;
  TLabel* TitleLA;        // "사진파일경로지정"
  TDirectoryListBox* DirListBox;
  TLabel* dirLA;          // the folder the tree is in
  TButton* OKBtn;         // "지   정"
  TBitBtn* CancelBtn;     // "취   소"

  void FormActivate(TObject* Sender);
  void FormKeyPress(TObject* Sender, char& Key);
  void FormClose(TObject* Sender, TCloseAction& Action);
  void Button3Click(TObject* Sender);
  void Button1Click(TObject* Sender);
  void OKBtnClick(TObject* Sender);
  void OkClick(TObject* Sender);
};

extern TSetForm* SetForm;
