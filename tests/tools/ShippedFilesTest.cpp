// The shipped default files: the generator builds them from tools/shipped, and they read back
// through the engine the way the program will read them after renaming them into place.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

#include "engine/include/xbeng61.h"
#include "platform/core/Cp949.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

namespace fs = std::filesystem;
using cp949::K;

namespace {

const fs::path kGenerator = fs::path(ORV_BINARY_DIR) / "bin" / "mkshipped";
const fs::path kDescriptions = fs::path(ORV_SOURCE_DIR) / "tools" / "shipped";

fs::path FreshDir(const std::string& name) {
  fs::path dir = fs::temp_directory_path() / ("orv_shipped_" + name + "_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  return dir;
}

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

struct RunResult {
  int status;
  std::string errors;
};

RunResult RunGenerator(const fs::path& out, const std::vector<fs::path>& descriptions) {
  const fs::path err = out.parent_path() / (out.filename().string() + ".stderr");
  std::string cmd = "'" + kGenerator.string() + "' '" + out.string() + "'";
  for (const fs::path& d : descriptions) cmd += " '" + d.string() + "'";
  cmd += " 2>'" + err.string() + "'";
  const int rc = std::system(cmd.c_str());
  RunResult r{WIFEXITED(rc) ? WEXITSTATUS(rc) : -1, Slurp(err)};
  fs::remove(err);
  return r;
}

std::vector<fs::path> AllDescriptions() {
  std::vector<fs::path> out;
  for (const auto& e : fs::directory_iterator(kDescriptions)) {
    if (e.path().extension() == ".txt") out.push_back(e.path());
  }
  return out;
}

// Generated once for the whole suite.
class ShippedFiles : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    share_ = new fs::path(FreshDir("share"));
    generated_ = RunGenerator(*share_, AllDescriptions());
  }
  static void TearDownTestSuite() {
    fs::remove_all(*share_);
    delete share_;
  }

  void SetUp() override {
    ASSERT_EQ(generated_.status, 0) << generated_.errors;
    data_ = FreshDir("data");
  }
  void TearDown() override {
    xb_CloseAll();
    fs::remove_all(data_);
  }

  // Copies a shipped file under the name the program gives it and opens the table.
  void Open(const std::string& shippedData, const std::string& dbf, const std::string& shippedMemo = "",
            const std::string& smt = "") {
    fs::copy_file(*share_ / shippedData, data_ / dbf);
    if (!shippedMemo.empty()) fs::copy_file(*share_ / shippedMemo, data_ / smt);
    const XbShort area = xb_UseEx((data_ / dbf).c_str(), "T", XB_OPEN_SHARED, XB_TT_NSX, 0);
    ASSERT_GT(area, 0) << dbf;
    xb_Select(area);
    xb_SetDeleted(0);
  }

  static std::string Memo(const char* field) {
    char* m = xb_GetMemo(field, 0);
    std::string s = m ? m : "";
    if (m) xb_MemDealloc(m);
    return s;
  }

  static fs::path* share_;
  static RunResult generated_;
  fs::path data_;
};

fs::path* ShippedFiles::share_ = nullptr;
RunResult ShippedFiles::generated_;

TEST_F(ShippedFiles, ExactlyTheShippedFilesAreWritten) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(*share_)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"FFDB.DBF", "condb20._db", "orvel058._db", "orvel058._sm",
                                             "orvel27c._db", "orvel27c._sm"}));
}

struct NoteFileCase {
  const char* base;
  std::vector<std::string> labels;  // UTF-8, trimmed
};

