// TConvForm: the batch-edit dialog (ConvForm.h).
#include "app/ConvForm.h"

#include <QFont>
#include <QFontMetrics>
#include <QLineEdit>
#include <QStyle>
#include <QStyleOptionButton>
#include <QTextLayout>
#include <tuple>
#include <QWidget>

#include <algorithm>
#include <exception>
#include <optional>

#include "app/IndexDlg.h"
#include "app/MainForm.h"
#include "app/Udf.h"
#include "app/UdfTable.h"
#include "platform/core/Cp949.h"
#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/QtText.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/LongOperation.h"
#include "table/XbEnv.h"
#include "table/XbTable.h"

using cp949::K;

TConvForm* ConvForm = nullptr;

namespace {

const char* const kTitleFields[4] = {"tit1", "tit2", "tit3", "tit4"};
const char* const kMarked = "v";
const char* const kUnmarked = " ";
// The text type of a plain body (field type); anything else is rich text.
const char* const kPlainType = " ";
constexpr XbShort kReplaceMemo = 3072;
constexpr XbShort kReplaceText = 1024;

// The maintenance codes of Edit2.
const char* const kCodeKeywords = "5820417736";
const char* const kCodeBodies = "9615";
const char* const kCodeTit3 = "5820417913";

// Keyword tagging: the dictionary key after a word's first two bytes is the last Hangul
// syllable (0xC8 0xFE), so the seek lands behind every entry that begins with those bytes.
const char* const kLastSyllable = "\xC8\xFE";
// Title 4 grows by keywords only while it stays within this many bytes.
constexpr std::size_t kKeywordsLimit = 80;
// The value no title has, so the first note of the same-title walk is never marked.
const char* const kNoTitle = "23425sfgdfdf";

// The note under the cursor is a real note: neither the header record nor a deleted note.
bool AtNote(TXbTable& t) {
  const XbLong recNo = t.RecNo();
  if (recNo < 2) return false;
  t.SelectWorkArea();
  if (t.xb_RecNo() != recNo) t.xb_Go(recNo);
  return t.xb_Deleted() == 0;
}

// One edit of the current note: Writes puts the values, then the record is posted. A failure
// on the way cancels the edit, so no note is left half-written.
template <class F>
void EditAndPost(TXbTable& t, F&& Writes) {
  t.Edit();
  try {
    Writes();
    t.Post();
  } catch (...) {
    if (t.State() == dsEdit) t.Cancel();
    throw;
  }
}


// The frame of one run over the main window's notes. Start saves the note being edited
// (what is typed belongs to that note, and the walk would otherwise show another note over
// it), switches the main window's display off when asked and takes the file lock, which
// covers every write of the walk. The end releases every lock and shows the main window's
// current note afresh, whatever happened in between.
class TNoteRun {
 public:
  explicit TNoteRun(bool DisplayOff) : FNotes(*MainForm->NoteTable), FDisplayOff(DisplayOff) {}
  TNoteRun(const TNoteRun&) = delete;
  TNoteRun& operator=(const TNoteRun&) = delete;

  // False when the note being edited could not be saved or the file lock was refused; the
  // reason has been shown and nothing was changed.
  bool Start() {
    if (!MainForm->SaveNote()) return false;
    // A new note nothing was typed into is not in the file: there is nothing to keep.
    if (FNotes.State() == dsInsert) FNotes.Cancel();
    FSaved = true;
    if (FDisplayOff) MainForm->NoteDataSource->SetEnabled(false);
    if (FNotes.Flock() == 0) {
      ShowMessage(kRecordLockFailed);
      return false;
    }
    FLocked = true;
    return true;
  }

  ~TNoteRun() {
    try {
      if (FNotes.State() == dsEdit) FNotes.Cancel();
      if (FLocked && FNotes.Active()) FNotes.Unlock(0);
    } catch (...) {
      // A table that an error closed holds no locks any more.
    }
    if (!FSaved) return;
    // The position text marks what the main window shows: a new one makes it show the
    // current note again, with the values the walk stored.
    MainForm->Label77->SetCaption("..");
    try {
      if (FDisplayOff)
        MainForm->NoteDataSource->SetEnabled(true);
      else
        MainForm->NoteDataSourceDataChange(MainForm->NoteDataSource, nullptr);
    } catch (...) {
      // The display catches up at the next move.
    }
  }

 private:
  TXbTable& FNotes;
  bool FDisplayOff;
  bool FSaved = false;
  bool FLocked = false;
};

// Sets an environment switch for a scope and puts it back.
class TEnvSwitch {
 public:
  using TSetter = void (TXbEnv::*)(bool);
  TEnvSwitch(TXbEnv& env, TSetter set, bool during, bool after) : FEnv(env), FSet(set), FAfter(after) {
    (FEnv.*FSet)(during);
  }
  ~TEnvSwitch() {
    try {
      (FEnv.*FSet)(FAfter);
    } catch (...) {
    }
  }
  TEnvSwitch(const TEnvSwitch&) = delete;
  TEnvSwitch& operator=(const TEnvSwitch&) = delete;

