// Controls and forms driven for real under the offscreen platform: the edit's modified rule
// and byte limit, key preview order, Enter to the next control, focus events, modal dialogs
// that close themselves, message boxes and exceptions in the loop.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOption>
#include <QTest>
#include <QTimer>

#include "platform/core/FakeServices.h"
#include "platform/core/TextCodec.h"
#include "platform/ui/Dialogs.h"
#include "platform/ui/Forms.h"
#include "platform/ui/LongOperation.h"
#include "platform/ui/StdCtrls.h"

using cp949::K;

namespace {

// Types text as key presses that carry it (QTest's key clicks take ASCII only).
void TypeText(QWidget* w, const QString& text) {
  for (QChar ch : text) QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

// A form with three edits and a button, owned by the test.
struct SmallForm {
  SmallForm() {
    form = new TForm(nullptr);
    form->SetBounds(10, 10, 300, 200);
    for (int i = 0; i < 3; ++i) {
      edits[i] = new TEdit(form);
      edits[i]->SetParent(form);
      edits[i]->SetBounds(10, 10 + 30 * i, 120, 22);
    }
    button = new TButton(form);
    button->SetParent(form);
    button->SetBounds(10, 110, 75, 25);
  }
  ~SmallForm() { delete form; }
  TForm* form;
  TEdit* edits[3];
  TButton* button;
};

TEST(TEditTest, ModifiedRule) {
  SmallForm f;
  TEdit* e = f.edits[0];
  f.form->Show();
  // Typing marks the edit modified.
  QTest::keyClicks(e->LineEdit(), "ab");
  EXPECT_EQ(e->Text(), "ab");
  EXPECT_TRUE(e->Modified());
  // Setting the same text from the program leaves the flag as it was.
  e->SetText("ab");
  EXPECT_TRUE(e->Modified());
  // A different text from the program clears it.
  e->SetText(K("가나"));
  EXPECT_FALSE(e->Modified());
  // Deleting, cutting and pasting by the user mark it again.
  QTest::keyClick(e->LineEdit(), Qt::Key_Backspace);
  EXPECT_TRUE(e->Modified());
  e->SetText("xyz");
  e->SelectAll();
  QTest::keyClick(e->LineEdit(), Qt::Key_X, Qt::ControlModifier);
  EXPECT_EQ(e->Text(), "");
  EXPECT_TRUE(e->Modified());
  e->SetText("q");
  EXPECT_FALSE(e->Modified());
  QApplication::clipboard()->setText("zz");
  QTest::keyClick(e->LineEdit(), Qt::Key_V, Qt::ControlModifier);
  EXPECT_EQ(e->Text(), "qzz");
  EXPECT_TRUE(e->Modified());
  // Clearing from the program is a program change.
  e->Clear();
  EXPECT_FALSE(e->Modified());
  // Setting the same text while not modified does nothing either.
  e->SetText("");
  EXPECT_FALSE(e->Modified());
}

TEST(TEditTest, MaxLengthCountsBytes) {
  SmallForm f;
  TEdit* e = f.edits[0];
  e->SetMaxLength(5);
  f.form->Show();
  // Two syllables are four bytes; a third would make six and is refused, a letter fits.
  TypeText(e->LineEdit(), QString::fromUtf8("가나다a"));
  EXPECT_EQ(e->Text(), K("가나a"));
  EXPECT_EQ(e->Text().size(), 5u);
  // A paste is cut on a character boundary to what is left.
  e->SetText("abc");
  e->SetSelStart(3);
  QApplication::clipboard()->setText(QString::fromUtf8("한글"));
  e->PasteFromClipboard();
  EXPECT_EQ(e->Text(), "abc" + K("한"));
  EXPECT_TRUE(e->Modified());
  // The program may set a longer text; the user can still shorten it.
  e->SetText("abcdefg");
  EXPECT_EQ(e->Text(), "abcdefg");
  e->SetSelStart(7);
  QTest::keyClick(e->LineEdit(), Qt::Key_Backspace);
  EXPECT_EQ(e->Text(), "abcdef");
  // Characters without a code page 949 form are refused.
  e->SetText("");
  TypeText(e->LineEdit(), QString::fromUtf8("\xE2\x98\x83"));
  EXPECT_EQ(e->Text(), "");
}

TEST(TEditTest, SelectionInBytes) {
  SmallForm f;
  TEdit* e = f.edits[0];
  e->SetText(K("가a나"));
  e->SetSelStart(2);
  e->SetSelLength(3);
  EXPECT_EQ(e->SelText(), "a" + K("나"));
  EXPECT_EQ(e->SelStart(), 2);
  EXPECT_EQ(e->SelLength(), 3);
}

TEST(TFormTest, KeyPreviewSeesKeysFirstAndCanSwallow) {
  SmallForm f;
  std::vector<std::string> order;
  f.form->SetKeyPreview(true);
  f.form->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) {
    order.push_back("form down " + std::to_string(key));
    if (key == VK_F2) key = 0;
  };
  f.form->OnKeyPress = [&](TObject*, char& key) { order.push_back(std::string("form press ") + key); };
  f.edits[0]->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) {
    order.push_back("edit down " + std::to_string(key));
  };
  f.edits[0]->OnKeyPress = [&](TObject*, char& key) { order.push_back(std::string("edit press ") + key); };
  f.form->Show();
  QTest::keyClick(f.edits[0]->LineEdit(), Qt::Key_A);
  QTest::keyClick(f.edits[0]->LineEdit(), Qt::Key_F2);
  std::vector<std::string> want = {"form down 65", "edit down 65", "form press a", "edit press a",
                                   "form down 113"};
  EXPECT_EQ(order, want);
  EXPECT_EQ(f.edits[0]->Text(), "a");
  // Without preview the form hears nothing of its controls' keys.
  order.clear();
  f.form->SetKeyPreview(false);
  QTest::keyClick(f.edits[0]->LineEdit(), Qt::Key_B);
  EXPECT_EQ(order, (std::vector<std::string>{"edit down 66", "edit press b"}));
}

