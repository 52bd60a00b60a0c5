// The small variant of the dataset framework: construction, conversions and comparison.
#include "platform/core/Variant.h"

#include <cmath>
#include <limits>

Variant::Variant(unsigned long long v) {
  if (v <= static_cast<unsigned long long>(std::numeric_limits<int64_t>::max()))
    FValue = static_cast<int64_t>(v);
  else
    FValue = static_cast<double>(v);
}

Variant Variant::Null() {
  Variant v;
  v.FValue = NullTag{};
  return v;
}

Variant Variant::FromDateTime(TDateTime d) {
  Variant v;
  v.FValue = DateValue{d};
  return v;
}

Variant Variant::FromArray(std::vector<Variant> Items) {
  Variant v;
  v.FValue = std::move(Items);
  return v;
}

Variant VarArrayOf(std::initializer_list<Variant> Items) {
  return Variant::FromArray(std::vector<Variant>(Items));
}

TVarType Variant::VarType() const {
  switch (FValue.index()) {
    case 0: return varEmpty;
    case 1: return varNull;
    case 2: return varBoolean;
    case 3: return varInteger;
    case 4: return varDouble;
    case 5: return varDate;
    case 6: return varString;
    default: return varArray;
  }
}

const char* Variant::TypeName(TVarType t) {
  switch (t) {
    case varEmpty: return "Empty";
    case varNull: return "Null";
    case varBoolean: return "Boolean";
    case varInteger: return "Integer";
    case varDouble: return "Double";
    case varDate: return "Date";
    case varString: return "String";
    case varArray: return "Array";
  }
  return "Unknown";
}

void Variant::ConvertError(TVarType to) const {
  throw EVariantError(std::string("Could not convert variant of type (") + TypeName(VarType()) +
                      ") into type (" + TypeName(to) + ")");
}

bool Variant::AsBoolean() const {
  switch (VarType()) {
    case varEmpty: return false;
    case varBoolean: return std::get<bool>(FValue);
    case varInteger: return std::get<int64_t>(FValue) != 0;
    case varDouble: return std::get<double>(FValue) != 0.0;
    case varDate: return std::get<DateValue>(FValue).v != 0.0;
    case varString: {
      const std::string& s = std::get<std::string>(FValue);
      std::string t = Trim(s);
      if (SameText(t, "True")) return true;
      if (SameText(t, "False")) return false;
      double d;
      if (TryStrToFloat(t, d)) return d != 0.0;
      ConvertError(varBoolean);
    }
    default: ConvertError(varBoolean);
  }
}

int64_t Variant::AsInt64() const {
  auto fromDouble = [this](double d) -> int64_t {
    if (!std::isfinite(d) || d >= 9.2e18 || d <= -9.2e18) ConvertError(varInteger);
    return static_cast<int64_t>(std::nearbyint(d));  // round half to even, as the library does
  };
  switch (VarType()) {
    case varEmpty: return 0;
    case varBoolean: return std::get<bool>(FValue) ? -1 : 0;
    case varInteger: return std::get<int64_t>(FValue);
    case varDouble: return fromDouble(std::get<double>(FValue));
    case varDate: return fromDouble(std::get<DateValue>(FValue).v);
    case varString: {
      std::string t = Trim(std::get<std::string>(FValue));
      int64_t i;
      if (TryStrToInt64(t, i)) return i;
      double d;
      if (TryStrToFloat(t, d)) return fromDouble(d);
      ConvertError(varInteger);
    }
    default: ConvertError(varInteger);
  }
}

int Variant::AsInteger() const {
  int64_t v = AsInt64();
  if (v < std::numeric_limits<int>::min() || v > std::numeric_limits<int>::max())
    ConvertError(varInteger);
  return static_cast<int>(v);
}

double Variant::AsFloat() const {
  switch (VarType()) {
    case varEmpty: return 0.0;
    case varBoolean: return std::get<bool>(FValue) ? -1.0 : 0.0;
    case varInteger: return static_cast<double>(std::get<int64_t>(FValue));
    case varDouble: return std::get<double>(FValue);
    case varDate: return std::get<DateValue>(FValue).v;
    case varString: {
      double d;
      if (TryStrToFloat(Trim(std::get<std::string>(FValue)), d)) return d;
      ConvertError(varDouble);
    }
    default: ConvertError(varDouble);
  }
}

TDateTime Variant::AsDateTime() const {
  if (VarType() == varString) {
    TDateTime d;
    if (TryStrToDateTime(Trim(std::get<std::string>(FValue)), d)) return d;
    ConvertError(varDate);
  }
  if (VarType() == varNull || VarType() == varArray) ConvertError(varDate);
  return AsFloat();
}

std::string Variant::AsString() const {
  switch (VarType()) {
    case varEmpty: return std::string();
    case varBoolean: return std::get<bool>(FValue) ? "True" : "False";
    case varInteger: return IntToStr(std::get<int64_t>(FValue));
    case varDouble: return FloatToStr(std::get<double>(FValue));
    case varDate: return DateTimeToStr(std::get<DateValue>(FValue).v);
    case varString: return std::get<std::string>(FValue);
    default: ConvertError(varString);
  }
}

int Variant::ArrayCount() const {
  if (!IsArray()) return 0;
  return static_cast<int>(std::get<std::vector<Variant>>(FValue).size());
}

const Variant& Variant::operator[](int Index) const {
  if (!IsArray() || Index < 0 || Index >= ArrayCount())
    throw EVariantError("Variant array index out of bounds");
  return std::get<std::vector<Variant>>(FValue)[static_cast<size_t>(Index)];
}

bool Variant::operator==(const Variant& Other) const {
  TVarType a = VarType(), b = Other.VarType();
  auto numeric = [](TVarType t) {
    return t == varBoolean || t == varInteger || t == varDouble || t == varDate;
  };
  if (a == varEmpty || b == varEmpty || a == varNull || b == varNull) return a == b;
  if (a == varArray || b == varArray) {
    if (a != b || ArrayCount() != Other.ArrayCount()) return false;
    for (int i = 0; i < ArrayCount(); ++i)
      if ((*this)[i] != Other[i]) return false;
    return true;
  }
  if (a == varString && b == varString)
    return std::get<std::string>(FValue) == std::get<std::string>(Other.FValue);
  if (a == varInteger && b == varInteger)
    return std::get<int64_t>(FValue) == std::get<int64_t>(Other.FValue);
  if (numeric(a) && numeric(b)) return AsFloat() == Other.AsFloat();
  // A text against a number: equal when the text reads as that number.
  const Variant& text = a == varString ? *this : Other;
  const Variant& number = a == varString ? Other : *this;
  double d;
  if (!TryStrToFloat(Trim(std::get<std::string>(text.FValue)), d)) return false;
  return d == number.AsFloat();
}
