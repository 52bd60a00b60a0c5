// The xBase expression language of the engine: one compiler and evaluator for queries,
// filters, index keys, tag conditions and the Eval calls.
//
// An expression is compiled once against a field list into a typed tree; evaluation then
// works straight on a record image, returning views into the image where it can, so a query
// over a million records builds no string per record. Compilation never throws: malformed
// text, unknown names, type clashes and over-deep nesting give a null result. A compiled
// expression is not thread-safe (nodes keep scratch buffers); compile one per user.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/src/Contract.h"

namespace xbe {

// The result type codes of xb_EvalTest.
enum class ExprType : int { Invalid = 0, Char = 1, Numeric = 2, Logical = 3, Date = 4 };

// What one evaluation sees: the record image and, for RECNO(), RECCOUNT() and memo fields,
// the table it came from (may be null: those then give 0 or empty).
struct EvalContext {
  const char* image = nullptr;
  int32_t recNo = 0;
  const RecordSource* source = nullptr;
};

struct CompileOptions {
  bool exact = false;                        // SET EXACT for = and <>
  const unsigned char* collation = nullptr;  // null: raw byte order
};

class ExprNode;

class CompiledExpr {
 public:
  ~CompiledExpr();
  // Null when the text is not a valid expression over these fields.
  static std::unique_ptr<CompiledExpr> Compile(std::string_view text, const std::vector<FieldDesc>& fields,
                                               const CompileOptions& options);

  ExprType Type() const { return type_; }
  // Bytes of a character result as a key holds it (fixed for the expression); 8 for numbers
  // and dates, 1 for logicals.
  int KeyWidth() const { return keyWidth_; }
  // Field numbers (0-based) the expression reads.
  const std::vector<int>& FieldsUsed() const { return fieldsUsed_; }

  bool Logical(const EvalContext& c);
  double Numeric(const EvalContext& c);
  // Character results as they are; the view stays valid until the next evaluation.
  std::string_view String(const EvalContext& c);
  int32_t Date(const EvalContext& c);  // day number, 0 = empty date
  // The value as text: strings as they are, numbers as STR() gives them, dates as yyyymmdd,
  // logicals as T or F.
  std::string Text(const EvalContext& c);
  // The index key: KeyWidth() bytes into out, ordered as memcmp orders them under the
  // identity collation (numbers in a sign-corrected big-endian form, dates as yyyymmdd).
  void Key(const EvalContext& c, char* out);
  // Turns a caller's seek text into key form for this expression's type; the returned key
  // may be shorter than KeyWidth() (a prefix).
  std::string SeekKey(std::string_view text) const;

 private:
  CompiledExpr() = default;
  std::unique_ptr<ExprNode> root_;
  ExprType type_ = ExprType::Invalid;
  int keyWidth_ = 0;
  std::vector<int> fieldsUsed_;
  friend class ExprParser;
};

// Type of an expression over these fields without keeping it; Invalid when malformed.
ExprType TestExpression(std::string_view text, const std::vector<FieldDesc>& fields);

// Key fields of a key expression, upper-cased and joined by ";": UPPER(NAME) gives NAME,
// STR(NUM,5)+NAME gives NUM;NAME.
std::string KeyFieldsOfExpression(std::string_view expression);

// Day numbers and the date texts that go with them.
int32_t DayNumber(int year, int month, int day);  // 0 when not a valid date
void DayToDate(int32_t dayNumber, int& year, int& month, int& day);
std::string DayToDtos(int32_t dayNumber);  // "yyyymmdd", blanks for 0
int32_t DtosToDay(std::string_view yyyymmdd);

// Character-correct search: first hit of needle in hay that starts and ends on CP949
// character boundaries; npos when none. Same answers as cp949::Find, much faster on misses.
std::size_t FindCharAligned(std::string_view hay, std::string_view needle);

// Sortable 8-byte form of a number for keys.
void EncodeNumberKey(double v, char* out);

}  // namespace xbe
