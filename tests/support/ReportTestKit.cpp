// The report tests' fixture and stream parse.
#include "support/ReportTestKit.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace rtest {

namespace {

// Operand layouts by code: b byte, i int32, t text, n number, p point, r rect, g graphic,
// P point list, f brush-bitmap flag (a graphic follows a flag of 1).
const char* Layout(uint8_t c) {
  switch (c) {
    case 1: case 3: case 13: return "pppp";
    case 2: return "grri";
    case 4: return "rir";
    case 5: return "gp";
    case 6: case 8: case 10: return "r";
    case 7: case 18: case 19: return "pp";
    case 9: return "pii";
    case 11: case 12: return "p";
    case 14: case 15: return "P";
    case 16: return "gpnn";
    case 17: return "gpp";
    case 20: return "ppnn";
    case 21: return "gr";
    case 22: return "rpt";
    case 23: case 24: case 25: return "ntn";
    case 26: case 42: case 53: case 55: case 56: case 57: case 58: case 72: case 73: return "b";
    case 27: case 41: case 52: case 71: return "i";
    case 28: case 29: case 54: case 74: return "n";
    case 30: case 51: return "t";
    case 43: return "f";
    case 80: return "iiib";
    case 81: return "iiinnnnnnbiiiit";
    case 82: return "";
    default: return nullptr;
  }
}

}  // namespace

namespace {

// The stream's bytes read as the format table lays them out, without the report units' own
// reader: little-endian, numbers in IEEE single precision. Reading past the end sets Short.
class TDecoder {
 public:
  explicit TDecoder(const std::string& Bytes) : B(Bytes) {}
  bool Short = false;
  size_t At = 0;
  bool AtEnd() const { return At >= B.size(); }

  uint8_t Byte() {
    if (!Have(1)) return 0;
    return static_cast<uint8_t>(B[At++]);
  }
  int32_t Int32() {
    if (!Have(4)) return 0;
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(B[At + static_cast<size_t>(i)]);
    At += 4;
    return static_cast<int32_t>(v);
  }
  double Number() {
    const uint32_t bits = static_cast<uint32_t>(Int32());
    float f;
    std::memcpy(&f, &bits, 4);
    return f;
  }
  std::string Bytes(size_t n) {
    if (!Have(n)) return {};
    std::string s = B.substr(At, n);
    At += n;
    return s;
  }
  std::string Text() { return Bytes(Byte()); }
  // A graphic operand: kind, int32 size, the bytes; the size of the bytes.
  size_t Graphic() {
    Byte();
    const int32_t n = Int32();
    if (n < 0) {
      Short = true;
      return 0;
    }
    Bytes(static_cast<size_t>(n));
    return static_cast<size_t>(n);
  }

 private:
  bool Have(size_t n) {
    if (Short || B.size() - std::min(At, B.size()) < n) {
      Short = true;
      return false;
    }
    return true;
  }
  const std::string& B;
};

// Reads one record at the decoder's position; false for a code outside the table or a record
// cut short.
bool DecodeRecord(TDecoder& d, Rec& rec) {
  rec.Pos = static_cast<int64_t>(d.At);
  rec.Code = d.Byte();
  const char* l = Layout(rec.Code);
  if (!l || d.Short) return false;
  for (const char* k = l; *k; ++k) {
    switch (*k) {
      case 'b': rec.Nums.push_back(d.Byte()); break;
      case 'i': rec.Nums.push_back(d.Int32()); break;
      case 'n': rec.Nums.push_back(d.Number()); break;
      case 't': rec.Text = d.Text(); break;
      case 'p': rec.Nums.push_back(d.Number()); rec.Nums.push_back(d.Number()); break;
      case 'r': for (int i = 0; i < 4; ++i) rec.Nums.push_back(d.Number()); break;
      case 'g': rec.GraphicSize = d.Graphic(); break;
      case 'P': {
        const int32_t h = d.Int32();
        if (h < 0) return false;
        rec.Nums.push_back(h);
        for (int32_t i = 0; i <= h && !d.Short; ++i) {
          rec.Nums.push_back(d.Number());
          rec.Nums.push_back(d.Number());
        }
        break;
      }
      case 'f': {
        const uint8_t flag = d.Byte();
        rec.Nums.push_back(flag);
        if (flag) rec.GraphicSize = d.Graphic();
        break;
      }
    }
  }
  return !d.Short;
}

}  // namespace

std::vector<Rec> Parse(const std::string& Bytes) {
  TDecoder d(Bytes);
  std::vector<Rec> out;
  while (!d.AtEnd()) {
    Rec rec;
    if (!DecodeRecord(d, rec)) {
      ADD_FAILURE() << (d.Short ? "record cut short" : "unknown code " + std::to_string(rec.Code)) << " at "
                    << rec.Pos;
      return out;
    }
    out.push_back(rec);
  }
  return out;
}

