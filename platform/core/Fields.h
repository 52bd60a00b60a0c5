// The dataset framework's fields: field types, the TField family that reads and writes one
// value of the current record through its dataset, field definitions (what a dataset's
// structure offers) and index definitions.
//
// A field never holds its value: every read goes to TDataSet::GetFieldData and every write to
// TDataSet::SetFieldData in the field's native form (below), so a dataset decides where the
// value lives in its record buffers. Native forms (DataSize bytes):
//   ftString     Size + 1 bytes, NUL-terminated code page 949 text
//   ftSmallint   int16            ftInteger  int32          ftWord  uint16
//   ftBoolean    int16, 0 false and -1 true (any non-zero reads as true)
//   ftFloat, ftCurrency  double
//   ftDate       int32 day number, 1 January of year 1 is day 1 (DateToDayNumber)
//   ftTime       int32 milliseconds since midnight
//   ftDateTime   double: day number x 86400000 + milliseconds of the day
//   blob types   no native form (DataSize 0): values move through the dataset's blob streams;
//                GetData(nullptr) still answers whether a value is present.
//
// Ownership: a field is a component. Fields a dataset makes from its definitions (default
// fields) are owned and freed by the dataset. A persistent field is created by its owner
// (usually the form) and given to a dataset with SetDataSet; its owner frees it, and a field
// created without an owner is freed by the dataset it belongs to. Do not free the fields of
// an open dataset. GUI thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Streams.h"
#include "platform/core/Variant.h"

class TDataSet;
class TField;

// The class library's numbering: stored in parameter blocks and structure replies.
enum TFieldType : uint8_t {
  ftUnknown = 0, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
  ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
  ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
  ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd
};

// "String", "SmallInt", "Integer", ... for messages.
const char* FieldTypeName(TFieldType t);
// The blob family (ftBlob, ftMemo, ftGraphic, ftFmtMemo .. ftTypedBinary, ftOraBlob, ftOraClob).
bool IsBlobType(TFieldType t);

enum TFieldKind { fkData, fkCalculated, fkLookup, fkInternalCalc };
enum TBlobStreamMode { bmRead = 0, bmWrite = 1, bmReadWrite = 2 };

// ---- Day numbers of the native date forms -------------------------------------------------

// Day number of 30 December 1899 (TDateTime 0).
inline constexpr int32_t DateDelta = 693594;
inline constexpr double MSecsPerDay = 86400000.0;
int32_t DateToDayNumber(TDateTime Value);    // the date part of Value
TDateTime DayNumberToDate(int32_t DayNumber);
int32_t TimeToMSecs(TDateTime Value);        // the time part of Value
double DateTimeToMSecs(TDateTime Value);     // the ftDateTime form
TDateTime MSecsToDateTime(double MSecs);

// A number written with a display format: '0' and '#' digit places, '.' the decimal point,
// ',' anywhere before it for thousands separators, text in quotes and other characters kept
// ("0.00" gives 3.14, "#,##0" gives 1,235).
std::string FormatNumber(std::string_view Format, double Value);

// ---- TField -----------------------------------------------------------------------------

using TFieldNotifyEvent = std::function<void(TField* Sender)>;
using TFieldGetTextEvent = std::function<void(TField* Sender, std::string& Text, bool DisplayText)>;
using TFieldSetTextEvent = std::function<void(TField* Sender, const std::string& Text)>;

class TField : public TComponent {
 public:
  explicit TField(TComponent* AOwner = nullptr);
  ~TField() override;

  TDataSet* DataSet() const { return FDataSet; }
  // Moves the field to another dataset's field list (nullptr: none). Both datasets must be
  // closed; a name already used there raises "Duplicate field name '<name>'".
  void SetDataSet(TDataSet* ADataSet);