 private:
  TXbEnv& FEnv;
  TSetter FSet;
  bool FAfter;
};

// The record numbers of the notes in view in the order in force, from the cursor on. The
// main window does not follow this read.
std::vector<XbLong> NotesFromHere(TXbTable& t) {
  TDataSource& shown = *MainForm->NoteDataSource;
  struct TQuiet {
    TDataSource& source;
    bool was;
    ~TQuiet() {
      if (was) source.SetEnabled(true);
    }
  } quiet{shown, shown.Enabled()};
  shown.SetEnabled(false);
  std::vector<XbLong> notes;
  while (!t.Eof()) {
    if (AtNote(t)) notes.push_back(t.RecNo());
    t.Skip(1);
  }
  return notes;
}

// Runs Each on the notes in view from the cursor on, one by one by record number: a write that
// moves a note in the order in force neither hides the notes behind it nor brings it round
// again.
template <class F>
void WalkFromHere(TXbTable& t, F&& Each) {
  for (const XbLong recNo : NotesFromHere(t)) {
    t.SetRecNo(static_cast<int>(recNo));
    if (t.RecNo() == recNo && AtNote(t)) Each();
  }
}

template <class F>
void WalkAll(TXbTable& t, F&& Each) {
  t.GoTop();
  WalkFromHere(t, std::forward<F>(Each));
}

// The words of one body line: the line trimmed plus one blank, cut after each blank (a word
// keeps its blank; a run of blanks gives words of one blank).
std::vector<std::string> LineWords(const std::string& line) {
  const std::string text = Trim(line) + " ";
  std::vector<std::string> words;
  std::size_t start = 0;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != ' ') continue;
    words.push_back(text.substr(start, i - start + 1));
    start = i + 1;
  }
  return words;
}

// Adds to Keys the longest dictionary entry that Word begins with, among the entries that
// share Word's first two bytes, unless Keys has it already or would grow too long. Dict is a
// cursor over the dictionary in the order of its FF tag (TTableCursor, TMemoryCursor).
template <class TCursor>
void AddKeyword(TCursor& dict, const std::string& word, std::string& keys) {
  const std::string head = word.substr(0, 2);
  const std::string key = head + kLastSyllable;
  dict.Seek(key);
  // The soft seek lands on the first entry not below the key; past the last entry it stays
  // on the last one, which is then itself the first entry below the key.
  if (dict.Eof()) dict.GoBottom();
  if (dict.Entry().compare(0, key.size(), key) >= 0) dict.Back();
  while (!dict.Bof()) {
    const std::string& entry = dict.Entry();
    if (entry.compare(0, 2, head) != 0) return;
    const std::string keyword = Trim(entry);
    if (keyword.empty() || word.compare(0, keyword.size(), keyword) != 0) {
      dict.Back();
      continue;
    }
    if (cp949::Find(keys, keyword) == std::string::npos && Trim(keys + keyword).size() <= kKeywordsLimit)
      keys += keyword + " ";
    return;
  }
}

// The dictionary table itself, in the order in force (its FF tag) under a soft seek.
class TTableCursor {
 public:
  explicit TTableCursor(TXbTable& t) : FTable(t) {}
  void Seek(const std::string& key) { FTable.Seek(key); }
  bool Eof() { return FTable.Eof(); }
  bool Bof() { return FTable.Bof(); }
  void GoBottom() { FTable.GoBottom(); }
  void Back() { FTable.Skip(-1); }
  const std::string& Entry() { return FEntry = FTable.GetString("ff"); }

 private:
  TXbTable& FTable;
  std::string FEntry;
};

// The dictionary's entries read once in the order of its FF tag, for a run that looks up
// every word of every note: as the table cursor, with the seek a binary search. Valid while
// that order is byte order (Load says whether it is).
class TMemoryCursor {
 public:
  // Reads the entries of Dict in its order in force; false when that order is not byte order.
  bool Load(TXbTable& Dict) {
    Dict.SelectWorkArea();
    Dict.xb_GoTop();
    for (; Dict.xb_Eof() == 0; Dict.xb_Skip(1)) {
      FEntries.push_back(Dict.xb_GetString("ff"));
      if (FEntries.size() > 1 && FEntries[FEntries.size() - 2] > FEntries.back()) return false;
    }
    return true;
  }
  void Seek(const std::string& key) {
    FAt = static_cast<std::size_t>(
        std::lower_bound(FEntries.begin(), FEntries.end(), key,
                         [](const std::string& e, const std::string& k) { return e.compare(0, k.size(), k) < 0; }) -
        FEntries.begin());
    FBof = FEntries.empty();
  }
  bool Eof() const { return FAt >= FEntries.size(); }
  bool Bof() const { return FBof; }
  void GoBottom() {
    FAt = FEntries.empty() ? 0 : FEntries.size() - 1;
    FBof = FEntries.empty();
  }
  void Back() {
    if (FAt == 0)
      FBof = true;
    else
      --FAt;
  }
  const std::string& Entry() const { return FAt < FEntries.size() ? FEntries[FAt] : FNone; }

