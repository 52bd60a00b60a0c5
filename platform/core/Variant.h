// A small variant: the value type of field values, Locate/Lookup keys and results. It holds
// nothing (Empty), the database Null, a boolean, a 64-bit integer, a double, a date
// (TDateTime), a code page 949 byte string, or an array of variants.
//
// Conversions follow the class library: a boolean is -1 or 0 as a number and "True"/"False"
// as text; text converts to numbers and dates through SysUtils (FormatSettings); Empty is 0 or
// "". Null and arrays do not convert to a scalar: that raises EVariantError "Could not convert
// variant of type (<from>) into type (<to>)", as does text that is no number or date.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "platform/core/SysUtils.h"

ORV_DECLARE_EXCEPTION(EVariantError, EConvertError);

enum TVarType { varEmpty, varNull, varBoolean, varInteger, varDouble, varDate, varString, varArray };

class Variant {
 public:
  Variant() = default;  // Empty
  Variant(bool v) : FValue(v) {}
  Variant(int v) : FValue(int64_t{v}) {}
  Variant(long v) : FValue(int64_t{v}) {}
  Variant(long long v) : FValue(int64_t{v}) {}
  Variant(unsigned v) : FValue(int64_t{v}) {}
  Variant(unsigned long v) : Variant(static_cast<unsigned long long>(v)) {}
  // Values above the 64-bit signed range are kept as doubles.
  Variant(unsigned long long v);
  Variant(double v) : FValue(v) {}
  Variant(const char* v) : FValue(std::string(v ? v : "")) {}
  Variant(std::string v) : FValue(std::move(v)) {}
  Variant(std::string_view v) : FValue(std::string(v)) {}

  static Variant Null();
  static Variant FromDateTime(TDateTime v);
  static Variant FromArray(std::vector<Variant> Items);

  TVarType VarType() const;
  bool IsEmpty() const { return VarType() == varEmpty; }
  bool IsNull() const { return VarType() == varNull; }
  bool IsArray() const { return VarType() == varArray; }
  // Null or Empty: no value at all.
  bool IsNullOrEmpty() const { return IsNull() || IsEmpty(); }

  bool AsBoolean() const;
  int AsInteger() const;  // values outside the 32-bit range raise EVariantError
  int64_t AsInt64() const;
  double AsFloat() const;
  TDateTime AsDateTime() const;
  std::string AsString() const;

  // Array access; an index out of range raises EVariantError "Variant array index out of
  // bounds". ArrayCount is 0 for a non-array.
  int ArrayCount() const;
  const Variant& operator[](int Index) const;

  // Value equality: numbers (booleans, integers, doubles, dates) compare by value, texts by
  // their bytes, a text and a number by the text's number when it has one; Null equals only
  // Null, Empty only Empty; arrays element by element.
  bool operator==(const Variant& Other) const;
  bool operator!=(const Variant& Other) const { return !(*this == Other); }

  // The type's name for messages: "Empty", "Null", "Boolean", "Integer", "Double", "Date",
  // "String", "Array".
  static const char* TypeName(TVarType t);

 private:
  struct NullTag {
    bool operator==(const NullTag&) const { return true; }
  };
  struct DateValue {
    double v;
  };
  [[noreturn]] void ConvertError(TVarType to) const;

  std::variant<std::monostate, NullTag, bool, int64_t, double, DateValue, std::string,
               std::vector<Variant>>
      FValue;
};

// VarArrayOf({1, "a"}): the array of the given values.
Variant VarArrayOf(std::initializer_list<Variant> Items);
inline bool VarIsNull(const Variant& v) { return v.IsNull(); }
inline bool VarIsEmpty(const Variant& v) { return v.IsEmpty(); }
inline bool VarIsArray(const Variant& v) { return v.IsArray(); }
