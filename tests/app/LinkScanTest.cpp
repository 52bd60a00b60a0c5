// The link routines of the body without widgets: the scan around a click, what a link names,
// the link text of a chosen file and the resolution of a file link below the link folder.
#include "app/LinkScan.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/core/Cp949.h"
#include "platform/core/TextCodec.h"

using cp949::K;
namespace fs = std::filesystem;

namespace {

// A body of plain and underlined pieces; a character's bytes share its underline.
class PieceBody : public ILinkBody {
 public:
  PieceBody& Plain(const std::string& t) { return Add(t, false); }
  PieceBody& Link(const std::string& t) { return Add(t, true); }
  int Length() override { return static_cast<int>(FText.size()); }
  bool Underlined(int Start, int Count) override {
    EXPECT_GE(Start, 0);
    EXPECT_LE(Start + Count, Length());
    for (int i = Start; i < Start + Count; ++i)
      if (!FUnder[static_cast<std::size_t>(i)]) return false;
    return Count > 0;
  }
  std::string Text(int Start, int Count) override {
    EXPECT_GE(Start, 0);
    EXPECT_LE(Start + Count, Length());
    std::size_t from = static_cast<std::size_t>(Start), to = static_cast<std::size_t>(Start + Count);
    while (from > 0 && !cp949::IsCharBoundary(FText, from)) --from;
    while (to < FText.size() && !cp949::IsCharBoundary(FText, to)) ++to;
    return FText.substr(from, to - from);
  }

