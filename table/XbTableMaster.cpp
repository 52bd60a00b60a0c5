// TXbTable finding records by value: the master/detail link that keeps a detail scoped to
// its master's key, Lookup, and Locate with its index seek and its query fallback.
#include <algorithm>
#include <string>
#include <vector>

#include "platform/core/Cp949.h"
#include "platform/core/Fields.h"
#include "platform/core/NumberText.h"
#include "platform/core/SysUtils.h"
#include "table/XbTable.h"

namespace {

const char kNoOrder[] = "This operation requires an active index order";

bool HasUpperKey(const std::string& KeyExpression) {
  return UpperCase(KeyExpression).find("UPPER(") != std::string::npos;
}

std::string PadRight(std::string s, std::size_t Width) {
  if (s.size() < Width) s.append(Width - s.size(), ' ');
  return s;
}

std::string PadLeft(const std::string& s, std::size_t Width, char Fill) {
  return s.size() < Width ? std::string(Width - s.size(), Fill) + s : s;
}

// A number right-aligned in Width. Zeros go after the sign ("-0042"), where the engine reads
// them as part of the number; before it ("00-42") they read as no number at all.
std::string PadNumber(const std::string& s, std::size_t Width, char Fill) {
  if (Fill == '0' && !s.empty() && s[0] == '-')
    return "-" + PadLeft(s.substr(1), Width > 0 ? Width - 1 : 0, '0');
  return PadLeft(s, Width, Fill);
}

std::string Yyyymmdd(TDateTime Value) { return FormatDateTime("yyyymmdd", Value); }

// The engine cuts a seek text to the width of the index key, so a text key longer than its
// field would be found as the record holding its first Width bytes. Such a key is left to the
// query, which compares it whole.
bool TextKeyFits(const std::string& Key, bool IsText, std::size_t Width) {
  return !IsText || Key.size() <= Width;
}

// A text literal of the engine's expressions. The engine takes "...", '...' and [...]; a value
// holding all three delimiters cannot be written, and Literal then fails.
bool Literal(const std::string& Text, std::string& Out) {
  if (Text.find('"') == std::string::npos) {
    Out = "\"" + Text + "\"";
  } else if (Text.find('\'') == std::string::npos) {
    Out = "'" + Text + "'";
  } else if (Text.find(']') == std::string::npos) {
    Out = "[" + Text + "]";
  } else {
    return false;
  }
  return true;
}

// A Null or missing value of a text key compares as the empty text.
std::string TextOf(const Variant& V) { return V.IsNullOrEmpty() ? std::string() : V.AsString(); }

// One field's part of Locate's query; false when the value cannot be written as a literal.
// Single is the one-field form, whose dates may also be a leading year or year and month.
bool LocatePart(TField* Field, const Variant& V, TLocateOptions Options, bool Single,
                std::string& Out) {
  const std::string name = Field->FieldName();
  Out.clear();
  switch (Field->DataType()) {
    case ftBoolean:
      Out = name + ((!V.IsNullOrEmpty() && V.AsBoolean()) ? "= .T." : "= .F.");
      return true;
    case ftSmallint:
    case ftInteger:
      Out = name + "=" + IntToStr(V.AsInteger());
      return true;
    case ftFloat:
      Out = name + "=" + numtext::Plain(V.AsFloat());
      return true;
    case ftDate:
      // A number such as 2023 or 202305 matches the leading digits of the stored date. A
      // date value is always a whole date, however short its text.
      if (Single && V.VarType() != varDate && V.AsString().size() < 8) {
        const std::string digits = IntToStr(V.AsInteger());
        Out = "LEFT( DTOS(" + name + "), " + IntToStr(static_cast<int64_t>(digits.size())) +
              ") = \"" + digits + "\"";
      } else {
        Out = "DTOS(" + name + ") = \"" + Yyyymmdd(V.AsDateTime()) + "\"";
      }
      return true;
    case ftString: {
      std::string value = TextOf(V);
      if (!(Options & loPartialKey)) value = PadRight(value, static_cast<std::size_t>(Field->Size()));
      std::string literal;
      if (!Literal(value, literal)) return false;
      const std::string left = (Options & loCaseInsensitive) ? "UPPER(" + name + ")" : name;
      Out = left + "=" + literal;
      return true;
    }
    default:
      return true;  // nothing to compare
  }
}

}  // namespace

// ---- master/detail -----------------------------------------------------------------------------

TDataSource* TXbTable::MasterSource() const { return FMasterLink->DataSource(); }

