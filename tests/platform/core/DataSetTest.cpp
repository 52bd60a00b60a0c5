// The dataset framework driven through a small in-memory dataset: navigation over the buffer
// ring, editing, bookmarks, data-source and data-link notices, calculated and lookup fields,
// the filter handler, persistent fields, blob streams, Locate/Lookup and destruction.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/DataSet.h"
#include "platform/core/DataSource.h"
#include "platform/core/Fields.h"
#include "platform/core/Streams.h"
#include "platform/core/Variant.h"

namespace {

// Rows live in memory; a record buffer is [data area: one slot per definition, present byte +
// native form][calculated area][one std::string* per blob field][bookmark: row id, flag].
class TMemDataSet : public TDataSet {
 public:
  struct Def {
    std::string Name;
    TFieldType Type;
    int Size;
  };
  struct Row {
    int Id;
    std::vector<char> Data;
    std::vector<std::string> Blobs;
  };

  explicit TMemDataSet(TComponent* AOwner = nullptr) : TDataSet(AOwner) {}
  ~TMemDataSet() override {
    if (CloseOnDestroy) CloseForDestroy();
  }
  bool CloseOnDestroy = true;

  std::vector<Def> Defs;
  std::vector<Row> Rows;
  bool ReadOnly = false;
  int FailPosts = 0;  // InternalPost raises this many times first
  TDataSource* MasterSource = nullptr;

  TDataSource* GetDataSource() override { return MasterSource; }
  using TDataSet::ActiveRecord;
  using TDataSet::BufferedRecordCount;

  // Test set-up on a closed dataset: rows given as texts of the definitions' types.
  void AddRow(const std::vector<Variant>& Values) {
    Layout();
    Row r{FNextId++, std::vector<char>(static_cast<size_t>(FDataSize), 0),
          std::vector<std::string>(Defs.size())};
    for (size_t i = 0; i < Values.size() && i < Defs.size(); ++i) {
      if (Values[i].IsNullOrEmpty()) continue;
      char* slot = r.Data.data() + FDefOffset[i];
      slot[0] = 1;
      switch (Defs[i].Type) {
        case ftString: {
          std::string s = Values[i].AsString();
          std::memcpy(slot + 1, s.data(), std::min<size_t>(s.size(), static_cast<size_t>(Defs[i].Size)));
          break;
        }
        case ftInteger: {
          int32_t v = Values[i].AsInteger();
          std::memcpy(slot + 1, &v, 4);
          break;
        }
        case ftMemo: r.Blobs[i] = Values[i].AsString(); break;
        default: break;
      }
    }
    Rows.push_back(std::move(r));
  }
  std::string RowText(size_t Row, size_t Def) {
    const char* slot = Rows[Row].Data.data() + FDefOffset[Def];
    return slot[0] ? std::string(slot + 1, strnlen(slot + 1, static_cast<size_t>(Defs[Def].Size)))
                   : std::string("<null>");
  }
  int Cursor() const { return FCursor; }

 protected:
  static int SlotSize(const Def& d) {
    switch (d.Type) {
      case ftString: return 1 + d.Size + 1;
      case ftInteger:
      case ftDate:
      case ftTime: return 1 + 4;
      case ftSmallint:
      case ftWord:
      case ftBoolean: return 1 + 2;
      case ftFloat:
      case ftCurrency:
      case ftDateTime: return 1 + 8;
      default: return 1;
    }
  }
  void Layout() {
    FDefOffset.clear();
    FDataSize = 0;
    for (const Def& d : Defs) {
      FDefOffset.push_back(FDataSize);
      FDataSize += SlotSize(d);
    }
  }
  int CalcOffset() const { return FDataSize; }
  int BlobOffset() const { return FDataSize + CalcFieldsSize(); }
  int BookmarkOffset() const {
    return BlobOffset() + static_cast<int>(sizeof(std::string*)) * BlobFieldCount();
  }
  // Buffers are byte blocks: pointers and ids inside them are copied, never dereferenced in
  // place, as they need not be aligned.
  char* BlobAddr(TRecordBuffer b, int n) {
    return b + BlobOffset() + n * static_cast<int>(sizeof(std::string*));
  }
  std::string* BlobSlot(TRecordBuffer b, int n) {
    std::string* p;
    std::memcpy(&p, BlobAddr(b, n), sizeof p);
    return p;
  }
  void SetBlobSlot(TRecordBuffer b, int n, std::string* p) {
    std::memcpy(BlobAddr(b, n), &p, sizeof p);
  }
  int BookmarkId(TRecordBuffer b) {
    int id;
    std::memcpy(&id, b + BookmarkOffset(), 4);
    return id;
  }
  void SetBookmarkId(TRecordBuffer b, int id) { std::memcpy(b + BookmarkOffset(), &id, 4); }
  int RowIndex(int Id) const {
    for (size_t i = 0; i < Rows.size(); ++i)
      if (Rows[i].Id == Id) return static_cast<int>(i);
    return -1;
  }
  // Blob fields by def index.
  std::vector<TField*> BlobFields() {
    std::vector<TField*> out(static_cast<size_t>(BlobFieldCount()), nullptr);
    for (TField* f : Fields())
      if (f->IsBlob() && f->FieldNo() > 0) out[static_cast<size_t>(f->Offset())] = f;
    return out;
  }

  void InternalInitFieldDefs() override {
    FieldDefs().Clear();
    for (const Def& d : Defs) FieldDefs().Add(d.Name, d.Type, d.Type == ftString ? d.Size : 0);
  }
  void InternalOpen() override {
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
    Layout();
    BookmarkSize = 4;
    FCursor = -1;
    FOpen = true;
  }
  void InternalClose() override {
    BindFields(false);
    if (DefaultFields()) DestroyFields();
    FOpen = false;
  }
  bool IsCursorOpen() override { return FOpen; }
  int GetRecordSize() override { return BookmarkOffset() + 5; }

  TRecordBuffer AllocRecordBuffer() override {
    auto* b = new char[static_cast<size_t>(GetRecordSize())]();
    for (int i = 0; i < BlobFieldCount(); ++i) SetBlobSlot(b, i, new std::string);
    return b;
  }
  void FreeRecordBuffer(TRecordBuffer& Buffer) override {
    for (int i = 0; i < BlobFieldCount(); ++i) delete BlobSlot(Buffer, i);
    delete[] Buffer;
    Buffer = nullptr;
  }
  void InternalInitRecord(TRecordBuffer Buffer) override {
    std::memset(Buffer, 0, static_cast<size_t>(BlobOffset()));
    for (int i = 0; i < BlobFieldCount(); ++i) BlobSlot(Buffer, i)->clear();
    SetBookmarkId(Buffer, 0);
  }
  void ClearCalcFields(TRecordBuffer Buffer) override {
    std::memset(Buffer + CalcOffset(), 0, static_cast<size_t>(CalcFieldsSize()));
  }

  void RowToBuffer(const Row& r, TRecordBuffer b) {
    std::memcpy(b, r.Data.data(), static_cast<size_t>(FDataSize));
    std::vector<TField*> blobs = BlobFields();
    for (size_t n = 0; n < blobs.size(); ++n)
      *BlobSlot(b, static_cast<int>(n)) = r.Blobs[static_cast<size_t>(blobs[n]->FieldNo() - 1)];
    SetBookmarkId(b, r.Id);
    SetBookmarkFlag(b, bfCurrent);
  }
  void BufferToRow(TRecordBuffer b, Row& r) {
    std::memcpy(r.Data.data(), b, static_cast<size_t>(FDataSize));
    std::vector<TField*> blobs = BlobFields();
    for (size_t n = 0; n < blobs.size(); ++n)
      r.Blobs[static_cast<size_t>(blobs[n]->FieldNo() - 1)] = *BlobSlot(b, static_cast<int>(n));
  }