 private:
  std::vector<std::string> FEntries;
  std::size_t FAt = 0;
  bool FBof = true;
  std::string FNone;
};

// Progress of a walk in the main window's status bar; the windows repaint at the long
// operation's pace. The bar's text comes back at the end.
class TWalkProgress {
 public:
  TWalkProgress() : FPanel(MainForm->SBar->Panels()[0]), FWas(FPanel.Text()) {}
  ~TWalkProgress() { FPanel.SetText(FWas); }
  TWalkProgress(const TWalkProgress&) = delete;
  TWalkProgress& operator=(const TWalkProgress&) = delete;
  // Done of Total; true when the windows had their turn (the engine's selection may have
  // changed meanwhile).
  bool Step(int64_t Done, int64_t Total) {
    if ((++FSteps & 255) != 0) return false;
    const int percent = Total > 0 ? static_cast<int>(std::clamp<int64_t>(Done * 100 / Total, 0, 100)) : 0;
    if (percent != FShown) {
      FShown = percent;
      FPanel.SetText(IntToStr(percent) + "%");
    }
    TLongOperation::Pump();
    return true;
  }

 private:
  TStatusPanel& FPanel;
  std::string FWas;
  unsigned FSteps = 0;
  int FShown = -1;
};

// Runs Each on the notes in view, from the top or from the cursor on, straight through the
// engine with the table's work area selected: no dataset moves and no display, each record
// read once, and what Each stores with xb_Replace written as the walk moves on (under the
// run's file lock, in runs of records). In natural order the notes are changed as they are
// reached; under an order a change could move a note in that order, so there they are
// listed first and visited by record number. Returns the last note visited (0: none), which
// the caller makes the dataset's current record once at the end.
template <class F>
XbLong EngineWalk(TXbTable& t, bool FromTop, F&& Each) {
  TLongOperation busy;
  TWalkProgress progress;
  const XbLong from = FromTop ? 0 : t.RecNo();
  t.SelectWorkArea();
  if (FromTop)
    t.xb_GoTop();
  else
    t.xb_Go(from);
  auto atNote = [&] { return t.xb_RecNo() >= 2 && t.xb_Deleted() == 0; };
  XbLong last = 0;
  if (t.xb_IndexOrd() == 0) {
    const XbLong count = t.xb_RecCount();
    for (; t.xb_Eof() == 0; t.xb_Skip(1)) {
      if (atNote()) {
        Each();
        last = t.xb_RecNo();
      }
      if (progress.Step(t.xb_RecNo() - from, count - from)) t.SelectWorkArea();
    }
    return last;
  }
  std::vector<XbLong> notes;
  for (; t.xb_Eof() == 0; t.xb_Skip(1)) {
    if (atNote()) notes.push_back(t.xb_RecNo());
    if (progress.Step(0, 1)) t.SelectWorkArea();
  }
  for (std::size_t i = 0; i < notes.size(); ++i) {
    t.xb_Go(notes[i]);
    if (t.xb_RecNo() == notes[i] && atNote()) {
      Each();
      last = notes[i];
    }
    if (progress.Step(static_cast<int64_t>(i), static_cast<int64_t>(notes.size()))) t.SelectWorkArea();
  }
  return last;
}

// Stores text fields into the engine's current record of T, which the walk writes as one
// record when it moves on; each value is cut to its field's width on a character boundary,
// and a field that holds its value already is left alone.
void PutRaw(TXbTable& t, const std::vector<std::pair<std::string, std::string>>& values) {
  for (const auto& [field, value] : values) {
    const int width = t.xb_FieldWidth(field);
    const std::string fitted = cp949::Cut(value, static_cast<std::size_t>(width > 0 ? width : 0));
    if (StrPadR(fitted, width) != t.xb_GetString(field)) t.xb_Replace(field, kReplaceText, fitted.c_str());
  }
}

void PutRaw(TXbTable& t, const std::string& field, const std::string& value) { PutRaw(t, {{field, value}}); }

// A plain body as the body editor holds it: every line break is one break, and the characters
// its document gives back in another form are in that form.
QString EditorPlainText(const std::string& body) {
  QString text = orv::FromCrLf(body);
  text.replace(QChar(0x00A0), u' ');
  for (char16_t breaks : {u'\u2028', u'\u2029', u'\uFDD0', u'\uFDD1'}) text.replace(QChar(breaks), u'\n');
  return text;
}

