// TIndexDlg: the sort and pack dialog, owner of the one index-tag builder. A modal dialog of the main window, created at start-up and living to
// exit; it reaches the main window through the global MainForm. GUI thread only.
#pragma once

#include "platform/ui/Forms.h"

class TIndexDlg : public TForm {
 public:
  explicit TIndexDlg(TComponent* AOwner);
};

extern TIndexDlg* IndexDlg;
