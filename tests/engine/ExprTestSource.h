// An in-memory table for expression, index and query tests: the note layout's fields over
// record images held in a vector, no files.
#pragma once

#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "engine/src/Contract.h"
#include "platform/core/Cp949.h"

namespace xbetest {

class MemSource : public xbe::RecordSource {
 public:
  // fields: name, type, width, decimals; offsets follow from the order.
  struct Def {
    const char* name;
    char type;
    int width;
    int decimals;
  };
  explicit MemSource(std::vector<Def> defs) {
    int off = 1;
    for (const Def& d : defs) {
      xbe::FieldDesc f;
      f.name = d.name;
      f.type = d.type;
      f.width = d.width;
      f.decimals = d.decimals;
      f.offset = off;
      off += d.width;
      fields_.push_back(f);
    }
    recSize_ = off;
  }
  // The note file layout of the application.
  static MemSource Notes() {
    return MemSource({{"MMM", 'M', 10, 0}, {"KNO", 'C', 12, 0}, {"CHK", 'C', 1, 0}, {"LOCK", 'C', 1, 0},
                      {"TYPE", 'C', 1, 0}, {"BIBLE", 'C', 4, 0}, {"TIT1", 'C', 60, 0}, {"TIT2", 'C', 40, 0},
                      {"TIT3", 'C', 40, 0}, {"TIT4", 'C', 60, 0}});
  }

  // Appends a record with the named fields set (others blank); returns its number.
  int32_t Add(const std::map<std::string, std::string>& values, bool deleted = false) {
    std::string img(static_cast<std::size_t>(recSize_), ' ');
    img[0] = deleted ? '*' : ' ';
    for (auto& [name, v] : values) Put(img, name, v);
    rows_.push_back(img);
    return static_cast<int32_t>(rows_.size());
  }
  void Put(std::string& img, const std::string& name, const std::string& v) const {
    int i = FieldIndex(name);
    if (i < 0) return;
    const xbe::FieldDesc& f = fields_[static_cast<std::size_t>(i)];
    if (f.type == 'M') {
      memos_[img.size() + memos_.size()] = v;
      std::string ref = std::to_string(memos_.size());
      ref.insert(0, static_cast<std::size_t>(f.width) - ref.size(), ' ');
      std::memcpy(&img[static_cast<std::size_t>(f.offset)], ref.data(), ref.size());
      memoByRef_[ref] = v;
      return;
    }
    std::string s = v.substr(0, static_cast<std::size_t>(f.width));
    if (f.type == 'N') s.insert(0, static_cast<std::size_t>(f.width) - s.size(), ' ');
    else s.append(static_cast<std::size_t>(f.width) - s.size(), ' ');
    std::memcpy(&img[static_cast<std::size_t>(f.offset)], s.data(), s.size());
  }
  void Set(int32_t recNo, const std::string& name, const std::string& v) {
    Put(rows_[static_cast<std::size_t>(recNo - 1)], name, v);
  }
  std::string& Image(int32_t recNo) { return rows_[static_cast<std::size_t>(recNo - 1)]; }
  int32_t current = 1;

  const std::vector<xbe::FieldDesc>& Fields() const override { return fields_; }
  int FieldIndex(std::string_view name) const override {
    std::string u = cp949::Upper(name);
    for (std::size_t i = 0; i < fields_.size(); ++i)
      if (fields_[i].name == u) return static_cast<int>(i);
    return -1;
  }
  const char* CurrentImage() const override {
    if (current < 1 || current > RecordCount()) {
      blank_.assign(static_cast<std::size_t>(recSize_), ' ');
      return blank_.data();
    }
    return rows_[static_cast<std::size_t>(current - 1)].data();
  }
  int32_t CurrentRecNo() const override { return current; }
  int32_t RecordCount() const override { return static_cast<int32_t>(rows_.size()); }
  bool CurrentDeleted() const override { return CurrentImage()[0] == '*'; }
  std::string ReadMemo(int field, const char* image) const override {
    const xbe::FieldDesc& f = fields_[static_cast<std::size_t>(field)];
    std::string ref(image + f.offset, static_cast<std::size_t>(f.width));
    auto it = memoByRef_.find(ref);
    return it == memoByRef_.end() ? std::string() : it->second;
  }
  bool ReadImage(int32_t recNo, std::string& image) const override {
    if (recNo < 1 || recNo > RecordCount()) return false;
    image = rows_[static_cast<std::size_t>(recNo - 1)];
    return true;
  }
  void Position(int32_t recNo) override { current = recNo; }

 private:
  std::vector<xbe::FieldDesc> fields_;
  int recSize_ = 1;
  std::vector<std::string> rows_;
  mutable std::string blank_;
  mutable std::map<std::size_t, std::string> memos_;
  mutable std::map<std::string, std::string> memoByRef_;
};

}  // namespace xbetest
