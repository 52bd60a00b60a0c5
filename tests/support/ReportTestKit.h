// Shared pieces of the report tests: a fixture with recording services, a page-picture
// printer installed as the report printer and a temporary folder; recording a report into
// bytes; and a plain parse of a stream into its records, so tests can state what was written.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/core/FakeServices.h"
#include "report/ReportFiler.h"
#include "report/ReportPrinter.h"
#include "support/Commands.h"

namespace rtest {

struct Rec {
  uint8_t Code = 0;
  int64_t Pos = 0;
  std::vector<double> Nums;  // numbers, ints and points in stored order
  std::string Text;
  size_t GraphicSize = 0;
};

// Every record of a well-formed stream, the report header first. The bytes are decoded here
// as the format lays them out, not by the report units' reader, so a fault the writer and
// its reader share cannot hide.
std::vector<Rec> Parse(const std::string& Bytes);
// What makes a stream unplayable, "" for none: the report header at 0; page after page a
// page header linked back to the one before and forward to the next (0 on the first and the
// last), the page's starting state, its records, its end record; nothing after the last page;
// the header's page count the number of pages.
std::string StreamFaults(const std::string& Bytes);
// The codes of Records.
std::vector<int> Codes(const std::vector<Rec>& Records);
// The records of a stream that are not page structure or page-start state: what the drawing
// code wrote.
std::vector<Rec> Drawn(const std::vector<Rec>& Records);
// The page headers among Records.
std::vector<Rec> PageHeaders(const std::vector<Rec>& Records);

std::string StreamBytes(TMemoryStream& m);
std::string ReadFile(const std::string& Name);
void WriteFile(const std::string& Name, const std::string& Bytes);
// The PDF tools that read printed pages back.
using testcmd::CommandOutput;
using testcmd::PdfSyntaxFaults;

// Another copy of the program recording into File round after round: a child process that
// saves Streams in turn as the recorder saves a stream file, until stopped, at most Rounds
// times.
class TRecordingCopy {
 public:
  TRecordingCopy(const std::string& File, const std::vector<std::string>& Streams, int Rounds = 100000);
  TRecordingCopy(const TRecordingCopy&) = delete;
  TRecordingCopy& operator=(const TRecordingCopy&) = delete;
  ~TRecordingCopy() { Stop(); }
  bool Started() const { return FPid > 0; }
  // Stops the child and waits for it; whether every save it made succeeded.
  bool Stop();

 private:
  int FPid = -1;
  int FStop = -1;  // the write end: closing it tells the child to stop
  bool FOk = false;
};

class ReportTest : public ::testing::Test {
 protected:
  ReportTest();
  ~ReportTest() override;

  std::string Path(const std::string& Name) const { return (Dir / Name).string(); }
  // Records a report whose OnPrint is Draw into bytes; Setup adjusts the recorder first.
  std::string Record(const std::function<void(TBaseReport&)>& Draw,
                     const std::function<void(TReportFiler&)>& Setup = nullptr);
  // Records into a file (memory mode, saved to FileName).
  void RecordFile(const std::string& FileName, const std::function<void(TBaseReport&)>& Draw);

  TFakeServices Fake;
  TImagePagePrinter Pages{100, 100};
  TReportPrinter* OldPrinter;
  std::filesystem::path Dir;
};

}  // namespace rtest
