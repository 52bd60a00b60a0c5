// TMainForm (unit Tel): the note book's main window. It owns every table of the program (the
// current note file, the settings table, the probe table that reads a note file's widths, the
// keyword dictionary), the environment XbEnv1, the note list, the four title edits and the
// rich-text body, the seek panel, the button bars and the status bar.
//
// Files of the unit:
//   MainForm.cpp         the form, its components and their layout
//   MainFormStartup.cpp  creation, first activation, opening the note file (cmdChoDbfClick),
//                        the dialog launchers, closing
//   MainFormKeys.cpp     the keyboard map (FormKeyDown)
//   MainFormDisplay.cpp  showing the current note and the state of the V and R buttons
//   MainFormEdit.cpp     saving the note (DBMemo1Save), note, body and title commands
//   MainFormNav.cpp      navigation, sorting, seek panel, search and visit history
//   MainFormLinks.cpp    links in the body and in the titles
//
// The dialogs reach the main window through the global MainForm. GUI thread only.
#pragma once

#include <string>

#include "components/HDBGrid.h"
#include "platform/core/DataSource.h"
#include "platform/core/Fields.h"
#include "platform/core/Timers.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/DBGrids.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/MPlayer.h"
#include "platform/ui/Menus.h"
#include "platform/ui/RichEdit.h"
#include "platform/ui/StdCtrls.h"
#include "table/XbEnv.h"
#include "table/XbTable.h"

// The two caption suffixes of the maker, chosen by settings k3. Both are 17 characters: the
// list print takes the description from the caption by cutting that many.
extern const char* const kCaptionSuffix[2];
// The help page, shipped with the program: a Korean page on the commands and keys, under the
// data folder (or, where the data folder has none, under the shipped files beside the
// program). Help, F1 and the home page all open it: there is no maker's host to go to.
extern const char* const kHelpPage;
constexpr int kCaptionSuffixLength = 17;

// The settings table's file and the version this program writes.
extern const char* const kSettingsFile;
extern const char* const kSettingsVersion;
// The sample note file a version change selects.
extern const char* const kSampleNoteFile;

// LinkDir: the resolved link folder of the open note file.
extern std::string LinkDir;

class TMainForm : public TForm {
 public:
  explicit TMainForm(TComponent* AOwner);
  ~TMainForm() override;

  // ---- tables
  TXbEnv* XbEnv1;
  TXbTable* NoteTable;
  TXbTable* ConTable;
  TXbTable* PreTable;
  TXbTable* FFdbTable;
  TDataSource* NoteDataSource;
  TDataSource* FFdbDataSource;
  // The persistent fields of NoteTable.
  TStringField* NoteTableCHK;
  TStringField* NoteTableTIT1;
  TStringField* NoteTableTIT2;
  TStringField* NoteTableTIT3;
  TStringField* NoteTableTIT4;
  TMemoField* NoteTableMMM;
  TStringField* NoteTableKNO;
  TStringField* NoteTableLOCK;
  TStringField* NoteTableTYPE;
  TStringField* NoteTableBIBLE;

  // ---- top panel: command bar, title area (Panel4) and the seek panel
  TPanel* Panel2;
  TPanel* Panel1;
  TSpeedButton* FileBtn;     // "화일창고 [Alt+O]"
  TSpeedButton* IndexBtn;    // "자료정렬"
  TSpeedButton* SetBtn;      // "환경설정"
  TSpeedButton* PrintBtn;    // "인쇄(Ctrl+P)"
  TSpeedButton* ConvBtn;     // "일괄입력"
  TSpeedButton* PrnListBtn;  // "목록인쇄"
  TSpeedButton* HelpBtn;     // "도 움 말"
  TSpeedButton* HomeBtn;     // the maker's home page
  TSpeedButton* ExitBtn;     // "끝내기"

  TPanel* Panel4;
  TSpeedButton* SpeedButton2;  // new note "새로입력 [F2]"
  TSpeedButton* QuickBtn;      // quick move "빠른이동 [F3]"
  TSpeedButton* SeekBtn;       // seek panel "검색하기 [F4]"
  TSpeedButton* DeleteBtn;     // delete the note
  TSpeedButton* RecOrderBtn;   // entry order "입력순정렬"
  TSpeedButton* ReadFileBtn;   // text import "파일읽기"
  TSpeedButton* SaveFileBtn;   // text export "파일로 복사"
  TSpeedButton* ChkBtn;        // V mark: 2 glyphs marked, 1 not
  TSpeedButton* ARBtn;         // body kind: 2 glyphs rich, 1 plain
  TSpeedButton* PreBtn;        // history back
  TSpeedButton* NextBtn;       // history forward
  TLabel* Label77;             // position "n/count"
  TLabel* Label1;
  TLabel* Label2;
  TLabel* Label3;
  TLabel* Label4;
  TEdit* Edit1;
  TEdit* Edit2;
  TEdit* Edit3;
  TEdit* Edit4;
  TSpeedButton* Sort1Btn;      // "정렬" by title 1..4
  TSpeedButton* Sort2Btn;
  TSpeedButton* Sort3Btn;
  TSpeedButton* Sort4Btn;
  TEdit* RecEd;                // record-number entry, hidden