  TGetResult GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) override {
    int n = static_cast<int>(Rows.size());
    for (;;) {
      switch (GetMode) {
        case gmCurrent:
          if (FCursor < 0) return grBOF;
          if (FCursor >= n) return grEOF;
          break;
        case gmNext:
          if (FCursor >= n - 1) {
            FCursor = n;
            return grEOF;
          }
          ++FCursor;
          break;
        case gmPrior:
          if (FCursor <= 0) {
            FCursor = -1;
            return grBOF;
          }
          --FCursor;
          break;
      }
      RowToBuffer(Rows[static_cast<size_t>(FCursor)], Buffer);
      GetCalcFields(Buffer);
      if (Filtered() && OnFilterRecord && !DoFilterRecord(Buffer)) {
        if (GetMode == gmCurrent) return grError;
        continue;
      }
      return grOK;
    }
  }
  void InternalFirst() override { FCursor = -1; }
  void InternalLast() override { FCursor = static_cast<int>(Rows.size()); }
  void InternalSetToRecord(TRecordBuffer Buffer) override {
    int i = RowIndex(BookmarkId(Buffer));
    if (i >= 0) FCursor = i;
  }
  void InternalGotoBookmark(const void* Bookmark) override {
    int id;
    std::memcpy(&id, Bookmark, 4);
    int i = RowIndex(id);
    if (i < 0) DatabaseError("Record not found", this);
    FCursor = i;
  }
  void GetBookmarkData(TRecordBuffer Buffer, void* Data) override {
    std::memcpy(Data, Buffer + BookmarkOffset(), 4);
  }
  void SetBookmarkData(TRecordBuffer Buffer, const void* Data) override {
    std::memcpy(Buffer + BookmarkOffset(), Data, 4);
  }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer Buffer) override {
    return static_cast<TBookmarkFlag>(Buffer[BookmarkOffset() + 4]);
  }
  void SetBookmarkFlag(TRecordBuffer Buffer, TBookmarkFlag Value) override {
    Buffer[BookmarkOffset() + 4] = static_cast<char>(Value);
  }
  bool GetCanModify() override { return !ReadOnly; }

  void InternalPost() override {
    if (FailPosts > 0) {
      --FailPosts;
      DatabaseError("post refused", this);
    }
    TRecordBuffer b = ActiveBuffer();
    if (State() == dsEdit) {
      BufferToRow(b, Rows[static_cast<size_t>(RowIndex(BookmarkId(b)))]);
      return;
    }
    InternalAddRecord(b, GetBookmarkFlag(b) == bfEOF);
  }
  void InternalAddRecord(TRecordBuffer Buffer, bool Append) override {
    Row r{FNextId++, std::vector<char>(static_cast<size_t>(FDataSize), 0),
          std::vector<std::string>(Defs.size())};
    BufferToRow(Buffer, r);
    int at = Append || FCursor < 0 || FCursor > static_cast<int>(Rows.size())
                 ? static_cast<int>(Rows.size())
                 : FCursor;
    Rows.insert(Rows.begin() + at, std::move(r));
    FCursor = at;
  }
  void InternalDelete() override { Rows.erase(Rows.begin() + FCursor); }

  int GetRecordCount() override { return static_cast<int>(Rows.size()); }
  int GetRecNo() override {
    TRecordBuffer b = GetActiveRecordBuffer();
    return b ? RowIndex(BookmarkId(b)) + 1 : 0;
  }

 public:
  bool BookmarkValid(const TBookmark& Bookmark) override {
    int id;
    if (Bookmark.size() != 4) return false;
    std::memcpy(&id, Bookmark.data(), 4);
    return RowIndex(id) >= 0;
  }
  int CompareBookmarks(const TBookmark& B1, const TBookmark& B2) override {
    int a, b;
    std::memcpy(&a, B1.data(), 4);
    std::memcpy(&b, B2.data(), 4);
    int i = RowIndex(a), j = RowIndex(b);
    return i < j ? -1 : i > j ? 1 : 0;
  }

 protected:
  bool GetFieldData(TField* Field, void* Buffer) override {
    TRecordBuffer b = GetActiveRecordBuffer();
    if (!b) return false;
    char* slot = Field->FieldNo() > 0
                     ? b + FDefOffset[static_cast<size_t>(Field->FieldNo() - 1)]
                     : b + CalcOffset() + Field->Offset();
    if (Field->IsBlob() && Field->FieldNo() > 0) return !BlobSlot(b, Field->Offset())->empty();
    if (!slot[0]) return false;
    if (Buffer) std::memcpy(Buffer, slot + 1, static_cast<size_t>(Field->DataSize()));
    return true;
  }
  void SetFieldData(TField* Field, const void* Buffer) override {
    if (State() == dsInactive) return;
    bool calc = Field->FieldNo() < 1;
    if (!calc) {
      if (State() != dsEdit && State() != dsInsert && State() != dsSetKey)
        DatabaseError("Dataset not in edit or insert mode", this);
      Field->Validate(Buffer);
    }
    TRecordBuffer b = State() == dsCalcFields ? CalcBuffer() : ActiveBuffer();
    char* slot = calc ? b + CalcOffset() + Field->Offset()
                      : b + FDefOffset[static_cast<size_t>(Field->FieldNo() - 1)];
    slot[0] = Buffer ? 1 : 0;
    if (Buffer) std::memcpy(slot + 1, Buffer, static_cast<size_t>(Field->DataSize()));
    else std::memset(slot + 1, 0, static_cast<size_t>(Field->DataSize()));
    if (State() != dsCalcFields && State() != dsFilter)
      DataEvent(deFieldChange, reinterpret_cast<intptr_t>(Field));
  }

  // The blob stream copies the buffer's value and writes it back when it goes away.
  class TMemBlobStream : public TMemoryStream {
   public:
    TMemBlobStream(TMemDataSet* ds, TField* f, TBlobStreamMode mode) : FDs(ds), FField(f), FMode(mode) {
      TRecordBuffer b = ds->GetActiveRecordBuffer();
      if (mode != bmWrite && b) {
        const std::string& v = *ds->BlobSlot(b, f->Offset());
        if (!v.empty()) WriteBuffer(v.data(), static_cast<int64_t>(v.size()));
        SetPosition(0);
      }
    }
    ~TMemBlobStream() override {
      if (FMode == bmRead) return;
      TRecordBuffer b = FDs->ActiveBuffer();
      FDs->BlobSlot(b, FField->Offset())->assign(static_cast<const char*>(Memory()),
                                                   static_cast<size_t>(Size()));
      FDs->DataEvent(deFieldChange, reinterpret_cast<intptr_t>(FField));
    }

   private:
    TMemDataSet* FDs;
    TField* FField;
    TBlobStreamMode FMode;
  };
  std::unique_ptr<TStream> CreateBlobStream(TField* Field, TBlobStreamMode Mode) override {
    if (Mode != bmRead && State() != dsEdit && State() != dsInsert)
      DatabaseError("Dataset not in edit or insert mode", this);
    return std::make_unique<TMemBlobStream>(this, Field, Mode);
  }

 public:
  void SetFiltered(bool Value) override {
    TDataSet::SetFiltered(Value);
    if (Active()) First();
  }

 private:
  std::vector<int> FDefOffset;
  int FDataSize = 0;
  int FCursor = -1;
  int FNextId = 1;
  bool FOpen = false;
};

// A control's end that records what it hears.
class TRecordingLink : public TDataLink {
 public:
  ~TRecordingLink() override { SetDataSource(nullptr); }
  std::vector<std::string> Log;
  int LastScroll = 0;

