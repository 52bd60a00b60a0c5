// The table dataset's record buffers: the translation between the engine's raw record and
// a buffer, field reads and writes, the edit protocol with its record lock, posting with the
// memo and blob writes, deletion, counts and record numbers, bookmarks, the blob stream and
// the Julian-day date.
#include <algorithm>
#include <utility>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/core/Cp949.h"
#include "platform/core/NumberText.h"
#include "platform/core/SysUtils.h"
#include "table/XbEngine.h"
#include "table/XbTable.h"

namespace {

constexpr char kNoMemo[10] = {' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '};

bool IsMemoType(TFieldType t) { return t == ftMemo || t == ftFmtMemo; }

// I fields hold a binary 32-bit integer, not digits.
bool IsBinaryInteger(const TFieldInfo& Info) { return Info.TypeLetter == 'I' && Info.Width == 4; }

// The text of a fixed field, cut at a NUL.
std::string FieldText(const char* Source, int Width) {
  size_t n = 0;
  while (n < static_cast<size_t>(Width) && Source[n] != '\0') ++n;
  return std::string(Source, n);
}

bool IsBlank(const std::string& s) { return s.find_first_not_of(' ') == std::string::npos; }

// The day number of YYYY, MM and DD; 0 for parts that are not numbers or no calendar date.
int32_t DayNumberOf(const char* Text) {
  auto part = [](const char* p, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
      if (p[i] < '0' || p[i] > '9') return -1;
      v = v * 10 + (p[i] - '0');
    }
    return v;
  };
  const int y = part(Text, 4), m = part(Text + 4, 2), d = part(Text + 6, 2);
  if (y < 1 || m < 1 || d < 1) return 0;
  TDateTime dt = 0;
  if (!TryEncodeDate(y, m, d, dt)) return 0;
  return DateToDayNumber(dt);
}

int DaysBefore(int y) {
  const int p = y - 1;
  return p * 365 + p / 4 - p / 100 + p / 400;
}

int YearLength(int y) { return IsLeapYear(y) ? 366 : 365; }

}  // namespace

// ---- Buffer areas -------------------------------------------------------------------------

XbLong TXbTable::BufferRecNo(TRecordBuffer Buffer) const {
  if (!Buffer) return 0;
  XbLong r = 0;
  std::memcpy(&r, Buffer + BookmarkOffset, sizeof r);
  return r;
}

void TXbTable::SetBufferRecNo(TRecordBuffer Buffer, XbLong RecNo) {
  if (Buffer) std::memcpy(Buffer + BookmarkOffset, &RecNo, sizeof RecNo);
}

TBlobSlot* TXbTable::BlobSlotOf(TRecordBuffer Buffer, TField* Field) const {
  if (!Buffer || !Field || !Field->IsBlob()) return nullptr;
  const int count = (BookmarkOffset - BlobAreaOffset) / static_cast<int>(sizeof(TBlobSlot));
  if (Field->Offset() < 0 || Field->Offset() >= count) return nullptr;
  return reinterpret_cast<TBlobSlot*>(Buffer + BlobAreaOffset) + Field->Offset();
}

namespace {

void ResetSlot(TBlobSlot& s) {
  delete[] s.Data;
  s.Data = nullptr;
  s.Length = 0;
  std::memcpy(s.MemoRef, kNoMemo, sizeof s.MemoRef);
  s.Modified = 0;
  s.Loaded = 0;
}

}  // namespace

TRecordBuffer TXbTable::AllocRecordBuffer() {
  const size_t n = static_cast<size_t>(std::max(RecordBufferSize, 1));
  auto* b = new char[n];
  std::memset(b, 0, n);
  const int count = (BookmarkOffset - BlobAreaOffset) / static_cast<int>(sizeof(TBlobSlot));
  for (int i = 0; i < count; ++i) {
    auto* s = new (b + BlobAreaOffset + i * static_cast<int>(sizeof(TBlobSlot))) TBlobSlot;
    std::memcpy(s->MemoRef, kNoMemo, sizeof s->MemoRef);
  }
  return b;
}

void TXbTable::FreeRecordBuffer(TRecordBuffer& Buffer) {
  if (!Buffer) return;
  const int count = (BookmarkOffset - BlobAreaOffset) / static_cast<int>(sizeof(TBlobSlot));
  for (int i = 0; i < count; ++i) {
    auto* s = reinterpret_cast<TBlobSlot*>(Buffer + BlobAreaOffset) + i;
    delete[] s->Data;
    s->Data = nullptr;
  }
  delete[] Buffer;
  Buffer = nullptr;
}

void TXbTable::InternalInitRecord(TRecordBuffer Buffer) {
  if (!Buffer) return;
  std::memset(Buffer, 0, static_cast<size_t>(BlobAreaOffset));
  SetBufferRecNo(Buffer, 0);
  const int count = (BookmarkOffset - BlobAreaOffset) / static_cast<int>(sizeof(TBlobSlot));
  for (int i = 0; i < count; ++i) ResetSlot(reinterpret_cast<TBlobSlot*>(Buffer + BlobAreaOffset)[i]);
}

void TXbTable::ClearBuffers() {
  TDataSet::ClearBuffers();
  if (CursorOpen && ActiveBuffer()) InternalInitRecord(ActiveBuffer());
}

void TXbTable::ClearCalcFields(TRecordBuffer Buffer) {
  if (Buffer && CalcFieldsSize() > 0)
    std::memset(Buffer + CalcAreaOffset, 0, static_cast<size_t>(CalcFieldsSize()));
}