  const std::string& FieldName() const { return FFieldName; }
  void SetFieldName(const std::string& Value);
  TFieldType DataType() const { return FDataType; }
  TFieldKind FieldKind() const { return FFieldKind; }
  void SetFieldKind(TFieldKind Value);
  bool Calculated() const { return FFieldKind == fkCalculated; }
  void SetCalculated(bool Value) { SetFieldKind(Value ? fkCalculated : fkData); }
  bool Lookup() const { return FFieldKind == fkLookup; }

  // Size: characters of a string, bytes of a blob's fixed part; 0 for fixed-size types.
  // Changing it on an open dataset raises "Cannot perform this operation on an open dataset".
  int Size() const { return FSize; }
  virtual void SetSize(int Value);
  // Bytes of the native form.
  virtual int DataSize() const { return 0; }
  // The dataset's field number of a data field (1-based, from its definition), -1 for
  // calculated and lookup fields, 0 while unbound.
  int FieldNo() const { return FFieldNo; }
  // Set when the dataset binds its fields: the position of a calculated or lookup field's slot
  // in the calculated-field area (slot = 1 present byte + DataSize), or the number (0-based) of
  // a blob field among the dataset's blob fields; 0 otherwise.
  int Offset() const { return FOffset; }
  // Position in the dataset's field list, -1 without dataset.
  int Index() const;
  virtual bool IsBlob() const { return false; }
  bool IsNull();
  // Not ReadOnly, a data field, and the dataset can be modified.
  bool CanModify();

  std::string DisplayLabel() const { return FDisplayLabel.empty() ? FFieldName : FDisplayLabel; }
  void SetDisplayLabel(const std::string& Value) { FDisplayLabel = Value; }
  std::string DisplayName() const { return DisplayLabel(); }
  int DisplayWidth() const { return FDisplayWidth > 0 ? FDisplayWidth : DefaultWidth(); }
  void SetDisplayWidth(int Value) { FDisplayWidth = Value; }

  bool ReadOnly = false;
  bool Required = false;
  bool Visible = true;

  // Lookup fields (FieldKind fkLookup): the value is LookupDataSet->Lookup(LookupKeyFields,
  // this dataset's KeyFields values, LookupResultField), worked out with the calculated
  // fields. The lookup dataset must outlive this field's use of it.
  TDataSet* LookupDataSet = nullptr;
  std::string KeyFields;
  std::string LookupKeyFields;
  std::string LookupResultField;

  // ---- values. Getters of a null value give 0, false, "" (AsVariant: Null).
  std::string AsString() { return GetAsString(); }
  virtual void SetAsString(const std::string& Value);
  int AsInteger() { return GetAsInteger(); }
  virtual void SetAsInteger(int Value);
  double AsFloat() { return GetAsFloat(); }
  virtual void SetAsFloat(double Value);
  double AsCurrency() { return GetAsFloat(); }
  void SetAsCurrency(double Value) { SetAsFloat(Value); }
  bool AsBoolean() { return GetAsBoolean(); }
  virtual void SetAsBoolean(bool Value);
  TDateTime AsDateTime() { return GetAsDateTime(); }
  virtual void SetAsDateTime(TDateTime Value);
  Variant AsVariant() { return GetAsVariant(); }
  // Null or Empty clears the field.
  virtual void SetAsVariant(const Variant& Value);
  Variant Value() { return GetAsVariant(); }
  void SetValue(const Variant& Value) { SetAsVariant(Value); }

  // Text for editing and for display; OnGetText / OnSetText replace the field's own.
  std::string Text();
  void SetText(const std::string& Value);
  std::string DisplayText();

  // Clears the value (makes it null).
  virtual void Clear() { SetData(nullptr); }

  // The native form: GetData copies DataSize bytes into Buffer (none when Buffer is nullptr)
  // and returns false when the value is null. SetData(nullptr) makes the value null.
  bool GetData(void* Buffer);
  void SetData(const void* Buffer);

  // Runs OnValidate with Buffer as the field's value (GetData reads Buffer meanwhile); a
  // dataset calls it from SetFieldData before storing a data field's value.
  virtual void Validate(const void* Buffer);
  // OnChange; the dataset calls it after a value was stored.
  void Change();
  // Asks the dataset's controls to focus the control of this field.
  void FocusControl();