// A plain body as the body editor gives it back (its Text).
std::string EditedPlainBody(const std::string& body) { return orv::ToCrLf(EditorPlainText(body)); }

// True when the body editor gives the plain body back as it is, known without the editor's
// conversions: every line break is CR LF, and the text is valid code page 949, whose
// characters come back unchanged (none of them is one the editor's document changes).
bool EditorKeepsPlainBody(const std::string& body, std::string& scratch) {
  for (std::size_t i = body.find_first_of("\r\n"); i != std::string::npos; i = body.find_first_of("\r\n", i + 1)) {
    if (body[i] == '\n' || i + 1 >= body.size() || body[i + 1] != '\n') return false;
    ++i;
  }
  return cp949::TryToUtf8(body, scratch);
}

// The whole of a memo field of the engine's current record, in one read where it fits the
// buffer (most do), else at its own length.
std::string WholeMemo(TXbTable& t, const char* field, std::vector<char>& buffer) {
  XbLong n = t.xb_GetBlob(field, buffer.data(), static_cast<XbLong>(buffer.size()));
  if (n == static_cast<XbLong>(buffer.size())) {
    const XbLong length = t.xb_GetBlobLength(field);
    if (length > n) {
      buffer.resize(static_cast<std::size_t>(length));
      n = t.xb_GetBlob(field, buffer.data(), length);
    }
  }
  return std::string(buffer.data(), static_cast<std::size_t>(std::max<XbLong>(n, 0)));
}

// The lines a plain body shows in the body editor (its Lines): the text as the editor holds
// it, cut at each line break; an empty body has none.
std::vector<std::string> PlainBodyLines(const std::string& body) {
  const QString text = EditorPlainText(body);
  std::vector<std::string> lines;
  if (text.isEmpty()) return lines;
  for (const QString& line : text.split(u'\n')) lines.push_back(orv::FromQ(line));
  return lines;
}

}  // namespace