void TXbTable::RefreshInternalCalcFields(TRecordBuffer Buffer) { GetCalcFields(Buffer); }

// ---- Record translation ---------------------------------------------------------------------

void TXbTable::ReadFieldFromImage(TField* Field, const TFieldInfo& Info, char* Slot) {
  ReadFieldFromImage(Field, Info, Slot, RecordImage);
}

void TXbTable::ReadFieldFromImage(TField* Field, const TFieldInfo& Info, char* Slot,
                                  const std::vector<char>& Image) {
  char* data = Slot + 1;
  const int size = Field->DataSize();
  std::memset(Slot, 0, static_cast<size_t>(1 + size));
  if (Info.EngineOffset < 0 || static_cast<size_t>(Info.EngineOffset + Info.Width) > Image.size())
    return;
  const char* src = Image.data() + Info.EngineOffset;

  if (TableEncrypted != 0 && FPassword.empty()) {
    // Without the password the stored bytes mean nothing: show a mask.
    Slot[0] = 1;
    if (Field->DataType() == ftString) std::memset(data, '*', static_cast<size_t>(Field->Size()));
    return;
  }

  switch (Field->DataType()) {
    case ftString: {
      const int n = std::min(Info.Width, Field->Size());
      Slot[0] = 1;
      std::memcpy(data, src, static_cast<size_t>(n));
      data[n] = '\0';
      for (int i = n - 1; i >= 0 && (data[i] == ' ' || data[i] == '\0'); --i) data[i] = '\0';
      break;
    }
    case ftSmallint:
    case ftInteger: {
      if (IsBinaryInteger(Info)) {
        // The engine keeps I fields as 4 bytes, low byte first; a blank record has blanks.
        if (std::memcmp(src, "    ", 4) == 0) break;
        const unsigned char* b = reinterpret_cast<const unsigned char*>(src);
        const int32_t i = static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) |
                                               (static_cast<uint32_t>(b[3]) << 24));
        Slot[0] = 1;
        std::memcpy(data, &i, sizeof i);
        break;
      }
      const std::string text = FieldText(src, Info.Width);
      double v = 0;
      if (IsBlank(text) || !numtext::ReadStored(text, v)) break;
      Slot[0] = 1;
      if (Field->DataType() == ftSmallint) {
        const int16_t i = static_cast<int16_t>(std::clamp(std::trunc(v), -32768.0, 32767.0));
        std::memcpy(data, &i, sizeof i);
      } else {
        const int32_t i =
            static_cast<int32_t>(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
        std::memcpy(data, &i, sizeof i);
      }
      break;
    }
    case ftBoolean: {
      const std::string text = FieldText(src, Info.Width);
      if (IsBlank(text)) break;
      Slot[0] = 1;
      const int16_t b = (src[0] == 'T' || src[0] == 'Y') ? -1 : 0;
      std::memcpy(data, &b, sizeof b);
      break;
    }
    case ftFloat:
    case ftCurrency: {
      const std::string text = FieldText(src, Info.Width);
      double v = 0;
      if (IsBlank(text) || !numtext::ReadStored(text, v)) break;
      Slot[0] = 1;
      std::memcpy(data, &v, sizeof v);
      break;
    }
    case ftDate: {
      if (Info.Width < 8) break;
      if (src[1] == ' ' || src[1] == '\0' || src[5] == '\0' || src[7] == '\0') break;
      Slot[0] = 1;
      const int32_t day = DayNumberOf(src);
      std::memcpy(data, &day, sizeof day);
      break;
    }
    default: break;
  }
}

void TXbTable::RecordToBuffer(TRecordBuffer Buffer) {
  if (!Buffer) return;
  for (TField* f : Fields()) {
    const int n = f->FieldNo();
    if (n < 1 || n > static_cast<int>(FieldInfos.size())) continue;
    const TFieldInfo& info = FieldInfos[static_cast<size_t>(n - 1)];
    char* slot = Buffer + info.BufferOffset;
    if (!f->IsBlob()) {
      ReadFieldFromImage(f, info, slot);
      continue;
    }
    TBlobSlot* blob = BlobSlotOf(Buffer, f);
    if (!blob) continue;
    ResetSlot(*blob);
    if (!(IsInserting() && Eof()) && info.EngineOffset >= 0 &&
        static_cast<size_t>(info.EngineOffset + info.Width) <= RecordImage.size()) {
      const size_t w = static_cast<size_t>(std::min(info.Width, 10));
      std::memcpy(blob->MemoRef, RecordImage.data() + info.EngineOffset, w);
    }
    const std::string ref = FieldText(blob->MemoRef, 10);
    slot[0] = ref == std::string(10, ' ') ? 0 : 1;
  }
}

std::vector<char> TXbTable::BlankImage() const {
  std::vector<char> image(static_cast<size_t>(std::max(RecordSize, 1)), ' ');
  for (const TFieldInfo& info : FieldInfos)
    if (IsBinaryInteger(info) && info.EngineOffset >= 0 &&
        static_cast<size_t>(info.EngineOffset + info.Width) <= image.size())
      std::memset(image.data() + info.EngineOffset, 0, static_cast<size_t>(info.Width));
  return image;
}

