// The report stream's operand primitives and headers, written and read back, and streams that
// are cut short or damaged: the reader refuses them with an error before reading or allocating
// past the end.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "platform/core/TextCodec.h"
#include "report/stream/ReportStream.h"

namespace {

std::string Bytes(TMemoryStream& m) { return std::string(static_cast<const char*>(m.Memory()), m.Size()); }

TEST(StreamFormat, TextOperandsKeepTheirBytesAndNeverSplitACharacter) {
  const std::string hangul = cp949::K("가");  // two bytes
  struct Case {
    std::string in;
    std::string out;
  } cases[] = {
      {"", ""},
      {"A", "A"},
      {std::string(255, 'x'), std::string(255, 'x')},
      {std::string(300, 'y'), std::string(255, 'y')},
      // 127 Hangul syllables are 254 bytes; the 128th would split at 255.
      {[&] { std::string s; for (int i = 0; i < 130; ++i) s += hangul; return s; }(),
       [&] { std::string s; for (int i = 0; i < 127; ++i) s += hangul; return s; }()},
  };
  for (const Case& c : cases) {
    TMemoryStream m;
    TReportWriter w(m);
    w.Text(c.in);
    std::string b = Bytes(m);
    ASSERT_EQ(static_cast<uint8_t>(b[0]), c.out.size()) << c.in.size();
    EXPECT_EQ(b.size(), c.out.size() + 1);
    m.SetPosition(0);
    TReportReader r(m);
    EXPECT_EQ(r.Text(), c.out);
  }
}

TEST(StreamFormat, NumbersAreSinglePrecisionAndIntegersLittleEndian) {
  TMemoryStream m;
  TReportWriter w(m);
  w.Number(0.1);
  w.Int32(-2);
  w.Int32(0x01020304);
  std::string b = Bytes(m);
  ASSERT_EQ(b.size(), 12u);
  EXPECT_EQ(b.substr(4, 4), std::string("\xFE\xFF\xFF\xFF", 4));
  EXPECT_EQ(b.substr(8, 4), std::string("\x04\x03\x02\x01", 4));
  m.SetPosition(0);
  TReportReader r(m);
  EXPECT_EQ(r.Number(), static_cast<double>(0.1f));
  EXPECT_EQ(r.Int32(), -2);
  EXPECT_EQ(r.Int32(), 0x01020304);
}

TEST(StreamFormat, HeadersRoundTripAtTheirFixedOffsets) {
  TMemoryStream m;
  TReportWriter w(m);
  TReportHeader h;
  h.PageCount = 0;
  h.FirstPage = 2;
  h.LastPage = 3;
  h.PageWidth = 8.5;
  h.PageHeight = 11;
  h.OffsetLeft = 0.25;
  h.Orientation = 1;
  h.Copies = 2;
  h.PaperSize = 9;
  h.PaperWidth = 2100;
  h.PaperLength = 2970;
  h.OutputPort = "LPT2:";
  w.ReportHeader(h);
  EXPECT_EQ(m.Size(), 55 + 5);  // 54 fixed bytes, then the port text
  int64_t page = w.PageHeader(TPageHeader{0, 0, 7, 1});
  EXPECT_EQ(page, 60);
  w.PatchInt32(page + TPageHeader::NextLinkOffset, 1234);
  w.PatchInt32(TReportHeader::PageCountOffset, 1);
  EXPECT_EQ(m.Position(), m.Size());  // patching returns to where the writing stands
  // Also when that is not the stream's end (a caller's stream that held more).
  m.SetPosition(page);
  w.PatchInt32(TReportHeader::PageCountOffset, 1);
  EXPECT_EQ(m.Position(), page);

  m.SetPosition(0);
  TReportReader r(m);
  r.ExpectCode(rcReportHeader);
  TReportHeader g = r.ReportHeader();
  EXPECT_EQ(g.PageCount, 1);
  EXPECT_EQ(g.FirstPage, 2);
  EXPECT_EQ(g.LastPage, 3);
  EXPECT_EQ(g.PageWidth, 8.5);
  EXPECT_EQ(g.OffsetLeft, 0.25);
  EXPECT_EQ(g.Orientation, 1);
  EXPECT_EQ(g.Copies, 2);
  EXPECT_EQ(g.PaperLength, 2970);
  EXPECT_EQ(g.OutputPort, "LPT2:");
  r.ExpectCode(rcPageHeader);
  TPageHeader p = r.PageHeader();
  EXPECT_EQ(p.PrevLink, 0);
  EXPECT_EQ(p.NextLink, 1234);
  EXPECT_EQ(p.PageNumber, 7);
}

// A stream that keeps only its position and size, for positions no test should write out.
class TPositionOnly : public TStream {
 public:
  int64_t Read(void*, int64_t) override { return 0; }
  int64_t Write(const void*, int64_t Count) override {
    FPos += Count;
    FSize = std::max(FSize, FPos);
    return Count;
  }
  int64_t Seek(int64_t Offset, int Origin) override {
    FPos = (Origin == soFromBeginning ? 0 : Origin == soFromCurrent ? FPos : FSize) + Offset;
    return FPos;
  }

