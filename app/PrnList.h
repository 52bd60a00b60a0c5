// TPrnList: printing of the note list with preview. A modal dialog of the main window, created at start-up and living to
// exit; it reaches the main window through the global MainForm. GUI thread only.
#pragma once

#include "platform/ui/Forms.h"

class TPrnList : public TForm {
 public:
  explicit TPrnList(TComponent* AOwner);
};

extern TPrnList* PrnList;