  TFieldNotifyEvent OnChange;
  TFieldNotifyEvent OnValidate;
  TFieldGetTextEvent OnGetText;
  TFieldSetTextEvent OnSetText;

 protected:
  virtual std::string GetAsString();
  virtual int GetAsInteger();
  virtual double GetAsFloat();
  virtual bool GetAsBoolean();
  virtual TDateTime GetAsDateTime();
  virtual Variant GetAsVariant();
  virtual std::string GetText(bool DisplayText) { return GetAsString(); }
  virtual int DefaultWidth() const { return 10; }

  void SetDataType(TFieldType Value) { FDataType = Value; }
  [[noreturn]] void AccessError(const char* TypeName) const;
  [[noreturn]] void RangeError(const std::string& Value, const std::string& Min,
                               const std::string& Max) const;
  void CheckInactive() const;

 private:
  friend class TDataSet;
  friend class TFields;

  TDataSet* FDataSet = nullptr;
  std::string FFieldName;
  std::string FDisplayLabel;
  TFieldType FDataType = ftUnknown;
  TFieldKind FFieldKind = fkData;
  int FSize = 0;
  int FFieldNo = 0;
  int FOffset = 0;
  int FDisplayWidth = 0;
  bool FValidating = false;
  const void* FValidateBuffer = nullptr;
};

class TStringField : public TField {
 public:
  explicit TStringField(TComponent* AOwner = nullptr);
  int DataSize() const override { return Size() + 1; }
  // A longer text is cut to Size bytes, never inside a two-byte character.
  void SetAsString(const std::string& Value) override;
  void SetAsInteger(int Value) override { SetAsString(IntToStr(Value)); }
  void SetAsFloat(double Value) override { SetAsString(FloatToStr(Value)); }
  void SetAsBoolean(bool Value) override { SetAsString(Value ? "T" : "F"); }
  void SetAsDateTime(TDateTime Value) override { SetAsString(DateTimeToStr(Value)); }
  void SetAsVariant(const Variant& Value) override;

 protected:
  std::string GetAsString() override;
  int GetAsInteger() override;
  double GetAsFloat() override;
  bool GetAsBoolean() override;  // true when the text begins with T, t, Y or y
  TDateTime GetAsDateTime() override;
  Variant GetAsVariant() override;
  int DefaultWidth() const override { return Size(); }
};

class TNumericField : public TField {
 public:
  using TField::TField;
  std::string DisplayFormat;  // FormatNumber picture for DisplayText; empty: plain
  std::string EditFormat;     // picture for Text; empty: plain
};

// Integer fields check the range of their native form (MinValue/MaxValue narrow it when
// either is non-zero) and refuse other values with "<v> is not a valid value for field ...".
class TIntegerField : public TNumericField {
 public:
  explicit TIntegerField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 4; }
  void SetAsString(const std::string& Value) override;
  void SetAsInteger(int Value) override;
  void SetAsFloat(double Value) override;
  void SetAsVariant(const Variant& Value) override;
  int64_t MinValue = 0;
  int64_t MaxValue = 0;

 protected:
  TIntegerField(TComponent* AOwner, TFieldType Type, int64_t Low, int64_t High);
  std::string GetAsString() override;
  int GetAsInteger() override;
  double GetAsFloat() override { return GetAsInteger(); }
  Variant GetAsVariant() override;
  std::string GetText(bool DisplayText) override;
  virtual bool ReadValue(int64_t& Value);
  virtual void WriteValue(int64_t Value);

 private:
  int64_t FLow, FHigh;
};

class TSmallintField : public TIntegerField {
 public:
  explicit TSmallintField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 2; }

 protected:
  bool ReadValue(int64_t& Value) override;
  void WriteValue(int64_t Value) override;
};

