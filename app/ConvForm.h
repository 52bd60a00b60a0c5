// TConvForm: batch edits over the notes in view: titles, V marks, maintenance runs. A modal
// dialog of the main window, created at start-up and living to exit; it reaches the main
// window through the global MainForm. GUI thread only.
//
// Page 1 ("일괄입력") deletes or trims a title field (the commands "#delete" / "#trim" with the
// field's digit), swaps two title fields, replaces the first occurrence of a word in a title
// field or appends a text to it. Page 2 ("일괄V표") sets, inverts, counts out or clears the V
// mark, marks repeated titles, or deletes the marked notes. Three codes typed into Edit2 run
// whole-file maintenance (keyword tagging of tit4 from the dictionary, re-storing plain
// bodies, cutting over-long tit3).
//
// Every run works on the main window's NoteTable and visits the notes in view, so an active
// query limits it. A run first saves the note being edited in the main window (it stops when
// that save is refused, so nothing typed is lost or lands on another note), then takes the
// file lock for its whole walk: a refused lock shows " Record lock failed  Wait ...." and
// leaves every note as it was. The header record and deleted notes are never touched. During
// the page runs and the keyword tagging the main window's NoteDataSource is off and comes
// back on at the end (the main window then shows its current note afresh); the re-storing of
// bodies stores what the main window's body editor shows of each note, so it leaves it on.
// The walks over every note (marks, tagging) show their progress in the main window's status
// bar and let the windows repaint meanwhile, with the user's input held off.
#pragma once

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "components/HDBGrid.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TXbTable;

class TConvForm : public TForm {
 public:
  explicit TConvForm(TComponent* AOwner);

  TPageControl* PageControl1;
  // ---- page 1 "일괄입력"
  TTabSheet* TabSheet1;
  TGroupBox* GroupBox1;   // "구 분 선 택": the field replace and append work on
  TRadioButton* RBtn1;
  TRadioButton* RBtn2;
  TRadioButton* RBtn3;
  TRadioButton* RBtn4;
  TGroupBox* GroupBox2;   // "자리바꿈": the two fields to swap
  TCheckBox* CBox1;
  TCheckBox* CBox2;
  TCheckBox* CBox3;
  TCheckBox* CBox4;
  TEdit* Edit1;           // search text or command
  TEdit* Edit2;           // replacement, appended text, field digit or maintenance code
  TRadioButton* w1Btn;    // "단어변경"
  TRadioButton* w2Btn;    // "일괄입력"
  TRadioButton* w3Btn;    // "자리바꿈"
  TCheckBox* Vchk;        // "V 표시만"
  TBitBtn* OKBtn;         // "작업시작"
  THDBGrid* HDBGrid1;     // over the dictionary, never shown
  // ---- page 2 "일괄V표"
  TTabSheet* TabSheet2;
  TRadioButton* Rc1;
  TRadioButton* Rc2;
  TMaskEdit* CouEd;       // the count of Rc2, in the gap of its caption
  TRadioButton* Rc3;
  TRadioButton* Rc4;
  TRadioButton* RBtnDel;
  TRadioButton* Rc5;
  TBitBtn* BitBtn1;       // "작업시작"
  // ---- below the pages
  TLabel* Tit;            // "검색내용중 변환작업" while a query is in force
  TBitBtn* CancelBtn;     // "닫   기"

  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void FormKeyPress(TObject* Sender, char& Key);
  void w1BtnClick(TObject* Sender);
  void w2BtnClick(TObject* Sender);
  void w3BtnClick(TObject* Sender);
  void CouEdEnter(TObject* Sender);
  // Puts the count box into the gap of Rc2's caption.
  void PlaceCountBox();
  void Rc1Click(TObject* Sender);
  void Button2Click(TObject* Sender);   // page 1
  void BitBtn1Click(TObject* Sender);   // page 2
  void Edit2Exit(TObject* Sender);      // maintenance codes
  void CancelBtnClick(TObject* Sender);

  // The page 1 commands ("#" in Edit1).
  void TrimDelete();
  // Page 1 swap of the checked pair of title fields.
  void Change();
  // Keyword tagging: tit4 of each note from the current one on gets the dictionary keywords
  // its body's words begin with.
  void getFF();
  // Re-stores each plain body from the current note on as the body editor shows it.
  void NewSave();
  // Cuts tit3 that fills its whole width after its last blank in positions 20..39.
  void CutTit3();

 private:
  // Field name and new value of each write one note gets.
  using TTitleWrites = std::vector<std::pair<std::string, std::string>>;
  // The page 1 walk over the notes in view (with the Vchk rule): Edit names the writes of the
  // note under the cursor (none: it is left alone). The dialog closes afterwards, also when
  // the run was refused.
  void WalkTitles(const std::function<TTitleWrites(TXbTable&)>& Edit);
  // The checked one of RBtn1..RBtn4 as a field number 1..4.
  int ChosenField() const;
  // The current note file is write-protected (the main window's body is read-only).
  bool Protected() const;
};

extern TConvForm* ConvForm;