void TXbTable::SetMasterSource(TDataSource* Value) {
  if (Value != nullptr && Value->IsLinkedTo(this))
    RaiseXbError(this, "Circular Datasource reference not allowed");
  FMasterLink->SetDataSource(Value);
  if (!FMasterLink->FieldNames().empty() && FMasterLink->DataSet() != nullptr) {
    LastMasterKey.clear();
    MasterChanged(this);
  }
}

std::string TXbTable::MasterFields() const { return FMasterLink->FieldNames(); }

void TXbTable::SetMasterFields(const std::string& Value) {
  FMasterLink->SetFieldNames(Value);
  if (!FMasterLink->FieldNames().empty() && FMasterLink->DataSet() != nullptr) {
    LastMasterKey.clear();
    MasterChanged(this);
  }
}

void TXbTable::MasterChanged(TObject* Sender) {
  if (Active()) CheckBrowseMode();
  const std::string key = FMasterLink->FieldNames().empty() ? std::string() : BuildMasterKey();
  if (WorkArea <= 0) return;
  SelectWorkArea();
  if (key == LastMasterKey && IndexName == LastMasterIndexName) return;
  if (IndexName.empty()) RaiseXbError(this, kNoOrder);
  if (!xb_SetScope(key, key)) RaiseXbError(this, "Scope Set failed");
  // Remembered only once the scope is in force, so a failed one is tried again.
  LastMasterKey = key;
  LastMasterIndexName = IndexName;
  if (Active()) First();
}

void TXbTable::MasterDisabled(TObject* Sender) {
  if (WorkArea < 1) return;
  SelectWorkArea();
  xb_SetScope(std::string(), std::string());
  // The scope is gone: the next master change must set it again, even with the same key.
  LastMasterKey.clear();
  LastMasterIndexName.clear();
  Resync(0);
}

std::string TXbTable::BuildMasterKey() {
  const std::vector<TField*>& fields = FMasterLink->Fields();
  if (fields.empty()) return std::string();
  std::string detailKey;
  if (WorkArea > 0) {
    SelectWorkArea();
    detailKey = UpperCase(xb_IndexKey());
  }
  const std::vector<std::string> keyFields = SplitFieldNames(KeyFieldsOfExpression(detailKey));
  TXbTable* master = dynamic_cast<TXbTable*>(FMasterLink->DataSet());

  std::string key;
  for (std::size_t n = 0; n < fields.size(); ++n) {
    TField* field = fields[n];
    switch (field->DataType()) {
      case ftString:
        key += PadRight(field->AsString(), static_cast<std::size_t>(field->Size()));
        break;
      case ftSmallint:
      case ftInteger:
      case ftFloat:
      case ftCurrency: {
        XbShort width = 0, decimals = 0;
        if (master != nullptr && master->WorkArea > 0) {
          master->SelectWorkArea();
          width = master->xb_FieldWidth(field->FieldName());
          decimals = master->xb_FieldDecimals(field->FieldName());
        }
        const std::string keyField =
            keyFields.size() == 1 ? keyFields[0] : (n < keyFields.size() ? keyFields[n] : "");
        // STR(field, ...) pads with blanks; a bare numeric key compares with leading zeros.
        const bool inStr =
            !keyField.empty() && detailKey.find("STR(" + keyField) != std::string::npos;
        // The number as the field holds it, with all its decimals ("-3.50" for N(7,2)), as
        // STR(field, width, decimals) writes it in the detail's key; the shortest text
        // ("-3.5") would match no key.
        const bool fractional = field->DataType() == ftFloat || field->DataType() == ftCurrency;
        const std::string text =
            fractional && decimals > 0 ? numtext::Fixed(field->AsFloat(), decimals) : field->AsString();
        key += PadNumber(text, width > 0 ? static_cast<std::size_t>(width) : 0, inStr ? ' ' : '0');
        break;
      }
      case ftBoolean:
        key += field->AsBoolean() ? "T" : "F";
        break;
      case ftDate:
      case ftDateTime:
        // An empty date is stored, and indexed, as blanks.
        key += field->IsNull() ? std::string(8, ' ') : Yyyymmdd(field->AsDateTime());
        break;
      default:
        key += field->AsString();
        break;
    }
  }
  if (WorkArea > 0) SelectWorkArea();
  return key;
}

// ---- Lookup ---------------------------------------------------------------------------------------