class TWordField : public TIntegerField {
 public:
  explicit TWordField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 2; }

 protected:
  bool ReadValue(int64_t& Value) override;
  void WriteValue(int64_t Value) override;
};

class TFloatField : public TNumericField {
 public:
  explicit TFloatField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 8; }
  void SetAsString(const std::string& Value) override;
  void SetAsInteger(int Value) override { SetAsFloat(Value); }
  void SetAsFloat(double Value) override;
  void SetAsVariant(const Variant& Value) override;
  bool Currency = false;  // plain text with two decimals
  int Precision = 15;     // significant digits of the plain text
  double MinValue = 0;    // checked when either is non-zero
  double MaxValue = 0;

 protected:
  TFloatField(TComponent* AOwner, TFieldType Type);
  std::string GetAsString() override;
  int GetAsInteger() override;
  double GetAsFloat() override;
  Variant GetAsVariant() override;
  std::string GetText(bool DisplayText) override;
};

class TCurrencyField : public TFloatField {
 public:
  explicit TCurrencyField(TComponent* AOwner = nullptr);
};

class TBooleanField : public TField {
 public:
  explicit TBooleanField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 2; }
  // Texts for true and false, "True;False" by default. SetAsString accepts a non-empty
  // beginning of either, without regard to case; the empty text clears the field.
  const std::string& DisplayValues() const { return FDisplayValues; }
  void SetDisplayValues(const std::string& Value);
  void SetAsString(const std::string& Value) override;
  void SetAsBoolean(bool Value) override;
  void SetAsVariant(const Variant& Value) override;

 protected:
  std::string GetAsString() override;
  bool GetAsBoolean() override;
  Variant GetAsVariant() override;
  int DefaultWidth() const override;

 private:
  std::string FDisplayValues = "True;False";
  std::string FTrueText = "True", FFalseText = "False";
};

// Date and time fields. A stored day number below 1 (an impossible date) displays as "".
class TDateTimeField : public TField {
 public:
  explicit TDateTimeField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 8; }
  void SetAsString(const std::string& Value) override;  // "" clears
  void SetAsDateTime(TDateTime Value) override;
  void SetAsFloat(double Value) override { SetAsDateTime(Value); }
  void SetAsVariant(const Variant& Value) override;
  std::string DisplayFormat;  // FormatDateTime picture; empty: the short formats

 protected:
  TDateTimeField(TComponent* AOwner, TFieldType Type);
  std::string GetAsString() override { return GetText(false); }
  double GetAsFloat() override { return GetAsDateTime(); }
  TDateTime GetAsDateTime() override;
  Variant GetAsVariant() override;
  std::string GetText(bool DisplayText) override;
  int DefaultWidth() const override { return 18; }
  // Native form <-> TDateTime.
  virtual TDateTime DataToDateTime(const void* Data) const;
  virtual void DateTimeToData(TDateTime Value, void* Data) const;
  virtual bool DataIsValid(const void* Data) const;
  virtual std::string DefaultFormat() const;
  virtual TDateTime ParseText(const std::string& Text) const;
};

class TDateField : public TDateTimeField {
 public:
  explicit TDateField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 4; }

 protected:
  int DefaultWidth() const override { return 10; }
  TDateTime DataToDateTime(const void* Data) const override;
  void DateTimeToData(TDateTime Value, void* Data) const override;
  bool DataIsValid(const void* Data) const override;
  std::string DefaultFormat() const override;
  TDateTime ParseText(const std::string& Text) const override;
};

class TTimeField : public TDateTimeField {
 public:
  explicit TTimeField(TComponent* AOwner = nullptr);
  int DataSize() const override { return 4; }

 protected:
  int DefaultWidth() const override { return 10; }
  TDateTime DataToDateTime(const void* Data) const override;
  void DateTimeToData(TDateTime Value, void* Data) const override;
  bool DataIsValid(const void* Data) const override { return true; }
  std::string DefaultFormat() const override;
  TDateTime ParseText(const std::string& Text) const override;
};