TConvForm::TConvForm(TComponent* AOwner) : TForm(AOwner) {
  SetUpDialog("ConvForm", K("일괄작업"), 470, 380);

  PageControl1 = CreateControl<TPageControl>(this, this, "PageControl1", 8, 8, 448, 290);
  TabSheet1 = new TTabSheet(this);
  TabSheet1->SetName("TabSheet1");
  TabSheet1->SetPageControl(PageControl1);
  TabSheet1->SetText(K("일괄입력"));
  TabSheet2 = new TTabSheet(this);
  TabSheet2->SetName("TabSheet2");
  TabSheet2->SetPageControl(PageControl1);
  TabSheet2->SetText(K("일괄V표"));

  // ---- page 1
  GroupBox1 = CreateControl<TGroupBox>(this, TabSheet1, "GroupBox1", 8, 6, 206, 120);
  GroupBox1->SetText(K("구 분 선 택"));
  GroupBox2 = CreateControl<TGroupBox>(this, TabSheet1, "GroupBox2", 222, 6, 206, 120);
  GroupBox2->SetText(K("자리바꿈"));
  TRadioButton** radios[4] = {&RBtn1, &RBtn2, &RBtn3, &RBtn4};
  TCheckBox** boxes[4] = {&CBox1, &CBox2, &CBox3, &CBox4};
  for (int i = 0; i < 4; ++i) {
    const std::string n = std::to_string(i + 1);
    *radios[i] = CreateControl<TRadioButton>(this, GroupBox1, ("RBtn" + n).c_str(), 12, 20 + i * 24, 180, 22);
    *boxes[i] = CreateControl<TCheckBox>(this, GroupBox2, ("CBox" + n).c_str(), 12, 20 + i * 24, 180, 22);
  }
  w1Btn = CreateControl<TRadioButton>(this, TabSheet1, "w1Btn", 12, 134, 100, 22);
  w1Btn->SetText(K("단어변경"));
  w2Btn = CreateControl<TRadioButton>(this, TabSheet1, "w2Btn", 124, 134, 100, 22);
  w2Btn->SetText(K("일괄입력"));
  w3Btn = CreateControl<TRadioButton>(this, TabSheet1, "w3Btn", 236, 134, 100, 22);
  w3Btn->SetText(K("자리바꿈"));
  w1Btn->SetChecked(true);
  Edit1 = CreateControl<TEdit>(this, TabSheet1, "Edit1", 12, 164, 416, 24);
  Edit2 = CreateControl<TEdit>(this, TabSheet1, "Edit2", 12, 194, 416, 24);
  for (TEdit* e : {Edit1, Edit2}) e->ImeName = K("한국어(한글)");
  Vchk = CreateControl<TCheckBox>(this, TabSheet1, "Vchk", 12, 228, 120, 22);
  Vchk->SetText(K("V 표시만"));
  OKBtn = CreateControl<TBitBtn>(this, TabSheet1, "OKBtn", 318, 224, 110, 30);
  OKBtn->SetText(K("작업시작"));
  HDBGrid1 = CreateControl<THDBGrid>(this, TabSheet1, "HDBGrid1", 140, 226, 40, 20);
  HDBGrid1->SetVisible(false);

  // ---- page 2
  Rc1 = CreateControl<TRadioButton>(this, TabSheet2, "Rc1", 16, 12, 300, 22);
  Rc1->SetText(K("처음부터 끝까지 V표시"));
  Rc2 = CreateControl<TRadioButton>(this, TabSheet2, "Rc2", 16, 42, 300, 22);
  Rc2->SetText(K("현재레코드부터       개만  V표시"));
  CouEd = CreateControl<TMaskEdit>(this, TabSheet2, "CouEd", 140, 41, 48, 24);
  CouEd->SetEditMask("99999;0; ");
  CouEd->SetMaxLength(5);
  CouEd->SetText("0");
  Rc3 = CreateControl<TRadioButton>(this, TabSheet2, "Rc3", 16, 72, 300, 22);
  Rc3->SetText(K("반대로 V표하기 "));
  Rc4 = CreateControl<TRadioButton>(this, TabSheet2, "Rc4", 16, 102, 300, 22);
  Rc4->SetText(K("처음부터 끝까지 V표시 지움"));
  RBtnDel = CreateControl<TRadioButton>(this, TabSheet2, "RBtnDel", 16, 132, 300, 22);
  RBtnDel->SetText(K("V표시된 자료 삭제하기 "));
  Rc5 = CreateControl<TRadioButton>(this, TabSheet2, "Rc5", 16, 162, 300, 22);
  Rc5->SetText(K("같은제목만  'V'표시 "));
  Rc1->SetChecked(true);
  BitBtn1 = CreateControl<TBitBtn>(this, TabSheet2, "BitBtn1", 318, 224, 110, 30);
  BitBtn1->SetText(K("작업시작"));

  // ---- below the pages
  Tit = CreateControl<TLabel>(this, this, "Tit", 14, 314, 220, 20);
  CancelBtn = CreateControl<TBitBtn>(this, this, "CancelBtn", 346, 306, 110, 30);
  CancelBtn->SetKind(bkCancel);
  CancelBtn->SetText(K("닫   기"));

  OnCreate = [this](TObject* s) { FormCreate(s); };
  OnActivate = [this](TObject* s) { FormActivate(s); };
  OnKeyPress = [this](TObject* s, char& k) { FormKeyPress(s, k); };
  w1Btn->OnClick = [this](TObject* s) { w1BtnClick(s); };
  w2Btn->OnClick = [this](TObject* s) { w2BtnClick(s); };
  w3Btn->OnClick = [this](TObject* s) { w3BtnClick(s); };
  CouEd->OnEnter = [this](TObject* s) { CouEdEnter(s); };
  Rc1->OnClick = [this](TObject* s) { Rc1Click(s); };
  OKBtn->OnClick = [this](TObject* s) { Button2Click(s); };
  BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
  Edit2->OnExit = [this](TObject* s) { Edit2Exit(s); };
  CancelBtn->OnClick = [this](TObject* s) { CancelBtnClick(s); };
}

void TConvForm::FormCreate(TObject*) {
  RBtn1->SetChecked(true);
  if (MainForm) HDBGrid1->SetDataSource(MainForm->FFdbDataSource);
}

void TConvForm::FormActivate(TObject*) {
  // Laid out with the fonts the dialog shows.
  PlaceCountBox();
  if (!MainForm) return;
  TLabel* labels[4] = {MainForm->Label1, MainForm->Label2, MainForm->Label3, MainForm->Label4};
  TRadioButton* radios[4] = {RBtn1, RBtn2, RBtn3, RBtn4};
  TCheckBox* boxes[4] = {CBox1, CBox2, CBox3, CBox4};
  for (int i = 0; i < 4; ++i) {
    radios[i]->SetText(labels[i]->Caption());
    boxes[i]->SetText(labels[i]->Caption());
  }
  TXbTable& notes = *MainForm->NoteTable;
  const bool all = !notes.Active() || notes.QueryRecCount() == notes.RecCount();
  Tit->SetCaption(all ? std::string() : K("검색내용중 변환작업"));
  const bool writable = !Protected();
  OKBtn->SetEnabled(writable);
  RBtnDel->SetEnabled(writable);
}

void TConvForm::FormKeyPress(TObject*, char& Key) {
  EnterMovesToNextControl(Key);
}

