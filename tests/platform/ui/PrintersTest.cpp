// The printer writes its pages to a PDF file when told to (or when no printer is installed),
// through the same canvas operations as the screen, and puts the file in its place whole; Abort
// leaves no file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <vector>

#include "platform/core/TextCodec.h"
#include "platform/gfx/Printers.h"

namespace {

std::string ReadAll(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

TEST(PrinterTest, PagesGoToThePdfFile) {
  auto dir = std::filesystem::temp_directory_path() / ("orv-print-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  std::string out = (dir / "notes.pdf").string();
  TPrinter& p = Printer();
  p.OutputFileName = out;
  p.Title = ".";
  p.BeginDoc();
  EXPECT_THROW(p.BeginDoc(), EPrinter);
  EXPECT_TRUE(p.Printing());
  EXPECT_GT(p.XDPI(), 96);
  int inch = p.YDPI();
  p.Canvas().Font().SetName(cp949::K("바탕"));
  p.Canvas().Font().SetSize(12);
  p.Canvas().TextOut(inch, inch, cp949::K("첫 쪽: 본문"));
  p.Canvas().MoveTo(inch, 2 * inch);
  p.Canvas().LineTo(p.PageWidth() - inch, 2 * inch);
  p.NewPage();
  EXPECT_EQ(p.PageNumber(), 2);
  p.Canvas().TextOut(inch, inch, "- 2 -");
  p.EndDoc();
  EXPECT_FALSE(p.Printing());
  EXPECT_EQ(p.LastOutputFile(), out);
  std::string pdf = ReadAll(out);
  ASSERT_GT(pdf.size(), 100u);
  EXPECT_EQ(pdf.substr(0, 5), "%PDF-");
  std::regex page("/Type\\s*/Page[^s]");
  EXPECT_EQ(std::distance(std::sregex_iterator(pdf.begin(), pdf.end(), page), std::sregex_iterator()), 2);

  std::string aborted = (dir / "aborted.pdf").string();
  p.OutputFileName = aborted;
  p.BeginDoc();
  p.Canvas().TextOut(10, 10, "x");
  p.Abort();
  EXPECT_TRUE(p.Aborted());
  EXPECT_FALSE(std::filesystem::exists(aborted));

  // While a document is written its name still holds the one before, whole; an aborted
  // document leaves that one; nothing else is left in the folder.
  p.OutputFileName = out;
  p.BeginDoc();
  p.Canvas().TextOut(10, 10, "third");
  EXPECT_EQ(ReadAll(out), pdf);
  p.EndDoc();
  const std::string third = ReadAll(out);
  EXPECT_NE(third, pdf);
  EXPECT_EQ(third.substr(0, 5), "%PDF-");
  p.BeginDoc();
  p.Canvas().TextOut(10, 10, "fourth");
  p.Abort();
  EXPECT_EQ(ReadAll(out), third);
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::directory_iterator(dir)) left.push_back(e.path().filename().string());
  EXPECT_EQ(left, std::vector<std::string>{"notes.pdf"});
  p.OutputFileName.clear();
  std::filesystem::remove_all(dir);
}

}  // namespace