 private:
  int64_t FPos = 0, FSize = 0;
};

// Pages are linked by 32-bit positions: a page that would begin past them is refused, not
// linked to a wrapped position that no player could follow.
TEST(StreamFormat, APageBeyondWhatALinkReachesIsRefused) {
  TPositionOnly s;
  TReportWriter w(s);
  s.SetPosition(INT32_MAX);
  EXPECT_EQ(w.PageHeader(TPageHeader{}), INT32_MAX);
  try {
    w.PageHeader(TPageHeader{});
    FAIL() << "a page past 2 GB";
  } catch (const EReportKit& e) {
    EXPECT_STREQ(e.what(), "Report too long: a report stream holds at most 2 GB.");
  }
}

TEST(StreamFormat, EveryCutOfAHeaderIsAReadErrorAndAWrongCodeIsRefused) {
  TMemoryStream full;
  TReportWriter w(full);
  TReportHeader h;
  h.OutputPort = "PORT";
  w.ReportHeader(h);
  std::string b = Bytes(full);
  for (size_t cut = 1; cut < b.size(); ++cut) {
    TMemoryStream m;
    m.WriteBuffer(b.data(), static_cast<int64_t>(cut));
    m.SetPosition(0);
    TReportReader r(m);
    r.ExpectCode(rcReportHeader);
    EXPECT_THROW(r.ReportHeader(), EReadError) << cut;
  }
  TMemoryStream m;
  m.WriteBuffer("\x50", 1);
  m.SetPosition(0);
  TReportReader r(m);
  try {
    r.ExpectCode(rcReportHeader);
    FAIL();
  } catch (const EReportKit& e) {
    EXPECT_STREQ(e.what(), "Unexpected code found in report file.");
  }
}

TEST(StreamFormat, LengthsThatCannotBeInTheStreamAreRefusedBeforeAllocating) {
  struct Case {
    const char* name;
    std::string bytes;
    bool points;  // else a graphic
  } cases[] = {
      {"graphic of 2 GB", std::string("\x01\xFF\xFF\xFF\x7F", 5), false},
      {"graphic of negative size", std::string("\x01\xFF\xFF\xFF\xFF", 5), false},
      {"graphic one byte short", std::string("\x01\x03\x00\x00\x00" "ab", 7), false},
      {"polygon of 2^31 points", std::string("\xFF\xFF\xFF\x7F", 4), true},
      {"polygon of -2 points", std::string("\xFD\xFF\xFF\xFF", 4), true},
      {"polygon one point short", std::string("\x01\x00\x00\x00" "12345678", 12), true},
  };
  for (const Case& c : cases) {
    TMemoryStream m;
    m.WriteBuffer(c.bytes.data(), static_cast<int64_t>(c.bytes.size()));
    m.SetPosition(0);
    TReportReader r(m);
    if (c.points) {
      EXPECT_THROW(r.Points(), EReadError) << c.name;
    } else {
      uint8_t kind;
      std::string data;
      EXPECT_THROW(r.Graphic(kind, data), EReadError) << c.name;
    }
  }
}

TEST(StreamFormat, PageCodesAreExactlyTheRecordTable) {
  for (int c = 0; c < 256; ++c) {
    bool expect = (c >= 1 && c <= 30) || (c >= 40 && c <= 43) || (c >= 50 && c <= 58) || (c >= 70 && c <= 74) || c == 82;
    EXPECT_EQ(IsPageRecordCode(static_cast<uint8_t>(c)), expect) << c;
  }
}

}  // namespace