 protected:
  void ActiveChanged() override { Log.push_back(Active() ? "active" : "inactive"); }
  void DataSetChanged() override { Log.push_back("changed"); }
  void DataSetScrolled(int Distance) override {
    LastScroll = Distance;
    Log.push_back("scrolled");
  }
  void RecordChanged(TField* Field) override { Log.push_back(Field ? "field" : "record"); }
  void EditingChanged() override { Log.push_back(Editing() ? "editing" : "browsing"); }
};

struct Fixture {
  TMemDataSet ds;
  Fixture(int rows = 5) {
    ds.Defs = {{"ID", ftInteger, 0}, {"NAME", ftString, 10}, {"BODY", ftMemo, 0}};
    for (int i = 1; i <= rows; ++i)
      ds.AddRow({i, std::string(1, static_cast<char>('A' + i - 1)), Variant()});
  }
  std::string Name() { return ds.FieldByName("NAME")->AsString(); }
};

// ---- Navigation --------------------------------------------------------------------------

TEST(DataSetNavigation, MovesOverTheBufferRingWithBofAndEof) {
  Fixture f;
  TDataSource src;
  TRecordingLink grid;
  grid.SetBufferCount(3);
  grid.SetDataSource(&src);
  src.SetDataSet(&f.ds);
  f.ds.Open();
  EXPECT_EQ(f.ds.BufferCount(), 3);
  EXPECT_EQ(f.Name(), "A");
  EXPECT_TRUE(f.ds.Bof());
  EXPECT_FALSE(f.ds.Eof());
  EXPECT_EQ(grid.RecordCount(), 3);

  struct Step {
    int distance, moved;
    std::string name;
    bool bof, eof;
  } steps[] = {
      {1, 1, "B", false, false}, {2, 2, "D", false, false}, {10, 1, "E", false, true},
      {1, 0, "E", false, true},  {-2, -2, "C", false, false}, {-5, -2, "A", true, false},
      {-1, 0, "A", true, false}, {4, 4, "E", false, false},
  };
  for (const Step& s : steps) {
    SCOPED_TRACE(s.distance);
    EXPECT_EQ(f.ds.MoveBy(s.distance), s.moved);
    EXPECT_EQ(f.Name(), s.name);
    EXPECT_EQ(f.ds.Bof(), s.bof);
    EXPECT_EQ(f.ds.Eof(), s.eof);
    EXPECT_EQ(f.ds.RecNo(), s.name[0] - 'A' + 1);
    // The link's window always holds the current record.
    EXPECT_GE(grid.ActiveRecord(), 0);
    EXPECT_LT(grid.ActiveRecord(), grid.RecordCount());
  }
  f.ds.First();
  f.ds.Next();
  f.ds.Next();
  f.ds.Next();  // D: the window moves on by one record
  EXPECT_EQ(f.Name(), "D");
  EXPECT_EQ(grid.LastScroll, 1);
  f.ds.Last();
  EXPECT_EQ(f.Name(), "E");
  EXPECT_TRUE(f.ds.Eof());
  EXPECT_EQ(grid.ActiveRecord(), 2);  // the window shows C D E
  f.ds.MoveBy(-3);                    // B: the window moves back by one record
  EXPECT_EQ(f.Name(), "B");
  EXPECT_EQ(grid.ActiveRecord(), 0);
  EXPECT_EQ(grid.LastScroll, -1);
  EXPECT_EQ(grid.RecordCount(), 3);
  f.ds.MoveBy(2);
  EXPECT_EQ(f.Name(), "D");
  // Drawing another row of the window (B C D) reads that buffer.
  grid.SetActiveRecord(0);
  EXPECT_EQ(f.Name(), "B");
  grid.SetActiveRecord(2);
  EXPECT_EQ(f.Name(), "D");
}

TEST(DataSetNavigation, EmptyDatasetIsAtBothEnds) {
  Fixture f(0);
  f.ds.Open();
  EXPECT_TRUE(f.ds.IsEmpty());
  EXPECT_TRUE(f.ds.Bof());
  EXPECT_TRUE(f.ds.Eof());
  EXPECT_EQ(f.ds.MoveBy(1), 0);
  EXPECT_TRUE(f.ds.FieldByName("NAME")->IsNull());
  EXPECT_THROW(f.ds.Delete(), EDatabaseError);
  f.ds.Last();
  EXPECT_TRUE(f.ds.IsEmpty());
}

TEST(DataSetNavigation, ScrollEventsComeInOrderAndResyncKeepsTheRecord) {
  Fixture f;
  std::vector<std::string> log;
  f.ds.BeforeScroll = [&](TDataSet*) { log.push_back("before:" + f.Name()); };
  f.ds.AfterScroll = [&](TDataSet*) { log.push_back("after:" + f.Name()); };
  f.ds.Open();
  EXPECT_EQ(log, (std::vector<std::string>{"after:A"}));
  log.clear();
  f.ds.Next();
  f.ds.Last();
  EXPECT_EQ(log, (std::vector<std::string>{"before:A", "after:B", "before:B", "after:E"}));
  f.ds.Prior();
  f.ds.Resync(rmExact | rmCenter);
  EXPECT_EQ(f.Name(), "D");
  f.ds.Refresh();
  EXPECT_EQ(f.Name(), "D");
}

// ---- Editing ------------------------------------------------------------------------------

TEST(DataSetEditing, PostKeepsAndCancelDiscards) {
  Fixture f;
  f.ds.Open();
  f.ds.Next();  // B
  f.ds.Edit();
  EXPECT_EQ(f.ds.State(), dsEdit);
  f.ds.FieldByName("NAME")->SetAsString("changed");
  EXPECT_TRUE(f.ds.Modified());
  f.ds.Cancel();
  EXPECT_EQ(f.ds.State(), dsBrowse);
  EXPECT_EQ(f.Name(), "B");
  EXPECT_EQ(f.ds.RowText(1, 1), "B");

  f.ds.Edit();
  f.ds.FieldByName("NAME")->SetAsString("kept");
  f.ds.Post();
  EXPECT_EQ(f.Name(), "kept");
  EXPECT_EQ(f.ds.RowText(1, 1), "kept");
  EXPECT_EQ(f.ds.RecNo(), 2);

  // Writing outside edit state is refused and changes nothing.
  EXPECT_THROW(f.ds.FieldByName("NAME")->SetAsString("x"), EDatabaseError);
  EXPECT_THROW(f.ds.Post(), EDatabaseError);
  EXPECT_EQ(f.ds.RowText(1, 1), "kept");
}

TEST(DataSetEditing, EditDoesNothingWhileInserting) {
  Fixture f;
  int beforeEdit = 0;
  f.ds.BeforeEdit = [&](TDataSet*) { ++beforeEdit; };
  f.ds.Open();
  f.ds.Insert();
  f.ds.Edit();
  EXPECT_EQ(f.ds.State(), dsInsert);
  EXPECT_EQ(beforeEdit, 0);
  f.ds.Edit();  // nor in edit state once editing
  f.ds.Cancel();
  f.ds.Edit();
  f.ds.Edit();
  EXPECT_EQ(beforeEdit, 1);
}