TEST(TFormTest, EnterMovesToNextControlAndFocusEventsFire) {
  SmallForm f;
  std::vector<std::string> events;
  for (int i = 0; i < 3; ++i) {
    f.edits[i]->OnEnter = [&, i](TObject*) { events.push_back("enter " + std::to_string(i)); };
    f.edits[i]->OnExit = [&, i](TObject*) { events.push_back("exit " + std::to_string(i)); };
  }
  f.form->SetKeyPreview(true);
  f.form->OnKeyPress = [&](TObject*, char& key) {
    if (key == '\r') {
      f.form->SelectNext(f.form->ActiveControl(), true, true);
      key = 0;
    }
  };
  f.edits[1]->SetTabOrder(0);  // tab order: edit 1, edit 0, edit 2, button
  f.form->Show();
  EXPECT_EQ(f.form->ActiveControl(), f.edits[1]);
  QTest::keyClick(f.edits[1]->LineEdit(), Qt::Key_Return);
  EXPECT_EQ(f.form->ActiveControl(), f.edits[0]);
  f.edits[2]->SetEnabled(false);
  QTest::keyClick(f.edits[0]->LineEdit(), Qt::Key_Return);
  EXPECT_EQ(f.form->ActiveControl(), f.button);
  // Tab goes the same way; Shift+Tab back (disabled edit 2 skipped).
  QTest::keyClick(f.button->Widget(), Qt::Key_Tab);
  EXPECT_EQ(f.form->ActiveControl(), f.edits[1]);
  QTest::keyClick(f.edits[1]->LineEdit(), Qt::Key_Tab, Qt::ShiftModifier);
  EXPECT_EQ(f.form->ActiveControl(), f.button);
  std::vector<std::string> want = {"enter 1", "exit 1", "enter 0", "exit 0", "enter 1", "exit 1"};
  EXPECT_EQ(events, want);
}