void TXbTable::BuildRecordImage(TRecordBuffer Buffer, bool NewRecord) {
  if (WorkArea <= 0 || !Buffer) return;
  SelectWorkArea();
  // Start from the record as stored: engine fields without a dataset field keep their
  // bytes, and a field the edit did not change keeps its stored text exactly.
  if (NewRecord) {
    RecordImage = BlankImage();
  } else {
    xb_GetRecord();
  }
  if (RecordImage.size() < static_cast<size_t>(RecordSize))
    RecordImage.resize(static_cast<size_t>(RecordSize), ' ');
  // What the edit started from tells which fields it changed.
  const XbLong postedRecNo = FSpeedMode ? xb_RecNo() : BufferRecNo(Buffer);
  const bool fromOrigin = !NewRecord && !IsInserting() && EditOriginRecNo > 0 &&
                          EditOriginRecNo == postedRecNo && EditOrigin.size() == RecordImage.size();
  const std::vector<char> origin = fromOrigin ? EditOrigin : RecordImage;
  std::vector<char> stored;
  for (TField* f : Fields()) {
    const int n = f->FieldNo();
    if (n < 1 || n > static_cast<int>(FieldInfos.size())) continue;
    const TFieldInfo& info = FieldInfos[static_cast<size_t>(n - 1)];
    if (info.EngineOffset < 0 ||
        static_cast<size_t>(info.EngineOffset + info.Width) > RecordImage.size())
      continue;
    char* dest = RecordImage.data() + info.EngineOffset;
    const char* slot = Buffer + info.BufferOffset;
    const char* data = slot + 1;
    const bool present = slot[0] != 0;
    const size_t width = static_cast<size_t>(info.Width);

    if (f->IsBlob()) {
      if (TBlobSlot* blob = BlobSlotOf(Buffer, f))
        std::memcpy(dest, blob->MemoRef, std::min<size_t>(width, 10));
      continue;
    }

    // Unchanged since it was read: leave the stored bytes alone (a text that does not read
    // as a number or a date that is no calendar date is not overwritten with a blank or 0).
    stored.assign(static_cast<size_t>(1 + f->DataSize()), '\0');
    ReadFieldFromImage(f, info, stored.data(), origin);
    if (f->DataType() == ftString) {
      if (stored[0] == slot[0] && (!present || std::strcmp(stored.data() + 1, data) == 0))
        continue;
    } else if (std::memcmp(stored.data(), slot, stored.size()) == 0) {
      continue;
    }

    std::string text;
    switch (f->DataType()) {
      case ftString: {
        if (present) text = FieldText(data, f->Size());
        break;
      }
      case ftSmallint:
      case ftInteger: {
        if (!present && IsBinaryInteger(info)) {
          std::memset(dest, 0, width);  // an empty I field is binary zero, not four blanks
          continue;
        }
        if (!present) break;
        int32_t v = 0;
        if (f->DataType() == ftSmallint) {
          int16_t s = 0;
          std::memcpy(&s, data, sizeof s);
          v = s;
        } else {
          std::memcpy(&v, data, sizeof v);
        }
        if (IsBinaryInteger(info)) {
          const uint32_t u = static_cast<uint32_t>(v);
          for (int k = 0; k < 4; ++k) dest[k] = static_cast<char>((u >> (8 * k)) & 0xFF);
          continue;
        }
        text = std::to_string(v);
        if (text.size() > width) RaiseXbError(this, "Translate error. Value out of bounds");
        text.insert(0, width - text.size(), ' ');
        break;
      }
      case ftBoolean: {
        int16_t b = 0;
        std::memcpy(&b, data, sizeof b);
        text = present ? (b != 0 ? "T" : "F") : " ";
        break;
      }
      case ftFloat:
      case ftCurrency: {
        if (!present) break;
        double v = 0;
        std::memcpy(&v, data, sizeof v);
        // '.' whatever the locale, right-aligned in the field's width; not finite or too wide
        // is refused.
        if (!numtext::Fixed(v, static_cast<int>(width), std::max(info.Decimals, 0), text))
          RaiseXbError(this, "Translate error. Value out of bounds");
        break;
      }
      case ftDate: {
        if (!present) {
          text = "        ";
          break;
        }
        int32_t day = 0;
        std::memcpy(&day, data, sizeof day);
        if (day < 1) {
          text = "        ";  // no calendar date
          break;
        }
        const TDateTime dt = DayNumberToDate(day);
        int y = 0, m = 0, d = 0;
        DecodeDate(dt, y, m, d);
        if (y < 100) {
          // A two-digit year takes its century from the table's epoch.
          const std::string shown = DateToStr(dt);
          const std::string& fmt = FormatSettings.ShortDateFormat;
          const char sep = FormatSettings.DateSeparator;
          std::string part;
          if (!fmt.empty() && (fmt[0] == 'Y' || fmt[0] == 'y'))
            part = shown.substr(0, shown.find(sep));
          else
            part = shown.substr(shown.rfind(sep) == std::string::npos ? 0 : shown.rfind(sep) + 1);
          int n2 = 0;
          if (!TryStrToInt(Trim(part), n2)) n2 = y;
          if (n2 < 100) {
            n2 += (EnvSnapshot.Epoch / 100) * 100;
            if (n2 < EnvSnapshot.Epoch) n2 += 100;
          }
          y = n2;
        }
        char buf[32];
        std::snprintf(buf, sizeof buf, "%04d%02d%02d", y % 10000, m, d);
        text = buf;
        break;
      }
      default: continue;
    }
    if (text.size() < width) text.append(width - text.size(), ' ');
    std::memcpy(dest, text.data(), width);
  }
  if (NewRecord || IsInserting()) RecordImage[0] = ' ';
  else if (xb_Deleted() != 0) RecordImage[0] = '*';
}

