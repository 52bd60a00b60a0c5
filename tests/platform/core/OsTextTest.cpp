// The boundary between program text (code page 949) and the system's UTF-8 names and text
// files: names checked on disk with the system's own calls, raw CP949 names of older copies,
// names without a CP949 form, and text files in either encoding.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/core/OsText.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

using cp949::K;

namespace {

const char kEmoji[] = "\xF0\x9F\x98\x80";  // U+1F600, which code page 949 does not have

// The entries of a folder as the system names them.
std::vector<std::string> OnDisk(const std::string& folder) {
  std::vector<std::string> out;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return out;
  while (dirent* e = ::readdir(d))
    if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") out.push_back(e->d_name);
  ::closedir(d);
  std::sort(out.begin(), out.end());
  return out;
}

void MakeFile(const std::string& systemPath, const std::string& bytes = "x") {
  const int fd = ::open(systemPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  ASSERT_GE(fd, 0) << systemPath;
  ASSERT_EQ(::write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  ::close(fd);
}

class OsTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (ostext::SystemEncoding() != ostext::Encoding::Utf8)
      GTEST_SKIP() << "the locale does not name files in UTF-8";
    char tmpl[] = "/tmp/orv-ostext-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir.empty()) std::filesystem::remove_all(dir, ec);
  }
  std::string dir;  // ASCII: the same in both encodings
};

TEST(OsText, TheLocaleDecidesTheEncodingOfNames) {
  struct Case {
    const char* codeset;
    ostext::Encoding encoding;
  } cases[] = {{"UTF-8", ostext::Encoding::Utf8},     {"utf8", ostext::Encoding::Utf8},
               {"ANSI_X3.4-1968", ostext::Encoding::Utf8}, {"", ostext::Encoding::Utf8},
               {"ISO-8859-1", ostext::Encoding::Utf8}, {"EUC-KR", ostext::Encoding::Cp949},
               {"euckr", ostext::Encoding::Cp949},     {"CP949", ostext::Encoding::Cp949},
               {"UHC", ostext::Encoding::Cp949}};
  for (const Case& c : cases) EXPECT_EQ(ostext::EncodingOfCodeset(c.codeset), c.encoding) << c.codeset;
}

TEST_F(OsTextTest, NamesCrossBothWaysAndNothingIsSilentlyRenamed) {
  std::string name;
  EXPECT_EQ(ostext::ToSystem(K("노트.dbf")), "노트.dbf");
  ASSERT_TRUE(ostext::ProgramName("노트.dbf", name));
  EXPECT_EQ(name, K("노트.dbf"));
  ASSERT_TRUE(ostext::ProgramName(K("옛이름.dbf"), name)) << "a raw CP949 name of an older copy";
  EXPECT_EQ(name, K("옛이름.dbf"));
  EXPECT_FALSE(ostext::ProgramName(std::string("memo") + kEmoji + ".dbf", name));
  EXPECT_FALSE(ostext::ProgramName("\xFF\xFE.dbf", name)) << "neither UTF-8 nor CP949";
  EXPECT_EQ(ostext::ShownName(std::string("메모") + kEmoji + ".dbf"), K("메모?.dbf"));
  const std::string message = ostext::NameMessage(std::string("메모") + kEmoji + ".dbf");
  EXPECT_NE(message.find(K("\"메모?.dbf\"")), std::string::npos) << cp949::ToUtf8(message);
  EXPECT_NE(message.find("U+1F600"), std::string::npos) << cp949::ToUtf8(message);
}

TEST_F(OsTextTest, FilesWithKoreanNamesAreMadeListedRenamedAndDeletedUnderTheirUtf8Names) {
  const std::string folder = dir + "/" + K("한글폴더");
  ASSERT_TRUE(std::filesystem::create_directory(dir + "/한글폴더"));
  ASSERT_TRUE(DirectoryExists(folder));
  WriteFileBytes(folder + "/" + K("노트.smt"), "body");
  WriteFileBytes(folder + "/" + K("메모.SMT"), "other");
  EXPECT_EQ(OnDisk(dir + "/한글폴더"), (std::vector<std::string>{"노트.smt", "메모.SMT"}));
  EXPECT_EQ(FindFiles(folder, "*.smt"), (std::vector<std::string>{K("노트.smt"), K("메모.SMT")}));
  EXPECT_EQ(FileSizeOf(folder + "/" + K("노트.smt")), 4);
  EXPECT_EQ(ReadFileBytes(folder + "/" + K("메모.SMT")), "other");

  ASSERT_TRUE(RenameFile(folder + "/" + K("노트.smt"), folder + "/" + K("일기.smt")));
  EXPECT_FALSE(RenameFile(folder + "/" + K("일기.smt"), folder + "/" + K("메모.SMT"))) << "never replaces";
  ASSERT_TRUE(DeleteFile(folder + "/" + K("메모.SMT")));
  EXPECT_EQ(OnDisk(dir + "/한글폴더"), (std::vector<std::string>{"일기.smt"}));

  // The folder as the current one: its name comes back as program text.
  const std::string old = GetCurrentDir();
  ASSERT_TRUE(SetCurrentDir(folder));
  EXPECT_EQ(GetCurrentDir(), folder);
  EXPECT_EQ(CurrentDirError(), "");
  EXPECT_EQ(FindFolders(dir), (std::vector<std::string>{K("한글폴더")}));
  ASSERT_TRUE(SetCurrentDir(old));
}

TEST_F(OsTextTest, RawCp949NamesOfOlderCopiesAreStillFound) {
  // Folder and file written by an older copy that named them in CP949 bytes.
  const std::string rawFolder = dir + "/" + K("옛폴더");
  ASSERT_EQ(::mkdir(rawFolder.c_str(), 0755), 0);
  MakeFile(rawFolder + "/" + K("옛노트.smt"), "old body");
  MakeFile(rawFolder + "/new.smt");
  const std::string file = rawFolder + "/" + K("옛노트.smt");
  EXPECT_TRUE(DirectoryExists(rawFolder));
  EXPECT_TRUE(FileExists(file));
  EXPECT_EQ(ReadFileBytes(file), "old body");
  EXPECT_EQ(FindFiles(rawFolder, "*.smt"), (std::vector<std::string>{"new.smt", K("옛노트.smt")}));
  // A new file beside them takes a UTF-8 name in the raw folder.
  WriteFileBytes(rawFolder + "/" + K("새노트.smt"), "new");
  EXPECT_TRUE(std::filesystem::exists(rawFolder + "/새노트.smt"));
  ASSERT_TRUE(RenameFile(file, rawFolder + "/" + K("옮김.smt")));
  EXPECT_TRUE(std::filesystem::exists(rawFolder + "/옮김.smt"));
}

TEST_F(OsTextTest, NamesWithoutACp949FormAreLeftOutAndNamed) {
  MakeFile(dir + "/plain.smt");
  MakeFile(dir + "/memo" + kEmoji + ".smt");
  MakeFile(dir + "/memo" + kEmoji + ".txt");
  std::vector<std::string> unnamed;
  EXPECT_EQ(FindFiles(dir, "*.smt", &unnamed), std::vector<std::string>{"plain.smt"});
  ASSERT_EQ(unnamed.size(), 1u) << "only the match of the mask";
  EXPECT_NE(unnamed[0].find("memo?.smt"), std::string::npos);
  EXPECT_NE(unnamed[0].find("U+1F600"), std::string::npos);

  const std::string odd = dir + "/odd" + kEmoji;
  ASSERT_EQ(::mkdir(odd.c_str(), 0755), 0);
  const std::string old = GetCurrentDir();
  ASSERT_EQ(::chdir(odd.c_str()), 0);
  EXPECT_EQ(GetCurrentDir(), "") << "not some other folder's name";
  EXPECT_NE(CurrentDirError().find("odd?"), std::string::npos);
  ASSERT_TRUE(SetCurrentDir(old));
}

TEST(OsText, TextFilesAreReadInEitherEncodingAndWrittenInUtf8) {
  if (ostext::SystemEncoding() != ostext::Encoding::Utf8) GTEST_SKIP() << "the locale's text files are not UTF-8";
  const std::string program = K("첫째 줄 가나다\r\nsecond\r\n");
  struct Case {
    const char* what;
    std::string file;
    bool ok;
    std::string text;  // or the failure
  } cases[] = {
      {"UTF-8", "첫째 줄 가나다\r\nsecond\r\n", true, program},
      {"UTF-8 with a byte-order mark", "\xEF\xBB\xBF첫째 줄 가나다\r\nsecond\r\n", true, program},
      {"CP949", program, true, program},
      {"ASCII", "plain\r\n", true, "plain\r\n"},
      {"empty", "", true, ""},
      {"UTF-8 with a character CP949 lacks", std::string("smile ") + kEmoji, false, "U+1F600"},
      {"a byte-order mark before CP949 bytes", "\xEF\xBB\xBF" + K("가"), false, "byte 0xB0"},
  };
  for (const Case& c : cases) {
    std::string text, failure;
    EXPECT_EQ(ostext::TextFromFile(c.file, text, failure), c.ok) << c.what;
    EXPECT_EQ(c.ok ? text : failure, c.text) << c.what;
  }
  EXPECT_EQ(ostext::TextToFile(program), "첫째 줄 가나다\r\nsecond\r\n");
}

}  // namespace

