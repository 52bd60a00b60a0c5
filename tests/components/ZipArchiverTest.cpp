// The zip component's directory listing over archives built here: entries and their fields,
// directory entries, comments up to 65535 bytes, trailing bytes, self-extractor stubs,
// spanned sets on a fixed drive, disk labels on removable drives, and damaged archives that
// are reported and never raised; archives made by Info-ZIP and Python. Also the settings
// with rules and the message texts.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "LittleEndian.h"
#include "components/ZipArchiver.h"
#include "platform/core/FakeServices.h"
#include "platform/core/TextCodec.h"

namespace {

struct Entry {
  Entry(std::string name, std::string extra = "", std::string comment = "", uint16_t flag = 0,
        uint8_t host = 0)
      : Name(std::move(name)), Extra(std::move(extra)), Comment(std::move(comment)), Flag(flag), Host(host) {}
  std::string Name;
  std::string Extra;
  std::string Comment;
  uint16_t Flag;
  uint8_t Host;
};

// A stored-only archive: optional prefix, local headers with the names as data, the central
// directory, the end record with its comment.
struct ArchiveParts {
  std::string Local;
  std::string Central;
  uint16_t Count = 0;
};

ArchiveParts BuildParts(const std::vector<Entry>& entries, size_t base) {
  ArchiveParts p;
  for (const Entry& e : entries) {
    uint32_t offset = static_cast<uint32_t>(base + p.Local.size());
    Put32(p.Local, 0x04034B50);
    Put16(p.Local, 20); Put16(p.Local, e.Flag); Put16(p.Local, 0);
    Put16(p.Local, 0); Put16(p.Local, 0); Put32(p.Local, 0);
    Put32(p.Local, 0); Put32(p.Local, 0);
    Put16(p.Local, static_cast<uint16_t>(e.Name.size())); Put16(p.Local, 0);
    p.Local += e.Name;
    Put32(p.Central, 0x02014B50);
    p.Central += static_cast<char>(20);
    p.Central += static_cast<char>(e.Host);
    Put16(p.Central, 20); Put16(p.Central, e.Flag); Put16(p.Central, 0);
    Put16(p.Central, 0x6000); Put16(p.Central, 0x5A21); Put32(p.Central, 0xDEADBEEF);
    Put32(p.Central, 7); Put32(p.Central, 9);
    Put16(p.Central, static_cast<uint16_t>(e.Name.size()));
    Put16(p.Central, static_cast<uint16_t>(e.Extra.size()));
    Put16(p.Central, static_cast<uint16_t>(e.Comment.size()));
    Put16(p.Central, 0); Put16(p.Central, 1); Put32(p.Central, 0x20);
    Put32(p.Central, offset);
    p.Central += e.Name + e.Extra + e.Comment;
    ++p.Count;
  }
  return p;
}

std::string EndRecord(uint16_t disk, uint16_t cdDisk, uint16_t count, uint32_t cdSize,
                      uint32_t cdOffset, const std::string& comment) {
  std::string s;
  Put32(s, 0x06054B50);
  Put16(s, disk); Put16(s, cdDisk); Put16(s, count); Put16(s, count);
  Put32(s, cdSize); Put32(s, cdOffset);
  Put16(s, static_cast<uint16_t>(comment.size()));
  return s + comment;
}

std::string BuildArchive(const std::vector<Entry>& entries, const std::string& comment = "",
                         const std::string& prefix = "") {
  ArchiveParts p = BuildParts(entries, prefix.size());
  return prefix + p.Local + p.Central +
         EndRecord(0, 0, p.Count, static_cast<uint32_t>(p.Central.size()),
                   static_cast<uint32_t>(prefix.size() + p.Local.size()), comment);
}

class TDesignZip : public TZipArchiver {
 public:
  using TZipArchiver::TZipArchiver;
  void Design() { IncludeState(csDesigning); }
};

// Removable drive "A:" with a label the test chooses.
class TFakeVolumes : public IZipVolumes {
 public:
  bool DriveExists(char Letter) override { return Letter == 'A'; }
  int DriveType(const std::string& Root) override { return Root == "\\" ? Type : DRIVE_REMOVABLE; }
  bool VolumeInformation(const std::string&, std::string& Name, uint32_t& Serial, int& Error) override {
    Name = Label;
    Serial = 0x1234;
    Error = 0;
    return true;
  }
  bool DiskFreeSpace(const std::string&, int64_t& Free, int64_t& Total) override {
    Free = 1000;
    Total = 1457664;
    return true;
  }
  std::string Label;
  int Type = DRIVE_REMOVABLE;
};

struct ZipFixture : ::testing::Test {
  ZipFixture() {
    dir = std::filesystem::temp_directory_path() /
          ("orv_zip_" + std::to_string(::getpid()) + "_" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir);
    zip.Unattended = true;
    zip.OnMessage = [this](TObject*, int, const std::string& m) { messages.push_back(m); };
    zip.OnDirUpdate = [this](TObject*) { ++updates; };
  }
  ~ZipFixture() override { std::filesystem::remove_all(dir); }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir / name).string();
    std::FILE* f = std::fopen(path.c_str(), "wb");
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
    return path;
  }
  std::filesystem::path dir;
  TFakeServices fake;
  TZipArchiver zip{nullptr};
  std::vector<std::string> messages;
  int updates = 0;
};

