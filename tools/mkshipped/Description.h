// The readable description of one shipped table (tools/shipped/*.txt) and its parser.
//
// A description is UTF-8 text, one statement per line; blank lines and lines that begin with
// "#" are ignored (outside a text block). Statements:
//
//   table NAME               the engine creates NAME.dbf (and NAME.smt for memo fields)
//   ship  DATA [MEMO]        the names the files are shipped under
//   type  CODE               engine table type code (3: .dbf with .smt memos and .nsx tags)
//   field NAME T WIDTH [DEC] one field, in file order; T is C (text), N (number) or M (memo)
//   record [deleted]         starts the next record; "deleted" keeps it in the deleted state
//   NAME = VALUE             a field value of the current record; VALUE is the rest of the
//                            line without surrounding blanks, or the text between a pair of
//                            double quotes when it is quoted (so blanks can be kept)
//   NAME slices W = A|B|...  the pieces padded with blanks to W bytes each and joined
//   NAME <<TAG               a text block: the following lines up to a line that is TAG
//   NAME rtf <<TAG           the same for rich-text source: bytes above 0x7F are written as
//                            \'hh escapes after conversion, as a rich-text file carries them
//
// Lines of a text block are joined with CR LF. Values are converted to code page 949; a text
// without a code page 949 form, a value wider than its field, a piece wider than its slice,
// an unknown field or a field given twice in one record is an error naming file and line.
#pragma once

#include <stdexcept>
#include <string>
#include <vector>

namespace shipped {

struct Field {
  std::string name;  // as written; the engine compares names without regard to case
  char type = 'C';   // C, N or M
  int width = 0;
  int decimals = 0;
};

struct Value {
  std::string field;  // as written in the record
  std::string text;   // code page 949 bytes (C and M fields) or decimal digits (N fields)
  int line = 0;       // where it was given, for messages
};

struct Record {
  bool deleted = false;
  std::vector<Value> values;
  int line = 0;
};

struct Table {
  std::string source;  // description file, for messages
  std::string name;    // base name of the files the engine creates
  std::vector<std::string> ship;  // data file name, then the memo file name when it has one
  int type = 3;
  std::vector<Field> fields;
  std::vector<Record> records;

  bool HasMemo() const;
  // The field of that name (case-insensitive), or null.
  const Field* Find(const std::string& name) const;
};

// A fault in a description, with "file:line: " in front of its text.
class DescriptionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Reads and checks one description file; raises DescriptionError.
Table ParseDescription(const std::string& path);

}  // namespace shipped