// ---- what the system says -------------------------------------------------------------------

#include "platform/core/FakeServices.h"
#include "platform/core/Services.h"
#include "support/KoreanLocale.h"

namespace {

// Under a Korean desktop's locale the system speaks Korean in UTF-8: its words reach the user
// as the same Korean inside the program, in a message box and in the library loader's reason.
TEST(OsTextSystemWords, KoreanUtf8MessagesArriveReadable) {
  koreanlocale::Scope korean;
  if (!korean) GTEST_SKIP() << korean.Why();
  const std::string noSuchFile = cp949::FromUtf8("그런 파일이나 디렉터리가 없습니다");
  TFakeServices fake;
  const std::string missing = "/nonexistent-orv/" + cp949::FromUtf8("없는 파일.txt");
  try {
    TFileStream f(missing, fmOpenRead);
    FAIL() << "opened";
  } catch (const std::exception& e) {
    ShowException(e);
  }
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, "Cannot open file \"" + missing + "\". " + noSuchFile + ".")
      << cp949::ToUtf8(fake.Boxes[0].Text);

  TDlLibraryLoader loader({}, false);
  EXPECT_EQ(loader.Open("/nonexistent-orv/libnothing.so"), nullptr);
  EXPECT_NE(loader.LastError().find(noSuchFile), std::string::npos) << cp949::ToUtf8(loader.LastError());

  // The reasons the program gives in its own words stay Korean whatever the locale.
  EXPECT_EQ(SysErrorMessage(EACCES), cp949::FromUtf8("권한이 없습니다."));
  EXPECT_EQ(ostext::TextFromSystem("\xE2\x9C\x93 ok"), "? ok") << "a character without a CP949 form";
}

}  // namespace