TEST_F(ZipFixture, ListsEntriesWithTheirFields) {
  std::vector<Entry> entries = {
      {"docs/readme.txt", std::string("XY\x02\x00ab", 6), "first file", 1, 0},
      {"docs/", "", "", 0, 0},
      {"a.bin", "", "", 0, 3},
  };
  std::vector<int> seq;
  zip.OnNewName = [&](TObject*, int n, const ZipDirEntry& e) { seq.push_back(n); EXPECT_FALSE(e.FileName.empty()); };
  zip.SetZipFileName(Write("a.zip", BuildArchive(entries, "archive note")));
  EXPECT_TRUE(messages.empty()) << messages[0];
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.DirOnlyCount(), 1);
  EXPECT_EQ(seq, (std::vector<int>{1, 2}));
  EXPECT_EQ(updates, 1);
  const ZipDirEntry& e = zip.DirEntry(0);
  EXPECT_EQ(e.FileName, "docs\\readme.txt");
  EXPECT_EQ(e.FileComment, "first file");
  EXPECT_TRUE(e.Encrypted);
  EXPECT_EQ(std::string(e.ExtraData.begin(), e.ExtraData.end()), std::string("XY\x02\x00ab", 6));
  EXPECT_EQ(e.CRC32, 0xDEADBEEFu);
  EXPECT_EQ(e.CompressedSize, 7u);
  EXPECT_EQ(e.UncompressedSize, 9u);
  EXPECT_EQ(e.DateTime_Date, 0x5A21);
  EXPECT_EQ(e.ExtFileAttrib, 0x20u);
  EXPECT_EQ(zip.DirEntry(1).HostVersionNo, 3);
  EXPECT_EQ(zip.ZipComment(), "archive note");
  EXPECT_EQ(zip.SFXOffset(), 0);
  EXPECT_FALSE(zip.IsSpanned());
  EXPECT_FALSE(zip.WrongZipStruct());

  zip.UseDirOnlyEntries = true;
  zip.List();
  EXPECT_EQ(zip.Count(), 3);
  EXPECT_EQ(zip.DirOnlyCount(), 0);
  EXPECT_EQ(zip.DirEntry(1).FileName, "docs\\");
}

TEST_F(ZipFixture, LongestCommentEmptyArchiveAndStub) {
  std::string comment(65535, 'c');
  comment[0] = 'P';  // a comment is searched past, not into
  zip.SetZipFileName(Write("c.zip", BuildArchive({{"x.txt"}}, comment)));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.ZipComment().size(), 65535u);

  zip.SetZipFileName(Write("e.zip", BuildArchive({})));
  EXPECT_EQ(zip.Count(), 0);
  EXPECT_EQ(zip.ZipFileSize(), 22);
  EXPECT_EQ(zip.SFXOffset(), 0);

  std::string stub(300, 'M');
  zip.SetZipFileName(Write("s.zip", BuildArchive({{"b.txt"}, {"a.txt"}}, "", stub)));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.SFXOffset(), 300);
}