void TXbTable::BufferToRecord(TRecordBuffer Buffer) {
  if (WorkArea <= 0) return;
  BuildRecordImage(Buffer);
  xb_PutRecord();
}

// ---- Field data -----------------------------------------------------------------------------

TRecordBuffer TXbTable::FieldReadBuffer() { return GetActiveRecordBuffer(); }

bool TXbTable::GetFieldData(TField* Field, void* Buffer) {
  if (!CursorOpen || !Field) return false;
  TRecordBuffer rec = FieldReadBuffer();
  if (!rec) return false;
  const char* slot = nullptr;
  if (Field->FieldNo() < 1) {
    slot = rec + CalcAreaOffset + Field->Offset();
  } else {
    if (Field->FieldNo() > static_cast<int>(FieldInfos.size())) return false;
    slot = rec + FieldInfos[static_cast<size_t>(Field->FieldNo() - 1)].BufferOffset;
  }
  if (slot[0] == 0) return false;
  if (Buffer) std::memcpy(Buffer, slot + 1, static_cast<size_t>(Field->DataSize()));
  return true;
}

void TXbTable::SetFieldData(TField* Field, const void* Buffer) {
  if (State() == dsInactive || !Field) return;
  TRecordBuffer rec = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
  char* slot = nullptr;
  if (Field->FieldNo() < 1) {
    if (!rec) return;
    slot = rec + CalcAreaOffset + Field->Offset();
  } else {
    if (State() != dsEdit && State() != dsInsert && State() != dsSetKey)
      RaiseXbError(this, "Data set must be in Edit or Insert mode to update");
    if (Field->FieldNo() > static_cast<int>(FieldInfos.size()) || !rec) return;
    Field->Validate(Buffer);
    slot = rec + FieldInfos[static_cast<size_t>(Field->FieldNo() - 1)].BufferOffset;
  }
  const size_t size = static_cast<size_t>(Field->DataSize());
  if (Buffer) {
    slot[0] = 1;
    std::memcpy(slot + 1, Buffer, size);
  } else {
    slot[0] = 0;
    std::memset(slot + 1, 0, size);
  }
  if (State() != dsCalcFields && State() != dsFilter && State() != dsNewValue)
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
}

// ---- Editing protocol -------------------------------------------------------------------------

void TXbTable::DoBeforeEdit() {
  TDataSet::DoBeforeEdit();
  if (WorkArea <= 0) return;
  SelectWorkArea();
  const XbLong recNo = FSpeedMode ? xb_RecNo() : BufferRecNo(ActiveBuffer());
  CurrentRecNo = recNo;
  if (xb_Rlock(recNo) == 0) {
    RefuseUnlessQuiet(kRecordLockFailure);
  } else if (recNo > 0) {
    FEditLockRecNo = recNo;
  }
  EditOrigin.clear();
  EditOriginRecNo = 0;
  if (!OnServer() && xb_Alias(WorkArea).empty()) return;
  if (recNo != -1) {
    // Editing starts from the record as stored now, not from the buffered copy.
    xb_Go(recNo);
    xb_GetRecord();
    RecordToBuffer(ActiveBuffer());
    EditOrigin = RecordImage;
    EditOriginRecNo = recNo;
  }
}

void TXbTable::DoBeforeInsert() {
  TDataSet::DoBeforeInsert();
  if (WorkArea <= 0) return;
  SelectWorkArea();
  InsertReturnRecNo = BufferedRecordCount() > 0 ? BufferRecNo(ActiveBuffer()) : 0;
}

void TXbTable::DoAfterInsert() {
  if (State() == dsInsert && WorkArea > 0) {
    SelectWorkArea();
    SetBookmarkFlag(ActiveBuffer(), bfEOF);
    SetBufferRecNo(ActiveBuffer(), -1);
  }
  TDataSet::DoAfterInsert();
}

void TXbTable::DoOnNewRecord() {
  if (WorkArea > 0 && FMasterLink->Active() && !FMasterLink->Fields().empty()) {
    SelectWorkArea();
    const std::vector<std::string> keys =
        SplitFieldNames(KeyFieldsOfExpression(xb_IndexKey()));
    const std::vector<TField*>& master = FMasterLink->Fields();
    for (size_t k = 0; k < keys.size() && k < master.size(); ++k)
      if (TField* f = FindField(keys[k])) f->SetAsVariant(master[k]->AsVariant());
  }
  TDataSet::DoOnNewRecord();
}

void TXbTable::DoAfterCancel() {
  if (WorkArea > 0) {
    SelectWorkArea();
    if (InsertReturnRecNo > 0) {
      SetBookmarkFlag(ActiveBuffer(), bfCurrent);
      SetBufferRecNo(ActiveBuffer(), InsertReturnRecNo);
      InsertReturnRecNo = 0;
      Resync(0);
    }
  }
  TDataSet::DoAfterCancel();
}

void TXbTable::Cancel() {
  TDataSet::Cancel();
  ReleaseEditLock();
}

void TXbTable::ReleaseEditLock() {
  if (FEditLockRecNo > 0 && WorkArea > 0) {
    SelectWorkArea();
    xb_Unlock(FEditLockRecNo);
  }
  FEditLockRecNo = 0;
}

void TXbTable::DoAfterScroll() {
  if (WorkArea > 0) UpdateCursorPos();
  TDataSet::DoAfterScroll();
}

bool TXbTable::Bof() {
  if (!FSpeedMode) return TDataSet::Bof();
  if (WorkArea > 0) {
    SelectWorkArea();
    return xb_Bof() != 0;
  }
  return TDataSet::Bof();
}

