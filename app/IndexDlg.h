// TIndexDlg: the sort and pack dialog, owner of the one index-tag builder. A modal dialog of
// the main window, created at start-up and living to exit; it reaches the main window through
// the global MainForm. GUI thread only.
//
// MakeIndex builds a tag under the table's file lock with an exclusive reopen, and leaves the
// table open shared with that tag as its order. Run on the main window's note table it first
// saves the note being edited, and afterwards re-applies an active search and redisplays the
// current note, since the reopen drops both. Called while the dialog is hidden (the main
// window's sorts, the batch edits), it stands on top without the focus while the engine builds
// the tag, so its gauge is seen, and is hidden again afterwards.
//
// NotePack puts a packed copy of the note file in its place: the header record first, copied
// as it is (every field, still deleted), then the notes that are not deleted, physically in
// the order in force. The header's own fields are never touched. It holds the file lock and the table open exclusively while
// it works, since it renames files that other running copies would have open. The file as it
// was stays as "indexbak.db" / "indexbak.sm"; the stale index file is removed. Any failure
// before the last rename leaves the note file exactly as it was, and so does a pack that is
// killed (see RemoveInterruptedPack). Two copies of the program never pack in one folder at
// once: their work files have the same names.
#pragma once

#include <cstdint>
#include <string>

#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/Gauges.h"
#include "platform/ui/StdCtrls.h"
#include "table/XbTable.h"

// Work files of the pack, in the data folder.
extern const char* const kPackCopyFile;     // "sort.dbf", the packed copy (memo "sort.smt")
extern const char* const kPackOrderFile;    // the index file of the copy's order, removed after
extern const char* const kPackBackupData;   // "indexbak.db"
extern const char* const kPackBackupMemo;   // "indexbak.sm"
// Held while a pack works (one pack at a time in a folder): names the note file and whether
// the pack is still copying or already renaming.
extern const char* const kPackMarkFile;     // "sort.lck"

// What a pack cut short (its program killed) left in the folder is put right, unless another
// copy of the program is packing there: the work files go, and every note stays. A pack cut
// before its renames left the note file as it was; one cut among them is undone back to the
// file as it was, or, once the packed data file stands in its place, completed. Run at start
// and before each pack.
void RemoveInterruptedPack(const std::string& Folder);

// The hourglass cursor while an engine operation runs (the sort, the pack, a search).
struct THourGlass {
  THourGlass() {
    if (Screen) Screen->SetCursor(crHourGlass);
  }
  ~THourGlass() {
    if (Screen) Screen->SetCursor(crDefault);
  }
  THourGlass(const THourGlass&) = delete;
  THourGlass& operator=(const THourGlass&) = delete;
};

// The engine's progress report, as the gauge windows (this dialog, the file store) take it in
// their FormKeyDown: a key code with any bit of 0x7000 set is minus the percentage. Such a key
// moves Gauge, lets the windows repaint (the user's input stays blocked while the engine
// works) and is swallowed (Key := 0); true then. Other keys pass unchanged.
bool TakeProgressKey(TGauge& Gauge, uint16_t& Key);

class TIndexDlg : public TForm {
 public:
  explicit TIndexDlg(TComponent* AOwner);

  TGroupBox* GroupBox1;  // "자료정렬"
  TRadioButton* RBtn0;   // natural order
  TRadioButton* RBtn1;
  TRadioButton* RBtn2;
  TRadioButton* RBtn3;
  TRadioButton* RBtn4;
  TButton* Button1;      // sort
  TButton* Button2;      // pack
  TButton* Button3;      // close
  TGauge* Gauge1;
  // The dialog's own tables: Note3Table assembles the packed copy.
  TXbTable* NoteTable;
  TXbTable* Note3Table;

  void FormCreate(TObject* Sender);
  void FormActivate(TObject* Sender);
  // Progress reports of the engine: a key code with any bit of 0x7000 is minus the percentage.
  void FormKeyDown(TObject* Sender, uint16_t& Key, TShiftState Shift);
  void FormKeyPress(TObject* Sender, char& Key);
  void Button1Click(TObject* Sender);
  void Button2Click(TObject* Sender);
  void Button3Click(TObject* Sender);

  // True when the tag was made; refusals and failures are shown to the user.
  bool MakeIndex(TXbTable& Table, const std::string& TagName, const std::string& Expression);
  // True when the packed copy took the note file's place.
  bool NotePack();

 private:
  // Closes Table and opens it exclusively; on failure reopens it shared, shows why, false.
  bool ReopenExclusive(TXbTable& Table);
  // Closes Table and opens it shared again; releases every lock it holds.
  void ReopenShared(TXbTable& Table);
  // The radio buttons' captions: the natural order and the file's four field labels.
  void ShowFieldLabels();
  void GaugeOn(TXbTable& Table);
  void GaugeOff(TXbTable& Table);
  // Writes the packed copy and closes the note table; false (no copy left) when that failed.
  bool WritePackCopy(const std::string& Folder);
  std::string FFolder;
};

extern TIndexDlg* IndexDlg;
