// TFindForm: the title search. Builds a search over the titles from one text for all four
// titles or one text per title, and applies it as the main window's note-table query, new or
// combined with the query in force by .and. / .or.. A modal dialog of the main window, created
// at start-up and living to exit; it reaches the main window through the global MainForm.
//
// The texts are quoted safely (SearchExpr.h); a text that cannot be quoted, or a query the
// engine refuses, is reported and the dialog stays open with nothing changed. The query may be
// of any length.
// The main window's QueryText changes only once the engine has taken the new query.
// GUI thread only.
#pragma once

#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

class TFindForm : public TForm {
 public:
  explicit TFindForm(TComponent* AOwner);

  TRadioButton* RBtn1;   // "전항목검색": one text for all titles
  TRadioButton* RBun2;   // "항목별검색": one text per title
  TGroupBox* GBox1;
  TEdit* Edit0;
  TGroupBox* GBox2;
  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TLabel* Label4;
  TEdit* Edit1;
  TEdit* Edit2;
  TEdit* Edit3;
  TEdit* Edit4;
  TGroupBox* GBox3;      // how the new search meets the query in force
  TRadioButton* NewRbtn;
  TRadioButton* AndRbtn;
  TRadioButton* OrRbtn;
  TButton* Button2;      // search
  TButton* Button3;      // clear the query

  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void RBtn1Click(TObject* Sender);
  void RBun2Click(TObject* Sender);
  void FormKeyPress(TObject* Sender, char& Key);
  void Button2Click(TObject* Sender);
  void Button3Click(TObject* Sender);
};

extern TFindForm* FindForm;