bool TXbTable::Eof() {
  if (WorkArea > 0) {
    SelectWorkArea();
    return xb_Eof() != 0 || TDataSet::Eof();
  }
  return TDataSet::Eof();
}

// ---- Posting ----------------------------------------------------------------------------------

void TXbTable::WriteBlobs(TRecordBuffer Buffer) {
  if (BlobFieldCount() == 0) return;
  std::vector<std::pair<const std::string*, const TBlobSlot*>> written;
  for (TField* f : Fields()) {
    if (!f->IsBlob() || f->FieldNo() < 1 || f->FieldNo() > static_cast<int>(FieldInfos.size()))
      continue;
    TBlobSlot* slot = BlobSlotOf(Buffer, f);
    if (!slot || slot->Modified == 0) continue;
    const std::string& name = FieldInfos[static_cast<size_t>(f->FieldNo() - 1)].Name;
    written.emplace_back(&name, slot);
    if (IsMemoType(f->DataType())) {
      const char* text = slot->Data ? slot->Data : "";
      if (slot->Data && std::strlen(text) < static_cast<size_t>(slot->Length)) {
        // A NUL inside the text: stored whole as the bytes it is, never cut at the NUL.
        if (xb_PutBlob(name, slot->Data, slot->Length) != slot->Length)
          RaiseXbError(this, "Blob Write Error");
        continue;
      }
      xb_Replace(name, XB_RT_MEMO, text);
      // The memo write answers nothing itself: a memo that did not land must not pass for a
      // saved one. The local engine is asked for the text the record now refers to (the old
      // body may be as long as the new one); the server is asked for its length.
      if (!OnServer() ? xb_GetMemo(name) != text
                      : FTableType != ttXBNTX &&
                            xb_GetBlobLength(name) != static_cast<XbLong>(std::strlen(text)))
        RaiseXbError(this, "Blob Write Error");
    } else if (xb_PutBlob(name, slot->Data, slot->Length) != slot->Length) {
      RaiseXbError(this, "Blob Write Error");
    }
  }
  // A memo write that fails takes the record's earlier memo changes back with it, and one
  // whose old body was the very text it was given passes the check above all the same. So
  // the memos written before the last are read again: each must hold what it was given.
  if (OnServer()) return;
  std::string stored;
  for (size_t i = 0; i + 1 < written.size(); ++i) {
    const auto& [name, slot] = written[i];
    const XbLong length = xb_GetBlobLength(*name);
    bool same = length == slot->Length;
    if (same && length > 0) {
      stored.resize(static_cast<size_t>(length));
      same = xb_GetBlob(*name, stored.data(), length) == length &&
             std::memcmp(stored.data(), slot->Data, stored.size()) == 0;
    }
    if (!same) RaiseXbError(this, "Blob Write Error");
  }
}

void TXbTable::PostBuffer(TRecordBuffer Buffer, bool Inserting) {
  SelectWorkArea();
  const bool append = Inserting && BlankAppended == 0;
  if (!Inserting) {
    // The record as stored now, read under the edit's lock: the fields the edit did not
    // change keep it.
    const XbLong recNo = FSpeedMode ? xb_RecNo() : BufferRecNo(Buffer);
    if (recNo > 0) xb_Go(recNo);
  }
  // Every value is translated before anything reaches the file: a refused one leaves the
  // file as it was, and the edit with its record lock.
  BuildRecordImage(Buffer, append);
  // The bytes this write changes, to be found in the record once it is written.
  const std::vector<char> written = RecordImage;
  std::vector<char> before;
  if (append) {
    before = BlankImage();
  } else {
    xb_GetRecord();
    before = RecordImage;
    RecordImage = written;
  }
  // A record appended before for this insert, whose memo or record could not be written:
  // written into now, so each retry does not leave one more record behind.
  XbLong reused = 0;
  if (append && FFailedAppendRecNo > 0) {
    const XbLong failed = std::exchange(FFailedAppendRecNo, 0);
    xb_Go(failed);
    // Deleted, or still blank when its delete was refused too (another copy kept the index
    // lock): judged as stored under its lock, since the lock re-reads it.
    if (xb_RecNo() == failed && xb_Eof() == 0 && xb_Rlock(failed) != 0) {
      xb_GetRecord();
      if (xb_Deleted() != 0 || RecordImage == BlankImage())
        reused = failed;
      else
        xb_Unlock(failed);
    }
  }
  if (append && reused == 0) {
    CountNeedsRefresh = true;
    // From the end of file, so that an append that fails writes nothing over a record.
    xb_Go(0);
    xb_AppendBlank();
    TakeIndexFaults();
    if (xb_Eof() != 0) RaiseXbError(this, "Append Blank Failure");
  }
  try {
    WriteBlobs(Buffer);
    SelectWorkArea();
    RecordImage = written;
    xb_PutRecord();
    xb_Commit();
    TakeIndexFaults();
    if (!OnServer()) CheckRecordWritten(before, written);
  } catch (...) {
    if (append) {
      try {
        // The record is there already: it goes back to deleted, and the next post of this
        // insert writes into it.
        SelectWorkArea();
        const XbLong recNo = xb_RecNo();
        xb_Delete();
        xb_Commit();
        xb_Unlock(recNo);
        FFailedAppendRecNo = recNo;
        CountNeedsRefresh = true;
        TakeIndexFaults();  // the error raised already says it
      } catch (...) {
      }
    }
    throw;
  }
  // The engine locks a record for its appender; the insert is done with it.
  if (append) xb_Unlock(xb_RecNo());
  ReleaseEditLock();
}