TEST(DataSetEditing, InsertAndAppendPlaceTheNewRecordAndCancelReturns) {
  struct Case {
    bool append;
    bool post;
    std::string after;            // current record afterwards
    std::vector<std::string> rows;  // NAME column afterwards
  } cases[] = {
      {false, true, "new", {"A", "B", "new", "C", "D", "E"}},
      {true, true, "new", {"A", "B", "C", "D", "E", "new"}},
      {false, false, "C", {"A", "B", "C", "D", "E"}},
      {true, false, "E", {"A", "B", "C", "D", "E"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.append ? "append" : "insert") + (c.post ? " post" : " cancel"));
    Fixture f;
    TDataSource src;
    TRecordingLink grid;
    grid.SetBufferCount(4);
    grid.SetDataSource(&src);
    src.SetDataSet(&f.ds);
    f.ds.Open();
    f.ds.MoveBy(2);  // C
    if (c.append) f.ds.Append(); else f.ds.Insert();
    EXPECT_EQ(f.ds.State(), dsInsert);
    EXPECT_TRUE(f.ds.FieldByName("NAME")->IsNull());
    if (c.post) {
      f.ds.FieldByName("NAME")->SetAsString("new");
      f.ds.Post();
    } else {
      f.ds.Cancel();
    }
    EXPECT_EQ(f.ds.State(), dsBrowse);
    EXPECT_EQ(f.Name(), c.after);
    ASSERT_EQ(f.ds.Rows.size(), c.rows.size());
    for (size_t i = 0; i < c.rows.size(); ++i) EXPECT_EQ(f.ds.RowText(i, 1), c.rows[i]);
  }
}

TEST(DataSetEditing, CheckBrowseModePostsOnlyChangedRecords) {
  Fixture f;
  int posts = 0;
  f.ds.AfterPost = [&](TDataSet*) { ++posts; };
  f.ds.Open();
  f.ds.Append();
  f.ds.Next();  // leaving an untouched new record cancels it
  EXPECT_EQ(posts, 0);
  EXPECT_EQ(f.ds.Rows.size(), 5u);
  f.ds.Edit();
  f.ds.FieldByName("ID")->SetAsInteger(42);
  f.ds.First();  // leaving a changed record posts it
  EXPECT_EQ(posts, 1);
  f.ds.Last();
  EXPECT_EQ(f.ds.FieldByName("ID")->AsInteger(), 42);
}

TEST(DataSetEditing, EventOrderOfAnAppendedAndPostedRecord) {
  Fixture f;
  std::vector<std::string> log;
  f.ds.Open();
  f.ds.BeforeInsert = [&](TDataSet*) { log.push_back("BeforeInsert"); };
  f.ds.BeforeScroll = [&](TDataSet*) { log.push_back("BeforeScroll"); };
  f.ds.OnNewRecord = [&](TDataSet* d) {
    log.push_back("OnNewRecord");
    d->FieldByName("ID")->SetAsInteger(99);  // defaults do not count as a change
  };
  f.ds.AfterInsert = [&](TDataSet*) { log.push_back("AfterInsert"); };
  f.ds.AfterScroll = [&](TDataSet*) { log.push_back("AfterScroll"); };
  f.ds.BeforePost = [&](TDataSet*) { log.push_back("BeforePost"); };
  f.ds.AfterPost = [&](TDataSet*) { log.push_back("AfterPost"); };
  f.ds.Append();
  EXPECT_FALSE(f.ds.Modified());
  f.ds.Post();
  EXPECT_EQ(log, (std::vector<std::string>{"BeforeInsert", "BeforeScroll", "OnNewRecord",
                                           "AfterInsert", "AfterScroll", "BeforePost",
                                           "AfterPost"}));
  EXPECT_EQ(f.ds.FieldByName("ID")->AsInteger(), 99);
}

TEST(DataSetEditing, ReadOnlyDatasetRefusesEveryChange) {
  Fixture f;
  f.ds.ReadOnly = true;
  f.ds.Open();
  EXPECT_THROW(f.ds.Edit(), EDatabaseError);
  EXPECT_THROW(f.ds.Append(), EDatabaseError);
  EXPECT_EQ(f.ds.State(), dsBrowse);
}

TEST(DataSetEditing, DeleteLeavesTheNeighbourCurrent) {
  Fixture f;
  f.ds.Open();
  f.ds.MoveBy(2);
  f.ds.Delete();  // C goes, D follows
  EXPECT_EQ(f.Name(), "D");
  f.ds.Last();
  f.ds.Delete();  // E goes, D is last again
  EXPECT_EQ(f.Name(), "D");
  EXPECT_EQ(f.ds.Rows.size(), 3u);
  f.ds.Insert();
  f.ds.Delete();  // deleting an insert only cancels it
  EXPECT_EQ(f.ds.State(), dsBrowse);
  EXPECT_EQ(f.ds.Rows.size(), 3u);
}

TEST(DataSetEditing, PostErrorHandlerRetriesAbortsOrFails) {
  struct Case {
    TDataAction action;
    int failures;
    bool posted;
  } cases[] = {{daRetry, 2, true}, {daAbort, 1, false}, {daFail, 1, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.action);
    Fixture f;
    f.ds.Open();
    f.ds.FailPosts = c.failures;
    int calls = 0;
    f.ds.OnPostError = [&](TDataSet*, EDatabaseError& e, TDataAction& a) {
      EXPECT_EQ(e.Message, "post refused");
      ++calls;
      a = c.action;
    };
    f.ds.Edit();
    f.ds.FieldByName("NAME")->SetAsString("Z");
    if (c.posted) {
      f.ds.Post();
      EXPECT_EQ(f.ds.RowText(0, 1), "Z");
    } else if (c.action == daAbort) {
      EXPECT_THROW(f.ds.Post(), EAbort);
    } else {
      EXPECT_THROW(f.ds.Post(), EDatabaseError);
    }
    EXPECT_EQ(calls, c.failures);
    // A refused post keeps the edit, so nothing typed is lost.
    EXPECT_EQ(f.ds.State(), c.posted ? dsBrowse : dsEdit);
  }
}

TEST(DataSetEditing, InsertAndAppendRecordPostAtOnce) {
  Fixture f;
  f.ds.Open();
  f.ds.AppendRecord({10, "J"});
  EXPECT_EQ(f.ds.State(), dsBrowse);
  EXPECT_EQ(f.Name(), "J");
  EXPECT_EQ(f.ds.RowText(5, 1), "J");
  f.ds.First();
  f.ds.InsertRecord({Variant(), "first"});  // Empty skips the ID
  EXPECT_EQ(f.ds.RowText(0, 1), "first");
  EXPECT_TRUE(f.ds.FieldByName("ID")->IsNull());
}

// ---- Bookmarks ----------------------------------------------------------------------------

TEST(DataSetBookmarks, GoBackToAMarkedRecord) {
  Fixture f;
  f.ds.Open();
  f.ds.MoveBy(3);
  TBookmark d = f.ds.GetBookmark();
  ASSERT_EQ(d.size(), 4u);
  EXPECT_TRUE(f.ds.BookmarkValid(d));
  f.ds.First();
  TBookmark a = f.ds.GetBookmark();
  EXPECT_EQ(f.ds.CompareBookmarks(a, d), -1);
  f.ds.GotoBookmark(d);
  EXPECT_EQ(f.Name(), "D");
  f.ds.GotoBookmark(TBookmark());  // no bookmark: stays
  EXPECT_EQ(f.Name(), "D");
  EXPECT_THROW(f.ds.GotoBookmark(TBookmark(2, '\0')), EDatabaseError);
  f.ds.Insert();  // a new record has no bookmark
  EXPECT_TRUE(f.ds.GetBookmark().empty());
  f.ds.Cancel();
  f.ds.Delete();  // D is gone: its bookmark no longer leads anywhere
  EXPECT_FALSE(f.ds.BookmarkValid(d));
  EXPECT_THROW(f.ds.GotoBookmark(d), EDatabaseError);
}

// ---- Data sources ---------------------------------------------------------------------------