  TPanel* SeekPan;
  TComboBox* SeekComboBox;
  TEdit* SeekEd;
  TCheckBox* Vchk;             // "V표만"
  TButton* OkSeekBtn;
  TLabel* Label6;              // search result; non-empty while a query is active

  // ---- body, list, status
  TRichEdit* memo1;
  TDBGrid* DBGrid1;
  TStatusBar* SBar;            // 0 line and column, 1 write protection, 2 data path
  TEdit* TempEd;               // holds the body font; outside the visible area
  THDBGrid* HDBGrid1;          // over the dictionary, never shown

  // ---- non-visual
  TTimer* Timer1;
  TMediaPlayer* MediaPlayer1;
  TPopupMenu* PopupMenu1;      // body menu
  TPopupMenu* PopupMenu2;      // title menu
  TOpenDialog* OpenDialog1;    // text import
  TSaveDialog* SaveDialog1;    // text export
  TOpenPictureDialog* OpenPictureDialog1;  // file links
  TFontDialog* FontDialog1;    // shared with the note print dialog

  // ---- state of the unit
  std::string DataFolder;      // the current folder at start (no trailing delimiter)
  std::string LinkPath;        // the header's tit3 as stored
  std::string QueryText;       // the search expression last built
  int RBankPos = 1;
  int LastClickX = -1;
  int SavedPanelHeight = 0;
  bool FirstActivation = true;
  // Title widths of the open note file (tit1 and tit4 are 40 or 60 wide).
  int Tit1Width = 40;
  int Tit4Width = 40;
  // The titles as the edits last took them from the file (or as last saved). A save writes
  // only the titles that differ from these, so a title another running copy changed meanwhile
  // is not written back from this window's unchanged copy.
  std::string ShownTitles[4];

  // ---- handlers of the window's life (MainFormStartup.cpp)
  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  // Opens the note file named by settings fname; false when the user chose to quit instead.
  bool cmdChoDbfClick();
  void FormCloseQuery(TObject* Sender, bool& CanClose);
  void FormClose(TObject* Sender, TCloseAction& Action);

  // ---- dialog launchers (MainFormStartup.cpp)
  void FileBtnClick(TObject* Sender);
  void IndexBtnClick(TObject* Sender);
  void SetBtnClick(TObject* Sender);
  void PrintBtnClick(TObject* Sender);
  void FindDlgShow();
  void ConvBtnClick(TObject* Sender);
  void PrnListBtnClick(TObject* Sender);
  void ScrollReaderShow();
  void ExitBtnClick(TObject* Sender);
  void HelpBtnClick(TObject* Sender);
  void HomeBtnClick(TObject* Sender);
  // Opens the help page with the desktop's handler; says so when it is not installed.
  void OpenHelpPage();
  // Drops an active query (Label6 empty); always when Always, else only when Label6 is set.
  void ClearQuery(bool Always);
  // The caption suffix / home page variant that settings k3 selects (0 or 1).
  int MakerVariant();