void TConvForm::w1BtnClick(TObject*) {
  for (TEdit* e : {Edit1, Edit2}) {
    e->SetEnabled(true);
    e->SetColor(clWindow);
  }
  GroupBox1->SetVisible(true);
}

void TConvForm::w2BtnClick(TObject*) {
  Edit1->SetText(std::string());
  Edit1->SetEnabled(false);
  Edit1->SetColor(clBtnFace);
  Edit2->SetEnabled(true);
  Edit2->SetColor(clWindow);
  GroupBox1->SetVisible(true);
}

void TConvForm::w3BtnClick(TObject*) {
  for (TEdit* e : {Edit1, Edit2}) {
    e->SetText(std::string());
    e->SetEnabled(false);
    e->SetColor(clBtnFace);
  }
  GroupBox1->SetVisible(false);
}

void TConvForm::PlaceCountBox() {
  // The count stands in the gap of Rc2's caption and covers none of its words: the gap is
  // widened until five digits fit, and the box takes exactly its room.
  QWidget* radio = Rc2->Widget();
  const QString caption = orv::ToQ(Rc2->Caption());
  const QString lead = orv::ToQ(K("현재레코드부터"));
  const int gapStart = static_cast<int>(lead.size());
  int gapEnd = gapStart;
  while (gapEnd < caption.size() && caption.at(gapEnd) == u' ') ++gapEnd;
  // Where the caption's characters stand as drawn (word spacing included).
  auto gapEdges = [&](const QFont& font) {
    QTextLayout layout(caption, font);
    layout.beginLayout();
    QTextLine line = layout.createLine();
    layout.endLayout();
    return std::pair<int, int>(static_cast<int>(line.cursorToX(gapStart)), static_cast<int>(line.cursorToX(gapEnd)));
  };
  const int digits = CouEd->LineEdit()->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12;
  QFont font = radio->font();
  font.setWordSpacing(0);
  auto [from, to] = gapEdges(font);
  // The spacing widens each run of blanks once.
  if (to - from < digits) font.setWordSpacing(digits - (to - from));
  radio->setFont(font);
  std::tie(from, to) = gapEdges(font);
  QStyleOptionButton opt;
  opt.initFrom(radio);
  const int textLeft = radio->style()->subElementRect(QStyle::SE_RadioButtonContents, &opt, radio).left();
  CouEd->SetBounds(Rc2->Left() + textLeft + from + 1, Rc2->Top() - 1, to - from - 2, CouEd->Height());
  CouEd->BringToFront();
}

void TConvForm::CouEdEnter(TObject*) { Rc2->SetChecked(true); }

void TConvForm::Rc1Click(TObject*) { CouEd->SetText("0"); }

void TConvForm::CancelBtnClick(TObject*) { Close(); }

int TConvForm::ChosenField() const {
  const TRadioButton* radios[4] = {RBtn1, RBtn2, RBtn3, RBtn4};
  for (int i = 0; i < 4; ++i)
    if (radios[i]->Checked()) return i + 1;
  return 1;
}

bool TConvForm::Protected() const { return MainForm && MainForm->memo1->ReadOnly(); }

// ---- page 1 -----------------------------------------------------------------------------

void TConvForm::WalkTitles(const std::function<TTitleWrites(TXbTable&)>& Edit) {
  TXbTable& notes = *MainForm->NoteTable;
  const bool onlyMarked = Vchk->Checked();
  {
    TNoteRun run(true);
    if (run.Start()) {
      THourGlass wait;
      EngineWalk(notes, true, [&] {
        if (onlyMarked && Trim(notes.xb_GetString("chk")).empty()) return;
        PutRaw(notes, Edit(notes));
      });
      notes.Commit();
      notes.GoTop();
    }
  }
  Close();
}

void TConvForm::Button2Click(TObject*) {
  if (!MainForm || !MainForm->NoteTable->Active() || Protected()) return;
  const std::string search = StrRTrim(Edit1->Text());
  const std::string replacement = StrRTrim(Edit2->Text());
  if (!search.empty() && search[0] == '#') {
    TrimDelete();
    return;
  }
  if (w3Btn->Checked()) {
    Change();
    return;
  }
  const std::string field = kTitleFields[ChosenField() - 1];
  if (w2Btn->Checked()) {
    WalkTitles([&](TXbTable& t) -> TTitleWrites { return {{field, StrRTrim(t.xb_GetString(field)) + replacement}}; });
    return;
  }
  WalkTitles([&](TXbTable& t) -> TTitleWrites {
    const std::string value = t.xb_GetString(field);
    const std::size_t at = search.empty() ? std::string::npos : cp949::Find(value, search);
    if (at == std::string::npos) return {};
    return {{field, value.substr(0, at) + replacement + value.substr(at + search.size())}};
  });
}