TEST(DataSetDataSource, StateAndDataChangeFollowTheDataset) {
  Fixture f;
  TDataSource src;
  std::vector<std::string> log;
  src.OnStateChange = [&](TObject*) { log.push_back("state:" + std::to_string(src.State())); };
  src.OnDataChange = [&](TObject*, TField* fld) {
    log.push_back(fld ? "data:" + fld->FieldName() : "data");
  };
  src.SetDataSet(&f.ds);
  f.ds.Open();
  EXPECT_EQ(log, (std::vector<std::string>{"state:1", "data"}));
  log.clear();
  f.ds.Next();
  f.ds.Edit();
  f.ds.FieldByName("NAME")->SetAsString("x");
  f.ds.Cancel();
  f.ds.Close();
  EXPECT_EQ(log, (std::vector<std::string>{"data", "state:2", "data", "data:NAME", "state:1",
                                           "data", "state:0"}));
}

TEST(DataSetDataSource, DisabledSourcesAndControlsStayQuietUntilEnabled) {
  Fixture f;
  TDataSource src;
  int changes = 0;
  src.OnDataChange = [&](TObject*, TField*) { ++changes; };
  src.SetDataSet(&f.ds);
  f.ds.Open();
  changes = 0;

  src.SetEnabled(false);  // a bulk walk
  EXPECT_EQ(src.State(), dsInactive);
  while (!f.ds.Eof()) f.ds.Next();
  EXPECT_EQ(changes, 0);
  src.SetEnabled(true);  // the display catches up once
  EXPECT_EQ(changes, 1);

  f.ds.DisableControls();
  f.ds.DisableControls();
  f.ds.First();
  f.ds.Next();
  f.ds.EnableControls();
  EXPECT_EQ(changes, 1);
  f.ds.EnableControls();
  EXPECT_EQ(changes, 2);
  EXPECT_FALSE(f.ds.ControlsDisabled());

  // Closing while disabled still reaches the controls: they never read a closed dataset.
  f.ds.DisableControls();
  f.ds.Close();
  EXPECT_EQ(src.State(), dsInactive);
  f.ds.EnableControls();
}

TEST(DataSetDataSource, AHandlerMayDetachItselfWhileRunning) {
  Fixture f;
  TDataSource src;
  int calls = 0;
  src.OnDataChange = [&](TObject*, TField*) {
    ++calls;
    src.OnDataChange = nullptr;  // the note display detaches itself while it works
  };
  src.SetDataSet(&f.ds);
  f.ds.Open();
  f.ds.Next();
  EXPECT_EQ(calls, 1);
}

TEST(DataSetDataSource, LinksSeeEditingAndCheckBrowseMode) {
  Fixture f;
  TDataSource src;
  TRecordingLink link;
  link.SetDataSource(&src);
  src.SetDataSet(&f.ds);
  f.ds.Open();
  EXPECT_TRUE(link.Active());
  link.Log.clear();
  EXPECT_TRUE(link.Edit());  // through the source's AutoEdit
  EXPECT_EQ(f.ds.State(), dsEdit);
  f.ds.FieldByName("ID")->SetAsInteger(7);
  f.ds.Post();
  EXPECT_EQ(link.Log, (std::vector<std::string>{"editing", "record", "field", "browsing",
                                                "changed"}));
  src.AutoEdit = false;
  EXPECT_FALSE(link.Edit());
  f.ds.Close();
  EXPECT_FALSE(link.Active());
}

TEST(DataSetDataSource, MasterLinkFollowsTheMasterAndRefusesCycles) {
  Fixture master, detail;
  TDataSource masterSrc, detailSrc;
  masterSrc.SetDataSet(&master.ds);
  detailSrc.SetDataSet(&detail.ds);
  TMasterDataLink link(&detail.ds);
  std::vector<std::string> log;
  link.OnMasterChange = [&](TObject*) {
    log.push_back("change:" + link.Fields().at(0)->AsString());
  };
  link.OnMasterDisable = [&](TObject*) { log.push_back("disable"); };
  link.SetFieldNames("NAME");
  link.SetDataSource(&masterSrc);
  detail.ds.MasterSource = &masterSrc;
  detail.ds.Open();
  master.ds.Open();
  master.ds.Next();
  detail.ds.Edit();
  detail.ds.FieldByName("NAME")->SetAsString("posted");
  master.ds.Next();  // the detail's pending edit is posted before the master moves on
  EXPECT_EQ(detail.ds.State(), dsBrowse);
  EXPECT_EQ(detail.ds.RowText(0, 1), "posted");
  master.ds.Close();
  EXPECT_EQ(log, (std::vector<std::string>{"change:A", "change:B", "change:C", "disable"}));

  EXPECT_TRUE(detailSrc.IsLinkedTo(&master.ds));
  EXPECT_FALSE(masterSrc.IsLinkedTo(&detail.ds));
  // The master's source showing its own detail would go round in circles.
  EXPECT_THROW(masterSrc.SetDataSet(&detail.ds), EDatabaseError);
  EXPECT_EQ(masterSrc.DataSet(), &master.ds);
  detail.ds.MasterSource = nullptr;
}

// ---- Calculated and lookup fields ---------------------------------------------------------

TEST(DataSetCalcFields, ComputedPerRecordAndAfterEachChange) {
  Fixture f;
  auto* full = new TStringField(&f.ds);
  full->SetFieldName("FULL");
  full->SetSize(20);
  full->SetCalculated(true);
  full->SetDataSet(&f.ds);
  auto* id = new TIntegerField(&f.ds);
  id->SetFieldName("ID");
  id->SetDataSet(&f.ds);
  auto* name = new TStringField(&f.ds);
  name->SetFieldName("NAME");
  name->SetSize(0);
  name->SetDataSet(&f.ds);
  f.ds.OnCalcFields = [&](TDataSet* d) {
    EXPECT_EQ(d->State(), dsCalcFields);
    full->SetAsString(name->AsString() + "#" + id->AsString());
  };
  f.ds.Open();
  EXPECT_EQ(f.ds.CalcFieldsSize(), 1 + 21);
  EXPECT_EQ(full->FieldNo(), -1);
  EXPECT_EQ(full->AsString(), "A#1");
  f.ds.Next();
  EXPECT_EQ(full->AsString(), "B#2");
  f.ds.Edit();
  name->SetAsString("Q");
  EXPECT_EQ(full->AsString(), "Q#2");
  f.ds.Cancel();
  EXPECT_EQ(full->AsString(), "B#2");
  EXPECT_EQ(f.ds.FieldCount(), 3);  // persistent fields: BODY was not asked for
  f.ds.Close();
  EXPECT_EQ(f.ds.FieldCount(), 3);  // and they outlive the close
}

TEST(DataSetCalcFields, LookupFieldReadsAnotherDataset) {
  Fixture f;
  TMemDataSet names;
  names.Defs = {{"CODE", ftInteger, 0}, {"TITLE", ftString, 8}};
  names.AddRow({2, "two"});
  names.AddRow({4, "four"});
  names.Open();
  auto* id = new TIntegerField(&f.ds);
  id->SetFieldName("ID");
  id->SetDataSet(&f.ds);
  auto* title = new TStringField(&f.ds);
  title->SetFieldName("TITLE");
  title->SetSize(8);
  title->SetFieldKind(fkLookup);
  title->LookupDataSet = &names;
  title->KeyFields = "ID";
  title->LookupKeyFields = "CODE";
  title->LookupResultField = "TITLE";
  title->SetDataSet(&f.ds);
  f.ds.Open();
  std::vector<std::string> got;
  for (; !f.ds.Eof(); f.ds.Next()) got.push_back(title->IsNull() ? "-" : title->AsString());
  EXPECT_EQ(got, (std::vector<std::string>{"-", "two", "-", "four", "-"}));
  EXPECT_EQ(names.FieldByName("TITLE")->AsString(), "two");  // the lookup kept its place
}

// ---- Filter -------------------------------------------------------------------------------