TEST_F(ZipFixture, ZeroPaddingToASectorIsToleratedOtherTrailingBytesReported) {
  std::string a = BuildArchive({{"x.txt"}}, "note");
  std::string padded = a + std::string(512 - a.size() % 512, '\0');
  zip.SetZipFileName(Write("p.zip", padded));
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.ZipFileSize(), static_cast<int64_t>(a.size()));
  EXPECT_EQ(zip.RealFileSize(), static_cast<int64_t>(padded.size()));

  padded[padded.size() - 3] = 1;
  zip.SetZipFileName(Write("q.zip", padded));
  ASSERT_EQ(zip.ErrCode(), 10204);
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(zip.Count(), 1);  // listed all the same

  messages.clear();
  zip.SetZipFileName(Write("r.zip", a + "tail"));
  EXPECT_EQ(zip.ErrCode(), 10204);
  EXPECT_EQ(zip.Count(), 1);
}

TEST_F(ZipFixture, DamagedArchivesAreReportedNotRaised) {
  std::string good = BuildArchive({{"name.txt", "", "comment"}});
  ArchiveParts p = BuildParts({{"name.txt", "", "comment"}}, 0);
  size_t cd = p.Local.size();
  auto withEnd = [&](const std::string& central, uint16_t count, uint32_t size, uint32_t offset) {
    return p.Local + central + EndRecord(0, 0, count, size, offset, "");
  };
  std::string badSig = good;
  badSig[cd] = 'X';
  // Lengths in the directory header that reach past the end of the file.
  auto withLength = [&](size_t field) {
    std::string central = p.Central;
    central[field] = '\xFF';
    central[field + 1] = '\xFF';
    return withEnd(central, 1, static_cast<uint32_t>(central.size()), static_cast<uint32_t>(cd));
  };
  struct Case { const char* what; std::string bytes; int code; int listed; } cases[] = {
      {"not a zip", std::string(100, 'z'), 11045, 0},
      {"short file", "PK", 11045, 0},
      {"bad central signature", badSig, 11015, 0},
      {"name past the end", withLength(28), 11017, 0},
      {"extra field past the end", withLength(30), 10201, 0},
      {"comment past the end", withLength(32), 11022, 0},
      {"more entries than the directory", withEnd(p.Central, 2, static_cast<uint32_t>(p.Central.size()),
                                                  static_cast<uint32_t>(cd)), 11013, 1},
      {"directory larger than the file", withEnd(p.Central, 1, 0x7FFFFFFF, 0), 10201, 0},
  };
  for (const Case& c : cases) {
    messages.clear();
    zip.SetZipFileName(Write("d.zip", c.bytes));
    EXPECT_EQ(zip.ErrCode(), c.code) << c.what;
    EXPECT_EQ(zip.Count(), c.listed) << c.what;
    EXPECT_FALSE(messages.empty()) << c.what;
  }
  // A directory offset that disagrees with where the directory lies is reported, and the
  // listing goes on from where it lies.
  messages.clear();
  zip.SetZipFileName(Write("o.zip", withEnd(p.Central, 1, static_cast<uint32_t>(p.Central.size()), 5)));
  EXPECT_TRUE(zip.WrongZipStruct());
  EXPECT_EQ(zip.ErrCode(), 10203);
  EXPECT_EQ(zip.Count(), 1);
}

TEST_F(ZipFixture, MessageBoxesOnlyWhenAttended) {
  zip.Unattended = false;
  zip.SetZipFileName(Write("n.zip", std::string(40, 'n')));
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, ZipMessageText(11045));
  EXPECT_NE(fake.Boxes[0].Text.find("Missing String ID is: 11045"), std::string::npos);
  zip.Unattended = true;
  zip.List();
  EXPECT_EQ(fake.Boxes.size(), 1u);
  // A missing file is no error: the listing is just empty.
  messages.clear();
  zip.SetZipFileName((dir / "none.zip").string());
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(zip.Count(), 0);
}