void TXbTable::CheckRecordWritten(const std::vector<char>& Before, const std::vector<char>& Written) {
  // The record write answers nothing itself: a write that failed leaves the record as the
  // file holds it, so every byte this write changed is looked for there. Memo references
  // are the engine's own (a failed memo write raised already).
  std::vector<bool> skip(Written.size(), false);
  for (const TFieldInfo& info : FieldInfos) {
    const char t = info.TypeLetter;
    if ((t != 'M' && t != 'B' && t != 'G' && t != 'P') || info.EngineOffset < 0) continue;
    for (int i = 0; i < info.Width; ++i) {
      const size_t at = static_cast<size_t>(info.EngineOffset + i);
      if (at < skip.size()) skip[at] = true;
    }
  }
  SelectWorkArea();
  xb_GetRecord();
  bool landed = RecordImage.size() == Written.size();
  for (size_t i = 1; landed && i < Written.size(); ++i)
    if (!skip[i] && (i >= Before.size() || Written[i] != Before[i]) && RecordImage[i] != Written[i])
      landed = false;
  RecordImage = Written;
  if (!landed) RaiseXbError(this, "Record Write Error");
}

void TXbTable::TakePositionAfterPost() {
  if (FSpeedMode) return;
  SetBookmarkFlag(ActiveBuffer(), xb_Eof() != 0 ? bfEOF : bfCurrent);
  SetBufferRecNo(ActiveBuffer(), xb_RecNo());
}

void TXbTable::InternalPost() {
  if (WorkArea <= 0) return;
  SelectWorkArea();
  const bool inserting = IsInserting();
  if (!inserting && FEditLockRecNo == 0) {
    // The edit began without its lock (refused while refusals are quiet): it is taken now,
    // and only the fields the edit changed are written over the record as stored then.
    const XbLong recNo = FSpeedMode ? xb_RecNo() : BufferRecNo(ActiveBuffer());
    if (recNo > 0) {
      if (xb_Rlock(recNo) == 0)
        RefuseUnlessQuiet(kRecordLockFailure);
      else
        FEditLockRecNo = recNo;
    }
  }
  PostBuffer(ActiveBuffer(), inserting);
  TakePositionAfterPost();
  InsertReturnRecNo = 0;
  BlankAppended = 0;
  EditOrigin.clear();
  EditOriginRecNo = 0;
}

void TXbTable::InternalAddRecord(TRecordBuffer Buffer, bool Append) {
  if (FReadOnly) RefuseUnlessQuiet("Cannot modify a read-only data set");
  if (WorkArea <= 0) return;
  BlankAppended = 0;  // the new record is always appended
  PostBuffer(Buffer, true);
  TakePositionAfterPost();
  InsertReturnRecNo = 0;
}

void TXbTable::InternalDelete() {
  if (ErrorFunc == -1) {
    if (FReadOnly) RaiseXbError(this, "Cannot modify a read-only data set");
    if (!FSpeedMode) {
      if (IsEmpty()) RaiseXbError(this, "Cannot perform this operation on an empty table");
    } else if (WorkArea > 0) {
      // The engine's current record must exist; the last one counts.
      if (CountNeedsRefresh || RawRecCount < 0) RefreshCounts();
      SelectWorkArea();
      const XbLong current = xb_RecNo();
      if (current < 1 || current > RawRecCount || xb_Eof() != 0)
        RaiseXbError(this, "Cannot perform this operation on an empty table");
    }
  }
  if (WorkArea <= 0) return;
  SelectWorkArea();
  if (!FSpeedMode) UpdateCursorPos();
  SelectWorkArea();
  // Another user's lock means that user is saving into the record: deleted under them, the
  // save would land in a deleted record. The lock is taken for the delete, and kept when the
  // caller or the edit held it already.
  const XbLong target = xb_RecNo();
  const bool held = target == FEditLockRecNo || FCallerLocks.count(target) != 0;
  if (!held && xb_Rlock(target) == 0) {
    RefuseUnlessQuiet(kRecordLockFailure);
    return;
  }
  SelectWorkArea();
  const std::string condition = cp949::Upper(xb_IndexCondition());
  if (condition.find("DELETED()") != std::string::npos || xb_SysProp(1006, 0) != 0) {
    // Deleted records are hidden: move on to the neighbour that stays visible.
    const XbLong r = xb_RecNo();
    xb_Skip(1);
    const XbLong next = xb_Eof() != 0 ? -1 : xb_RecNo();
    xb_Go(r);
    xb_Delete();
    if (next == -1) xb_GoBottom(); else xb_Go(next);
  } else {
    xb_Delete();
  }
  if (!held) xb_Unlock(target);
  TakeIndexFaults();
  if (!FSpeedMode) {
    SetBookmarkFlag(ActiveBuffer(), xb_Eof() != 0 ? bfEOF : bfCurrent);
    SetBufferRecNo(ActiveBuffer(), xb_RecNo());
  }
  CountNeedsRefresh = true;
  Resync(0);
}

// ---- Counts and numbers -----------------------------------------------------------------------

void TXbTable::RefreshCounts() {
  if (WorkArea <= 0) return;
  SelectWorkArea();
  RawRecCount = xb_RecCount();
  switch (SequencedCount) {
    case scAllCount: CachedRecCount = xb_Count(); break;
    case scFilterOnlyCount: CachedRecCount = xb_QueryRecCount(); break;
    default: CachedRecCount = RawRecCount; break;
  }
  CountNeedsRefresh = false;
}