TEST(DataSetFilter, HandlerRejectsRecordsOnlyWhileFiltered) {
  Fixture f;
  f.ds.OnFilterRecord = [](TDataSet* d, bool& accept) {
    EXPECT_EQ(d->State(), dsFilter);
    accept = d->FieldByName("ID")->AsInteger() % 2 == 0;
  };
  f.ds.Open();
  auto names = [&] {
    std::string s;
    for (f.ds.First(); !f.ds.Eof(); f.ds.Next()) s += f.Name();
    return s;
  };
  EXPECT_EQ(names(), "ABCDE");
  f.ds.SetFiltered(true);
  EXPECT_EQ(f.Name(), "B");
  EXPECT_EQ(names(), "BD");
  f.ds.Last();
  f.ds.Prior();
  EXPECT_EQ(f.Name(), "B");
  f.ds.OnFilterRecord = [](TDataSet*, bool& accept) { accept = false; };
  f.ds.First();
  EXPECT_TRUE(f.ds.IsEmpty());
  f.ds.SetFiltered(false);
  EXPECT_EQ(names(), "ABCDE");
}

// ---- Fields and definitions ---------------------------------------------------------------

TEST(DataSetFields, DefaultFieldsComeFromTheDefinitions) {
  Fixture f;
  f.ds.FieldDefs().Update();  // definitions of a closed dataset
  ASSERT_EQ(f.ds.FieldDefs().Count(), 3);
  EXPECT_EQ(f.ds.FieldDefs().Find("name")->Size, 10);
  f.ds.Open();
  ASSERT_EQ(f.ds.FieldCount(), 3);
  EXPECT_TRUE(f.ds.DefaultFields());
  EXPECT_NE(dynamic_cast<TIntegerField*>(f.ds.FieldByName("id")), nullptr);
  EXPECT_EQ(f.ds.FieldByName("NAME")->Size(), 10);
  EXPECT_NE(dynamic_cast<TMemoField*>(f.ds.FieldByName("BODY")), nullptr);
  EXPECT_EQ(f.ds.FieldByName("BODY")->Offset(), 0);  // first blob
  EXPECT_EQ(f.ds.FieldByName("NAME")->FieldNo(), 2);
  EXPECT_THROW(f.ds.FieldByName("NOPE"), EDatabaseError);
  EXPECT_EQ(f.ds.FindField("NOPE"), nullptr);
  EXPECT_THROW(f.ds.FieldByName("NAME")->SetSize(3), EDatabaseError);  // open: layout fixed
  f.ds.Close();
  EXPECT_EQ(f.ds.FieldCount(), 0);  // default fields go with the close
}

TEST(DataSetFields, PersistentFieldsBindByNameOrTheOpenFails) {
  struct Case {
    std::string name;
    TFieldType type;
    bool opens;
  } cases[] = {{"name", ftString, true}, {"MISSING", ftString, false}, {"NAME", ftInteger, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Fixture f;
    TComponent form;
    TField* fld = CreateFieldOfType(c.type, &form);
    fld->SetFieldName(c.name);
    fld->SetDataSet(&f.ds);
    if (!c.opens) {
      EXPECT_THROW(f.ds.Open(), EDatabaseError);
      EXPECT_FALSE(f.ds.Active());
      continue;
    }
    f.ds.Open();
    EXPECT_FALSE(f.ds.DefaultFields());
    EXPECT_EQ(fld->Size(), 10);  // the stored width, whatever was set before
    EXPECT_EQ(fld->AsString(), "A");
    f.ds.Close();
    delete fld;  // its owner may free it: it leaves the dataset
    EXPECT_EQ(f.ds.FieldCount(), 0);
  }
}

TEST(DataSetFields, DefinitionsRefuseDuplicatesAndFindIndexes) {
  TMemDataSet ds;
  ds.FieldDefs().Add("A", ftString, 4);
  EXPECT_THROW(ds.FieldDefs().Add("a", ftInteger), EDatabaseError);
  EXPECT_THROW(ds.FieldDefs().Add("", ftInteger), EDatabaseError);
  EXPECT_EQ(ds.FieldDefs().Add("B", ftInteger)->FieldNo, 2);

  TIndexDefs idx(&ds);
  idx.Add("TIT1", "UPPER(TIT1)", ixExpression | ixCaseInsensitive);
  idx.Add("BYNAME", "NAME;DAY", ixUnique);
  EXPECT_EQ(idx.Find("tit1")->Expression, "UPPER(TIT1)");
  EXPECT_TRUE(idx.Find("TIT1")->Fields.empty());
  EXPECT_EQ(idx.GetIndexForFields("name", false), idx.Find("BYNAME"));
  EXPECT_EQ(idx.GetIndexForFields("name", true), nullptr);
  EXPECT_THROW(idx.Find("none"), EDatabaseError);
  EXPECT_THROW(idx.Add("byname", "X", 0), EDatabaseError);
}

TEST(DataSetFields, MemoValuesTravelThroughBlobStreams) {
  Fixture f(2);
  f.ds.Open();
  TField* body = f.ds.FieldByName("BODY");
  EXPECT_TRUE(body->IsNull());
  EXPECT_EQ(body->DisplayText(), "(memo)");
  f.ds.Edit();
  body->SetAsString("line one\r\nline two");
  EXPECT_TRUE(f.ds.Modified());
  f.ds.Post();
  f.ds.Next();
  f.ds.Prior();
  EXPECT_EQ(body->AsString(), "line one\r\nline two");
  EXPECT_EQ(body->DisplayText(), "(MEMO)");
  EXPECT_EQ(static_cast<TBlobField*>(body)->BlobSize(), 18);
  TMemoryStream out;
  static_cast<TBlobField*>(body)->SaveToStream(out);
  EXPECT_EQ(out.Size(), 18);
  EXPECT_THROW(body->SetAsString("browse"), EDatabaseError);
}

// ---- Field values ---------------------------------------------------------------------------

struct ValueFixture {
  TMemDataSet ds;
  ValueFixture() {
    ds.Defs = {{"S", ftString, 3},  {"SI", ftSmallint, 0}, {"W", ftWord, 0},
               {"I", ftInteger, 0}, {"B", ftBoolean, 0},  {"F", ftFloat, 0},
               {"D", ftDate, 0},    {"T", ftTime, 0},     {"DT", ftDateTime, 0}};
    ds.AddRow({});
    ds.Open();
    ds.Edit();
  }
  TField* F(const char* name) { return ds.FieldByName(name); }
};

TEST(DataSetFieldValues, ConversionsAndRangesByFieldClass) {
  ValueFixture v;
  const std::string ga = "\xB0\xA1", na = "\xB3\xAA";  // two Hangul syllables
  struct Case {
    const char* field;
    std::string input;
    bool ok;
    std::string text;  // AsString afterwards
  } cases[] = {
      {"S", "abcdef", true, "abc"},   // cut to Size
      {"S", ga + na, true, ga},       // never half a character
      {"SI", "-32768", true, "-32768"}, {"SI", "40000", false, ""},
      {"W", "65535", true, "65535"},    {"W", "-1", false, ""},
      {"I", " 42 ", true, "42"},        {"I", "4x", false, ""},
      {"I", "", true, ""},              // empty text clears
      {"B", "t", true, "True"},         {"B", "fAL", true, "False"},
      {"B", "maybe", false, ""},        {"F", "2.5", true, "2.5"},
      {"F", "two", false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.field) + " <- " + c.input);
    TField* f = v.F(c.field);
    f->Clear();
    if (c.ok) {
      f->SetAsString(c.input);
      EXPECT_EQ(f->AsString(), c.text);
      EXPECT_EQ(f->IsNull(), c.text.empty());
    } else {
      EXPECT_THROW(f->SetAsString(c.input), EDatabaseError);
      EXPECT_TRUE(f->IsNull());  // a refused value leaves the field as it was
    }
  }
  v.F("SI")->SetAsVariant(Variant(7));
  EXPECT_EQ(v.F("SI")->AsVariant(), Variant(7));
  v.F("I")->SetAsFloat(2.5);  // rounds half to even
  EXPECT_EQ(v.F("I")->AsInteger(), 2);
  v.F("I")->SetAsVariant(Variant::Null());
  EXPECT_TRUE(v.F("I")->AsVariant().IsNull());
  EXPECT_THROW(v.F("B")->AsDateTime(), EDatabaseError);  // no such access
  static_cast<TBooleanField*>(v.F("B"))->SetDisplayValues("Y;N");
  v.F("B")->SetAsString("y");
  EXPECT_TRUE(v.F("B")->AsBoolean());
  EXPECT_EQ(v.F("B")->DisplayText(), "Y");
}