TEST_F(ZipFixture, SpannedSetOnAFixedDriveReadsTheDirectoryFromItsDisk) {
  // Disk 1 holds the spanning marker, the files and the directory; disk 2 the end record.
  std::string marker;
  Put32(marker, 0x08074B50);
  ArchiveParts p = BuildParts({{"one.txt"}, {"two.txt"}}, marker.size());
  Write("set001.zip", marker + p.Local + p.Central);
  std::string last = Write("set002.zip",
                           EndRecord(1, 0, p.Count, static_cast<uint32_t>(p.Central.size()),
                                     static_cast<uint32_t>(marker.size() + p.Local.size()), ""));
  zip.SetZipFileName(last);
  EXPECT_TRUE(messages.empty()) << messages[0];
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.DirEntry(1).FileName, "two.txt");
  EXPECT_TRUE(zip.IsSpanned());
  EXPECT_EQ(zip.TotalDisks(), 1);

  // Without its first disk the set reports the open failure.
  std::filesystem::remove(dir / "set001.zip");
  zip.List();
  EXPECT_EQ(zip.ErrCode(), 11001);
  EXPECT_EQ(zip.Count(), 0);
}

TEST_F(ZipFixture, RemovableDisksAreAskedForAndLabelsNumberThem) {
  TFakeVolumes volumes;
  IZipVolumes* old = SetZipVolumes(&volumes);
  volumes.Label = "PKBACK# 002";
  zip.SetZipFileName(Write("x.zip", std::string(64, 'x')));
  EXPECT_EQ(zip.ErrCode(), 11038);
  EXPECT_EQ(zip.VolumeName(), "PKBACK# 002");
  EXPECT_EQ(zip.SizeOfDisk(), 1457664);

  // The directory on another disk of a removable drive: unattended, the disk cannot be asked
  // for; attended, the handler may abort.
  std::string end = EndRecord(1, 0, 1, 46, 0, "");
  volumes.Label = "";
  zip.SetZipFileName(Write("y.zip", end));
  EXPECT_EQ(zip.ErrCode(), 11025);
  zip.Unattended = false;
  int asked = 0;
  zip.OnGetNextDisk = [&](TObject*, int seq, int total, const std::string&, bool& abort) {
    ++asked;
    EXPECT_EQ(seq, 1);
    EXPECT_EQ(total, 2);
    abort = true;
  };
  zip.List();
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(zip.ErrCode(), 11007);
  EXPECT_TRUE(fake.Boxes.empty());  // cancelling the disk request shows nothing
  SetZipVolumes(old);
}

TEST_F(ZipFixture, SettingsAndTheirRules) {
  EXPECT_EQ(zip.AddCompLevel, 9);
  EXPECT_EQ(zip.AddStoreSuffixes & Bit(assEXE), 0u);
  EXPECT_NE(zip.AddStoreSuffixes & Bit(assGIF), 0u);
  EXPECT_NE(zip.AddStoreSuffixes & Bit(assJAR), 0u);
  EXPECT_EQ(zip.SFXOptions, Bit(SFXCheckSize));
  EXPECT_EQ(zip.SFXCaption, "Self-extracting Archive");
  EXPECT_EQ(zip.HowToDelete, htdAllowUndo);
  EXPECT_EQ(zip.MinFreeVolumeSize, 65536);
  zip.SetPasswordReqCount(40);
  EXPECT_EQ(zip.PasswordReqCount(), 15u);
  zip.SetPasswordReqCount(3);
  EXPECT_EQ(zip.PasswordReqCount(), 3u);
  zip.SetMinZipDllVers(150);
  zip.SetMinUnzDllVers(180);
  EXPECT_EQ(zip.MinZipDllVers(), 170);
  EXPECT_EQ(zip.MinUnzDllVers(), 180);
  zip.SetVersionInfo("9.99");
  EXPECT_EQ(zip.VersionInfo(), "1.70");
  zip.SetDLLDirectory("C:\\zip\\\\");
  EXPECT_EQ(zip.DLLDirectory(), "C:\\zip\\");
  TStringList specs;
  specs.Add("*.txt");
  zip.SetFSpecArgs(specs);
  specs.Clear();
  EXPECT_EQ(zip.FSpecArgs().Count(), 1);
  EXPECT_EQ(zip.ZipDllHandle(), nullptr);

  // While designing, naming an archive does not touch it.
  TDesignZip design(nullptr);
  design.Design();
  int dirUpdates = 0;
  design.OnDirUpdate = [&](TObject*) { ++dirUpdates; };
  design.SetZipFileName(Write("z.zip", BuildArchive({{"x"}})));
  EXPECT_EQ(design.Count(), 0);
  EXPECT_EQ(dirUpdates, 0);
}

