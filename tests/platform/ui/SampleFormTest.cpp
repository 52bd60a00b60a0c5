// A small sample form with Hangul text in the program's Korean faces, for looking at the fonts
// on a real display: with ORV_UI_SCREENSHOT=<file.png> (under Xvfb, QT_QPA_PLATFORM=xcb) the
// window is grabbed from the screen into that file. Without it the form is only built.
#include <gtest/gtest.h>

#include <QFontDatabase>

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <QWidget>
#include <cstdlib>

#include "platform/core/TextCodec.h"
#include "platform/gfx/QtGraphics.h"
#include "platform/ui/Buttons.h"
#include "platform/ui/ComCtrls.h"
#include "platform/ui/ExtCtrls.h"
#include "platform/ui/Forms.h"
#include "platform/ui/StdCtrls.h"

using cp949::K;

namespace {

TEST(SampleForm, KoreanFacesMapToInstalledFamilies) {
  struct Case {
    const char* face;
    const char* family;
  } cases[] = {{"굴림", "NanumGothic"},      {"굴림체", "NanumGothicCoding"},
               {"바탕", "NanumMyeongjo"},    {"궁서체", "NanumMyeongjo"},
               {"돋움", "NanumGothic"},      {"Times New Roman", "Liberation Serif"},
               {"Arial", "Liberation Sans"}, {"COURIER NEW", "Liberation Mono"},
               {"없는글꼴", "NanumGothic"}};
  for (const Case& c : cases) {
    EXPECT_EQ(orv::MapFontFamily(K(c.face)).toStdString(), c.family) << c.face;
    // Installed, so the layout is not that of a fallback face.
    EXPECT_TRUE(QFontDatabase::hasFamily(QString::fromUtf8(c.family))) << c.family;
  }
}

TEST(SampleForm, BuildsAndOptionallyGrabsTheScreen) {
  TForm form(nullptr);
  form.SetCaption(K("오르벨레인 - 글꼴 견본"));
  form.SetBounds(40, 40, 460, 300);
  const char* faces[] = {"굴림", "바탕", "궁서체", "굴림체"};
  for (int i = 0; i < 4; ++i) {
    auto* l = new TLabel(&form);
    l->SetParent(&form);
    TFont f;
    f.SetName(K(faces[i]));
    f.SetSize(12);
    if (i == 1) f.SetStyle({fsBold});
    l->SetFont(f);
    l->SetCaption(K(faces[i]) + K(": 다람쥐 헌 쳇바퀴에 타고파 0123 ABC"));
    l->SetBounds(12, 12 + 30 * i, 430, 24);
  }
  auto* edit = new TEdit(&form);
  edit->SetParent(&form);
  edit->SetBounds(12, 140, 240, 24);
  edit->SetText(K("표제 한글 입력"));
  auto* button = new TButton(&form);
  button->SetParent(&form);
  button->SetCaption(K("확인"));
  button->SetBounds(270, 140, 80, 26);
  auto* speed = new TSpeedButton(&form);
  speed->SetParent(&form);
  speed->SetCaption(K("새로입력 [F2]"));
  speed->SetBounds(12, 180, 140, 28);
  auto* bar = new TStatusBar(&form);
  bar->SetParent(&form);
  bar->Panels().Add()->SetText("12,3");
  bar->Panels().Items(0)->SetWidth(80);
  bar->Panels().Add()->SetText(K("쓰기방지"));
  bar->Panels().Items(1)->SetWidth(90);
  bar->Panels().Add()->SetText("/data\\orvel27c.dbf");
  form.Show();
  Application->ProcessMessages();
  EXPECT_EQ(edit->Text(), K("표제 한글 입력"));

  const char* out = std::getenv("ORV_UI_SCREENSHOT");
  if (!out) return;
  for (int i = 0; i < 20; ++i) Application->ProcessMessages();
  QScreen* screen = QGuiApplication::primaryScreen();
  ASSERT_NE(screen, nullptr);
  QWidget* w = form.Widget();
  QPixmap shot = screen->grabWindow(0, w->frameGeometry().x(), w->frameGeometry().y(),
                                    w->frameGeometry().width(), w->frameGeometry().height());
  if (shot.isNull() || QGuiApplication::platformName() == "offscreen") shot = w->grab();
  EXPECT_TRUE(shot.save(QString::fromLocal8Bit(out)));
}

}  // namespace
