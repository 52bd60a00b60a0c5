// The program speaks Korean whatever the locale, Qt's own parts of it included: the font
// dialog, the file dialogs, the message boxes and their captions, and the edits' context
// menus. The real dialogs are opened and their texts read back.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

#include <memory>

#include "platform/core/Services.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/QtServices.h"

using cp949::K;

namespace {

// The title, labels, group titles and button texts a dialog shows.
QStringList ShownTexts(QWidget* box) {
  QStringList texts = {box->windowTitle()};
  for (QLabel* l : box->findChildren<QLabel*>())
    if (l->isVisibleTo(box)) texts << l->text();
  for (QAbstractButton* b : box->findChildren<QAbstractButton*>())
    if (b->isVisibleTo(box)) texts << b->text();
  for (QGroupBox* g : box->findChildren<QGroupBox*>())
    if (g->isVisibleTo(box)) texts << g->title();
  return texts;
}

// The texts among these that hold an English word.
QStringList English(const QStringList& texts) {
  static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
  QStringList out;
  for (QString t : texts) {
    t.remove(u'&');
    if (word.match(t).hasMatch()) out << t;
  }
  return out;
}

// Runs Open, which opens a modal box; Read takes the box's texts, then it is closed.
QStringList TextsOfModal(const std::function<void()>& open) {
  QStringList texts;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    texts = ShownTexts(box);
    if (auto* m = qobject_cast<QMessageBox*>(box))
      m->done(0);
    else
      static_cast<QDialog*>(box)->reject();
  });
  open();
  return texts;
}

TEST(KoreanTextsTest, FontFileAndMessageBoxesSpeakKorean) {
  TQtDialogService service;
  const QStringList font = TextsOfModal([&] {
    TFont f;
    service.ChooseFont(f);
  });
  EXPECT_TRUE(font.contains(QString::fromUtf8("글꼴"))) << font.join(" | ").toStdString();
  EXPECT_EQ(English(font), QStringList()) << font.join(" | ").toStdString();

  const QStringList file = TextsOfModal([&] {
    TFileDialogRequest r;
    r.Title = K("파일읽기");
    r.Filter = K("텍스트|*.TXT");
    service.ChooseFile(r);
  });
  EXPECT_TRUE(file.contains(QString::fromUtf8("파일읽기"))) << file.join(" | ").toStdString();
  EXPECT_EQ(English(file), QStringList()) << file.join(" | ").toStdString();

  for (TMsgDlgType type : {mtWarning, mtError, mtInformation, mtConfirmation}) {
    const QStringList box = TextsOfModal([&] { MessageDlg(K("내용"), type, {mbYes, mbNo, mbCancel}, 0); });
    EXPECT_EQ(English(box), QStringList()) << box.join(" | ").toStdString();
    EXPECT_TRUE(box.contains(QString::fromUtf8("예"))) << box.join(" | ").toStdString();
  }
}

TEST(KoreanTextsTest, EditContextMenuSpeaksKorean) {
  QLineEdit edit;
  std::unique_ptr<QMenu> menu(edit.createStandardContextMenu());
  QStringList texts;
  for (QAction* a : menu->actions())
    if (!a->isSeparator()) texts << a->text().section(u'\t', 0, 0);  // the key after the tab is a key name
  ASSERT_FALSE(texts.isEmpty());
  EXPECT_EQ(English(texts), QStringList()) << texts.join(" | ").toStdString();
  EXPECT_TRUE(texts.contains(QString::fromUtf8("실행 취소(&U)"))) << texts.join(" | ").toStdString();
}

}  // namespace