int TXbTable::GetRecordCount() {
  if (WorkArea <= 0) return 0;
  if (CountNeedsRefresh || CachedRecCount == -1) RefreshCounts();
  return CachedRecCount;
}

XbLong TXbTable::OrderPositionOf() {
  if (OrderPosition == -2 && !OnServer()) {
    SelectWorkArea();
    OrderPosition = static_cast<XbLong>(
        std::trunc(XbCall(&XbEntryPoints::xb_OrderPosGet) * static_cast<double>(CachedRecCount)));
  }
  return OrderPosition;
}

int TXbTable::GetRecNo() {
  if (WorkArea <= 0 || !CursorOpen) return 0;
  SelectWorkArea();
  UpdateCursorPos();
  if (CurrentOrder == 0 || FTableType == ttXBNTX) return CurrentRecNo;
  if (CountNeedsRefresh || CachedRecCount == -1) RefreshCounts();
  return OrderPositionOf();
}

void TXbTable::SetSequencePosition(int N) {
  if (WorkArea <= 0) return;
  CheckBrowseMode();
  SelectWorkArea();
  xb_Go(N);
  if (CachedRecCount > 0) xb_OrderPosSet(static_cast<double>(N) / CachedRecCount);
  SetBookmarkFlag(ActiveBuffer(), bfCurrent);
  SetBufferRecNo(ActiveBuffer(), xb_RecNo());
  Resync(0);
}

// ---- Bookmarks ----------------------------------------------------------------------------------

void TXbTable::GetBookmarkData(TRecordBuffer Buffer, void* Data) {
  if (Buffer && Data) std::memcpy(Data, Buffer + BookmarkOffset, 4);
}

void TXbTable::SetBookmarkData(TRecordBuffer Buffer, const void* Data) {
  if (Buffer && Data) std::memcpy(Buffer + BookmarkOffset, Data, 4);
}

TBookmarkFlag TXbTable::GetBookmarkFlag(TRecordBuffer Buffer) {
  if (!Buffer) return bfCurrent;
  return static_cast<TBookmarkFlag>(static_cast<unsigned char>(Buffer[BookmarkOffset + 4]));
}

void TXbTable::SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) {
  if (Buffer) Buffer[BookmarkOffset + 4] = static_cast<char>(Value);
}

bool TXbTable::BookmarkValid(const TBookmark& Bookmark) { return !Bookmark.empty(); }

void TXbTable::InternalGotoBookmark(const void* Bookmark) {
  try {
    XbLong r = 0;
    std::memcpy(&r, Bookmark, sizeof r);
    if (WorkArea <= 0) return;
    SetBookmarkFlag(ActiveBuffer(), bfCurrent);
    SetBufferRecNo(ActiveBuffer(), r);
    ResetFetchBlock();
    SelectWorkArea();
    xb_Go(r);
  } catch (...) {
    RaiseXbError(this, "Invalid bookmark");
  }
}

void TXbTable::InternalSetToRecord(TRecordBuffer Buffer) {
  if (WorkArea <= 0) return;
  SelectWorkArea();
  xb_Go(BufferRecNo(Buffer));
}

int TXbTable::CompareBookmarks(const TBookmark& Bookmark1, const TBookmark& Bookmark2) {
  if (Bookmark1.size() < 4 || Bookmark2.size() < 4) return 2;
  XbLong r1 = 0, r2 = 0;
  std::memcpy(&r1, Bookmark1.data(), sizeof r1);
  std::memcpy(&r2, Bookmark2.data(), sizeof r2);
  auto byNumber = [](XbLong a, XbLong b) { return a < b ? -1 : (a > b ? 1 : 0); };
  if (IndexName.empty() || WorkArea <= 0) return byNumber(r1, r2);

  SelectWorkArea();
  const XbLong saved = xb_RecNo();
  struct GoBack {
    TXbTable* t;
    XbLong r;
    ~GoBack() {
      try {
        t->SelectWorkArea();
        t->xb_Go(r);
      } catch (...) {
      }
    }
  } goBack{this, saved};

  const std::string key = xb_IndexKey();
  xb_Go(r1);
  r1 = xb_RecNo();
  const XbShort type = xb_EvalTest(key);
  // Keys are compared as what they are: numbers and logicals by value, text by the
  // engine's character order.
  int cmp = 0;
  if (type == 2) {
    const double v1 = xb_EvalNumeric(key);
    xb_Go(r2);
    r2 = xb_RecNo();
    const double v2 = xb_EvalNumeric(key);
    cmp = v1 < v2 ? -1 : (v1 > v2 ? 1 : 0);
  } else if (type == 3) {
    const int v1 = xb_EvalLogical(key) != 0 ? 1 : 0;
    xb_Go(r2);
    r2 = xb_RecNo();
    const int v2 = xb_EvalLogical(key) != 0 ? 1 : 0;
    cmp = v1 - v2;
  } else {
    const std::string v1 = xb_EvalString(key);
    xb_Go(r2);
    r2 = xb_RecNo();
    const std::string v2 = xb_EvalString(key);
    if (v1 != v2) {
      static const char* const kDelimiters[][2] = {{"\"", "\""}, {"'", "'"}, {"[", "]"}};
      const char* const* pair = nullptr;
      for (const auto& d : kDelimiters) {
        if (v1.find_first_of(std::string(d[0]) + d[1]) == std::string::npos &&
            v2.find_first_of(std::string(d[0]) + d[1]) == std::string::npos) {
          pair = d;
          break;
        }
      }
      if (pair) {
        const std::string a = std::string(pair[0]) + v1 + pair[1];
        const std::string b = std::string(pair[0]) + v2 + pair[1];
        cmp = xb_EvalLogical(a + " < " + b) != 0 ? -1 : 1;
      } else {
        cmp = v1 < v2 ? -1 : 1;  // no delimiter fits: the plain byte order
      }
    }
  }
  if (cmp == 0) return byNumber(r1, r2);
  const bool descending = xb_SysProp(3002, 0) != 0;
  return descending ? -cmp : cmp;
}