void Put64(std::string& s, uint64_t v) {
  Put32(s, static_cast<uint32_t>(v));
  Put32(s, static_cast<uint32_t>(v >> 32));
}

// The zip64 end record and its locator for a directory of count entries.
std::string Zip64End(uint64_t count, uint64_t cdSize, uint64_t cdOffset, uint64_t recordAt) {
  std::string s;
  Put32(s, 0x06064B50);
  Put64(s, 44);
  Put16(s, 45); Put16(s, 45);
  Put32(s, 0); Put32(s, 0);
  Put64(s, count); Put64(s, count);
  Put64(s, cdSize); Put64(s, cdOffset);
  Put32(s, 0x07064B50);
  Put32(s, 0);
  Put64(s, recordAt);
  Put32(s, 1);
  return s;
}

// An archive with zip64 end records; Saturated puts the -1 values in the classic record,
// otherwise it carries the real ones as well (as some tools write it).
std::string BuildZip64(const std::vector<Entry>& entries, bool saturated, uint64_t count64 = 0,
                       const std::string& prefix = "", bool staleLocator = false) {
  ArchiveParts p = BuildParts(entries, prefix.size());
  uint64_t cdOffset = prefix.size() + p.Local.size();
  uint64_t recordAt = cdOffset + p.Central.size() - (staleLocator ? prefix.size() : 0);
  std::string end = saturated ? EndRecord(0, 0, 0xFFFF, 0xFFFFFFFF, 0xFFFFFFFF, "")
                              : EndRecord(0, 0, p.Count, static_cast<uint32_t>(p.Central.size()),
                                          static_cast<uint32_t>(cdOffset), "");
  return prefix + p.Local + p.Central +
         Zip64End(count64 ? count64 : p.Count, p.Central.size(), cdOffset, recordAt) + end;
}