// The dialogs' Enter rule under real keys: Enter in an edit moves on; a focused button takes
// Enter and Space as a click; on a check box Enter reaches the Default button.
TEST(TFormTest, DialogEnterRuleLeavesFocusedButtonsAndTheDefaultButtonTheirEnter) {
  SmallForm f;
  auto* check = CreateControl<TCheckBox>(f.form, f.form, "Check1", 150, 10, 100, 22);
  auto* ok = CreateControl<TButton>(f.form, f.form, "Ok", 150, 110, 75, 25);
  ok->SetDefault(true);
  int clicks = 0, oks = 0;
  f.button->OnClick = [&](TObject*) { ++clicks; };
  ok->OnClick = [&](TObject*) { ++oks; };
  f.form->SetKeyPreview(true);
  f.form->OnKeyPress = [&](TObject*, char& key) { f.form->EnterMovesToNextControl(key); };
  f.form->Show();
  f.edits[2]->SetFocus();
  QTest::keyClick(f.edits[2]->LineEdit(), Qt::Key_Return);
  EXPECT_EQ(f.form->ActiveControl(), f.button) << "Enter in an edit moves to the next control";
  EXPECT_EQ(clicks + oks, 0);
  {
    // The button reached from the keyboard draws its focus frame.
    QStyleOptionButton opt;
    opt.initFrom(f.button->Widget());
    EXPECT_TRUE(opt.state & QStyle::State_KeyboardFocusChange);
  }
  QTest::keyClick(f.button->Widget(), Qt::Key_Return);
  EXPECT_EQ(clicks, 1) << "Enter on a focused button clicks it";
  QTest::keyClick(f.button->Widget(), Qt::Key_Space);
  EXPECT_EQ(clicks, 2) << "so does Space";
  EXPECT_EQ(f.form->ActiveControl(), f.button);
  check->SetFocus();
  QTest::keyClick(check->Widget(), Qt::Key_Return);
  EXPECT_EQ(oks, 1) << "Enter elsewhere goes to the Default button";
  EXPECT_EQ(clicks, 2);
  // Without a Default button (most of the program's dialogs) Enter on a check box moves on.
  ok->SetDefault(false);
  check->SetFocus();
  QTest::keyClick(check->Widget(), Qt::Key_Return);
  EXPECT_EQ(f.form->ActiveControl(), f.form->FindNextControl(check, true, true));
  EXPECT_NE(f.form->ActiveControl(), check);
  EXPECT_EQ(oks + clicks, 3) << "and clicks nothing";
  EXPECT_FALSE(check->Checked());
}

TEST(TFormTest, ShowModalEndsThroughButtonsCloseQueryAndClose) {
  TFakeServices fake;
  TForm* dlg = new TForm(nullptr);
  auto* ok = new TButton(dlg);
  ok->SetParent(dlg);
  ok->ModalResult = mrOk;
  auto* cancel = new TButton(dlg);
  cancel->SetParent(dlg);
  cancel->SetCancel(true);
  cancel->ModalResult = mrCancel;
  int refusals = 1;
  std::vector<std::string> steps;
  dlg->OnShow = [&](TObject*) { steps.push_back("show"); };
  dlg->OnActivate = [&](TObject*) { steps.push_back("activate"); };
  dlg->OnCloseQuery = [&](TObject*, bool& can) {
    steps.push_back("query");
    if (refusals > 0) {
      --refusals;
      can = false;
    }
  };
  dlg->OnClose = [&](TObject*, TCloseAction&) { steps.push_back("close"); };
  // The first click is refused by OnCloseQuery, the second one ends the dialog.
  QTimer::singleShot(0, [&] {
    ok->Click();
    QTimer::singleShot(0, [&] { ok->Click(); });
  });
  EXPECT_EQ(dlg->ShowModal(), mrOk);
  EXPECT_FALSE(dlg->Visible());
  EXPECT_EQ(steps, (std::vector<std::string>{"show", "activate", "query", "query", "close"}));
  // Esc clicks the Cancel button; the dialog can be shown again.
  dlg->OnShow = [&](TObject*) {
    QTimer::singleShot(0, [&] { QTest::keyClick(ok->Widget(), Qt::Key_Escape); });
  };
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  // Close() ends a modal form with mrCancel.
  dlg->OnShow = [&](TObject*) { QTimer::singleShot(0, [&] { dlg->Close(); }); };
  EXPECT_EQ(dlg->ShowModal(), mrCancel);
  dlg->OnShow = nullptr;
  dlg->Show();
  EXPECT_THROW(dlg->ShowModal(), EInvalidOperation);
  delete dlg;
}