 private:
  PieceBody& Add(const std::string& t, bool u) {
    FText += t;
    FUnder.insert(FUnder.end(), t.size(), u);
    return *this;
  }
  std::string FText;
  std::vector<bool> FUnder;
};

std::string Letters(int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s += static_cast<char>('a' + i % 26);
  return s;
}

TEST(LinkScan, CutsTheRunAroundTheCaret) {
  const std::string link60 = Letters(60);
  const std::string link20 = Letters(20);
  struct Case {
    const char* what;
    std::string link;
    int caretInLink;  // caret before this character of the link (0 = the first)
    TLinkScan::TResult result;
    std::string want;
  };
  const std::vector<Case> cases = {
      {"60 long, caret at its start: the first 52", link60, 0, TLinkScan::lsLink, link60.substr(0, 52)},
      {"20 long, caret at its start", link20, 0, TLinkScan::lsLink, link20},
      {"20 long, caret before the 18th", link20, 17, TLinkScan::lsLink, link20},
      {"20 long, caret before the 19th", link20, 18, TLinkScan::lsPastEnd, link20},
      {"20 long, caret before the 20th", link20, 19, TLinkScan::lsPastEnd, link20},
      {"hangul link", K("가나다라마바"), 0, TLinkScan::lsLink, K("가나다라마바")},
  };
  for (const Case& c : cases) {
    PieceBody body;
    body.Plain("xx ").Link(c.link).Plain(" yy");
    const TLinkScan r = ScanLink(body, 3 + c.caretInLink);
    EXPECT_EQ(r.Result, c.result) << c.what;
    EXPECT_EQ(r.Link, c.want) << c.what;
    if (c.result == TLinkScan::lsPastEnd) {
      EXPECT_EQ(r.Caret, 2 + static_cast<int>(c.link.size())) << c.what;
    }
  }
}

TEST(LinkScan, BodyStartAndEndBoundTheRun) {
  {
    PieceBody body;
    body.Link("notes").Plain(" after");
    const TLinkScan r = ScanLink(body, 0);
    EXPECT_EQ(r.Result, TLinkScan::lsLink);
    EXPECT_EQ(r.Link, "notes");
  }
  {
    PieceBody body;
    body.Plain("before ").Link("mail@example.org");
    const TLinkScan r = ScanLink(body, 7);
    EXPECT_EQ(r.Result, TLinkScan::lsLink);
    EXPECT_EQ(r.Link, "mail@example.org");
  }
  {
    // The only character of the body is the link: nothing is asked outside the body.
    PieceBody body;
    body.Link("q");
    EXPECT_EQ(ScanLink(body, 0).Result, TLinkScan::lsPastEnd);
  }
}

TEST(LinkScan, LinkKinds) {
  struct Case {
    const char* text;
    TLinkKind kind;
  };
  const std::vector<Case> cases = {
      {"   ", lkNone},
      {"me@example.org", lkMail},
      {"  www.example.org ", lkWeb},
      {"HTTP://example.org", lkWeb},
      {"https://example.org/a", lkWeb},
      {"Www.Example.Org", lkWeb},
      {"me@host", lkFile},
      {"http-notes", lkFile},
      {"/pics/a.jpg", lkFile},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyLink(c.text), c.kind) << c.text;
  EXPECT_TRUE(IsWebAddress("https://example.org"));
  EXPECT_TRUE(IsWebAddress("WWW.example.org"));
  EXPECT_FALSE(IsWebAddress("../../etc/www.conf"));
}

TEST(LinkScan, WordAtCaret) {
  EXPECT_EQ(WordAtCaret("see pics/a.jpg here", 6), "pics/a.jpg");
  EXPECT_EQ(WordAtCaret("see pics/a.jpg here", 4), "pics/a.jpg");
  EXPECT_EQ(WordAtCaret("single", 0), "single");
  EXPECT_EQ(WordAtCaret("end word", 8), "word");
  EXPECT_EQ(WordAtCaret("a  b", 2), "");
}

TEST(LinkScan, FileLinkTextOfAChosenFile) {
  struct Case {
    const char* path;
    const char* dir;
    bool ok;
    const char* rel;
  };
  const std::vector<Case> cases = {
      {"/data/links/a.txt", "/data/links", true, "a.txt"},
      {"/data/links/a.txt", "/data/links/", true, "a.txt"},
      {"/DATA/Links/Sub/b.jpg", "/data/links", true, "/Sub/b.jpg"},
      {"/data/links/s/t/c.hwp", "/data/links", true, "/s/t/c.hwp"},
      {"/data/linksother/x.txt", "/data/links", false, ""},
      {"/data/other/x.txt", "/data/links", false, ""},
      {"/data/links", "/data/links", false, ""},
  };
  for (const Case& c : cases) {
    std::string rel;
    EXPECT_EQ(FileLinkText(c.path, c.dir, rel), c.ok) << c.path;
    if (c.ok) {
      EXPECT_EQ(rel, c.rel) << c.path;
    }
  }
}

TEST(LinkScan, FileLinksStayInsideTheLinkFolder) {
  const fs::path root = fs::temp_directory_path() / ("orv-linkscan-" + std::to_string(::getpid()));
  fs::remove_all(root);
  fs::create_directories(root / "links" / "sub");
  fs::create_directories(root / "secret");
  std::ofstream(root / "links" / "a.txt") << "a";
  std::ofstream(root / "links" / "sub" / "b.jpg") << "b";
  std::ofstream(root / "links" / "run.desktop") << "[Desktop Entry]";
  std::ofstream(root / "links" / "tool") << "#!/bin/sh\n";
  ::chmod((root / "links" / "tool").c_str(), 0755);
  std::ofstream(root / "secret" / "key") << "k";
  fs::create_symlink(root / "secret" / "key", root / "links" / "shortcut");
  const std::string dir = (root / "links").string();

  struct Case {
    const char* text;
    TFileLinkCheck want;
    const char* full;  // below root
  };
  const std::vector<Case> cases = {
      {"a.txt", flOk, "links/a.txt"},
      {"/sub/b.jpg", flOk, "links/sub/b.jpg"},
      {"\\sub\\b.jpg", flOk, "links/sub/b.jpg"},
      {"missing.txt", flOk, "links/missing.txt"},
      {"/../secret/key", flOutside, ""},
      {"/../../../../etc/passwd", flOutside, ""},
      {"sub/../../secret/key", flOutside, ""},
      {"shortcut", flOutside, ""},
      {"run.desktop", flProgram, ""},
      {"tool", flProgram, ""},
  };
  for (const Case& c : cases) {
    std::string full;
    EXPECT_EQ(ResolveFileLink(dir, c.text, full), c.want) << c.text;
    if (c.want == flOk) {
      EXPECT_EQ(full, (fs::canonical(root) / c.full).string()) << c.text;
    }
  }
  fs::remove_all(root);
}

}  // namespace
