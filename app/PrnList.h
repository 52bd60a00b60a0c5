// TPrnList: printing of the note list with preview. A modal dialog of the main window, created
// at start-up and living to exit; it reaches the main window through the global MainForm.
// GUI thread only.
//
// The list holds each note's number (its record number minus 1, the header being record 1)
// and title 1, in two columns per page under a page header with the file description and the
// column heads: the left column fills from the first row down to 9.7 inches, then the right
// column takes the same rows; a title is cut to what fits its column. All notes in view are
// listed (an active query limits them), or the notes numbered from Edit1 to Edit2. Every
// showing puts the main window's note table in natural order, which stays after the dialog.
//
// The walk over the note table switches the main window's NoteDataSource off while it runs
// and brings the table back to the note it was on, so the main window keeps showing (and
// keeps any unsaved typing in) that note.
#pragma once

#include "app/NotePrnForm.h"

class TPrnList : public TPrintDialog {
 public:
  explicit TPrnList(TComponent* AOwner);

  TSpeedButton* SpeedButton3;  // "  EXIT  "
  TGroupBox* GroupBox1;        // "인쇄범위 지정"
  TRadioButton* AllPri;        // all notes
  TRadioButton* booPri;        // a range of notes
  TEdit* Edit1;                // first note number
  TLabel* Label1;              // "-"
  TEdit* Edit2;                // last note number

  void FormActivate(TObject* Sender);
  void booPriClick(TObject* Sender);
  void AllPriClick(TObject* Sender);
  void Edit1Exit(TObject* Sender);
  void Edit1KeyPress(TObject* Sender, char& Key);
  void SpeedButton3Click(TObject* Sender);
  // The page header; Sender is the recording TBaseReport.
  void TitPri(TObject* Sender);
  void ReportFiler1Print(TObject* Sender) override;

  // Pages of the last recording.
  int PageCount() const { return FPageCount; }

 private:
  int NoteCount() const;
  int FPageCount = 0;
};

extern TPrnList* PrnList;
