// Memory and file streams: positions, short reads and copies.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/core/Streams.h"

namespace {

TEST(Streams, MemoryStreamGrowsSeeksAndFillsGaps) {
  TMemoryStream m;
  m.WriteBuffer("abc", 3);
  EXPECT_EQ(m.Size(), 3);
  EXPECT_EQ(m.Seek(2, soFromEnd), 5);  // past the end
  m.WriteBuffer("Z", 1);
  ASSERT_EQ(m.Size(), 6);
  EXPECT_EQ(std::memcmp(m.Memory(), "abc\0\0Z", 6), 0);
  EXPECT_EQ(m.Seek(-2, soFromCurrent), 4);
  EXPECT_EQ(m.Seek(-100, soFromCurrent), 0);  // never before the start
  m.SetSize(2);
  EXPECT_EQ(m.Position(), 0);
  EXPECT_EQ(m.Size(), 2);
  m.Clear();
  EXPECT_EQ(m.Size(), 0);
}

TEST(Streams, ShortReadRaisesReadError) {
  TMemoryStream m;
  m.WriteBuffer("12345", 5);
  m.SetPosition(3);
  char buf[8];
  EXPECT_EQ(m.Read(buf, 8), 2);  // Read takes what there is
  m.SetPosition(3);
  try {
    m.ReadBuffer(buf, 3);
    FAIL() << "no exception";
  } catch (const EReadError& e) {
    EXPECT_EQ(e.Message, "Stream read error");
  }
  m.SetPosition(0);
  TMemoryStream dst;
  EXPECT_THROW(dst.CopyFrom(m, 6), EReadError);
}

TEST(Streams, FileStreamModesAndErrors) {
  std::string path = ::testing::TempDir() + "orv_stream.bin";
  {
    TFileStream f(path, fmCreate);
    f.WriteBuffer("hello world", 11);
    f.SetSize(5);
    EXPECT_EQ(f.Size(), 5);
  }
  {
    TFileStream f(path, fmOpenRead | fmShareDenyWrite);
    char buf[5];
    f.ReadBuffer(buf, 5);
    EXPECT_EQ(std::string(buf, 5), "hello");
    EXPECT_THROW(f.ReadBuffer(buf, 1), EReadError);
    EXPECT_THROW(f.WriteBuffer("x", 1), EWriteError);  // opened for reading only
  }
  {
    TFileStream f(path, fmOpenReadWrite);
    f.Seek(0, soFromEnd);
    f.WriteBuffer("!", 1);
  }
  EXPECT_EQ(ReadFileBytes(path), "hello!");
  EXPECT_THROW(TFileStream(path + ".none", fmOpenRead), EFOpenError);
  EXPECT_THROW(TFileStream(::testing::TempDir(), fmOpenRead), EFOpenError);  // a folder
  EXPECT_THROW(TFileStream(path + ".none/x", fmCreate), EFCreateError);
  DeleteFile(path);
}

TEST(Streams, CopyFromAndLoadSave) {
  std::string path = ::testing::TempDir() + "orv_copy.bin";
  TMemoryStream src;
  std::string big(100000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  src.WriteBuffer(big.data(), static_cast<int64_t>(big.size()));
  TMemoryStream dst;
  EXPECT_EQ(dst.CopyFrom(src, 0), 100000);  // 0 = all of it from the start
  EXPECT_EQ(std::memcmp(dst.Memory(), big.data(), big.size()), 0);
  dst.SaveToFile(path);
  TMemoryStream back;
  back.WriteBuffer("junk", 4);
  back.LoadFromFile(path);
  EXPECT_EQ(back.Position(), 0);
  ASSERT_EQ(back.Size(), 100000);
  EXPECT_EQ(std::memcmp(back.Memory(), big.data(), big.size()), 0);
  DeleteFile(path);
}

// Reads a block owned by someone else, as the zip directory reader does.
class TBorrowingStream : public TMemoryStream {
 public:
  void Borrow(void* p, int64_t n) { SetPointer(p, n); }
};

TEST(Streams, WritingToBorrowedMemoryNeverTouchesTheBlock) {
  char block[4] = {'a', 'b', 'c', 'd'};
  TBorrowingStream s;
  s.Borrow(block, 4);
  char buf[4];
  s.ReadBuffer(buf, 4);
  EXPECT_EQ(std::string(buf, 4), "abcd");
  s.SetPosition(1);
  s.WriteBuffer("XY", 2);  // inside the block
  s.Seek(0, soFromEnd);
  s.WriteBuffer("!", 1);  // beyond it
  EXPECT_EQ(std::string(block, 4), "abcd");
  EXPECT_EQ(std::string(static_cast<const char*>(s.Memory()), 5), "aXYd!");
}

}  // namespace
