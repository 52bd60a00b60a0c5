// The clipboard: code page 949 text, registered formats by name, grouped writes and pictures.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QMimeData>

#include "platform/core/TextCodec.h"
#include "platform/gfx/Bitmap.h"
#include "platform/ui/Clipbrd.h"

namespace {

TEST(ClipboardTest, TextFormatsAndGroupedWrites) {
  TClipboard& c = Clipboard();
  c.Clear();
  c.SetAsText(cp949::K("본문 선택"));
  EXPECT_EQ(c.AsText(), cp949::K("본문 선택"));
  EXPECT_EQ(QApplication::clipboard()->text().toStdString(), "본문 선택");
  EXPECT_TRUE(c.HasFormat(CF_TEXT));

  TClipboardFormat gif = RegisterClipboardFormat("GIF Image");
  EXPECT_EQ(RegisterClipboardFormat("gif image"), gif);
  EXPECT_GE(gif, 0xC000u);
  EXPECT_NE(RegisterClipboardFormat("Other"), gif);
  EXPECT_FALSE(c.HasFormat(gif));
  std::string bytes("GIF89a\0\x01\xFF", 9);
  c.SetData(gif, bytes);  // adds to the text
  EXPECT_TRUE(c.HasFormat(gif));
  EXPECT_EQ(c.GetData(gif), bytes);
  EXPECT_EQ(c.AsText(), cp949::K("본문 선택"));

  TBitmap b;
  b.SetSize(3, 2);
  b.SetPixel(1, 1, clRed);
  c.Open();
  c.Clear();
  c.SetBitmap(b);
  c.SetAsText("pic");
  EXPECT_FALSE(c.HasFormat(gif));
  c.Close();
  TBitmap back;
  ASSERT_TRUE(c.GetBitmap(back));
  EXPECT_EQ(back.Width(), 3);
  EXPECT_EQ(back.Pixel(1, 1), clRed);
  EXPECT_EQ(c.AsText(), "pic");
  EXPECT_THROW(c.SetData(0xBFFF, "x"), EInvalidOperation);
}

// Text set after a rich copy is what an editor pastes: no rich form of the old text stays
// beside it.
TEST(ClipboardTest, NewTextReplacesTheRichFormOfTheOld) {
  auto* rich = new QMimeData;
  rich->setHtml("<b>old</b>");
  rich->setText("old");
  QApplication::clipboard()->setMimeData(rich);
  Clipboard().SetAsText("new");
  const QMimeData* now = QApplication::clipboard()->mimeData();
  ASSERT_NE(now, nullptr);
  EXPECT_FALSE(now->hasHtml());
  EXPECT_EQ(now->text().toStdString(), "new");
}

}  // namespace
