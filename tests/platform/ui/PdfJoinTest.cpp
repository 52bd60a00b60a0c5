// Joining PDF documents: the pages of the parts in order, as a reader sees them; a part that
// does not hold together is refused, whatever its bytes say, and leaves the output alone.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QPainter>
#include <QPdfWriter>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>

#include "platform/gfx/PdfJoin.h"
#include "platform/gfx/Printers.h"
#include "support/Commands.h"

namespace {

namespace fs = std::filesystem;

// A document of one page per text, written by Qt's PDF writer.
std::string Document(const std::vector<std::string>& Texts) {
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&buffer);
    pdf.setTitle("part");
    QPainter p(&pdf);
    p.setFont(QFont("DejaVu Sans", 24));
    for (size_t i = 0; i < Texts.size(); ++i) {
      if (i > 0) pdf.newPage();
      p.drawText(1000, 1000, QString::fromStdString(Texts[i]));
      p.drawRect(500, 1500, 2000, 500);
      // A picture of its own on each page, as the pages of a report may carry.
      QImage picture(16, 16, QImage::Format_RGB32);
      picture.fill(QColor(255, 0, 0));
      p.drawImage(QRect(0, pdf.height() / 2, pdf.width(), pdf.height() / 2), picture);
    }
  }
  return bytes.toStdString();
}

class PdfJoinTest : public ::testing::Test {
 protected:
  PdfJoinTest() : Dir(fs::temp_directory_path() / ("orv-join-" + std::to_string(::getpid()))) {
    fs::create_directories(Dir);
  }
  ~PdfJoinTest() override { fs::remove_all(Dir); }
  std::string Path(const std::string& Name) const { return (Dir / Name).string(); }
  void Write(const std::string& Name, const std::string& Bytes) {
    std::ofstream(Path(Name), std::ios::binary) << Bytes;
  }
  std::string Read(const std::string& Name) {
    std::ifstream in(Path(Name), std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string Run(const std::string& Command) { return testcmd::CommandOutput(Command); }
  fs::path Dir;
};

TEST_F(PdfJoinTest, ThePartsPagesInOrderAsOneDocument) {
  const std::vector<std::string> parts = {Document({"alpha", "beta"}), Document({"gamma"}),
                                          Document({"delta", "epsilon", "zeta"})};
  std::vector<std::string> files;
  for (size_t i = 0; i < parts.size(); ++i) {
    Write("p" + std::to_string(i), parts[i]);
    files.push_back(Path("p" + std::to_string(i)));
  }
  JoinPdfFiles(files, Path("joined.pdf"));
  EXPECT_EQ(Read("joined.pdf"), JoinPdfDocuments(parts));
  // Well formed as the strict reader sees it, as each part is: poppler below would recover
  // from a broken object without a word.
  EXPECT_EQ(testcmd::PdfSyntaxFaults(files[0]), "");
  EXPECT_EQ(testcmd::PdfSyntaxFaults(Path("joined.pdf")), "");
  const std::string info = Run("pdfinfo '" + Path("joined.pdf") + "' 2>&1");
  EXPECT_TRUE(std::regex_search(info, std::regex("Pages: +6\n"))) << info;
  EXPECT_TRUE(std::regex_search(info, std::regex("Title: +part\n"))) << info;
  EXPECT_EQ(info.find("rror"), std::string::npos) << info;
  // Each page shows its own picture.
  const std::string images = Run("pdfimages -list '" + Path("joined.pdf") + "' 2>&1");
  for (int page = 1; page <= 6; ++page)
    EXPECT_TRUE(std::regex_search(images, std::regex("\n +" + std::to_string(page) + " +[0-9]+ image +16 +16 "))) << images;
  EXPECT_EQ(Run("pdftoppm -r 20 -png -f 5 -l 5 -singlefile '" + Path("joined.pdf") + "' '" + Path("five") + "' 2>&1"), "");
  QImage five(QString::fromStdString(Path("five.png")));
  ASSERT_FALSE(five.isNull());
  const QColor red = five.pixelColor(five.width() / 2, five.height() * 3 / 4);
  EXPECT_TRUE(red.red() > 200 && red.green() < 60 && red.blue() < 60) << red.name().toStdString();
  EXPECT_EQ(Run("pdftotext '" + Path("joined.pdf") + "' - 2>&1"),
            "alpha\n\n\fbeta\n\n\fgamma\n\n\fdelta\n\n\fepsilon\n\n\fzeta\n\n\f");
}

TEST_F(PdfJoinTest, TwoCopiesJoiningIntoOneNameLeaveOneWholeDocument) {
  // Two copies of the program print into the same folder at once: each joins parts of its own
  // into the same file name, round after round. The file is always one of the two documents,
  // whole, and nothing else is left in the folder.
  const std::vector<std::string> a = {Document({"a1", "a2"}), Document({"a3"})};
  const std::vector<std::string> b = {Document({"b1"}), Document({"b2", "b3", "b4"})};
  const std::string wholeA = JoinPdfDocuments(a), wholeB = JoinPdfDocuments(b);
  for (size_t i = 0; i < 2; ++i) {
    Write("a" + std::to_string(i), a[i]);
    Write("b" + std::to_string(i), b[i]);
  }
  for (int round = 0; round < 20; ++round) {
    std::vector<pid_t> children;
    for (const char* who : {"a", "b"}) {
      const pid_t pid = fork();
      ASSERT_GE(pid, 0);
      if (pid == 0) {
        int status = 0;
        try {
          JoinPdfFiles({Path(std::string(who) + "0"), Path(std::string(who) + "1")}, Path("out.pdf"));
        } catch (...) {
          status = 1;
        }
        _exit(status);
      }
      children.push_back(pid);
    }
    for (pid_t pid : children) {
      int status = 0;
      ASSERT_EQ(waitpid(pid, &status, 0), pid);
      EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "round " << round;
    }
    const std::string out = Read("out.pdf");
    EXPECT_TRUE(out == wholeA || out == wholeB) << "round " << round << ": " << out.size() << " bytes";
  }
  std::vector<std::string> left;
  for (const auto& e : fs::directory_iterator(Dir)) left.push_back(e.path().filename().string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"a0", "a1", "b0", "b1", "out.pdf"}));
}

