// TNotePrnForm: printing of the current note with preview. A modal dialog of the main window,
// created at start-up and living to exit; it reaches the main window through the global
// MainForm. GUI thread only.
//
// TPrintDialog is what the note print and the list print dialogs share: the recorder, the
// preview and the printer component, the scroll box the preview shows its page in, and the
// preview's start, paging and finish. Every recording is saved as the stream file "xx.$$$" of
// the current folder, replacing it whole; the file stays on disk after the dialog closes and
// the next recording of either dialog replaces it. What the preview and the print play is the
// dialog's own recording, kept in memory, so another copy of the program recording into the
// same folder meanwhile changes neither. A preview is finished whenever the dialog closes,
// however it is closed, so the next showing can start a new one.
//
// The print button records the report first and plays that recording, so what is printed is
// always the current note (or list) with the settings in force, never an older stream.
//
// Recording and printing are long operations: the user's input is dropped until they end, the
// windows repaint meanwhile, and StatusLabel1 (shown only while they run) names the page being
// recorded or printed.
//
// The note report: a title block with the chosen titles and their labels, the body lines
// from the first to the last one that is not blank, and "- n -" at the foot of each page, in
// the fonts and line spacings of the settings record (font1/fsize1/FType1 and utab1 for the
// title block, font2/fsize2/FType2 and utab2 for the body, font4 for the six flags). A
// lines-per-inch value outside 1..8 is taken as 6. A rich-text body prints through the body
// editor's own printing (RtfPrint), without title block or page numbers.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"
#include "report/FilePreview.h"
#include "report/FilePrinter.h"
#include "report/ReportFiler.h"

// The stream file both print dialogs record into and play from.
extern const char* const kReportStreamFile;

class TPrintDialog : public TForm {
 public:
  explicit TPrintDialog(TComponent* AOwner);
  // A running preview is finished while the recording it reads is still there.
  ~TPrintDialog() override;

  TReportFiler* ReportFiler1;
  TFilePreview* FilePreview1;
  TFilePrinter* FilePrinter1;
  TScrollBox* ScrollBox1;
  TSpeedButton* SpeedButton1;  // preview
  TSpeedButton* SpeedButton2;  // print
  TSpeedButton* PrevButton;
  TSpeedButton* NextButton;
  TLabel* StatusLabel1;  // "Printing page n" while a report is recorded or printed

  // Draws the report's pages; Sender is the recording TBaseReport.
  virtual void ReportFiler1Print(TObject* Sender) = 0;

  // Records the report and shows its first page at half size.
  virtual void SpeedButton1Click(TObject* Sender);
  // Records the report, then plays the recording to the printer.
  virtual void SpeedButton2Click(TObject* Sender);
  // The print button: SpeedButton2Click, to a PDF file in the data folder when there is no
  // printer (the user is told the file's path).
  void PrintClick(TObject* Sender);
  void PrevButtonClick(TObject* Sender);
  void NextButtonClick(TObject* Sender);
  // Enter moves the focus to the next control.
  void FormKeyPress(TObject* Sender, char& Key);
  // Closing, however it is done, finishes the preview.
  void FormClose(TObject* Sender, TCloseAction& Action);

  bool PreviewActive() const { return FPreviewActive; }
  // Ends a running preview; nothing when none runs.
  void FinishPreview();

 protected:
  // A control of this form, named and placed on Parent.
  template <class T>
  T* Put(TWinControl* Parent, const char* Name, int Left, int Top, int Width, int Height) {
    return CreateControl<T>(this, Parent, Name, Left, Top, Width, Height);
  }
  // The scroll box the preview shows its page in, filling the form beside the controls, and
  // the handlers both dialogs share: closing, the Enter rule and the preview, print and page
  // buttons and the status label (which must exist by then).
  void BuildReportComponents();
  // Runs Work (recording, printing) as a long operation with StatusLabel1 shown.
  void RunReport(const std::function<void()>& Work);
  // Records the report into Into and saves it as the stream file; Into is left empty when
  // either fails.
  void Record(TMemoryStream& Into);
  bool FPreviewActive = false;
  // The recording the running preview shows.
  TMemoryStream FPreviewed;
};

class TNotePrnForm : public TPrintDialog {
 public:
  explicit TNotePrnForm(TComponent* AOwner);
  ~TNotePrnForm() override;

  TPageControl* TabbedNotebook1;
  TTabSheet* PrintPage;     // "인쇄"
  TTabSheet* SettingsPage;  // "설정"
  TGroupBox* GroupBox1;     // "표제 줄간격"
  TComboBox* TitleList;
  TButton* Button6;         // title font
  TEdit* Fedit1;
  TGroupBox* GroupBox2;     // "표제인쇄"
  TCheckBox* CheckBox1;     // print tit1 .. tit4; captions are the field labels
  TCheckBox* CheckBox2;
  TCheckBox* CheckBox3;
  TCheckBox* CheckBox4;
  TCheckBox* CheckBox5;     // "구분명표시": print the labels
  TCheckBox* CheckBox6;     // "첫장만 표제인쇄": title block on the first page only
  TGroupBox* GroupBox3;     // "본문 줄간격"
  TComboBox* MainList;
  TButton* Button7;         // body font
  TEdit* Fedit2;
  TButton* Button3;         // close

  void FormActivate(TObject* Sender);
  // NewTab: the page about to be shown (0 print, 1 settings).
  void TabbedNotebook1Change(TObject* Sender, int NewTab, bool& AllowChange);
  void Button6Click(TObject* Sender);
  void Button7Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  // The page buttons are enabled when the recording has more than one page.
  void SpeedButton1Click(TObject* Sender) override;
  void SpeedButton2Click(TObject* Sender) override;
  void ReportFiler1Print(TObject* Sender) override;
  // Prints the rich-text body through the body editor.
  void RtfPrint();

  // Pages of the last recording.
  int PageCount() const { return FPageCount; }

 private:
  // The font dialog for the title (N = 1) or body (N = 2) font; Shown gets the stored name.
  void ChooseFont(int N, TEdit* Shown);
  int FPageCount = 0;
};

extern TNotePrnForm* NotePrnForm;