TEST_F(ShippedFiles, NoteFilesHaveTheLayoutHeaderAndReadableBodies) {
  const std::vector<NoteFileCase> files = {
      {"orvel27c", {"제  목", "분  류", "출  처", "키워드"}},
      {"orvel058", {"책 제목", "지은이", "출판사", "키워드"}},
  };
  const std::vector<std::pair<std::string, int>> layout = {
      {"MMM", 10}, {"KNO", 12}, {"CHK", 1}, {"LOCK", 1}, {"TYPE", 1},
      {"BIBLE", 4}, {"TIT1", 60}, {"TIT2", 40}, {"TIT3", 40}, {"TIT4", 60}};
  for (const NoteFileCase& nf : files) {
    SCOPED_TRACE(nf.base);
    const std::string b = nf.base;
    Open(b + "._db", b + ".dbf", b + "._sm", b + ".smt");

    ASSERT_EQ(xb_FieldCount(), 10);
    for (std::size_t i = 0; i < layout.size(); ++i) {
      const std::string name = xb_FieldName(static_cast<XbShort>(i + 1));
      EXPECT_TRUE(SameText(name, layout[i].first)) << "field " << i + 1 << " is " << name;
      EXPECT_EQ(std::string(xb_FieldType(name.c_str())).substr(0, 1), i == 0 ? "M" : "C") << name;
      EXPECT_EQ(xb_FieldWidth(name.c_str()), layout[i].second) << name;
    }

    // The header: record 1, deleted, labels in four 8-byte slices of tit1.
    ASSERT_GE(xb_RecCount(), 3);
    xb_Go(1);
    EXPECT_NE(xb_Deleted(), 0) << "the header must stay hidden";
    const std::string tit1 = xb_GetString("tit1");
    ASSERT_EQ(tit1.size(), 60u);
    for (int s = 0; s < 4; ++s) {
      EXPECT_TRUE(cp949::IsCharBoundary(tit1, static_cast<std::size_t>(8 * s))) << "slice " << s;
      EXPECT_EQ(cp949::ToUtf8(Trim(tit1.substr(static_cast<std::size_t>(8 * s), 8))), nf.labels[static_cast<std::size_t>(s)]);
    }
    EXPECT_TRUE(cp949::IsCharBoundary(tit1, 32));
    EXPECT_EQ(Trim(tit1.substr(32)), "") << "nothing after the four labels";
    EXPECT_NE(std::string(xb_GetTrimString("tit2")), "") << "description";
    EXPECT_EQ(std::string(xb_GetString("lock")), " ");

    // The notes: visible, titled, with bodies that read back as text of their kind.
    int marked = 0, rich = 0;
    for (XbLong r = 2; r <= xb_RecCount(); ++r) {
      SCOPED_TRACE("record " + std::to_string(r));
      xb_Go(r);
      EXPECT_EQ(xb_Deleted(), 0);
      EXPECT_NE(std::string(xb_GetTrimString("tit1")), "");
      const std::string chk = xb_GetString("chk");
      EXPECT_TRUE(chk == "v" || chk == " ") << "'" << chk << "'";
      marked += chk == "v";
      const std::string type = xb_GetString("type");
      const std::string body = Memo("mmm");
      ASSERT_FALSE(body.empty());
      if (type == "R") {
        ++rich;
        EXPECT_EQ(body.rfind("{\\rtf1", 0), 0u);
        EXPECT_NE(body.find("\\ansicpg949"), std::string::npos);
        for (unsigned char c : body) ASSERT_LT(c, 0x80) << "rich text keeps Korean in \\'hh escapes";
      } else {
        EXPECT_EQ(type, " ");
        EXPECT_EQ(cp949::ToUtf8(body).find("\xEF\xBF\xBD"), std::string::npos) << "body is not clean CP949";
        EXPECT_NE(body.find("\r\n"), std::string::npos) << "lines end in CR LF";
      }
    }
    EXPECT_GE(marked, 1) << "a V-marked note";
    if (b == "orvel27c") {
      EXPECT_GE(rich, 2);
    }
    xb_CloseAll();
  }
}

TEST_F(ShippedFiles, RichSampleLinksToAnotherNoteAndTheWeb) {
  Open("orvel27c._db", "orvel27c.dbf", "orvel27c._sm", "orvel27c.smt");
  std::vector<std::string> titles;
  std::string links;
  for (XbLong r = 2; r <= xb_RecCount(); ++r) {
    xb_Go(r);
    titles.push_back(xb_GetTrimString("tit1"));
    if (std::string(xb_GetString("type")) == "R") links += Memo("mmm");
  }
  // A link is green and underlined; the green is entry 1 of the colour tables.
  EXPECT_NE(links.find("\\red0\\green128\\blue0;"), std::string::npos);
  EXPECT_NE(links.find("\\cf1\\ul www.example.org"), std::string::npos);
  const std::string target = K("새 메모 쓰기");
  EXPECT_NE(std::find(titles.begin(), titles.end(), target), titles.end());
  std::string escaped = "\\cf1\\ul ";
  for (unsigned char c : target) {
    char hex[8];
    std::snprintf(hex, sizeof hex, c < 0x80 ? "%c" : "\\'%02x", c);
    escaped += hex;
  }
  EXPECT_NE(links.find(escaped), std::string::npos) << "a link to the note " << cp949::ToUtf8(target);
}

