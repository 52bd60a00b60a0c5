// The standard controls: label, edit, memo, buttons, check and radio buttons, combo box,
// list box and group box.
//
// Edits count MaxLength, SelStart and SelLength in code page 949 bytes, as the note files do
// (a Hangul syllable is two bytes); typing past MaxLength is refused and a paste is cut on a
// character boundary to what fits. Characters that have no code page 949 form cannot be typed.
//
// The modified flag of the edits: typing, cutting, pasting and deleting by the user set it;
// setting a different text from the program clears it; setting the text the edit already
// holds does nothing (the flag stays as it was). OnChange fires for every change of the text,
// from the user or the program.
#pragma once

#include <string>
#include <vector>

#include "platform/ui/Controls.h"

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QCheckBox;
class QRadioButton;
class QComboBox;
class QListWidget;
class QGroupBox;

enum TAlignment { taLeftJustify, taRightJustify, taCenter };
enum TTextLayout { tlTop, tlCenter, tlBottom };
enum TBorderStyle { bsNoneBorder, bsSingleBorder };
enum TEditCharCase { ecNormal, ecUpperCase, ecLowerCase };
enum TScrollStyle { ssNone, ssHorizontal, ssVertical, ssBoth };
enum TCheckBoxState { cbUnchecked, cbChecked, cbGrayed };
enum TComboBoxStyle { csDropDown, csSimple, csDropDownList };
enum TIMEMode { imDisable, imClose, imOpen, imDontCare, imSAlpha, imAlpha, imHira, imSKata,
                imKata, imChinese, imSHanguel, imHanguel };

// ---- Label ----------------------------------------------------------------------------------

class TLabel : public TGraphicControl {
 public:
  explicit TLabel(TComponent* AOwner);
  std::string Text() const override { return FCaption; }
  void SetText(const std::string& v) override;
  bool AutoSize() const { return FAutoSize; }
  void SetAutoSize(bool v);
  TAlignment Alignment() const { return FAlignment; }
  void SetAlignment(TAlignment v);
  TTextLayout Layout() const { return FLayout; }
  void SetLayout(TTextLayout v);
  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  bool Transparent() const { return FTransparent; }
  void SetTransparent(bool v);
  // "&x" marks x as the accelerator (shown underlined); "&&" is one ampersand.
  bool ShowAccelChar() const { return FShowAccelChar; }
  void SetShowAccelChar(bool v);
  TWinControl* FocusControl = nullptr;

 protected:
  void ColorChanged() override;
  void FontChanged() override;

 private:
  void Apply();
  QLabel* Label() const;
  std::string FCaption;
  bool FAutoSize = true;
  TAlignment FAlignment = taLeftJustify;
  TTextLayout FLayout = tlTop;
  bool FWordWrap = false;
  bool FTransparent = false;
  bool FShowAccelChar = true;
};

// ---- Edit -----------------------------------------------------------------------------------

class TCustomEdit : public TWinControl {
 public:
  bool Modified() const { return FModified; }
  void SetModified(bool v) { FModified = v; }
  // Longest text in bytes the user can enter; 0 = no limit.
  int MaxLength() const { return FMaxLength; }
  void SetMaxLength(int v);
  bool ReadOnly() const { return FReadOnly; }
  virtual void SetReadOnly(bool v);

  // Selection in byte offsets of Text().
  virtual int SelStart() const = 0;
  virtual void SetSelStart(int v) = 0;
  virtual int SelLength() const = 0;
  virtual void SetSelLength(int v) = 0;
  virtual std::string SelText() const = 0;
  // Replaces the selection as typing would (it counts as the user's edit: Modified is set).
  virtual void SetSelText(const std::string& v) = 0;

  virtual void SelectAll() = 0;
  virtual void ClearSelection();
  virtual void CutToClipboard();
  virtual void CopyToClipboard();
  // Pastes the clipboard text at the caret, cut to what MaxLength leaves room for.
  virtual void PasteFromClipboard();
  virtual void Undo() = 0;
  void Clear() { SetText(std::string()); }

  bool AutoSelect = true;
  bool HideSelection = true;
  // The input method the edit asks for; stored, the platform decides the mode.
  std::string ImeName;
  TIMEMode ImeMode = imDontCare;

  TNotifyEvent OnChange;

 protected:
  TCustomEdit(TComponent* AOwner, QWidget* w);
  // The user changed the text.
  void UserEdited();
  virtual void Changed();
  // Bytes the current text may still grow by (INT_MAX without limit), given that the
  // selection is replaced.
  int Room() const;
  // The paste key goes through PasteFromClipboard; true when e was that key.
  bool PasteKey(QKeyEvent* e);

