// .dbf reading, checking, creating and appending.
#include "engine/src/DbfFile.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <ctime>

namespace xbe {
namespace {

uint16_t Get16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
void Put16(char* p, uint32_t v) {
  p[0] = static_cast<char>(v & 0xFF);
  p[1] = static_cast<char>((v >> 8) & 0xFF);
}
void Put32(char* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}
void PutDate(char* p) {
  std::time_t t = std::time(nullptr);
  std::tm tm;
  localtime_r(&t, &tm);
  p[0] = static_cast<char>(tm.tm_year % 256);
  p[1] = static_cast<char>(tm.tm_mon + 1);
  p[2] = static_cast<char>(tm.tm_mday);
}

constexpr unsigned char kCodePage949 = 0x79;
constexpr int kStretchBits = 16;  // 64 KB: what one page fault maps in around a page

}  // namespace

std::string DbfFile::BuildHeader(const std::vector<FieldDesc>& fields, bool hasMemo, int32_t count) {
  int headerLen = 32 + 32 * static_cast<int>(fields.size()) + 1;
  int recSize = 1;
  for (const FieldDesc& f : fields) recSize += f.width;
  std::string h(headerLen, '\0');
  h[0] = static_cast<char>(hasMemo ? 0xF5 : 0x03);
  PutDate(&h[1]);
  Put32(&h[4], static_cast<uint32_t>(count));
  Put16(&h[8], static_cast<uint32_t>(headerLen));
  Put16(&h[10], static_cast<uint32_t>(recSize));
  h[28] = hasMemo ? 0x02 : 0x00;
  h[29] = static_cast<char>(kCodePage949);
  int off = 1;
  for (size_t i = 0; i < fields.size(); ++i) {
    char* d = &h[32 + 32 * i];
    std::memcpy(d, fields[i].name.data(), std::min<size_t>(fields[i].name.size(), 10));
    d[11] = fields[i].type;
    Put32(d + 12, static_cast<uint32_t>(off));
    d[16] = static_cast<char>(fields[i].width);
    d[17] = static_cast<char>(fields[i].decimals);
    off += fields[i].width;
  }
  h[headerLen - 1] = 0x0D;
  return h;
}

bool DbfFile::Create(const std::string& path, const std::vector<FieldDesc>& fields, bool hasMemo) {
  std::unique_ptr<File> f = Fs().Open(path, true, true, true);
  if (!f) return false;
  std::string h = BuildHeader(fields, hasMemo, 0);
  h += '\x1A';
  if (!f->WriteAt(0, h.data(), h.size()) || !f->Sync()) {
    f.reset();
    Fs().Remove(path);
    return false;
  }
  return true;
}

std::unique_ptr<DbfFile> DbfFile::Open(const std::string& path, bool writable, std::string* error) {
  auto fail = [&](const char* why) {
    if (error) *error = why;
    return std::unique_ptr<DbfFile>();
  };
  std::unique_ptr<File> file = Fs().Open(path, writable, false, false);
  if (!file) return fail("cannot open the file");
  int64_t size = file->Size();
  unsigned char head[32];
  if (size < 32 || file->ReadAt(0, head, 32) != 32) return fail("truncated header");
  int headerLen = Get16(head + 8);
  int recSize = Get16(head + 10);
  if (headerLen < 32 + 32 + 1 || headerLen > size) return fail("bad header length");
  if (recSize < 2) return fail("bad record length");
  std::string desc(headerLen - 32, '\0');
  if (file->ReadAt(32, desc.data(), desc.size()) != static_cast<ssize_t>(desc.size()))
    return fail("truncated field descriptors");
  auto d = std::make_unique<DbfFile>();
  int off = 1;
  size_t pos = 0;
  bool terminated = false;
  while (pos < desc.size()) {
    if (static_cast<unsigned char>(desc[pos]) == 0x0D) {
      terminated = true;
      break;
    }
    if (pos + 32 > desc.size()) break;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(desc.data() + pos);
    FieldDesc f;
    size_t n = 0;
    while (n < 11 && p[n] != 0) ++n;
    f.name.assign(reinterpret_cast<const char*>(p), std::min<size_t>(n, 10));
    while (!f.name.empty() && f.name.back() == ' ') f.name.pop_back();
    for (char& c : f.name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    f.type = static_cast<char>(std::toupper(p[11]));
    f.width = p[16];
    f.decimals = p[17];
    f.offset = off;
    if (f.name.empty() || f.width == 0 || f.type == 0) return fail("bad field descriptor");
    off += f.width;
    d->fields_.push_back(f);
    pos += 32;
  }
  if (!terminated) return fail("field descriptors not terminated");
  if (d->fields_.empty()) return fail("no fields");
  if (off > recSize) return fail("fields exceed the record length");
  d->hasMemoFlag_ = head[0] == 0xF5 || head[0] == 0x83 || head[0] == 0x8B || (head[28] & 0x02);
  d->file_ = std::move(file);
  d->path_ = path;
  d->headerLen_ = headerLen;
  d->recSize_ = recSize;
  d->RefreshCount();
  return d;
}

int32_t DbfFile::RefreshCount() {
  int64_t size = file_->Size();
  if (size < headerLen_) {
    count_ = 0;
  } else {
    int64_t n = (size - headerLen_) / recSize_;
    count_ = static_cast<int32_t>(std::min<int64_t>(n, 0x7FFFFFF0));
  }
  return count_;
}

const FileView* DbfFile::Viewed(int64_t end) {
  if (view_ && view_->Length() >= end) return view_.get();
  end = std::max(end, headerLen_ + int64_t{count_} * recSize_);
  if (end <= unviewable_) return nullptr;
  // Half as much again, at least 8 MB: a table that grows is not mapped anew at every append.
  view_.reset();
  view_ = file_->View(end + std::max<int64_t>(end / 2, int64_t{8} << 20));
  if (!view_) unviewable_ = end;  // not asked again until the table is larger
  read_.assign(view_ ? static_cast<size_t>((view_->Length() >> kStretchBits) + 1) : 0, 0);
  return view_.get();
}

// Mapping a part of a view in costs a page fault, which is cheap on a machine of its own
// but 50 to 200 us where a hypervisor shadows the page tables (a read of the file: 2 to 3
// us). Many records are read once only (the first notes of an order looked at once), so a
// stretch of the table is read through the file the first time and through the view from
// the second read on, when it is likely to be read again and again.
bool DbfFile::ReadBefore(int64_t off) {
  const size_t stretch = static_cast<size_t>(off >> kStretchBits);
  if (stretch >= read_.size() || read_[stretch]) return true;
  read_[stretch] = 1;
  return false;
}

int32_t DbfFile::ReadRecords(int32_t recNo, int32_t n, char* buf) {
  if (recNo < 1 || n < 1) return 0;
  const int64_t off = headerLen_ + static_cast<int64_t>(recNo - 1) * recSize_;
  // One counted record (it is in the file: tables only grow while the engine has them open)
  // comes from the view. A file cut short behind the engine's back shows there as a fault
  // past its new end (the view is let go and the size looked at again, so a new view reaches
  // no further), or as zeros within its last page: a deletion flag other than a blank or a
  // star sends the read to the file, which says what is there.
  if (n == 1 && recNo <= count_) {
    const FileView* v = Viewed(off + recSize_);
    if (v && ReadBefore(off)) {
      if (v->Read(off, buf, static_cast<size_t>(recSize_))) {
        if (buf[0] == ' ' || buf[0] == '*') return 1;
      } else {
        view_.reset();
        RefreshCount();
      }
    }
  }
  ssize_t r = file_->ReadAt(off, buf, static_cast<size_t>(n) * recSize_);
  if (r < 0) return 0;
  return static_cast<int32_t>(r / recSize_);
}

bool DbfFile::WriteRecords(int32_t recNo, int32_t n, const char* images) {
  if (recNo < 1 || n < 1) return false;
  int64_t off = headerLen_ + static_cast<int64_t>(recNo - 1) * recSize_;
  return file_->WriteAt(off, images, static_cast<size_t>(n) * recSize_);
}

bool LockAppend(File& f) {
  // A working holder keeps it for one write only: even with no time-out for record locks
  // (0, do not wait for another user's note), it is waited for a second before giving up.
  return LockWithin(f, kLockAppend, 1, LockKind::Exclusive, std::max(1, Settings().lockTimeoutSeconds));
}

void DbfFile::WriteCount() {
  char h[8];
  PutDate(h + 1);
  Put32(h + 4, static_cast<uint32_t>(count_));
  file_->WriteAt(1, h + 1, 7);
}


int32_t DbfFile::Append(const char* image, bool lockRecord, bool* locked, int32_t giveBack) {
  if (locked) *locked = false;
  if (!LockAppend(*file_)) {
    if (giveBack > 0) file_->Unlock(kLockRecords + giveBack, 1);
    return 0;
  }
  int32_t n = RefreshCount();
  int32_t recNo = 0;
  // Taken while the record is not there yet: once it is, another process may pick it.
  bool mine = lockRecord && file_->Lock(kLockRecords + n + 1, 1, LockKind::Exclusive, false);
  std::string buf(image, recSize_);
  buf += '\x1A';
  // The record goes to disk before the header counts it, so a crash in between leaves a
  // header that claims less than the file holds, never more.
  if (file_->WriteAt(headerLen_ + static_cast<int64_t>(n) * recSize_, buf.data(), buf.size())) {
    recNo = n + 1;
    count_ = recNo;
    WriteCount();
  }
  if (mine && recNo == 0) file_->Unlock(kLockRecords + n + 1, 1);
  if (locked) *locked = mine && recNo != 0;
  // The record given back lies below the new one, so one range from the append lock to it
  // holds nothing else of this handle's.
  if (giveBack > 0 && giveBack <= n)
    file_->Unlock(kLockAppend, kLockRecords + giveBack + 1 - kLockAppend);
  else {
    if (giveBack > 0) file_->Unlock(kLockRecords + giveBack, 1);
    file_->Unlock(kLockAppend, 1);
  }
  return recNo;
}

int32_t DbfFile::AppendMany(const char* images, int32_t n) {
  if (n < 1 || !LockAppend(*file_)) return 0;
  const int32_t before = RefreshCount();
  int32_t first = 0;
  std::string buf;
  buf.reserve(static_cast<std::size_t>(n) * recSize_ + 1);
  buf.append(images, static_cast<std::size_t>(n) * recSize_);
  buf += '\x1A';
  // As for one record: the records reach the file before the header counts them.
  if (before <= 0x7FFFFFF0 - n &&
      file_->WriteAt(headerLen_ + static_cast<int64_t>(before) * recSize_, buf.data(), buf.size())) {
    first = before + 1;
    count_ = before + n;
    WriteCount();
  }
  file_->Unlock(kLockAppend, 1);
  return first;
}

}  // namespace xbe