TEST(DataSetFieldValues, DatesUseDayNumbersFromYearOne) {
  ValueFixture v;
  EXPECT_EQ(DateToDayNumber(EncodeDate(1, 1, 1)), 1);
  EXPECT_EQ(DateToDayNumber(0.0), DateDelta);
  TDateTime when = EncodeDate(2023, 2, 28) + EncodeTime(13, 45, 30, 0);
  v.F("D")->SetAsDateTime(when);
  v.F("T")->SetAsDateTime(when);
  v.F("DT")->SetAsDateTime(when);
  int32_t day = 0;
  ASSERT_TRUE(v.F("D")->GetData(&day));
  EXPECT_EQ(day, DateToDayNumber(EncodeDate(2023, 2, 28)));
  EXPECT_DOUBLE_EQ(v.F("D")->AsDateTime(), EncodeDate(2023, 2, 28));
  EXPECT_NEAR(v.F("T")->AsDateTime(), EncodeTime(13, 45, 30, 0), 1e-9);
  EXPECT_NEAR(v.F("DT")->AsDateTime(), when, 1e-9);
  static_cast<TDateTimeField*>(v.F("D"))->DisplayFormat = "yyyymmdd";
  EXPECT_EQ(v.F("D")->DisplayText(), "20230228");
  // A stored impossible date (day number 0) is present but shows nothing.
  int32_t zero = 0;
  v.F("D")->SetData(&zero);
  EXPECT_FALSE(v.F("D")->IsNull());
  EXPECT_EQ(v.F("D")->DisplayText(), "");
  EXPECT_THROW(v.F("D")->SetAsString("31/31/2023"), EDatabaseError);
  v.F("D")->SetAsString("");
  EXPECT_TRUE(v.F("D")->IsNull());
  // Before 1899 the time of day keeps its TDateTime form.
  TDateTime old = EncodeDate(1850, 6, 1) + EncodeTime(6, 0, 0, 0);
  EXPECT_NEAR(MSecsToDateTime(DateTimeToMSecs(old)), old, 1e-9);
}

TEST(DataSetFieldValues, DisplayFormatsOfNumbers) {
  struct Case {
    const char* format;
    double value;
    const char* text;
  } cases[] = {
      {"0.00", 3.14159, "3.14"},      {"#,##0", 1234567, "1,234,567"},
      {"#,##0", 123, "123"},          {"0.0#", 2.5, "2.5"},
      {"0.0#", 2.456, "2.46"},        {"#.##", 0.5, ".5"},
      {"000", 7, "007"},              {"0.00;(0.00)", -1.5, "(1.50)"},
      {"0", -0.2, "0"},               {"'No. '0", 5, "No. 5"},
      {"0.00", -12.345, "-12.35"},
  };
  for (const Case& c : cases) EXPECT_EQ(FormatNumber(c.format, c.value), c.text) << c.format;
  ValueFixture v;
  auto* f = static_cast<TFloatField*>(v.F("F"));
  f->SetAsFloat(1234.5);
  f->DisplayFormat = "#,##0.00";
  EXPECT_EQ(f->DisplayText(), "1,234.50");
  EXPECT_EQ(f->Text(), "1,234.50");  // no edit format: the display one
  f->EditFormat = "0";
  EXPECT_EQ(f->Text(), "1234");
  f->Currency = true;
  f->DisplayFormat.clear();
  EXPECT_EQ(f->DisplayText(), "1234.50");
}

TEST(DataSetFieldValues, ValidateSeesTheNewValueAndMayRefuseIt) {
  ValueFixture v;
  TField* i = v.F("I");
  i->SetAsInteger(5);
  std::vector<int> seen;
  i->OnValidate = [&](TField* f) {
    seen.push_back(f->AsInteger());
    if (f->AsInteger() < 0) throw EDatabaseError("negative");
  };
  int changes = 0;
  i->OnChange = [&](TField*) { ++changes; };
  i->SetAsInteger(9);
  EXPECT_THROW(i->SetAsInteger(-1), EDatabaseError);
  EXPECT_EQ(i->AsInteger(), 9);
  EXPECT_EQ(seen, (std::vector<int>{9, -1}));
  EXPECT_EQ(changes, 1);
  i->OnGetText = [](TField* f, std::string& t, bool display) {
    t = (display ? "#" : "") + f->AsString();
  };
  i->OnSetText = [](TField* f, const std::string& t) { f->SetAsInteger(StrToInt(t) * 2); };
  i->SetText("4");
  EXPECT_EQ(i->Text(), "8");
  EXPECT_EQ(i->DisplayText(), "#8");
}

TEST(DataSetFieldValues, VariantConversions) {
  EXPECT_EQ(Variant(true).AsInteger(), -1);
  EXPECT_EQ(Variant(40000u).AsInteger(), 40000);
  EXPECT_EQ(Variant(~0ull).VarType(), varDouble);
  EXPECT_EQ(Variant(" 12 ").AsInteger(), 12);
  EXPECT_EQ(Variant(2.5).AsInteger(), 2);
  EXPECT_EQ(Variant(3.5).AsInteger(), 4);
  EXPECT_EQ(Variant().AsString(), "");
  EXPECT_EQ(Variant(false).AsString(), "False");
  EXPECT_TRUE(Variant("true").AsBoolean());
  EXPECT_THROW(Variant("x").AsInteger(), EVariantError);
  EXPECT_THROW(Variant::Null().AsString(), EVariantError);
  EXPECT_THROW(Variant(1e12).AsInteger(), EVariantError);
  EXPECT_EQ(Variant(1), Variant(1.0));
  EXPECT_EQ(Variant("1"), Variant(1));
  EXPECT_NE(Variant("a"), Variant(1));
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_NE(Variant(), Variant::Null());
  Variant a = VarArrayOf({1, "a"});
  EXPECT_EQ(a.ArrayCount(), 2);
  EXPECT_EQ(a[1].AsString(), "a");
  EXPECT_THROW(a[2], EVariantError);
  EXPECT_THROW(a.AsString(), EVariantError);
}

// ---- Parameters -----------------------------------------------------------------------------