  bool FModified = false;
  bool FProgramChange = false;
  int FMaxLength = 0;
  bool FReadOnly = false;
};

class TEdit : public TCustomEdit {
 public:
  explicit TEdit(TComponent* AOwner);
  std::string Text() const override;
  void SetText(const std::string& v) override;

  int SelStart() const override;
  void SetSelStart(int v) override;
  int SelLength() const override;
  void SetSelLength(int v) override;
  std::string SelText() const override;
  void SetSelText(const std::string& v) override;
  void SelectAll() override;
  void Undo() override;
  void SetReadOnly(bool v) override;

  char PasswordChar() const { return FPasswordChar; }
  void SetPasswordChar(char v);
  TEditCharCase CharCase() const { return FCharCase; }
  void SetCharCase(TEditCharCase v) { FCharCase = v; }
  TBorderStyle BorderStyle() const { return FBorderStyle; }
  void SetBorderStyle(TBorderStyle v);

  QLineEdit* LineEdit() const;
  // The byte length the last accepted text had (for the length rule of typing).
  int AcceptedBytes() const { return FAcceptedBytes; }

 protected:
  bool DefaultKey(QKeyEvent* e) override;
  void KeyPress(char& Key) override;
  // Entering by keyboard or from the program selects the whole text when AutoSelect is on.
  void DoEnter() override;

 private:
  char FPasswordChar = 0;
  TEditCharCase FCharCase = ecNormal;
  TBorderStyle FBorderStyle = bsSingleBorder;
  int FAcceptedBytes = 0;
};

// A TEdit with an edit mask; the mask is stored and digits-only masks refuse other
// characters ("0" / "9" positions), which is what the program's masks ask for.
class TMaskEdit : public TEdit {
 public:
  explicit TMaskEdit(TComponent* AOwner) : TEdit(AOwner) {}
  const std::string& EditMask() const { return FEditMask; }
  void SetEditMask(const std::string& v) { FEditMask = v; }

 protected:
  void KeyPress(char& Key) override;

 private:
  std::string FEditMask;
};

// ---- Memo -----------------------------------------------------------------------------------

class TMemo;

// The lines of a memo as a string list.
class TMemoStrings : public TStrings {
 public:
  explicit TMemoStrings(TMemo* m) : FMemo(m) {}
  int Count() const override;
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  void Insert(int Index, const std::string& S) override;
  void Delete(int Index) override;
  void Clear() override;

 private:
  std::vector<std::string> Split() const;
  void Join(const std::vector<std::string>& lines);
  TMemo* FMemo;
};

class TMemo : public TCustomEdit {
 public:
  explicit TMemo(TComponent* AOwner);
  ~TMemo() override;

  // Lines are separated by CR LF in Text, as the class library's memo gives them.
  std::string Text() const override;
  void SetText(const std::string& v) override;
  TStrings& Lines() { return FLines; }

  int SelStart() const override;
  void SetSelStart(int v) override;
  int SelLength() const override;
  void SetSelLength(int v) override;
  std::string SelText() const override;
  void SetSelText(const std::string& v) override;
  void SelectAll() override;
  void Undo() override;
  void SetReadOnly(bool v) override;

  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle v);
  bool WantTabs_ = false;
  bool WantReturns_ = true;
  void SetWantTabs(bool v) { WantTabs_ = v; }
  void SetWantReturns(bool v) { WantReturns_ = v; }
  TAlignment Alignment = taLeftJustify;

  // Line and column (from 0) of the caret.
  int CaretLine() const;
  int CaretColumn() const;

  QPlainTextEdit* TextEdit() const;

 protected:
  bool WantTabs() const override { return WantTabs_; }
  bool WantReturns() const override { return WantReturns_; }
  void KeyPress(char& Key) override;
  bool DefaultKey(QKeyEvent* e) override;

 private:
  friend class TMemoStrings;
  void SetTextInternal(const std::string& v);
  TMemoStrings FLines{this};
  bool FWordWrap = true;
  TScrollStyle FScrollBars = ssNone;
};

// ---- Buttons --------------------------------------------------------------------------------

class TButtonControl : public TWinControl {
 protected:
  using TWinControl::TWinControl;
  bool OwnClick() const override { return true; }
};

class TButton : public TButtonControl {
 public:
  explicit TButton(TComponent* AOwner);
  std::string Text() const override { return FCaption; }
  void SetText(const std::string& v) override;
  // Enter on the form clicks the Default button, Esc the Cancel button.
  bool Default() const { return FDefault; }
  void SetDefault(bool v);
  bool Cancel() const { return FCancel; }
  void SetCancel(bool v) { FCancel = v; }
  // Clicking sets the form's ModalResult to this (mrNone: nothing).
  int ModalResult = 0;
  // Sets the form's ModalResult, then fires OnClick.
  void Click() override;