TEST(TApplicationTest, ExceptionInTheLoopIsShownAndTheLoopGoesOn) {
  TFakeServices fake;
  SmallForm f;
  f.button->OnClick = [](TObject*) { throw EConvertError("'x' is not a valid integer value"); };
  bool later = false;
  f.form->Show();
  QTimer::singleShot(0, [&] { QTest::mouseClick(f.button->Widget(), Qt::LeftButton); });
  QTimer::singleShot(5, [&] { later = true; });
  for (int i = 0; i < 200 && !later; ++i) Application->HandleMessage();
  EXPECT_TRUE(later);
  ASSERT_EQ(fake.Boxes.size(), 1u);
  EXPECT_EQ(fake.Boxes[0].Text, "'x' is not a valid integer value.");
  EXPECT_EQ(fake.Boxes[0].Flags & MB_ICONMASK, unsigned(MB_ICONERROR));
}

TEST(TApplicationTest, SentKeyDownReachesTheWindowAtOnceInsideALongOperation) {
  SmallForm f;
  std::vector<uint16_t> keys;
  bool busy = false;
  f.form->OnKeyDown = [&](TObject*, uint16_t& key, TShiftState) {
    keys.push_back(key);
    busy = TLongOperation::InProgress();
    key = 0;
  };
  SendKeyDown(f.form->Handle(), 0xFFCE);
  EXPECT_EQ(keys, std::vector<uint16_t>{0xFFCE}) << "inside the call that sends it";
  EXPECT_TRUE(busy) << "the handler's ProcessMessages must not let the user in";
  EXPECT_FALSE(TLongOperation::InProgress());
  // A window that is gone gets nothing.
  intptr_t h = f.edits[0]->Handle();
  delete f.edits[0];
  SendKeyDown(h, 0xFFCE);
  EXPECT_EQ(keys.size(), 1u);
}

}  // namespace

namespace {

// The real input box (the quick move's) and the font box show Korean buttons, as the message
// boxes do; OK in the input box gives the typed text.
TEST(TApplicationTest, InputAndFontBoxesHaveKoreanButtons) {
  auto buttonTexts = [](QWidget* box) {
    QStringList texts;
    for (QPushButton* b : box->findChildren<QPushButton*>())
      if (b->isVisible()) texts << b->text();
    texts.sort();
    return texts;
  };
  const QStringList want = {QString::fromUtf8("취소"), QString::fromUtf8("확인")};
  QStringList seen;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    seen = buttonTexts(box);
    QTest::keyClicks(box->findChild<QLineEdit*>(), "abc");
    for (QPushButton* b : box->findChildren<QPushButton*>())
      if (b->text() == QString::fromUtf8("확인")) b->click();
  });
  TQtDialogService service;
  std::string value;
  EXPECT_TRUE(service.InputQuery(K("빠른이동"), K("이동할 첫단어를 입력하세요."), value));
  EXPECT_EQ(value, "abc");
  EXPECT_EQ(seen, want);

  seen.clear();
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    ASSERT_NE(box, nullptr);
    seen = buttonTexts(box);
    static_cast<QDialog*>(box)->reject();
  });
  TFont font;
  EXPECT_FALSE(service.ChooseFont(font));
  EXPECT_EQ(seen, want);

  // The file boxes without a title of their own are named in Korean too.
  for (bool save : {false, true}) {
    QString title;
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      ASSERT_NE(box, nullptr);
      title = box->windowTitle();
      static_cast<QDialog*>(box)->reject();
    });
    TFileDialogRequest request;
    request.Save = save;
    EXPECT_FALSE(service.ChooseFile(request));
    EXPECT_EQ(title, QString::fromUtf8(save ? "다른 이름으로 저장" : "열기"));
  }
}

