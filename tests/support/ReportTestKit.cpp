// The report tests' fixture and stream parse.
#include "support/ReportTestKit.h"

#include <cstdio>
#include <fstream>
#include <sstream>

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

std::vector<Rec> Parse(const std::string& Bytes) {
  TMemoryStream m;
  m.WriteBuffer(Bytes.data(), static_cast<int64_t>(Bytes.size()));
  m.SetPosition(0);
  TReportReader r(m);
  std::vector<Rec> out;
  while (r.Remaining() > 0) {
    Rec rec;
    rec.Pos = r.Position();
    rec.Code = r.Byte();
    const char* l = Layout(rec.Code);
    if (!l) {
      ADD_FAILURE() << "unknown code " << int(rec.Code) << " at " << rec.Pos;
      return out;
    }
    for (const char* k = l; *k; ++k) {
      switch (*k) {
        case 'b': rec.Nums.push_back(r.Byte()); break;
        case 'i': rec.Nums.push_back(r.Int32()); break;
        case 'n': rec.Nums.push_back(r.Number()); break;
        case 't': rec.Text = r.Text(); break;
        case 'p': { TStreamPoint p = r.Point(); rec.Nums.push_back(p.X); rec.Nums.push_back(p.Y); break; }
        case 'r': {
          TStreamRect q = r.Rect();
          rec.Nums.insert(rec.Nums.end(), {q.TopLeft.X, q.TopLeft.Y, q.BottomRight.X, q.BottomRight.Y});
          break;
        }
        case 'g': { uint8_t kind; std::string b; r.Graphic(kind, b); rec.GraphicSize = b.size(); break; }
        case 'P': {
          auto pts = r.Points();
          rec.Nums.push_back(static_cast<double>(pts.size()) - 1);
          for (auto& p : pts) { rec.Nums.push_back(p.X); rec.Nums.push_back(p.Y); }
          break;
        }
        case 'f': {
          uint8_t flag = r.Byte();
          rec.Nums.push_back(flag);
          if (flag) { uint8_t kind; std::string b; r.Graphic(kind, b); rec.GraphicSize = b.size(); }
          break;
        }
      }
    }
    out.push_back(rec);
  }
  return out;
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

std::string CommandOutput(const std::string& Command) {
  std::string out;
  if (FILE* f = ::popen(Command.c_str(), "r")) {
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    ::pclose(f);
  }
  return out;
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