TEST_F(ZipFixture, Zip64EndRecordsAndEndSignaturesInTheComment) {
  std::vector<Entry> two = {{"one.txt"}, {"dir/two.txt"}};
  std::string record = EndRecord(0, 0, 1, 46, 0, "");
  std::string fakeTail = "note " + record.substr(0, 20) + std::string("\x00\x00", 2);
  struct Case {
    const char* what;
    std::string bytes;
    int listed;
    std::string comment;
  } cases[] = {
      {"zip64, classic fields saturated", BuildZip64(two, true), 2, ""},
      {"zip64, classic fields filled in too", BuildZip64(two, false), 2, ""},
      {"zip64 behind a stub, locator not moved", BuildZip64(two, true, 0, std::string(100, 'M'), true), 2, ""},
      {"end signature inside the comment", BuildArchive(two, "see PK\x05\x06 here"), 2, "see PK\x05\x06 here"},
      {"a whole end record ending the comment", BuildArchive(two, fakeTail), 2, fakeTail},
      {"an empty archive's record in the comment", BuildArchive(two, "x" + EndRecord(0, 0, 0, 0, 0, "") + "y"), 2,
       "x" + EndRecord(0, 0, 0, 0, 0, "") + "y"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    messages.clear();
    zip.SetZipFileName(Write("z64.zip", c.bytes));
    EXPECT_TRUE(messages.empty()) << messages[0];
    ASSERT_EQ(zip.Count(), c.listed);
    EXPECT_EQ(zip.DirEntry(1).FileName, "dir\\two.txt");
    EXPECT_EQ(zip.ZipComment(), c.comment);
    EXPECT_FALSE(zip.WrongZipStruct());
  }
  // A zip64 count far beyond the directory ends where the directory does, after what is
  // there; disk numbers of 32 bits ask for a disk that is not there.
  messages.clear();
  zip.SetZipFileName(Write("many.zip", BuildZip64(two, true, uint64_t{1} << 62)));
  EXPECT_EQ(zip.ErrCode(), 11015);
  EXPECT_EQ(zip.Count(), 2);
  std::string farDisk = BuildZip64(two, true);
  size_t z64 = farDisk.find(std::string("PK\x06\x06", 4));
  for (size_t k = 16; k < 20; ++k) farDisk[z64 + k] = '\xFF';  // this disk: 2^32 - 1
  zip.SetZipFileName(Write("disk.zip", farDisk));
  EXPECT_EQ(zip.ErrCode(), 11001);
  EXPECT_TRUE(zip.IsSpanned());
  EXPECT_EQ(zip.Count(), 0);
}

// Names and comments flagged UTF-8 (bit 11) become program text; others stay as stored.
TEST_F(ZipFixture, NamesFlaggedUtf8BecomeProgramText) {
  const uint16_t utf8 = 0x0800;
  std::vector<Entry> entries = {
      {"한글/메모.txt", "", "설명", utf8},
      {cp949::K("예전/이름.txt"), "", "", 0},
      {"a\xF0\x9F\x98\x80.txt", "", "", utf8},
      {"bad\xC3.txt", "", "", utf8},
      {"b\xF0\x9F\x98\x80.txt", "", "", utf8},
  };
  zip.SetZipFileName(Write("u.zip", BuildArchive(entries)));
  ASSERT_EQ(zip.Count(), 5);
  EXPECT_EQ(zip.DirEntry(0).FileName, cp949::K("한글\\메모.txt"));
  EXPECT_EQ(zip.DirEntry(0).FileComment, cp949::K("설명"));
  EXPECT_EQ(zip.DirEntry(1).FileName, cp949::K("예전\\이름.txt"));
  // Without a code page 949 form: listed with "?" and reported once, naming the first.
  EXPECT_EQ(zip.DirEntry(2).FileName, "a?.txt");
  EXPECT_EQ(zip.DirEntry(3).FileName, "bad?.txt");
  EXPECT_EQ(zip.DirEntry(4).FileName, "b?.txt");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(zip.ErrCode(), 10202);
  EXPECT_NE(messages[0].find("U+1F600"), std::string::npos) << messages[0];
  EXPECT_NE(messages[0].find("a?.txt"), std::string::npos) << messages[0];
}

// Archives made by the archivers of this system, not by the test: Info-ZIP on Linux stores
// the locale's UTF-8 names without the UTF-8 flag, and its forced zip64 entries carry their
// sizes in the zip64 extra field; Python flags UTF-8 names and, for an archive that starts
// 5 GiB into a sparse file, keeps the local header offsets in zip64 extras too.
TEST_F(ZipFixture, ArchivesOfInfoZipAndPython) {
  namespace fs = std::filesystem;
  const fs::path src = dir / "src";
  auto put = [](const fs::path& p, const std::string& bytes) {
    fs::create_directories(p.parent_path());
    std::FILE* f = std::fopen(p.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  };
  put(src / "폴더" / "하위" / "깊은.txt", "deep note\n");
  put(src / "raw" / cp949::K("예전.txt"), "old name\n");  // a name stored as code page 949 bytes
  auto run = [&](const std::string& cmd) {
    std::string full = "cd '" + src.string() + "' && LC_ALL=C.UTF-8 " + cmd + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(full.c_str()), 0) << cmd;
  };
  run("zip -qr ../info.zip 폴더 raw");
  run("zip -q -fz ../info64.zip 폴더/하위/깊은.txt");
  run("/usr/bin/python3 -c \"import zipfile\n"
      "with open('../py.zip', 'wb') as f:\n"
      "    f.seek(5 << 30)\n"
      "    with zipfile.ZipFile(f, 'w') as z:\n"
      "        z.writestr('far.txt', 'hello')\n"
      "        z.writestr('한글/메모.txt', 'x' * 300)\"");

  zip.SetZipFileName((dir / "info.zip").string());
  EXPECT_TRUE(messages.empty()) << messages[0];
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.DirOnlyCount(), 3);
  EXPECT_EQ(zip.DirEntry(0).HostVersionNo, 3);
  EXPECT_EQ(zip.DirEntry(0).FileName, cp949::K("폴더\\하위\\깊은.txt"));
  EXPECT_EQ(zip.DirEntry(1).FileName, cp949::K("raw\\예전.txt"));  // not UTF-8: as stored
  // Names from other systems keep their rule; cpNone takes them as stored.
  zip.CodePage = cpNone;
  zip.List();
  EXPECT_EQ(zip.DirEntry(0).FileName, "\xED\x8F\xB4\xEB\x8D\x94\\\xED\x95\x98\xEC\x9C\x84\\\xEA\xB9\x8A\xEC\x9D\x80.txt");
  zip.CodePage = cpAuto;

  zip.SetZipFileName((dir / "info64.zip").string());
  EXPECT_TRUE(messages.empty()) << messages[0];
  ASSERT_EQ(zip.Count(), 1);
  EXPECT_EQ(zip.DirEntry(0).UncompressedSize, 10u);
  EXPECT_EQ(zip.DirEntry(0).CompressedSize, 10u);
  EXPECT_EQ(zip.DirEntry(0).RelOffLocalHdr, 0u);
  EXPECT_EQ(zip.SFXOffset(), 0);

  zip.SetZipFileName((dir / "py.zip").string());
  ASSERT_EQ(zip.Count(), 2);
  EXPECT_EQ(zip.DirEntry(0).FileName, "far.txt");
  EXPECT_EQ(zip.DirEntry(1).FileName, cp949::K("한글\\메모.txt"));
  EXPECT_EQ(zip.DirEntry(1).UncompressedSize, 300u);
  // An offset beyond 32 bits is not wrapped: the field stays saturated, and it is reported
  // once for the listing; the stub before the archive is the full offset.
  EXPECT_EQ(zip.DirEntry(0).RelOffLocalHdr, 0xFFFFFFFFu);
  EXPECT_EQ(zip.DirEntry(1).RelOffLocalHdr, 0xFFFFFFFFu);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(zip.ErrCode(), 10202);
  EXPECT_NE(messages[0].find("5368709120"), std::string::npos) << messages[0];
  EXPECT_EQ(zip.SFXOffset(), int64_t{5} << 30);
}

