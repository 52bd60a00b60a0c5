// Fixture of the print dialog tests: printed pages go to a page-picture printer, a dialog is
// shown from its main-window button with the test's actions run while it is up, and the
// report the dialog recorded is read back from its stream file.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "NoteBookFixture.h"
#include "report/ReportPrinter.h"

namespace nbtest {

// A text or a line end of a recorded report, with its page (from 1).
struct TDrawn {
  int page = 0;
  uint8_t code = 0;
  double x = 0, y = 0;
  std::string text;
};

// The texts and the MoveTo / LineTo points of the stream file in the current folder; pages,
// when given, gets the number of pages.
std::vector<TDrawn> RecordedStream(int* pages);

class PrintDialogTest : public NoteBookTest {
 protected:
  void SetUp() override {
    NoteBookTest::SetUp();
    oldPrinter = SetReportPrinter(&pages);
  }
  void TearDown() override {
    NoteBookTest::TearDown();
    SetReportPrinter(oldPrinter);
  }
  // Clicks opener; when dialog shows, it is activated as on screen and act runs, then it is
  // answered with Cancel.
  template <class TDialog>
  void ShowPrintDialog(TDialog* dialog, TSpeedButton* opener, std::function<void()> act) {
    answer = [dialog, act](TCustomForm& f) {
      if (&f == dialog) {
        dialog->FormActivate(dialog);
        act();
      }
      return mrCancel;
    };
    opener->Click();
  }

  TImagePagePrinter pages{100, 100};
  TReportPrinter* oldPrinter = nullptr;
};

}  // namespace nbtest
