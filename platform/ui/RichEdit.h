// The rich-edit control: a multi-line editor of formatted text over a Qt text document, the
// note body of the main window.
//
// Text and positions follow the edits of this layer (StdCtrls.h): Text, Lines and SelText are
// code page 949 bytes, a line break is CR LF, and SelStart, SelLength, MaxLength and the caret
// column count bytes of Text() (a Hangul syllable is two, a line break two). A selection set
// in bytes takes in every character it touches: one byte of a syllable selects the syllable.
// Typing past MaxLength is refused, a paste is cut on a character boundary to what fits, and
// characters without a code page 949 form are neither typed nor pasted.
//
// Stored form: with PlainText off (rich mode) StreamOut gives the rich-text (RTF) source of
// the body and StreamIn reads RTF source (text that is not RTF is shown as it is); with
// PlainText on both use the text itself. Changing PlainText changes only what the streams do.
//
// The modified flag: typing, cutting, pasting and deleting by the user set it, so do changes
// of the selection's attributes, SelText, StreamIn and every change through Lines (loading a
// body counts as changing it, the caller clears the flag when it has shown a stored body).
// Setting a different Text from the program clears it; setting the same Text does nothing.
//
// Events: those of the control base; OnMouseDown, OnMouseUp and OnDblClick arrive after the
// editor has moved the caret for that press; OnSelectionChange after every move of the caret
// or the selection; OnChange after every change of the text or of its formats.
// GUI thread only.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include <QObject>
#include <QString>

#include "platform/ui/StdCtrls.h"

class QPagedPaintDevice;
class QRect;
class QTextCharFormat;
class QTextEdit;
class RichEditWidget;
class TRichEdit;

// Character attributes of a rich edit's selection (SelAttributes).
// Reading: a style counts only when every selected character has it; name, size and colour
// are those of the first selected character. With no selection they are the attributes that
// typing at the caret takes (those of the character before the caret; at the start of a line
// the one after it). Attributes a character does not set itself are the control's Font.
// Writing changes every selected character (the body is then modified) or, with no selection,
// what typing at the caret will take.
class TTextAttributes : public TPersistent {
 public:
  std::string Name() const;  // code page 949
  void SetName(const std::string& v);
  int Size() const;  // points
  void SetSize(int v);
  TFontStyles Style() const;
  void SetStyle(TFontStyles v);
  TColor Color() const;
  void SetColor(TColor v);

  // From a TFont: name, size, style and colour at once.
  void Assign(TPersistent* Source) override;

 protected:
  // Into a TFont (TFont::Assign(&SelAttributes)).
  void AssignTo(TPersistent* Dest) override;

 private:
  friend class TRichEdit;
  explicit TTextAttributes(TRichEdit* e) : FEdit(e) {}
  void Apply(const QTextCharFormat& delta);
  TRichEdit* FEdit;
};

// The lines of a rich edit (pieces of Text() between line breaks; an empty body has none).
// Changes go into the document at once and mark the edit modified. Between BeginUpdate and
// EndUpdate, once the list is cleared, the lines gathered are loaded as one body at the end as
// StreamIn does, so SetText, LoadFromFile and Assign read RTF source in rich mode.
class TRichEditStrings : public TStrings {
 public:
  explicit TRichEditStrings(TRichEdit* e) : FEdit(e) {}
  int Count() const override;
  std::string Get(int Index) const override;
  void Put(int Index, const std::string& S) override;
  void Insert(int Index, const std::string& S) override;
  void Delete(int Index) override;
  void Clear() override;

 protected:
  void SetUpdateState(bool Updating) override;

 private:
  void Check(int Index, int Count) const;
  TRichEdit* FEdit;
  bool FUpdating = false;
  bool FGathering = false;
  std::vector<std::string> FGathered;
};

class TRichEdit : public TCustomEdit {
 public:
  explicit TRichEdit(TComponent* AOwner);
  ~TRichEdit() override;

  // The body's text, lines joined by CR LF (no line break after the last line).
  std::string Text() const override;
  // Plain text: the formats go; CR LF, CR and LF are line breaks.
  void SetText(const std::string& v) override;
  // Length of Text() in bytes.
  int GetTextLen() const;

  bool PlainText() const { return FPlainText; }
  void SetPlainText(bool v) { FPlainText = v; }
  // The stored form of the body (see above). StreamIn puts the caret at the start, forgets
  // the undo history and marks the body modified.
  std::string StreamOut() const;
  void StreamIn(std::string_view source);

  TStrings& Lines() { return FLines; }
  const TStrings& Lines() const { return FLines; }
  TTextAttributes& SelAttributes() { return FSelAttributes; }

  int SelStart() const override;
  void SetSelStart(int v) override;
  int SelLength() const override;
  void SetSelLength(int v) override;
  std::string SelText() const override;
  void SetSelText(const std::string& v) override;
  void SelectAll() override;
  void Undo() override;
  void SetReadOnly(bool v) override;
  // The clipboard carries the formats (and plain text for other programs).
  void CopyToClipboard() override;
  void CutToClipboard() override;
  void PasteFromClipboard() override;

  // Line (from 0) and column in bytes (from 0) of the caret.
  int CaretLine() const;
  int CaretColumn() const;
  // Scrolls to the top left of the body; the caret stays.
  void ScrollToTop();

  bool WordWrap() const { return FWordWrap; }
  void SetWordWrap(bool v);
  TScrollStyle ScrollBars() const { return FScrollBars; }
  void SetScrollBars(TScrollStyle v);

  // Draws the body page by page into pageRect (device pixels) of each page of device, laid
  // out for that device, starting a new page for each after the first; returns the number of
  // pages. The caller opens and names the print job.
  int PrintTo(QPagedPaintDevice& device, const QRect& pageRect) const;

  TNotifyEvent OnSelectionChange;

  QTextEdit* TextEdit() const;

 protected:
  bool WantReturns() const override { return true; }

 private:
  friend class RichEditWidget;
  friend class TRichEditStrings;
  friend class TTextAttributes;

  // The document's plain text (line breaks as '\n') with the byte offset of every position.
  struct ByteMap {
    bool valid = false;
    QString plain;
    std::vector<int> offset;  // offset[i]: bytes before position i; size = length + 1
    std::vector<int> lineStart;  // position where each line starts; empty for an empty body
  };
  const ByteMap& Map() const;
  const QString& Plain() const;
  int BytesAt(int pos) const;
  // Position of a byte offset: rounded down to the start of the character it falls in, or up
  // to its end.
  int PosOfByte(int bytes, bool roundUp) const;
  // Start and end positions of each line.
  void LineRange(int index, int& start, int& end) const;
  int LineCount() const;

  // A change the program makes: the flag stays as the caller sets it, OnChange fires once.
  template <class F>
  void ProgramEdit(F&& f);
  void LoadSource(std::string_view source);
  void SelectionMoved();
  bool HasRoom(int bytes) const;

  TRichEditStrings FLines{this};
  TTextAttributes FSelAttributes{this};
  bool FPlainText = false;
  bool FWordWrap = true;
  TScrollStyle FScrollBars = ssNone;
  mutable ByteMap FMap;
  std::vector<QMetaObject::Connection> FConnections;
  int FLastAnchor = -1;
  int FLastPosition = -1;
};
