// Links of the main window, clicked for real: a second press on a link leads to the note whose
// title 1 it begins, other links open through the recorded shell, file links stay inside the
// link folder, and a chosen file becomes link text at the caret.
#include <sys/stat.h>

#include <QApplication>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTest>
#include <QTextCursor>
#include <QTextEdit>

#include <cstdlib>
#include <fstream>
#include <iterator>

#include "NoteBookFixture.h"
#include "components/GifImage.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/ShellApi.h"

using cp949::K;

namespace nbtest {
namespace {

class LinkFollowTest : public NoteBookTest {
 protected:
  // Note 1 holds "see Target here" with "Target" marked as a link; note 2 is titled "Target note".
  void StartWithLink() {
    MakeNoteFile(data.Path(), "t.dbf", 60, K("제목    분류    날짜    메모    "), "Links", "", " ",
                 {{"source", "", "", "", ""}, {"Target note", "", "", "", "the target"},
                  {"Zulu", "", "", "", "last"}});
    PlaceShippedFiles(data.Path());
    WriteFields(data.Path(), "condb20.dbf", 1, {{"fname", "t.dbf"}});
    Start();
    MainForm->NoteTable->GoTop();
    TRichEdit* m = MainForm->memo1;
    MainForm->ARBtn->Click();
    m->SetText("see Target here");
    m->SetSelStart(4);
    m->SetSelLength(6);
    MainForm->MarkLinkClick(MainForm);
    ASSERT_TRUE(MainForm->SaveNote());
    m->SetSelLength(0);
  }
  // Presses the left button in the body before the character at byte position pos.
  void PressAt(int pos) {
    QTextEdit* te = MainForm->memo1->TextEdit();
    QTextCursor c(te->document());
    c.setPosition(pos);
    const QPoint p = te->cursorRect(c).center() + QPoint(1, 0);
    QTest::mousePress(te->viewport(), Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseRelease(te->viewport(), Qt::LeftButton, Qt::NoModifier, p);
    Application->ProcessMessages();
  }
};

TEST_F(LinkFollowTest, ASecondPressOnALinkLeadsToTheNoteItBegins) {
  StartWithLink();
  MainForm->memo1->SetFocus();
  Application->ProcessMessages();
  PressAt(5);
  EXPECT_EQ(MainForm->Edit1->Text(), "source") << "a single press follows nothing";
  PressAt(5);
  EXPECT_EQ(MainForm->NoteTable->RecNo(), 3);
  EXPECT_EQ(MainForm->Edit1->Text(), "Target note");
  EXPECT_EQ(MainForm->memo1->Text(), "the target");
  EXPECT_EQ(MainForm->NoteTable->TagName(1), "TIT1");
  ASSERT_FALSE(MainForm->VisitHistory.empty());
  EXPECT_EQ(MainForm->VisitHistory.back(), 3);
  EXPECT_TRUE(dialogs.Opened.empty());
  EXPECT_EQ(MainForm->memo1->SelStart(), 0);
}

TEST_F(LinkFollowTest, ALinkWithoutItsNoteOpensAsAFileAndTheEditsAreSavedFirst) {
  StartWithLink();
  TRichEdit* m = MainForm->memo1;
  // An unknown word: the note is edited first, then the link is followed.
  m->SetSelStart(4);
  m->SetSelLength(6);
  m->SetSelText("Nope");
  m->SetSelStart(4);
  m->SetSelLength(4);
  MainForm->MarkLinkClick(MainForm);
  m->SetFocus();
  Application->ProcessMessages();
  PressAt(5);
  PressAt(5);
  EXPECT_EQ(MainForm->NoteTable->RecNo(), 2) << "back on the note the link is in";
  EXPECT_EQ(MainForm->Edit1->Text(), "source");
  ASSERT_EQ(dialogs.Opened.size(), 1u);
  EXPECT_EQ(dialogs.Opened[0], fs::weakly_canonical(fs::path(data.Path()) / "Nope").string());
  auto t = OpenTable(data.Path(), "t.dbf");
  t->SetRecNo(2);
  EXPECT_NE(t->FieldByName("mmm")->AsString().find("Nope"), std::string::npos);
  t->Close();
  TXbEnv env;
  env.SetDeleted(true);
}

TEST_F(LinkFollowTest, OutsideLinksGoToTheShellAndFilesStayInTheLinkFolder) {
  StartWithLink();
  fs::create_directories(fs::path(data.Path()) / "pics");
  std::ofstream(fs::path(data.Path()) / "pics" / "a.jpg") << "x";
  std::ofstream(fs::path(data.Path()) / "run.sh") << "#!/bin/sh\n";
  const std::string dir = fs::canonical(data.Path()).string();
  struct Case {
    const char* text;
    std::string opened;  // empty: nothing opened, a message instead
  };
  const std::vector<Case> cases = {
      {"  me@example.org ", "mailto:me@example.org"},
      {"www.example.org", "www.example.org"},
      {"HTTP://example.org/x.html", "HTTP://example.org/x.html"},
      {"/pics/a.jpg", dir + "/pics/a.jpg"},
      {"\\pics\\a.jpg", dir + "/pics/a.jpg"},
      {"me@host", dir + "/me@host"},
      {"/../../../etc/passwd", ""},
      {"../www.example.org", ""},
      {"run.sh", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    dialogs.Opened.clear();
    fake.Boxes.clear();
    MainForm->LinkFile(c.text);
    if (c.opened.empty()) {
      EXPECT_TRUE(dialogs.Opened.empty());
      EXPECT_EQ(fake.Boxes.size(), 1u);
    } else {
      EXPECT_EQ(dialogs.Opened, std::vector<std::string>{c.opened});
      EXPECT_TRUE(fake.Boxes.empty());
    }
  }
  // A double click in a title opens the word at the caret; titles never seek notes.
  dialogs.Opened.clear();
  MainForm->Edit2->SetText("mail me@example.org now");
  MainForm->Edit2->SetSelStart(8);
  MainForm->Edit2->SetSelLength(0);
  MainForm->LinkDblClick(MainForm->Edit2);
  EXPECT_EQ(dialogs.Opened, std::vector<std::string>{"mailto:me@example.org"});
}

TEST_F(LinkFollowTest, AChosenFileBecomesLinkTextBelowTheLinkFolder) {
  StartWithLink();
  fs::create_directories(fs::path(data.Path()) / "Sub");
  MainForm->Edit3->SetFocus();
  Application->ProcessMessages();
  ASSERT_EQ(MainForm->ActiveEdit, MainForm->Edit3);
  std::string upper = data.Path();
  for (char& ch : upper) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  dialogs.Files.push_back(upper + "/Sub/pic.jpg");
  MainForm->InsertFileLinkClick(MainForm);
  EXPECT_EQ(MainForm->Edit3->Text(), "/Sub/pic.jpg") << "letter case of the folder does not matter";
  EXPECT_TRUE(MainForm->Edit3->Modified());
  ASSERT_EQ(dialogs.FileRequests.size(), 1u);
  EXPECT_EQ(dialogs.FileRequests[0].InitialDir, LinkDir);

  MainForm->memo1->SetFocus();
  Application->ProcessMessages();
  MainForm->memo1->SetSelStart(0);
  dialogs.Files.push_back(data.Path() + "/direct.hwp");
  MainForm->InsertFileLinkClick(MainForm);
  EXPECT_EQ(MainForm->memo1->Text().substr(0, 10), "direct.hwp");

  dialogs.Files.push_back("/elsewhere/x.jpg");
  MainForm->InsertFileLinkClick(MainForm);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, LinkDir + K(" 하위폴더에 있는 파일만 지정가능합니다."));
}

// A folder and a file named in Hangul as Linux names them (UTF-8): the inserted link is Hangul
// text, and following it hands the desktop's opener the real path of the file.
TEST_F(LinkFollowTest, AFileLinkToAKoreanNameOpensTheRealFile) {
  StartWithLink();
  const fs::path picture = fs::path(data.Path()) / "그림" / "사진.txt";
  fs::create_directories(picture.parent_path());
  std::ofstream(picture) << "x";
  // The desktop's opener stands in as a script that writes down what it is asked to open.
  const fs::path bin = fs::path(data.Path()) / "bin";
  const fs::path opened = bin / "opened";
  fs::create_directories(bin);
  {
    std::ofstream script(bin / "xdg-open");
    script << "#!/bin/sh\nprintf '%s' \"$1\" > '" << opened.string() << ".part' && mv '" << opened.string()
           << ".part' '" << opened.string() << "'\n";
  }
  fs::permissions(bin / "xdg-open", fs::perms::owner_all);
  const std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  setenv("PATH", (bin.string() + ":" + path).c_str(), 1);

  MainForm->Edit3->SetFocus();
  Application->ProcessMessages();
  dialogs.Files.push_back(data.Path() + "/" + K("그림") + "/" + K("사진.txt"));
  MainForm->InsertFileLinkClick(MainForm);
  EXPECT_EQ(MainForm->Edit3->Text(), "/" + K("그림") + "/" + K("사진.txt"));

  TXdgShellService desktop;
  IShellService* recorded = SetShellService(&desktop);
  MainForm->Edit3->SetSelStart(3);
  MainForm->Edit3->SetSelLength(0);
  MainForm->LinkDblClick(MainForm->Edit3);
  SetShellService(recorded);
  for (int i = 0; i < 250 && !fs::exists(opened); ++i) ::usleep(20000);
  setenv("PATH", path.c_str(), 1);
  std::ifstream in(opened, std::ios::binary);
  const std::string asked((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(asked, fs::canonical(picture).string());
  EXPECT_TRUE(fake.Boxes.empty());
}

TEST(PicturePreview, JpegGifAndBmpPicturesOnly) {
  const fs::path dir = fs::temp_directory_path() / ("orv_preview_" + std::to_string(::getpid()));
  fs::create_directories(dir);
  auto name = [&](const char* n) { return (dir / n).string(); };
  QImage small(40, 30, QImage::Format_RGB32);
  small.fill(Qt::green);
  ASSERT_TRUE(small.save(QString::fromStdString(name("small.jpg")), "JPEG"));
  ASSERT_TRUE(small.save(QString::fromStdString(name("upper.JPEG")), "JPEG"));
  ASSERT_TRUE(small.save(QString::fromStdString(name("pic.bmp")), "BMP"));
  std::ofstream(name("cut.gif"), std::ios::binary) << "GIF89a";
  {
    TBitmap bm;
    bm.SetSize(24, 16);
    TGIFImage gif;
    gif.Assign(&bm);
    gif.SaveToFile(name("pic.gif"));
  }
  QImage large(2000, 1000, QImage::Format_RGB32);
  large.fill(Qt::blue);
  ASSERT_TRUE(large.save(QString::fromStdString(name("large.jpg")), "JPEG"));
  std::ofstream(name("broken.jpg"), std::ios::binary) << "\xFF\xD8 not a picture at all";
  struct Case {
    const char* file;
    bool shown;
    int width, height;
  };
  const Case cases[] = {
      {"small.jpg", true, 40, 30}, {"upper.JPEG", true, 40, 30}, {"pic.bmp", true, 40, 30},
      {"large.jpg", true, 250, 125}, {"pic.gif", true, 24, 16},
      {"cut.gif", false, 0, 0},   {"broken.jpg", false, 0, 0},
      {"missing.jpg", false, 0, 0},
  };
  for (const Case& c : cases) {
    int w = 0, h = 0;
    EXPECT_EQ(TMainForm::PreviewPicture(name(c.file), w, h), c.shown) << c.file;
    if (c.shown) {
      EXPECT_EQ(w, c.width) << c.file;
      EXPECT_EQ(h, c.height) << c.file;
    }
  }
  fs::remove_all(dir);
}

}  // namespace
}  // namespace nbtest

namespace nbtest {
namespace {

// With ORV_RICH_SCREENSHOT=<file.png> (under Xvfb, QT_QPA_PLATFORM=xcb) a rich note with a
// link is grabbed from the screen into that file; without it the note is only built and shown.
TEST_F(LinkFollowTest, RichNoteWithALinkOptionallyGrabbed) {
  StartWithLink();
  TRichEdit* m = MainForm->memo1;
  m->SetText(K("오늘 회의 요약\r\n") + K("굵은 글씨와 빨간 글씨, 그리고 링크: ") + "Target" + K(" 를 눌러 보세요.\r\n") +
             K("메일: ") + "me@example.org");
  auto select = [m](const std::string& what) {
    const std::string text = m->Text();
    m->SetSelStart(static_cast<int>(text.find(what)));
    m->SetSelLength(static_cast<int>(what.size()));
  };
  select(K("오늘 회의 요약"));
  m->SelAttributes().SetStyle(TFontStyles{fsBold});
  m->SelAttributes().SetSize(14);
  select(K("빨간 글씨"));
  m->SelAttributes().SetColor(clRed);
  select(K("굵은 글씨"));
  m->SelAttributes().SetStyle(TFontStyles{fsBold});
  select("Target");
  MainForm->MarkLinkClick(MainForm);
  select("me@example.org");
  MainForm->MarkLinkClick(MainForm);
  m->SetSelStart(0);
  m->SetSelLength(0);
  ASSERT_TRUE(MainForm->SaveNote());
  MainForm->Edit1->SetText(K("링크가 있는 노트"));
  MainForm->Edit1->SetModified(true);
  EXPECT_TRUE(MainForm->SaveNote());
  if (!std::getenv("ORV_RICH_SCREENSHOT")) return;
  MainForm->SetBounds(0, 0, 960, 680);
  GrabMainWindowIfAsked("ORV_RICH_SCREENSHOT");
}

}  // namespace
}  // namespace nbtest