void TConvForm::TrimDelete() {
  const std::string command = Trim(Edit1->Text());
  const std::string digits = Trim(Edit2->Text());
  const char digit = digits.empty() ? '\0' : digits[0];
  const std::string field = digit >= '1' && digit <= '4' ? kTitleFields[digit - '1'] : "";
  const bool erase = command == "#delete";
  const bool trim = command == "#trim";
  WalkTitles([&](TXbTable& t) -> TTitleWrites {
    if (field.empty() || (!erase && !trim)) return {};
    return {{field, erase ? std::string() : Trim(t.xb_GetString(field))}};
  });
}

void TConvForm::Change() {
  TCheckBox* boxes[4] = {CBox1, CBox2, CBox3, CBox4};
  int checked = 0;
  for (TCheckBox* b : boxes) checked += b->Checked() ? 1 : 0;
  if (checked != 2) {
    ShowMessage(K("  2개의 항목을 선택해야 합니다..."));
    return;
  }
  int a = 0, b = 0;
  for (int i = 0; i < 4 && a == 0; ++i)
    for (int j = i + 1; j < 4 && a == 0; ++j)
      if (boxes[i]->Checked() && boxes[j]->Checked()) {
        a = i + 1;
        b = j + 1;
      }
  const std::string first = kTitleFields[a - 1];
  const std::string second = kTitleFields[b - 1];
  // Both fields change in one edit, so a note is never left with one title doubled.
  WalkTitles([&](TXbTable& t) -> TTitleWrites {
    return {{first, t.xb_GetString(second)}, {second, t.xb_GetString(first)}};
  });
}

// ---- page 2 -----------------------------------------------------------------------------