 protected:
  TButton(TComponent* AOwner, QWidget* w);

 private:
  std::string FCaption;
  bool FDefault = false;
  bool FCancel = false;
};

class TCheckBox : public TButtonControl {
 public:
  explicit TCheckBox(TComponent* AOwner);
  std::string Text() const override { return FCaption; }
  void SetText(const std::string& v) override;
  bool Checked() const { return FState == cbChecked; }
  // A change fires OnClick, as the class library does.
  void SetChecked(bool v);
  TCheckBoxState State() const { return FState; }
  void SetState(TCheckBoxState v);
  bool AllowGrayed = false;

 private:
  QCheckBox* Box() const;
  std::string FCaption;
  TCheckBoxState FState = cbUnchecked;
};

class TRadioButton : public TButtonControl {
 public:
  explicit TRadioButton(TComponent* AOwner);
  std::string Text() const override { return FCaption; }
  void SetText(const std::string& v) override;
  bool Checked() const { return FChecked; }
  // Checking turns the sibling radio buttons off and fires OnClick.
  void SetChecked(bool v);

 private:
  friend class TRadioGroup;
  void SetCheckedQuiet(bool v);
  QRadioButton* Radio() const;
  std::string FCaption;
  bool FChecked = false;
};

// ---- Lists ----------------------------------------------------------------------------------

// Items of a list control as a string list (strings and objects).
class TListControlStrings : public TStrings {
 public:
  struct Backend {
    virtual ~Backend() = default;
    virtual int count() const = 0;
    virtual std::string get(int i) const = 0;
    virtual void put(int i, const std::string& s) = 0;
    virtual void insert(int i, const std::string& s) = 0;
    virtual void remove(int i) = 0;
    virtual void clear() = 0;
  };
  explicit TListControlStrings(Backend* b) : FBackend(b) {}
  int Count() const override { return FBackend->count(); }
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  TObject* GetObject(int Index) const override;
  void PutObject(int Index, TObject* AObject) override;
  void Insert(int Index, const std::string& S) override;
  void InsertObject(int Index, const std::string& S, TObject* AObject) override;
  void Delete(int Index) override;
  void Clear() override;
  int AddObject(const std::string& S, TObject* AObject) override;
  bool Sorted = false;

 private:
  void Check(int Index) const;
  Backend* FBackend;
  std::vector<TObject*> FObjects;
};

class TComboBox : public TWinControl {
 public:
  explicit TComboBox(TComponent* AOwner);
  ~TComboBox() override;
  TComboBoxStyle Style() const { return FStyle; }
  void SetStyle(TComboBoxStyle v);
  TStrings& Items() { return *FItems; }
  int ItemIndex() const;
  void SetItemIndex(int v);
  std::string Text() const override;
  void SetText(const std::string& v) override;
  int DropDownCount = 8;
  bool Sorted() const { return FItems->Sorted; }
  void SetSorted(bool v);
  int MaxLength = 0;
  std::string ImeName;
  // The user typed or chose another item.
  TNotifyEvent OnChange;
  QComboBox* Combo() const;

 private:
  struct ItemsBackend;
  std::unique_ptr<ItemsBackend> FBackend;
  std::unique_ptr<TListControlStrings> FItems;
  TComboBoxStyle FStyle = csDropDown;
  bool FProgram = false;
};

class TListBox : public TWinControl {
 public:
  explicit TListBox(TComponent* AOwner);
  ~TListBox() override;
  TStrings& Items() { return *FItems; }
  int ItemIndex() const;
  void SetItemIndex(int v);
  bool MultiSelect() const { return FMultiSelect; }
  void SetMultiSelect(bool v);
  bool Selected(int Index) const;
  void SetSelected(int Index, bool v);
  int SelCount() const;
  bool Sorted() const { return FItems->Sorted; }
  // Sorts the items now and keeps new ones in order (by their bytes, letters folded).
  void SetSorted(bool v);
  int TopIndex() const;
  void SetTopIndex(int v);
  int ItemHeight() const;
  QListWidget* List() const;

 private:
  struct ItemsBackend;
  std::unique_ptr<ItemsBackend> FBackend;
  std::unique_ptr<TListControlStrings> FItems;
  bool FMultiSelect = false;
  bool FProgram = false;
};

class TGroupBox : public TWinControl {
 public:
  explicit TGroupBox(TComponent* AOwner);
  std::string Text() const override { return FCaption; }
  void SetText(const std::string& v) override;

 protected:
  TGroupBox(TComponent* AOwner, QGroupBox* box);

 private:
  std::string FCaption;
};