Variant TXbTable::Lookup(const std::string& KeyFields, const Variant& KeyValues,
                         const std::string& ResultFields) {
  Variant result = Variant::Null();
  if (KeyValues.IsNullOrEmpty()) return result;
  const auto search = [&] {
    return Locate(KeyFields, KeyValues, 0) ? FieldValues(ResultFields) : Variant::Null();
  };
  if (CurrentOrder == 0 || KeyValues.IsArray()) return search();
  if (WorkArea <= 0) return result;

  SelectWorkArea();
  const std::string keyType = xb_FieldType(KeyFields);
  const std::size_t keyWidth = static_cast<std::size_t>(std::max<XbShort>(xb_FieldWidth(KeyFields), 0));
  std::string key = KeyValues.AsString();
  // The active order answers only for its own field, as stored: an order on another field, or
  // one on the field folded to upper case, holds other keys, and a text longer than the field
  // would be cut to a key it does not equal.
  if (xb_IndexKeyField() != UpperCase(KeyFields) || HasUpperKey(xb_IndexKey()) ||
      !TextKeyFits(key, keyType == "C", keyWidth))
    return search();

  // The engine goes back to the dataset's record afterwards; the dataset never moves.
  if (Active()) UpdateCursorPos();
  SelectWorkArea();
  const XbLong back = xb_RecNo();

  if (keyType == "N") {
    key = PadLeft(key, keyWidth, ' ');
  } else if (keyType == "C") {
    key = PadRight(key, keyWidth);
  } else if (keyType == "D") {
    key = Yyyymmdd(KeyValues.AsDateTime());
  } else if (keyType == "L") {
    int number = 0;
    const bool isTrue = KeyValues.VarType() == varBoolean ? KeyValues.AsBoolean()
                                                          : (TryStrToInt(key, number) && number == -1);
    key = isTrue ? "T" : "F";
  }

  xb_Seek(key);
  if (xb_Found()) {
    const TDataSetState saved = SetTempState(dsCalcFields);
    try {
      TRecordBuffer temp = TempBuffer();
      if (temp != nullptr && CursorOpen) {
        xb_GetRecord();
        RecordToBuffer(temp);
        GetCalcFields(temp);
        SelectWorkArea();
      }
      const std::string type = xb_FieldType(ResultFields);
      if (type == "N") {
        if (xb_FieldDecimals(ResultFields) != 0 || xb_FieldWidth(ResultFields) >= 5)
          result = Variant(xb_GetDouble(ResultFields));
        else
          result = Variant(static_cast<int>(xb_GetInteger(ResultFields)));
      } else if (type == "I") {
        // A 32-bit field: read whole, not cut to 16 bits.
        result = Variant(static_cast<int>(xb_GetLong(ResultFields)));
      } else if (type == "C") {
        result = Variant(xb_GetTrimString(ResultFields));
      } else if (type == "D") {
        const std::string stored = xb_GetString(ResultFields);
        TDateTime date = 0;
        if (stored.empty() || stored[0] == ' ') {
          result = Variant(0);  // an empty date reads as 0, not Null
        } else if (stored.size() >= 8 &&
                   TryEncodeDate(StrToIntDef(stored.substr(0, 4), 0), StrToIntDef(stored.substr(4, 2), 0),
                                 StrToIntDef(stored.substr(6, 2), 0), date)) {
          result = Variant::FromDateTime(date);
        } else {
          result = Variant(0);
        }
      } else if (type == "L") {
        const std::string stored = xb_GetString(ResultFields);
        result = Variant(!stored.empty() && (stored[0] == 'T' || stored[0] == 't' ||
                                             stored[0] == 'Y' || stored[0] == 'y'));
      }
    } catch (...) {
      RestoreState(saved);
      SelectWorkArea();
      xb_Go(back);
      throw;
    }
    RestoreState(saved);
  }
  SelectWorkArea();
  xb_Go(back);
  return result;
}

// ---- Locate ---------------------------------------------------------------------------------------

bool TXbTable::Locate(const std::string& KeyFields, const Variant& KeyValues,
                      TLocateOptions Options) {
  if (WorkArea == 0) return false;
  const std::string upperFields = UpperCase(KeyFields);
  const std::vector<TField*> fields = GetFieldList(upperFields);

  // A text value that no literal of the engine can hold is searched record by record.
  if (!fields.empty()) {
    std::string probe;
    for (std::size_t i = 0; i < fields.size(); ++i) {
      const Variant& v = fields.size() == 1 ? KeyValues
                         : (KeyValues.IsArray() && static_cast<int>(i) < KeyValues.ArrayCount())
                             ? KeyValues[static_cast<int>(i)]
                             : KeyValues;
      if (fields[i]->DataType() == ftString && !Literal(TextOf(v), probe))
        return TDataSet::Locate(KeyFields, KeyValues, Options);
    }
  }

  BeginScroll();
  SelectWorkArea();
  const XbLong startRecNo = RecNo();
  SelectWorkArea();
  const XbShort startOrder = static_cast<XbShort>(xb_IndexOrd());
  // Whatever way the search ends, the order of before is active again (so IndexName names
  // the order the engine is in) and the scroll bracket closes.
  const auto giveBack = [&] {
    SelectWorkArea();
    if (xb_IndexOrd() != startOrder) xb_SetOrder(startOrder);
    xb_Go(startRecNo);
    EndScroll();
  };
  bool found = false;
  try {
    found = LocateRecord(fields, KeyFields, KeyValues, Options, startOrder);
  } catch (...) {
    giveBack();
    throw;
  }
  if (!found) {
    giveBack();
    return false;
  }
  if (!SpeedMode()) {
    if (TRecordBuffer buffer = ActiveBuffer()) {
      SetBufferRecNo(buffer, xb_RecNo());
      SetBookmarkFlag(buffer, bfCurrent);
    }
  }
  Resync(rmExact | rmCenter);
  EndScroll();
  return true;
}