// Blob fields read and write their whole value through the dataset's CreateBlobStream; a
// dataset without blob streams makes them raise "Field '<name>' cannot be read or written as
// a stream".
class TBlobField : public TField {
 public:
  explicit TBlobField(TComponent* AOwner = nullptr);
  bool IsBlob() const override { return true; }
  TFieldType BlobType() const { return DataType(); }
  void SetAsString(const std::string& Value) override;
  void SetAsVariant(const Variant& Value) override;
  void Clear() override { SetAsString(std::string()); }
  int64_t BlobSize();
  void LoadFromStream(TStream& Stream);
  void SaveToStream(TStream& Stream);
  void LoadFromFile(const std::string& FileName);
  void SaveToFile(const std::string& FileName);

 protected:
  TBlobField(TComponent* AOwner, TFieldType Type);
  std::string GetAsString() override;
  Variant GetAsVariant() override;
  // "(BLOB)" when a value is present, else "(blob)"; memo fields "(MEMO)" / "(memo)".
  std::string GetText(bool DisplayText) override;
  std::unique_ptr<TStream> OpenStream(TBlobStreamMode Mode);
};

class TMemoField : public TBlobField {
 public:
  explicit TMemoField(TComponent* AOwner = nullptr);
};

class TGraphicField : public TBlobField {
 public:
  explicit TGraphicField(TComponent* AOwner = nullptr);
};

// The names of a ";"-separated list ("NAME; DAY"), blanks trimmed, empty names left out.
std::vector<std::string> SplitFieldNames(const std::string& FieldNames);

// A new field of the default class for a type (nullptr for types without one).
TField* CreateFieldOfType(TFieldType Type, TComponent* Owner);

// ---- TFields: a dataset's field list ---------------------------------------------------------

class TFields {
 public:
  explicit TFields(TDataSet* ADataSet) : FDataSet(ADataSet) {}
  TFields(const TFields&) = delete;
  TFields& operator=(const TFields&) = delete;

  TDataSet* DataSet() const { return FDataSet; }
  int Count() const { return static_cast<int>(FList.size()); }
  // An index out of range raises "Field index out of range".
  TField* Fields(int Index) const;
  TField* operator[](int Index) const { return Fields(Index); }
  // By name, without regard to case.
  TField* FindField(std::string_view FieldName) const;
  TField* FieldByName(std::string_view FieldName) const;  // raises "Field '<name>' not found"
  int IndexOf(const TField* Field) const;
  std::vector<TField*>::const_iterator begin() const { return FList.begin(); }
  std::vector<TField*>::const_iterator end() const { return FList.end(); }

 private:
  friend class TField;
  friend class TDataSet;
  void Add(TField* Field) { FList.push_back(Field); }
  void Remove(TField* Field);

  TDataSet* FDataSet;
  std::vector<TField*> FList;
};

// ---- Field definitions ----------------------------------------------------------------

class TFieldDefs;

// What the field and the index definition lists share: the definitions, owned and in order,
// found by name without regard to case, and the flag that says they are up to date.
template <class TDef>
class TDefinitions {
 public:
  TDefinitions(const TDefinitions&) = delete;
  TDefinitions& operator=(const TDefinitions&) = delete;

  TDataSet* DataSet() const { return FDataSet; }
  void Clear();
  int Count() const { return static_cast<int>(FItems.size()); }
  TDef* Items(int Index) const;  // raises "Field index out of range"
  TDef* operator[](int Index) const { return Items(Index); }
  int IndexOf(std::string_view Name) const;

  bool Updated = false;

 protected:
  explicit TDefinitions(TDataSet* ADataSet) : FDataSet(ADataSet) {}
  // The definition of that name; raises NotFound (a format taking the name) when none.
  TDef* FindOrRaise(std::string_view Name, const char* NotFound) const;

  TDataSet* FDataSet;
  std::vector<std::unique_ptr<TDef>> FItems;
};