std::string StreamFaults(const std::string& Bytes) {
  // The state every page begins with, in its order.
  static const std::vector<int> kPageState = {41, 42, 43, 51, 52, 53, 54, 55, 57, 56, 58,
                                              71, 72, 73, 74, 28, 29, 26, 27};
  TDecoder d(Bytes);
  Rec head;
  if (!DecodeRecord(d, head) || head.Code != rcReportHeader || head.Pos != 0) return "no report header at 0";
  const int64_t count = static_cast<int64_t>(head.Nums[0]);
  std::vector<int64_t> pages;  // where each page header stands
  int64_t prevExpected = 0;
  int64_t pendingNext = -1;    // the last page's next link, to be met by the next header
  while (!d.AtEnd()) {
    Rec h;
    if (!DecodeRecord(d, h)) return "bad record at " + std::to_string(h.Pos);
    if (h.Code != rcPageHeader) return "code " + std::to_string(h.Code) + " at " + std::to_string(h.Pos) + " where a page begins";
    const std::string page = "page " + std::to_string(pages.size() + 1) + " at " + std::to_string(h.Pos);
    if (pendingNext >= 0 && pendingNext != h.Pos)
      return "the page before " + page + " links on to " + std::to_string(pendingNext);
    if (static_cast<int64_t>(h.Nums[0]) != prevExpected)
      return page + " links back to " + std::to_string(static_cast<int64_t>(h.Nums[0]));
    pages.push_back(h.Pos);
    prevExpected = h.Pos;
    pendingNext = static_cast<int64_t>(h.Nums[1]);
    for (int code : kPageState) {
      Rec st;
      if (!DecodeRecord(d, st) || st.Code != code)
        return page + ": state record " + std::to_string(st.Code) + " where " + std::to_string(code) + " belongs";
    }
    for (;;) {
      Rec r;
      if (!DecodeRecord(d, r))
        return page + ": " + (d.Short ? "ends without its end record" : "unknown code " + std::to_string(r.Code)) +
               " at " + std::to_string(r.Pos);
      if (r.Code == rcEndPage) break;
      if (r.Code == rcPageHeader || r.Code == rcReportHeader)
        return page + ": code " + std::to_string(r.Code) + " inside the page at " + std::to_string(r.Pos);
    }
  }
  if (pendingNext > 0) return "the last page links on to " + std::to_string(pendingNext);
  if (count != static_cast<int64_t>(pages.size()))
    return "the header counts " + std::to_string(count) + " pages, the stream holds " + std::to_string(pages.size());
  return std::string();
}

std::vector<int> Codes(const std::vector<Rec>& Records) {
  std::vector<int> c;
  for (const Rec& r : Records) c.push_back(r.Code);
  return c;
}

std::vector<Rec> Drawn(const std::vector<Rec>& Records) {
  std::vector<Rec> out;
  bool inState = false;
  for (const Rec& r : Records) {
    if (r.Code == rcReportHeader || r.Code == rcEndPage) continue;
    if (r.Code == rcPageHeader) {
      inState = true;
      continue;
    }
    if (inState) {
      // The page-start state ends with its background colour.
      if (r.Code == rcBackColor) inState = false;
      continue;
    }
    out.push_back(r);
  }
  return out;
}

std::vector<Rec> PageHeaders(const std::vector<Rec>& Records) {
  std::vector<Rec> out;
  for (const Rec& r : Records)
    if (r.Code == rcPageHeader) out.push_back(r);
  return out;
}

std::string StreamBytes(TMemoryStream& m) {
  return std::string(static_cast<const char*>(m.Memory()), static_cast<size_t>(m.Size()));
}

std::string ReadFile(const std::string& Name) {
  std::ifstream in(Name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& Name, const std::string& Bytes) {
  std::ofstream out(Name, std::ios::binary | std::ios::trunc);
  out << Bytes;
}

TRecordingCopy::TRecordingCopy(const std::string& File, const std::vector<std::string>& Streams, int Rounds) {
  int stop[2];
  if (Streams.empty() || ::pipe(stop) != 0) return;
  FPid = ::fork();
  if (FPid != 0) {
    ::close(stop[0]);
    FStop = stop[1];
    return;
  }
  ::close(stop[1]);
  ::fcntl(stop[0], F_SETFL, O_NONBLOCK);
  std::vector<std::unique_ptr<TMemoryStream>> streams;
  for (const std::string& b : Streams) {
    streams.push_back(std::make_unique<TMemoryStream>());
    streams.back()->WriteBuffer(b.data(), static_cast<int64_t>(b.size()));
  }
  int status = 0;
  for (int round = 0; round < Rounds; ++round) {
    char c;
    if (::read(stop[0], &c, 1) == 0) break;  // the parent closed its end
    try {
      SaveReportStream(*streams[static_cast<size_t>(round) % streams.size()], File);
    } catch (...) {
      status = 1;
    }
  }
  ::_exit(status);
}

bool TRecordingCopy::Stop() {
  if (FPid <= 0) return FOk;
  ::close(FStop);
  int status = 0;
  FOk = ::waitpid(FPid, &status, 0) == FPid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
  FPid = -1;
  return FOk;
}

ReportTest::ReportTest() {
  OldPrinter = SetReportPrinter(&Pages);
  static int n = 0;
  Dir = std::filesystem::temp_directory_path() /
        ("orv-report-" + std::to_string(::getpid()) + "-" + std::to_string(++n));
  std::filesystem::create_directories(Dir);
}

ReportTest::~ReportTest() {
  SetReportPrinter(OldPrinter);
  std::error_code ec;
  std::filesystem::remove_all(Dir, ec);
}

std::string ReportTest::Record(const std::function<void(TBaseReport&)>& Draw,
                               const std::function<void(TReportFiler&)>& Setup) {
  TReportFiler f;
  TMemoryStream m;
  f.StreamMode = smUser;
  f.Stream = &m;
  f.OnPrint = [&](TObject* s) { Draw(*static_cast<TBaseReport*>(s)); };
  if (Setup) Setup(f);
  f.Execute();
  return StreamBytes(m);
}

void ReportTest::RecordFile(const std::string& FileName, const std::function<void(TBaseReport&)>& Draw) {
  TReportFiler f;
  f.FileName = FileName;
  f.OnPrint = [&](TObject* s) { Draw(*static_cast<TBaseReport*>(s)); };
  f.Execute();
}

}  // namespace rtest