TEST(TFormTest, BorderIconsChooseTheCaptionButtons) {
  TForm reader(nullptr);
  reader.SetBorderStyle(bsSingle);
  reader.SetBorderIcons(biSystemMenu);  // system menu only
  Qt::WindowFlags f = reader.Widget()->windowFlags();
  EXPECT_TRUE(f & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(f & Qt::WindowMaximizeButtonHint);
  EXPECT_FALSE(f & Qt::WindowMinimizeButtonHint);
  reader.SetBorderIcons(biSystemMenu | biMinimize);
  EXPECT_TRUE(reader.Widget()->windowFlags() & Qt::WindowMinimizeButtonHint);
}

// A dialog border has a fixed size, so the window system offers no sizing or maximizing;
// the program still sizes it, and another border style lifts the constraint.
TEST(TFormTest, DialogBorderKeepsItsSizeFromTheUserNotFromTheProgram) {
  TForm dlg(nullptr);
  dlg.SetUpDialog("Dlg", "d", 300, 200);
  dlg.Show();
  QWidget* w = dlg.Widget();
  EXPECT_EQ(w->minimumSize(), w->size());
  EXPECT_EQ(w->maximumSize(), w->size());
  w->resize(500, 400);  // the user drags the border
  EXPECT_EQ(w->size(), w->minimumSize());
  dlg.SetBounds(dlg.Left(), dlg.Top(), 340, 220);
  EXPECT_EQ(dlg.Width(), 340);
  EXPECT_EQ(dlg.Height(), 220);
  EXPECT_EQ(w->maximumSize(), w->size());
  dlg.SetBorderStyle(bsSizeable);
  EXPECT_NE(w->maximumSize(), w->size());
}

TEST(TFormTest, ModalHookDrivesTheDialogWithoutALoop) {
  TForm dlg(nullptr);
  auto* edit = new TEdit(&dlg);
  edit->SetParent(&dlg);
  auto* ok = new TButton(&dlg);
  ok->SetParent(&dlg);
  ok->ModalResult = mrOk;
  std::vector<std::string> steps;
  dlg.OnActivate = [&](TObject*) { steps.push_back("activate"); };
  dlg.OnClose = [&](TObject*, TCloseAction&) { steps.push_back("close"); };
  TModalHook old = SetModalHook([&](TCustomForm* f) {
    EXPECT_EQ(f, &dlg);
    EXPECT_TRUE(f->Visible());
    edit->SetText("typed");
    ok->Click();
  });
  EXPECT_EQ(dlg.ShowModal(), mrOk);
  EXPECT_FALSE(dlg.Visible());
  EXPECT_EQ(edit->Text(), "typed");
  EXPECT_EQ(steps, (std::vector<std::string>{"activate", "close"}));
  // A hook that does nothing cancels.
  SetModalHook([](TCustomForm*) {});
  EXPECT_EQ(dlg.ShowModal(), mrCancel);
  SetModalHook(old);
}

TEST(TApplicationTest, RunShowsTheMainFormAndEndsWhenItCloses) {
  TFakeServices fake;  // the terminate request is recorded here
  TForm* main = nullptr;
  Application->CreateForm(main);
  ASSERT_EQ(Application->MainForm(), main);
  std::vector<std::string> steps;
  main->OnShow = [&](TObject*) {
    steps.push_back("show");
    QTimer::singleShot(0, [&] { main->Close(); });
  };
  main->OnClose = [&](TObject*, TCloseAction& a) {
    steps.push_back("close");
    a = caMinimize;  // the main form ends the application whatever the action
  };
  Application->Run();
  EXPECT_TRUE(Application->Terminated());
  EXPECT_EQ(fake.TerminateRequests, 1);
  EXPECT_EQ(steps, (std::vector<std::string>{"show", "close"}));
  EXPECT_FALSE(main->Visible());
  ResetTerminate();
  delete main;
  EXPECT_EQ(Application->MainForm(), nullptr);
}

TEST(TFormTest, MaximizedFormKeepsItsNormalBounds) {
  TForm form(nullptr);
  form.SetBounds(20, 30, 400, 300);
  form.SetWindowState(wsMaximized);
  form.Show();
  EXPECT_EQ(form.WindowState(), wsMaximized);
  EXPECT_GE(form.Width(), 400);
  form.SetWindowState(wsNormal);
  EXPECT_EQ(form.WindowState(), wsNormal);
  EXPECT_EQ(form.Left(), 20);
  EXPECT_EQ(form.Top(), 30);
  EXPECT_EQ(form.Width(), 400);
  EXPECT_EQ(form.Height(), 300);
  // Bounds set while maximized are the ones it comes back to.
  form.SetWindowState(wsMaximized);
  form.SetBounds(5, 6, 320, 240);
  EXPECT_EQ(form.WindowState(), wsMaximized);
  form.SetWindowState(wsNormal);
  EXPECT_EQ(form.Left(), 5);
  EXPECT_EQ(form.Width(), 320);
  EXPECT_LE(form.ClientWidth(), 320);
  // A centred form keeps its size.
  TForm centred(nullptr);
  centred.SetBounds(0, 0, 200, 100);
  centred.SetPosition(poScreenCenter);
  centred.Show();
  EXPECT_EQ(centred.Width(), 200);
  EXPECT_GT(centred.Left(), 0);
}

}  // namespace