class TFieldDef {
 public:
  std::string Name;
  TFieldType DataType = ftUnknown;
  int Size = 0;
  bool Required = false;
  int Precision = 0;
  // The dataset's field number; Add gives the definition's position (1-based).
  int FieldNo = 0;

  TFieldDefs* Collection() const { return FCollection; }
  // A field of the default class for DataType (nullptr when the type has none), with the
  // definition's name, size, required flag and precision, in the collection's dataset.
  TField* CreateField(TComponent* Owner);

 private:
  friend class TFieldDefs;
  TFieldDefs* FCollection = nullptr;
};

class TFieldDefs : public TDefinitions<TFieldDef> {
 public:
  explicit TFieldDefs(TDataSet* ADataSet) : TDefinitions(ADataSet) {}

  // Appends a definition; a name already present (without regard to case) raises "Duplicate
  // field name '<name>'", an empty one "Field name missing".
  TFieldDef* Add(const std::string& Name, TFieldType DataType, int Size = 0,
                 bool Required = false);
  TFieldDef* Find(std::string_view Name) const;  // raises "Field '<name>' not found"

  // Updated: true while the definitions reflect the dataset's structure; Clear resets it.
  // Update asks the dataset for its definitions when they are not up to date.
  void Update();
};

// ---- Index definitions ------------------------------------------------------------------

enum : unsigned {
  ixPrimary = 1u << 0,
  ixUnique = 1u << 1,
  ixDescending = 1u << 2,
  ixCaseInsensitive = 1u << 3,
  ixExpression = 1u << 4,
  ixNonMaintained = 1u << 5,
};
using TIndexOptions = unsigned;

class TIndexDefs;

class TIndexDef {
 public:
  std::string Name;
  std::string Fields;      // key fields separated by ";" (empty for an expression key)
  std::string Expression;  // the key expression of an ixExpression index
  TIndexOptions Options = 0;
  std::string Source;      // the file the index lives in
  TIndexDefs* Collection() const { return FCollection; }

 private:
  friend class TIndexDefs;
  TIndexDefs* FCollection = nullptr;
};

class TIndexDefs : public TDefinitions<TIndexDef> {
 public:
  explicit TIndexDefs(TDataSet* ADataSet) : TDefinitions(ADataSet) {}

  // Appends a definition; with ixExpression, Fields is taken as the expression. A name
  // already present raises "Duplicate index name '<name>'".
  TIndexDef* Add(const std::string& Name, const std::string& Fields, TIndexOptions Options);
  TIndexDef* Find(std::string_view Name) const;  // raises "Index '<name>' not found"
  // The first index whose key fields begin with Fields (field names compared without regard
  // to case); with CaseInsensitive only ixCaseInsensitive indexes count. nullptr when none.
  TIndexDef* GetIndexForFields(const std::string& Fields, bool CaseInsensitive) const;

  // Updated: false when the definitions must be rebuilt; Update asks the dataset
  // (UpdateIndexDefs).
  void Update();
};

// ---- Parameters ---------------------------------------------------------------------------
// Values handed to statements and server procedures. A parameter keeps its value as a Variant
// and gives it in the class library's parameter data form, whose size GetDataSize tells:
//   ftString, ftMemo, ftFixedChar, ftADT  the text and a NUL byte
//   ftSmallint, ftWord, ftBoolean         2 bytes (int16, uint16, 0 / -1)
//   ftInteger, ftAutoInc                  int32;  ftDate int32 day number; ftTime int32 ms
//   ftFloat, ftCurrency                   double; ftDateTime double (the ftDateTime form)
//   ftBCD, ftFMTBcd                       34 bytes: precision, sign (bit 7) and decimal
//                                         places (bits 0-5), 32 bytes of packed digits
//   ftTimeStamp                           16 bytes: int16 year, uint16 month, day, hour,
//                                         minute, second, uint32 milliseconds
//   ftBytes, ftVarBytes, blob types       the bytes themselves
//   ftCursor, ftArray, ftReference, ftDataSet  nothing
// Any other type raises "Field '<name>' is of an unsupported type", ftUnknown "Field '<name>'
// is of an unknown type".