TEST(ZipMessages, FallbackTextsAndTheStringTable) {
  EXPECT_EQ(ZipMessageText(10605), "Old Dll from ");
  EXPECT_EQ(ZipMessageText(10804), "SFX not supported");
  EXPECT_EQ(ZipMessageText(11048), "Span not supported");
  EXPECT_EQ(ZipMessageText(10201),
            "ZipMsgXX.res is probably not linked to the executable\nMissing String ID is: 10201");
  SetZipString(11038, "Disk %d of the set is needed");
  EXPECT_EQ(EZipArchiver(11038, 3).Message, "Disk 3 of the set is needed");
  EXPECT_TRUE(EZipArchiver(11038, 3).DisplayMsg);
  EXPECT_FALSE(EZipArchiver(11007, false).DisplayMsg);
  SetZipString(11038, "%s %s %d");  // more places than arguments: left empty
  EXPECT_EQ(EZipArchiver(11038, std::string("A:\\")).Message, "A:\\  ");
  SetZipString(11038, "");
  EXPECT_EQ(LoadZipStr(11038, "default"), "default");
}

TEST(ZipStreamTest, ReadsABlockOwnedElsewhere) {
  char block[] = "zip bytes";
  TZipStream s;
  s.SetPointer(block, 9);
  char out[4] = {};
  EXPECT_EQ(s.Read(out, 3), 3);
  EXPECT_EQ(std::string(out), "zip");
  EXPECT_EQ(s.Size(), 9);
}

}  // namespace