TEST_F(PdfJoinTest, APartThatDoesNotHoldTogetherIsRefused) {
  const std::string good = Document({"one", "two"});
  const size_t sx = good.rfind("startxref");
  const size_t xref = good.rfind("xref\n0 ", sx - 1);
  ASSERT_NE(sx, std::string::npos);
  ASSERT_NE(xref, std::string::npos);
  auto replaced = [&](const std::string& from, const std::string& to, size_t after = 0) {
    std::string s = good;
    const size_t at = s.find(from, after);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) s.replace(at, from.size(), to);
    return s;
  };
  // The first match in the table and trailer replaced.
  auto tail = [&](const std::regex& from, const std::string& to) {
    return good.substr(0, xref) +
           std::regex_replace(good.substr(xref), from, to, std::regex_constants::format_first_only);
  };
  const std::smatch contents = [&] {
    std::smatch m;
    std::regex_search(good, m, std::regex("/Contents ([0-9]+) 0 R"));
    return m;
  }();
  ASSERT_FALSE(contents.empty());
  const struct {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"not a PDF", "hello"},
      {"empty", ""},
      {"cut before its table", good.substr(0, xref)},
      {"cut inside its table", good.substr(0, xref + 40)},
      {"cut after startxref", good.substr(0, sx + 10)},
      {"startxref past the end", good.substr(0, sx) + "startxref\n99999999999\n%%EOF\n"},
      {"startxref at the start", good.substr(0, sx) + "startxref\n0\n%%EOF\n"},
      {"a table count of billions", tail(std::regex("xref\n0 [0-9]+"), "xref\n0 999999999")},
      {"an offset past the table", tail(std::regex("[0-9]{10} 00000 n"), "9999999999 00000 n")},
      {"two objects at one offset", tail(std::regex("([0-9]{10}) 00000 n \n[0-9]{10}"), "$1 00000 n \n$1")},
      {"a reference to no object", replaced(contents[0].str(), "/Contents 99999 0 R")},
      {"no root", replaced("/Root", "/Roof", sx - 200)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_THROW(JoinPdfDocuments({good, c.bytes}), EPrinter);
  }
  // Whatever byte of the table and trailer is changed, the join either holds or is refused.
  for (size_t at = xref; at < good.size(); ++at) {
    for (char b : {'9', ' ', '0', '/', '(', '<', 'R'}) {
      std::string s = good;
      s[at] = b;
      try {
        JoinPdfDocuments({s});
      } catch (const EPrinter&) {
      }
    }
  }
  // A part refused leaves what stood under the output's name.
  Write("good", good);
  Write("bad", good.substr(0, xref));
  Write("out.pdf", "older");
  EXPECT_THROW(JoinPdfFiles({Path("good"), Path("bad")}, Path("out.pdf")), EPrinter);
  EXPECT_THROW(JoinPdfFiles({Path("good"), Path("missing")}, Path("out.pdf")), EPrinter);
  EXPECT_EQ(Read("out.pdf"), "older");
}

}  // namespace