enum TParamType { ptUnknown = 0, ptInput, ptOutput, ptInputOutput, ptResult };

class TParams;

class TParam {
 public:
  TParam(TParams* AParams, const std::string& AName, TFieldType ADataType,
         TParamType AParamType);

  TParams* Collection() const { return FParams; }
  std::string Name;
  TFieldType DataType = ftUnknown;
  TParamType ParamType = ptUnknown;
  // True once a value was given.
  bool Bound = false;

  const Variant& Value() const { return FValue; }
  // A value given to a parameter of unknown type also gives it the type of the value.
  void SetValue(const Variant& Value);
  bool IsNull() const { return FValue.IsNullOrEmpty(); }
  void Clear() { FValue = Variant::Null(); }

  std::string AsString() const { return FValue.IsNullOrEmpty() ? std::string() : FValue.AsString(); }
  void SetAsString(const std::string& V) { Set(ftString, Variant(V)); }
  int AsInteger() const { return FValue.IsNullOrEmpty() ? 0 : FValue.AsInteger(); }
  void SetAsInteger(int V) { Set(ftInteger, Variant(V)); }
  void SetAsSmallInt(int V) { Set(ftSmallint, Variant(V)); }
  void SetAsWord(int V) { Set(ftWord, Variant(V)); }
  double AsFloat() const { return FValue.IsNullOrEmpty() ? 0.0 : FValue.AsFloat(); }
  void SetAsFloat(double V) { Set(ftFloat, Variant(V)); }
  void SetAsCurrency(double V) { Set(ftCurrency, Variant(V)); }
  bool AsBoolean() const { return !FValue.IsNullOrEmpty() && FValue.AsBoolean(); }
  void SetAsBoolean(bool V) { Set(ftBoolean, Variant(V)); }
  TDateTime AsDateTime() const { return FValue.IsNullOrEmpty() ? 0.0 : FValue.AsDateTime(); }
  void SetAsDateTime(TDateTime V) { Set(ftDateTime, Variant::FromDateTime(V)); }
  void SetAsDate(TDateTime V) { Set(ftDate, Variant::FromDateTime(V)); }
  void SetAsTime(TDateTime V) { Set(ftTime, Variant::FromDateTime(V)); }
  void SetAsMemo(const std::string& V) { Set(ftMemo, Variant(V)); }
  void SetAsBlob(const std::string& V) { Set(ftBlob, Variant(V)); }

  // Bytes of the data form (see above); raises for types without one.
  int GetDataSize() const;
  // Writes the data form into Buffer (GetDataSize bytes).
  void GetData(void* Buffer) const;
  // Reads a value of DataType from Size bytes of the data form.
  void SetData(const void* Buffer, int Size);
  void Assign(const TParam& Source);

 private:
  void Set(TFieldType Type, const Variant& V);
  TParams* FParams;
  Variant FValue = Variant::Null();
};

class TParams {
 public:
  explicit TParams(TPersistent* AOwner = nullptr) : FOwner(AOwner) {}
  TParams(const TParams&) = delete;
  TParams& operator=(const TParams&) = delete;

  TPersistent* Owner() const { return FOwner; }
  TParam* CreateParam(TFieldType DataType, const std::string& Name, TParamType ParamType);
  int Count() const { return static_cast<int>(FItems.size()); }
  TParam* Items(int Index) const;  // raises "List index out of bounds (<i>)"
  TParam* operator[](int Index) const { return Items(Index); }
  // By name, without regard to case; ParamByName raises "Parameter '<name>' not found".
  TParam* FindParam(std::string_view Name) const;
  TParam* ParamByName(std::string_view Name) const;
  void Clear() { FItems.clear(); }
  // Copies the parameters of Source (names, types and values).
  void Assign(const TParams& Source);

 private:
  TPersistent* FOwner;
  std::vector<std::unique_ptr<TParam>> FItems;
};
