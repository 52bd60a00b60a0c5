// The link routines of the note body, free of widgets: cutting the link text out around a
// click, telling what a link names (a mail address, a web page or a file below the link
// folder), writing a chosen file as link text, and resolving a file link to the file that may
// be opened.
//
// Positions are byte offsets of the body's text (code page 949, CR LF line breaks), as the
// body editor counts them. Paths are byte strings; '/' separates folders here, and a '\'
// written on the other system counts as one too.
//
// All routines are pure apart from ResolveFileLink, which looks at the file system.
#pragma once

#include <string>

// What the link scan asks of the body: the style of a selection and its text. Positions
// outside the body are never asked for.
class ILinkBody {
 public:
  virtual ~ILinkBody() = default;
  // Length of the body's text in bytes.
  virtual int Length() = 0;
  // True when every character that the selection [Start, Start + Count) touches is underlined.
  virtual bool Underlined(int Start, int Count) = 0;
  // The text of the selection [Start, Start + Count), cut to the body, widened to whole
  // characters.
  virtual std::string Text(int Start, int Count) = 0;
};

struct TLinkScan {
  enum TResult {
    lsNone,     // nothing to follow
    lsPastEnd,  // the click lay after the link text: the caret goes to Caret
    lsLink,     // Link is the text to follow
  };
  TResult Result = lsNone;
  std::string Link;   // the selected text, trimmed
  int SelStart = 0;   // the selection the scan made
  int SelLength = 0;
  int Caret = 0;      // for lsPastEnd
};

// Cuts the underlined run around caret position P (up to 50 characters either way) out of
// the body. The body's start and end bound the run as a character without underline does.
TLinkScan ScanLink(ILinkBody& Body, int P);

enum TLinkKind { lkNone, lkMail, lkWeb, lkFile };

// What a link text names: empty after trimming nothing; "." and "@" a mail address; else "."
// and "http:", "https:" or "www." (any case) a web page; else a file below the link folder.
TLinkKind ClassifyLink(const std::string& Text);

// A web link is handed to the browser only when it starts as a web address does ("http:",
// "https:" or "www.", any case); any other text holding those marks is taken as a file link.
bool IsWebAddress(const std::string& Text);

// The word around byte position Caret of a title: from just after the nearest blank before
// it (or the start) to the nearest blank after it (or the end), trimmed.
std::string WordAtCaret(const std::string& Text, int Caret);

// The link text of a chosen file: its bare name when it lies directly in LinkDir, "/" and its
// path below LinkDir with "/" between the parts when it lies in a subfolder. LinkDir is
// compared without regard to letter case and must be followed by a separator in Path. False
// when the file does not lie below LinkDir.
bool FileLinkText(const std::string& Path, const std::string& LinkDir, std::string& Rel);

enum TFileLinkCheck { flOk, flOutside, flProgram, flUnnamed };

// Joins LinkDir and a file link's text, resolves the result fully (".." and symbolic links
// included) and answers flOk with the resolved path in Full only when it stays inside the
// resolved LinkDir and does not name a program (a file that may be executed or a launcher
// type); flOutside or flProgram otherwise. A missing file is resolved as far as it exists.
// Names are program text and are looked up as the system names them (OsText.h); a resolved
// name without a CP949 form gives flUnnamed with the message naming it in Full.
TFileLinkCheck ResolveFileLink(const std::string& LinkDir, const std::string& Text, std::string& Full);