void TConvForm::BitBtn1Click(TObject*) {
  if (!MainForm || !MainForm->NoteTable->Active()) return;
  TXbTable& notes = *MainForm->NoteTable;
  if (RBtnDel->Checked() && Protected()) {
    // The choice may stand from a showing before the file was protected.
    MessageBox(K("  쓰기,삭제 방지 되어 있습니다. "), ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
    return;
  }
  const int count = StrToIntZero(CouEd->Text());
  // Building the tag reopens the table, which would drop the file lock of the walk.
  if (Rc5->Checked() && !MainForm->IsTag("TIT1")) {
    THourGlass wait;
    if (!IndexDlg->MakeIndex(notes, "TIT1", "tit1")) {
      Close();
      return;
    }
  }
  bool done = false;
  {
    TNoteRun run(true);
    if (run.Start()) {
      THourGlass wait;
      auto mark = [&](const char* value) { PutRaw(notes, "chk", value); };
      if (Rc1->Checked() || Rc3->Checked() || Rc4->Checked()) {
        // The dataset and the main window catch up once afterwards.
        const bool invert = Rc3->Checked();
        const char* value = Rc1->Checked() ? kMarked : kUnmarked;
        const XbLong last = EngineWalk(notes, true, [&] {
          mark(invert ? (notes.xb_GetString("chk") == kUnmarked ? kMarked : kUnmarked) : value);
        });
        if (last > 0) notes.SetRecNo(static_cast<int>(last));
      } else if (Rc2->Checked()) {
        // The count starts at the current note; the notes before it and after the counted
        // ones lose their marks.
        const XbLong current = notes.RecNo();
        int counter = 0;
        bool counting = false;
        EngineWalk(notes, true, [&] {
          if (notes.xb_RecNo() == current) counting = true;
          if (!counting) {
            mark(kUnmarked);
            return;
          }
          if (counter < count) mark(kMarked);
          ++counter;
          if (counter == count) counting = false;
        });
        notes.SetRecNo(static_cast<int>(current));
      } else if (Rc5->Checked()) {
        notes.SetOrder(notes.TagArea("TIT1"));
        notes.Tag = 1;
        std::string previous = kNoTitle;
        const XbLong last = EngineWalk(notes, true, [&] {
          const std::string title = notes.xb_GetString("tit1");
          mark(title == previous ? kMarked : kUnmarked);
          previous = title;
        });
        if (last > 0) notes.SetRecNo(static_cast<int>(last));
      } else if (RBtnDel->Checked()) {
        if (MessageDlg(K(" V표시된 자료를 정말 삭제 할까요?"), mtCustom, {mbYes, mbNo}, 0) == mrYes) {
          {
            // Deleted notes stay in view while the walk deletes, so it moves on from each one.
            TEnvSwitch visible(*MainForm->XbEnv1, &TXbEnv::SetDeleted, false, true);
            WalkAll(notes, [&] {
              if (notes.GetString("chk") == kMarked) notes.Delete();
            });
          }
          notes.GoTop();
        }
      }
      notes.Commit();
      done = true;
    }
  }
  if (done) MessageDlg(K("  작업완료..  "), mtCustom, {mbOK}, 0);
  Close();
}

// ---- maintenance codes ------------------------------------------------------------------

void TConvForm::Edit2Exit(TObject*) {
  const std::string code = Edit2->Text();
  if (code != kCodeKeywords && code != kCodeBodies && code != kCodeTit3) return;
  if (!MainForm || !MainForm->NoteTable->Active()) return;
  if (Protected()) {
    MessageBox(K("  쓰기,삭제 방지 되어 있습니다. "), ApplicationTitle(), MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (code == kCodeKeywords)
    getFF();
  else if (code == kCodeBodies)
    NewSave();
  else
    CutTit3();
}

void TConvForm::getFF() {
  TXbTable& dict = *MainForm->FFdbTable;
  try {
    if (!dict.Active()) dict.Open();
  } catch (const std::exception& e) {
    // The dictionary comes with the installation; without it there is nothing to tag with.
    ShowException(e);
    return;
  }
  {
    THourGlass wait;
    if (!IndexDlg->MakeIndex(dict, "FF", "ff")) return;
  }
  dict.SetOrder(dict.TagArea("FF"));
  MainForm->HDBGrid1->SetVisible(false);

  TXbTable& notes = *MainForm->NoteTable;
  TRichEdit& body = *MainForm->memo1;
  // Every word of every note is looked up: in the dictionary's entries read once, while its
  // order is byte order, else in the table itself.
  TMemoryCursor inMemory;
  const bool byteOrder = inMemory.Load(dict);
  TTableCursor onTable(dict);
  bool done = false;
  {
    // The window does not follow the walk: the words are taken from each body as the body
    // editor would show it, and the main window shows its note again at the end.
    TNoteRun run(true);
    if (!run.Start()) return;
    THourGlass wait;
    TEnvSwitch soft(*MainForm->XbEnv1, &TXbEnv::SetSoftSeek, true, false);
    const XbLong last = EngineWalk(notes, false, [&] {
      std::string keys = notes.xb_GetTrimString("tit4");
      if (!keys.empty()) keys += " ";
      const std::string text = notes.xb_GetMemo("mmm");
      std::vector<std::string> lines;
      if (notes.xb_GetString("type") == kPlainType) {
        lines = PlainBodyLines(text);
      } else {
        // A rich body shows the text its formats give.
        body.SetPlainText(false);
        body.StreamIn(text);
        const TStrings& shown = body.Lines();
        for (int i = 0; i < shown.Count(); ++i) lines.push_back(shown.Get(i));
      }
      for (const std::string& line : lines)
        for (const std::string& word : LineWords(line)) {
          if (byteOrder)
            AddKeyword(inMemory, word, keys);
          else
            AddKeyword(onTable, word, keys);
        }
      notes.SelectWorkArea();
      PutRaw(notes, "tit4", keys);
    });
    if (last > 0) notes.SetRecNo(static_cast<int>(last));
    notes.Commit();
    notes.GoTop();
    done = true;
  }
  // The tagging ends the program, through the main window's usual closing steps.
  if (done) {
    Close();
    MainForm->Close();
  }
}

void TConvForm::NewSave() {
  TXbTable& notes = *MainForm->NoteTable;
  // Each plain body is stored as the body editor would give it back, straight through the
  // engine: the window does not show each note on the way, and the current note is shown
  // again at the end.
  TNoteRun run(true);
  if (!run.Start()) return;
  THourGlass wait;
  std::vector<char> buffer(64 * 1024);
  std::string scratch;
  const XbLong last = EngineWalk(notes, false, [&] {
    if (notes.xb_GetString("type") != kPlainType) return;
    const std::string body = WholeMemo(notes, "mmm", buffer);
    // A body that holds a NUL reads only up to it as text: storing that would cut it.
    if (body.find('\0') != std::string::npos || EditorKeepsPlainBody(body, scratch)) return;
    const std::string edited = EditedPlainBody(body);
    if (edited != body) notes.xb_Replace("mmm", kReplaceMemo, edited.c_str());
  });
  if (last > 0) notes.SetRecNo(static_cast<int>(last));
  notes.Commit();
}

void TConvForm::CutTit3() {
  TXbTable& notes = *MainForm->NoteTable;
  TNoteRun run(false);
  if (!run.Start()) return;
  THourGlass wait;
  constexpr std::size_t kFull = 40, kLongest = 39, kShortest = 20;
  EngineWalk(notes, true, [&] {
    const std::string title = notes.xb_GetString("tit3");
    if (title.size() < kFull || title[kFull - 1] == ' ') return;
    for (std::size_t p = kLongest; p >= kShortest; --p)
      if (title[p - 1] == ' ') {
        PutRaw(notes, "tit3", title.substr(0, p));
        return;
      }
  });
  notes.Commit();
  notes.GoTop();
}