TEST_F(ShippedFiles, SettingsRecordSelectsTheSampleFile) {
  Open("condb20._db", "condb20.dbf");
  ASSERT_EQ(xb_RecCount(), 1);
  xb_Go(1);
  EXPECT_EQ(xb_Deleted(), 0);
  EXPECT_EQ(std::string(xb_GetString("d2")), "0270") << "compared untrimmed";
  EXPECT_EQ(std::string(xb_GetString("k3")), " ") << "compared untrimmed";
  const std::string fname = xb_GetTrimString("fname");
  EXPECT_EQ(fname, "orvel27c.dbf");
  for (const char* f : {"n1", "n2", "n3", "n4", "k1", "font1", "fsize1", "FType1", "font2", "fsize2",
                        "FType2", "font3", "fsize3", "ftype3", "scolor", "font4"}) {
    EXPECT_GT(xb_FieldNum(f), 0) << f;
    EXPECT_EQ(std::string(xb_FieldType(f)).substr(0, 1), "C") << f;
  }
  EXPECT_EQ(std::string(xb_GetString("font4")).size(), 6u);
  EXPECT_GE(StrToIntDef(Trim(xb_GetString("n3")), 0), 300) << "a usable window width";
  for (const char* f : {"utab1", "utab2"}) {
    EXPECT_EQ(std::string(xb_FieldType(f)).substr(0, 1), "N") << f;
    EXPECT_GE(xb_GetLong(f), 1) << f;
    EXPECT_LE(xb_GetLong(f), 8) << f;
  }
}

TEST_F(ShippedFiles, DictionaryHoldsKeywords) {
  Open("FFDB.DBF", "FFDB.DBF");
  ASSERT_GT(xb_FieldNum("ff"), 0);
  ASSERT_GT(xb_RecCount(), 10);
  for (XbLong r = 1; r <= xb_RecCount(); ++r) {
    xb_Go(r);
    EXPECT_EQ(xb_Deleted(), 0);
    const std::string w = xb_GetTrimString("ff");
    EXPECT_GE(w.size(), 2u) << "record " << r << ": keys are sought by their first two bytes";
    EXPECT_EQ(w.find(' '), std::string::npos) << "a keyword is one word";
  }
}

// A fault in a description stops the generator with a message naming file and line, and
// nothing is shipped.
TEST(ShippedGenerator, RefusesFaultyDescriptions) {
  const std::string head = "table t\nship t._db\ntype 3\nfield a C 4\nfield n N 2\nrecord\n";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {head + "a = abcde\n", ":7:"},                         // wider than its field
      {head + "a = " + "\xEA\xB0\x80\xEA\xB0\x80\xEA\xB0\x80\n", ":7:"},  // 6 bytes in 4
      {head + "b = x\n", ":7:"},                             // no such field
      {head + "a = x\na = y\n", ":8:"},                      // given twice
      {head + "n = twelve\n", ":7:"},                        // not a number
      {head + "a <<END\nno end\n", ":7:"},                   // unclosed text block
      {head + "a = \xF0\x9F\x98\x80\n", ":7:"},              // no code page 949 form
      {"table t\nship t._db\nfield a Q 4\n", ":3:"},         // unknown type
      {"table t\nship t._db t._sm\nfield a C 4\n", ":1:"},   // memo file without memo fields
  };
  const fs::path dir = FreshDir("faulty");
  for (std::size_t i = 0; i < cases.size(); ++i) {
    SCOPED_TRACE("case " + std::to_string(i));
    const fs::path desc = dir / "t.txt";
    std::ofstream(desc, std::ios::binary) << cases[i].first;
    const fs::path out = dir / ("out" + std::to_string(i));
    const RunResult r = RunGenerator(out, {desc});
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.errors.find("t.txt" + cases[i].second), std::string::npos) << r.errors;
    EXPECT_FALSE(fs::exists(out / "t._db"));
  }
  fs::remove_all(dir);
}

}  // namespace