  // ---- keyboard map (MainFormKeys.cpp)
  void FormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);

  // ---- display and save (MainFormDisplay.cpp)
  void NoteDataSourceDataChange(TObject* Sender, TField* Field);
  // Shows the state of the V (marked) or R (rich body) button: glyph count 2 when On, else 1,
  // each with its own picture drawn in code.
  void ShowButtonState(TSpeedButton* Button, bool On);
  void DBMemo1Save();
  // Attaches or detaches the display handler of NoteDataSource.
  void AttachDisplay(bool On);

  // ---- commands of the keyboard map (MainFormNav.cpp, MainFormEdit.cpp)
  void RecEdShow();         // Ctrl+F3: the record-number entry
  void NextMarkedNote();    // Ctrl+F5: walk to the next marked note
  void SelToTitle(int N);   // Alt+1..Alt+4: body selection becomes title N

  // ---- note display, editing, links ----
  // (MainFormEdit.cpp, MainFormLinks.cpp) DBMemo1Save above is defined in MainFormEdit.cpp.
  void BuildEditing();      // hooks the body, the title edits, the list and the menus
  // The save itself: true when nothing is left unsaved. A refused lock or an over-long rich
  // body is told to the user and leaves the edits as typed.
  bool SaveNote();
  bool NoteDirty() const;
  // Asked when the window closes with text that could not be saved: true to drop it.
  bool ConfirmDropUnsaved();
  void SpeedButton2Click(TObject* Sender);  // new note
  // The new note: saves the note shown, then appends a blank record at the end of the file
  // in entry order and shows it, title 1 focused; false when the save was refused.
  bool AppendNote();
  bool IsBlankNoteShown() const;
  // After a save refused on the way into the note list: the focus goes back to Editor.
  void StayOnNote(TWinControl* Editor);
  // The blank note AppendNote made last (0: none); F2 on it untouched makes no second one.
  XbLong FreshNoteRecNo = 0;
  void DeleteClick(TObject* Sender);
  void ChkBtnClick(TObject* Sender);
  void ARBtnClick(TObject* Sender);
  void ReadFileBtnClick(TObject* Sender);
  void SaveFileBtnClick(TObject* Sender);
  void Memo1KeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void Memo1KeyUp(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void Memo1KeyPress(TObject* Sender, char& Key);
  void Memo1Exit(TObject* Sender);
  void DBGrid1Enter(TObject* Sender);
  void DBGrid1KeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void PopupMenu1Popup(TObject* Sender);
  void PopupMenu2Popup(TObject* Sender);
  void SelectionFont();     // Alt+L and the body menu's font item
  void DeleteCaretLine();   // Ctrl+Y
  // Selection to title N; Trim: the menu commands' trim of the pasted title.
  void PasteToTitle(int N, bool Trim);
  // Shows the blank record of a pending new note.
  void ShowBlankNote();
  TCustomEdit* ActiveEdit = nullptr;  // the last entered of memo1, Edit1..Edit4
  // links (MainFormLinks.cpp)
  void memo1MouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void LinkDblClick(TObject* Sender);
  void LinkFile(const std::string& Text);
  void MarkLinkClick(TObject* Sender);       // "하이퍼텍스트"
  void InsertFileLinkClick(TObject* Sender);  // "파일찾아넣기"
  // Seeks the note whose title 1 begins with Link, else opens Link outside.
  void FollowLink(const std::string& Link);
  // The file-link dialog's picture preview: the size shown for a JPEG, GIF or BMP picture
  // (large JPEG pictures are decoded at an eighth); false for damaged pictures and other files.
  static bool PreviewPicture(const std::string& FileName, int& Width, int& Height);
  // ---- end note display, editing, links ----

  // ---- navigation, sorting, seek panel, history ----
  // (MainFormNav.cpp) Every way of reaching a record by number goes through GoToNote, which
  // takes only notes: 2..RecCount, not deleted.
  void BuildNavigation();   // hooks the controls below to their handlers
  bool IsTag(const std::string& TagName);
  void SortBtnClick(int N);  // the four "정렬" buttons, N = 1..4
  void RecOrderBtnMouseDown(TObject* Sender, TMouseButton Button, TShiftState Shift, int X, int Y);
  void RecEdKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void QuickBtnClick(TObject* Sender);
  void SeekBtnClick(TObject* Sender);
  void SeekPanClose();       // Esc in the seek edit
  void SeekComboBoxChange(TObject* Sender);
  void VchkClick(TObject* Sender);
  void SeekEdKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void OkSeekBtnClick(TObject* Sender);
  // Runs Expression as the query of NoteTable: QueryText and Label6 change only when the
  // engine takes it; false (and no query) when it finds no note.
  bool ApplySearch(const std::string& Expression);
  bool GoToNote(XbLong RecNo);
  void RBankAdd();
  void RBankReset();
  void PreBtnClick(TObject* Sender);
  void NextBtnClick(TObject* Sender);
  std::vector<XbLong> VisitHistory;  // record numbers of the visited notes
  // ---- end navigation, sorting, seek panel, history ----

  // ---- file store ----
  // The input-method switch, in Hangul mode from the start; the file store turns it to Latin
  // input while a file name is typed.
  class TIMEControl* IMEControl1 = nullptr;
  // ---- end file store ----

 private:
  void BuildTables();
  void BuildTopPanel();
  void BuildBody();
  void BuildMenus();
  // Opens the probe table on the file; false when it does not open.
  bool ProbeNoteFile(const std::string& FileName);
  void OpenNoteFile(const std::string& FileName);
};

extern TMainForm* MainForm;
