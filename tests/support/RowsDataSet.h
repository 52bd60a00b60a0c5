// A small in-memory dataset of fixed-width text columns, for the grid tests. A buffer is the
// row's bytes (each column its width plus a terminating zero), then the row number (the
// bookmark) and the bookmark flag.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/core/DataSet.h"

class TRowsDataSet : public TDataSet {
 public:
  struct Col {
    std::string Name;
    int Size;
  };
  explicit TRowsDataSet(std::vector<Col> cols) : Cols(std::move(cols)) {
    for (const Col& c : Cols) FRowSize += c.Size + 1;
  }
  ~TRowsDataSet() override { CloseForDestroy(); }

  // A value longer than its column is cut to the column's width.
  void AddRow(const std::vector<std::string>& values) {
    std::string r(static_cast<size_t>(FRowSize), '\0');
    size_t off = 0;
    for (size_t i = 0; i < Cols.size(); ++i) {
      if (i < values.size()) {
        size_t n = std::min(values[i].size(), static_cast<size_t>(Cols[i].Size));
        r.replace(off, n, values[i], 0, n);
      }
      off += static_cast<size_t>(Cols[i].Size) + 1;
    }
    Rows.push_back(r);
  }
  std::string Value(int row, int col) const {
    size_t off = 0;
    for (int i = 0; i < col; ++i) off += static_cast<size_t>(Cols[static_cast<size_t>(i)].Size) + 1;
    return std::string(Rows[static_cast<size_t>(row)].c_str() + off);
  }

  std::vector<Col> Cols;
  std::vector<std::string> Rows;

 protected:
  void InternalInitFieldDefs() override {
    FieldDefs().Clear();
    for (const Col& c : Cols) FieldDefs().Add(c.Name, ftString, c.Size);
  }
  void InternalOpen() override {
    InternalInitFieldDefs();
    if (DefaultFields()) CreateFields();
    BindFields(true);
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
  int GetRecordSize() override { return FRowSize + 5; }
  TRecordBuffer AllocRecordBuffer() override { return new char[static_cast<size_t>(GetRecordSize())](); }
  void InternalInitRecord(TRecordBuffer b) override { std::memset(b, 0, static_cast<size_t>(GetRecordSize())); }
  TGetResult GetRecord(TRecordBuffer b, TGetMode mode, bool) override {
    int n = static_cast<int>(Rows.size());
    if (mode == gmNext) {
      if (FCursor >= n - 1) { FCursor = n; return grEOF; }
      ++FCursor;
    } else if (mode == gmPrior) {
      if (FCursor <= 0) { FCursor = -1; return grBOF; }
      --FCursor;
    } else if (FCursor < 0 || FCursor >= n) {
      return FCursor < 0 ? grBOF : grEOF;
    }
    std::memcpy(b, Rows[static_cast<size_t>(FCursor)].data(), static_cast<size_t>(FRowSize));
    std::memcpy(b + FRowSize, &FCursor, 4);
    b[FRowSize + 4] = bfCurrent;
    return grOK;
  }
  void InternalFirst() override { FCursor = -1; }
  void InternalLast() override { FCursor = static_cast<int>(Rows.size()); }
  void InternalSetToRecord(TRecordBuffer b) override { std::memcpy(&FCursor, b + FRowSize, 4); }
  void InternalGotoBookmark(const void* bm) override { std::memcpy(&FCursor, bm, 4); }
  void GetBookmarkData(TRecordBuffer b, void* d) override { std::memcpy(d, b + FRowSize, 4); }
  void SetBookmarkData(TRecordBuffer b, const void* d) override { std::memcpy(b + FRowSize, d, 4); }
  TBookmarkFlag GetBookmarkFlag(TRecordBuffer b) override { return static_cast<TBookmarkFlag>(b[FRowSize + 4]); }
  void SetBookmarkFlag(TRecordBuffer b, TBookmarkFlag v) override { b[FRowSize + 4] = static_cast<char>(v); }
  void InternalPost() override {
    int row;
    std::memcpy(&row, ActiveBuffer() + FRowSize, 4);
    std::memcpy(Rows[static_cast<size_t>(row)].data(), ActiveBuffer(), static_cast<size_t>(FRowSize));
  }
  int GetRecordCount() override { return static_cast<int>(Rows.size()); }
  int GetRecNo() override {
    TRecordBuffer b = GetActiveRecordBuffer();
    if (!b) return 0;
    int row;
    std::memcpy(&row, b + FRowSize, 4);
    return row + 1;
  }
  void SetRecNo(int v) override { MoveBy(v - RecNo()); }
  bool GetFieldData(TField* f, void* buf) override {
    TRecordBuffer b = GetActiveRecordBuffer();
    if (!b) return false;
    const char* p = b + Offset(f);
    if (!*p) return false;
    if (buf) std::memcpy(buf, p, static_cast<size_t>(f->DataSize()));
    return true;
  }
  void SetFieldData(TField* f, const void* buf) override {
    char* p = ActiveBuffer() + Offset(f);
    std::memset(p, 0, static_cast<size_t>(f->DataSize()));
    if (buf) std::memcpy(p, buf, static_cast<size_t>(f->DataSize()));
    DataEvent(deFieldChange, reinterpret_cast<intptr_t>(f));
  }

 private:
  int Offset(TField* f) const {
    int off = 0;
    for (int i = 0; i < f->FieldNo() - 1; ++i) off += Cols[static_cast<size_t>(i)].Size + 1;
    return off;
  }
  int FRowSize = 0;
  int FCursor = -1;
  bool FOpen = false;
};