bool TXbTable::LocateRecord(const std::vector<TField*>& Fields, const std::string& KeyFields,
                            const Variant& KeyValues, TLocateOptions Options, XbShort StartOrder) {
  const std::string upperFields = UpperCase(KeyFields);
  const bool caseInsensitive = (Options & loCaseInsensitive) != 0;
  const XbLong orderCount = xb_SysProp(3000, 0);
  if (Fields.size() == 1 && orderCount > 0) {
    const bool keep = xb_IndexKeyField() == upperFields &&
                      !(caseInsensitive && !HasUpperKey(xb_IndexKey()));
    if (!keep) {
      bool accepted = false;
      for (XbLong i = 1; i <= orderCount && !accepted; ++i) {
        xb_SetOrder(static_cast<XbShort>(i));
        const std::string keyField = xb_IndexKeyField();
        accepted = caseInsensitive ? keyField == upperFields && HasUpperKey(xb_IndexKey())
                                   : keyField == KeyFields;
      }
      if (!accepted) xb_SetOrder(StartOrder);
    }
  }

  bool found = false;
  if (Fields.size() == 1 && xb_IndexKeyField() == upperFields) {
    if (KeyValues.IsNull()) return false;  // a Null value names no key
    found = SeekOneField(Fields, KeyValues, StartOrder, Options);
    SelectWorkArea();
  }

  if (!found) {
    const std::string active = xb_DBFilter();
    std::string expression;
    bool written = true;
    if (Fields.size() == 1) {
      written = LocatePart(Fields[0], KeyValues, Options, true, expression);
    } else {
      for (std::size_t i = 0; i < Fields.size() && written; ++i) {
        const Variant v = KeyValues.IsArray() && static_cast<int>(i) < KeyValues.ArrayCount()
                              ? KeyValues[static_cast<int>(i)]
                              : Variant::Null();
        std::string part;
        written = LocatePart(Fields[i], v, Options, false, part);
        if (i > 0 && !expression.empty()) expression += " .and. ";
        expression += part;
      }
    }
    if (caseInsensitive) expression = cp949::Upper(expression);
    // An empty expression would clear the query and "find" its first record.
    if (written && !expression.empty()) {
      if (!active.empty()) expression = "(" + expression + ") .and. (" + active + ")";
      found = xb_Query(expression) != 0;
      const XbLong foundRecNo = xb_RecNo();
      xb_Query(active);
      if (found) xb_Go(foundRecNo);
    }
  }
  return found;
}

bool TXbTable::SeekOneField(const std::vector<TField*>& Fields, const Variant& Value,
                            XbShort RestoreOrder, TLocateOptions Options) {
  TField* field = Fields.at(0);
  std::string key;
  switch (field->DataType()) {
    case ftString:
      key = TextOf(Value);
      if (HasUpperKey(xb_IndexKey())) key = cp949::Upper(key);
      break;
    case ftSmallint:
    case ftInteger:
      key = IntToStr(Value.AsInteger());
      break;
    case ftBoolean:
      key = Value.AsBoolean() ? ".T." : ".F.";
      break;
    case ftFloat:
      key = numtext::Plain(Value.AsFloat());
      break;
    case ftDate:
      key = Yyyymmdd(Value.AsDateTime());
      break;
    default:
      break;
  }
  const bool wholeKey = (Options & loPartialKey) == 0;
  bool found = false;
  if (TextKeyFits(key, field->DataType() == ftString, static_cast<std::size_t>(field->Size()))) {
    const XbLong previous = xb_SysProp(1002, 0) != 0 ? 1 : 0;
    xb_SysProp(1003, wholeKey ? 1 : 0);
    found = xb_Seek(key) != 0;
    if (wholeKey) found = xb_Found() != 0;
    xb_SysProp(1003, previous);
  }
  xb_SetOrder(RestoreOrder);
  ResetFetchBlock();
  return found;
}