// ---- Blob stream ----------------------------------------------------------------------------

std::unique_ptr<TStream> TXbTable::CreateBlobStream(TField* Field, TBlobStreamMode Mode) {
  return std::make_unique<TApBlobStream>(Field, Mode);
}

TApBlobStream::TApBlobStream(TField* AField, TBlobStreamMode AMode)
    : Mode(AMode), Field(AField), DataSet(dynamic_cast<TXbTable*>(AField->DataSet())) {
  if (!DataSet) return;
  TXbTable& t = *DataSet;
  TRecordBuffer rec = t.State() == dsFilter ? t.FilterBuffer() : t.ActiveBuffer();
  FSlot = t.BlobSlotOf(rec, Field);
  if (!FSlot) return;
  const bool calc = t.State() == dsCalcFields;
  if ((Mode != bmWrite && !Field->IsNull()) || calc) {
    if (t.State() == dsOldValue || FSlot->Loaded == 0 || calc || t.FSpeedMode) {
      t.SelectWorkArea();
      const XbLong back = t.xb_RecNo();
      const XbLong target = t.BufferRecNo(rec);
      if (target > 0) t.xb_Go(target);
      const std::string& name =
          t.FieldInfos[static_cast<size_t>(Field->FieldNo() - 1)].Name;
      XbLong length = t.FTableType == ttXBNTX ? 0 : t.xb_GetBlobLength(name);
      std::string text;
      bool asText = false;
      if (length < 65535 && IsMemoType(Field->DataType())) {
        text = t.xb_GetMemo(name, 0);
        // A memo holding a NUL is read whole below, as the bytes it is.
        asText = t.FTableType == ttXBNTX || static_cast<XbLong>(text.size()) >= length;
      }
      if (asText) {
        if (t.FTableType == ttXBNTX) length = static_cast<XbLong>(text.size());
        delete[] FSlot->Data;
        FSlot->Data = new char[static_cast<size_t>(length) + 1];
        std::memcpy(FSlot->Data, text.data(), static_cast<size_t>(length));
        FSlot->Data[length] = '\0';
        FSlot->Length = length;
      } else {
        delete[] FSlot->Data;
        FSlot->Data = nullptr;
        FSlot->Length = 0;
        if (length > 0) {
          FSlot->Data = new char[static_cast<size_t>(length) + 1]();
          FSlot->Length = t.xb_GetBlob(name, FSlot->Data, length);
        }
      }
      FSlot->Loaded = 255;
      if (back > 0) t.xb_Go(back);
    }
  }
  if (Mode != bmWrite && FSlot->Data && FSlot->Length > 0) {
    Write(FSlot->Data, FSlot->Length);
    SetPosition(0);
  }
}

TApBlobStream::~TApBlobStream() {
  if (!DataSet || (Mode != bmWrite && Mode != bmReadWrite)) return;
  try {
    TXbTable& t = *DataSet;
    TBlobSlot* slot = t.BlobSlotOf(t.ActiveBuffer(), Field);
    if (!slot) return;
    const int64_t size = Size();
    delete[] slot->Data;
    slot->Data = new char[static_cast<size_t>(size) + 1];
    if (size > 0) std::memcpy(slot->Data, Memory(), static_cast<size_t>(size));
    slot->Data[size] = '\0';
    slot->Length = static_cast<XbLong>(size);
    slot->Modified = 255;
    // The slot now holds the content to post; a later read must not fetch the stored one.
    slot->Loaded = 255;
    const int n = Field->FieldNo();
    if (n >= 1 && n <= static_cast<int>(t.FieldInfos.size()))
      t.ActiveBuffer()[t.FieldInfos[static_cast<size_t>(n - 1)].BufferOffset] = size > 0 ? 1 : 0;
    t.DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
  } catch (...) {
  }
}

// ---- Julian day numbers ---------------------------------------------------------------------

TDateTime TXbTable::JulianDayToDate(double Value) {
  if (Value == 0.0 || Value == 1e100) return 0.0;
  const int d = static_cast<int>(std::trunc(Value)) - 1721425;
  int y = static_cast<int>(std::trunc(d / 365.2425)) + 1;
  int r = d - DaysBefore(y);
  if (r <= 0) {
    --y;
    r = d - DaysBefore(y);
  }
  if (r > YearLength(y)) {
    r -= YearLength(y);
    ++y;
  }
  static const int kStarts[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};
  const int leap = IsLeapYear(y) ? 1 : 0;
  for (int m = 1; m <= 12; ++m) {
    const int start = kStarts[m - 1] + (m > 2 ? leap : 0);
    const int end = kStarts[m] + (m >= 2 ? leap : 0);
    if (r > start && r <= end) {
      TDateTime dt = 0;
      if (TryEncodeDate(y, m, r - start, dt)) return dt;
      break;
    }
  }
  throw EXbError("Invalid Date value");
}