TEST(DataSetParams, DataFormsRoundTripWithTheirSizes) {
  TParams params;
  TDateTime when = EncodeDate(2023, 2, 28) + EncodeTime(13, 45, 30, 250);
  struct Case {
    TFieldType type;
    Variant value;
    int size;
  } cases[] = {
      {ftString, "abc", 4},        {ftMemo, "", 1},           {ftFixedChar, "xy", 3},
      {ftSmallint, -5, 2},         {ftWord, 65535, 2},         {ftBoolean, true, 2},
      {ftInteger, -70000, 4},      {ftAutoInc, 9, 4},          {ftFloat, 2.25, 8},
      {ftCurrency, 10.5, 8},       {ftBCD, -123.045, 34},      {ftFMTBcd, 0.5, 34},
      {ftBlob, std::string("a\0b", 3), 3}, {ftBytes, "zz", 2},  {ftCursor, Variant::Null(), 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.type));
    TParam* p = params.CreateParam(c.type, "P", ptInput);
    p->SetValue(c.value);
    ASSERT_EQ(p->GetDataSize(), c.size);
    std::vector<char> data(static_cast<size_t>(c.size) + 1, '\x7F');
    p->GetData(data.data());
    TParam back(&params, "Q", c.type, ptOutput);
    back.SetData(data.data(), c.size);
    EXPECT_EQ(back.Value(), c.type == ftCursor ? Variant::Null() : c.value);
    params.Clear();
  }
  // Dates and times keep their parts.
  struct DateCase {
    TFieldType type;
    TDateTime want;
  } dates[] = {{ftDate, EncodeDate(2023, 2, 28)},
               {ftTime, EncodeTime(13, 45, 30, 250)},
               {ftDateTime, when},
               {ftTimeStamp, when}};
  for (const DateCase& c : dates) {
    SCOPED_TRACE(FieldTypeName(c.type));
    TParam p(&params, "D", c.type, ptInput);
    p.SetValue(Variant::FromDateTime(when));
    std::vector<char> data(static_cast<size_t>(p.GetDataSize()));
    p.GetData(data.data());
    TParam back(&params, "D", c.type, ptInput);
    back.SetData(data.data(), static_cast<int>(data.size()));
    EXPECT_NEAR(back.AsDateTime(), c.want, 1e-8);
  }
}

TEST(DataSetParams, WireDetailsAndRefusals) {
  TParams params;
  TParam* s = params.CreateParam(ftString, "NAME", ptInput);
  s->SetAsString("abc");
  char buf[8];
  s->GetData(buf);
  EXPECT_EQ(std::string(buf, 4), std::string("abc\0", 4));  // three bytes and the NUL
  TParam* b = params.CreateParam(ftBoolean, "FLAG", ptInput);
  b->SetAsBoolean(true);
  int16_t flag = 0;
  b->GetData(&flag);
  EXPECT_EQ(flag, -1);
  TParam* w = params.CreateParam(ftWord, "W", ptInput);
  w->SetValue(70000);
  EXPECT_THROW(w->GetData(buf), EDatabaseError);  // never cut silently
  EXPECT_THROW(params.CreateParam(ftUnknown, "U", ptInput)->GetDataSize(), EDatabaseError);
  EXPECT_THROW(params.CreateParam(ftLargeint, "L", ptInput)->GetDataSize(), EDatabaseError);
  int32_t i = 0;
  EXPECT_THROW(params.CreateParam(ftInteger, "SHORT", ptInput)->SetData(&i, 2), EDatabaseError);

  TParam* guess = params.CreateParam(ftUnknown, "GUESS", ptInput);
  guess->SetValue(2.5);
  EXPECT_EQ(guess->DataType, ftFloat);
  EXPECT_EQ(params.ParamByName("name"), s);
  EXPECT_THROW(params.ParamByName("none"), EDatabaseError);
  TParams copy;
  copy.Assign(params);
  ASSERT_EQ(copy.Count(), params.Count());
  EXPECT_EQ(copy.ParamByName("NAME")->AsString(), "abc");
  EXPECT_NE(copy.ParamByName("NAME"), s);
  EXPECT_THROW(copy[99], EListError);
}

// ---- Locate and Lookup --------------------------------------------------------------------

TEST(DataSetLocate, FindsByValueWithOptionsAndStaysPutOtherwise) {
  Fixture f;
  f.ds.Open();
  f.ds.Edit();
  f.ds.FieldByName("NAME")->SetAsString("Apple");
  f.ds.Post();
  f.ds.MoveBy(2);  // C
  struct Case {
    std::string fields;
    Variant key;
    TLocateOptions options;
    bool found;
    std::string current;
  } cases[] = {
      {"NAME", "D", 0, true, "D"},
      {"NAME", "app", loCaseInsensitive | loPartialKey, true, "Apple"},
      {"NAME", "app", loPartialKey, false, "Apple"},
      {"NAME", "Ap", 0, false, "Apple"},
      {"ID", 5, 0, true, "E"},
      {"ID", "2", 0, true, "B"},
      {"ID;NAME", VarArrayOf({4, "D"}), 0, true, "D"},
      {"ID;NAME", VarArrayOf({4, "E"}), 0, false, "D"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields + " " + c.current);
    EXPECT_EQ(f.ds.Locate(c.fields, c.key, c.options), c.found);
    EXPECT_EQ(f.Name(), c.current);
  }
  EXPECT_THROW(f.ds.Locate("ID", "two", 0), EConvertError);
  EXPECT_THROW(f.ds.Locate("NOPE", 1, 0), EDatabaseError);

  Variant v = f.ds.Lookup("ID", 2, "NAME");
  EXPECT_EQ(v.AsString(), "B");
  EXPECT_EQ(f.Name(), "D");  // Lookup does not move
  EXPECT_TRUE(f.ds.Lookup("ID", 77, "NAME").IsNull());
  Variant both = f.ds.Lookup("NAME", "E", "ID;NAME");
  ASSERT_EQ(both.ArrayCount(), 2);
  EXPECT_EQ(both[0].AsInteger(), 5);
}

// ---- Destruction ----------------------------------------------------------------------------

TEST(DataSetLifetime, DestroyingAnOpenDatasetIsSafe) {
  TDataSource src;
  TRecordingLink link;
  link.SetDataSource(&src);
  {
    TMemDataSet ds;  // closes itself
    ds.Defs = {{"NAME", ftString, 4}};
    ds.AddRow({"x"});
    src.SetDataSet(&ds);
    ds.Open();
    EXPECT_TRUE(link.Active());
  }
  EXPECT_FALSE(link.Active());
  EXPECT_EQ(src.DataSet(), nullptr);

  // A descendant that forgets to close: the base tears down without reaching its slots.
  auto* ds = new TMemDataSet;
  ds->CloseOnDestroy = false;
  ds->Defs = {{"NAME", ftString, 4}};
  ds->AddRow({"y"});
  TComponent form;
  auto* persistent = new TStringField(&form);
  persistent->SetFieldName("NAME");
  persistent->SetDataSet(ds);
  src.SetDataSet(ds);
  ds->Open();
  EXPECT_EQ(src.State(), dsBrowse);
  delete ds;
  EXPECT_EQ(src.State(), dsInactive);
  EXPECT_EQ(persistent->DataSet(), nullptr);  // detached, still owned by the form
  EXPECT_EQ(form.ComponentCount(), 1);
}

TEST(DataSetLifetime, OpensAfterLoadingAndClosesQuietlyOnDestruction) {
  int closes = 0;
  {
    TComponent form;
    form.BeginLoading();
    auto* ds = new TMemDataSet(&form);
    ds->Defs = {{"NAME", ftString, 4}};
    ds->AddRow({"x"});
    ds->BeforeClose = [&](TDataSet*) { ++closes; };
    ds->SetActive(true);  // as read from the form: kept until loading ends
    EXPECT_FALSE(ds->Active());
    form.EndLoading();
    EXPECT_TRUE(ds->Active());
    EXPECT_EQ(ds->FieldByName("NAME")->AsString(), "x");
  }
  EXPECT_EQ(closes, 0);  // no events from a dataset that is going away
}

// A data source destroyed before its dataset leaves no dangling link behind.
TEST(DataSetLifetime, DataSourceGoesFirst) {
  Fixture f;
  f.ds.Open();
  {
    TDataSource src;
    src.SetDataSet(&f.ds);
    f.ds.Next();
  }
  f.ds.Next();
  f.ds.Close();
  SUCCEED();
}

}  // namespace
