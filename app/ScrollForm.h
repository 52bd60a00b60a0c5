// TScrollForm: the auto-scrolling reader of the current body, white on blue. A modal dialog of the main window, created at start-up and living to
// exit; it reaches the main window through the global MainForm. GUI thread only.
#pragma once

#include "platform/ui/Forms.h"

class TScrollForm : public TForm {
 public:
  explicit TScrollForm(TComponent* AOwner);
};

extern TScrollForm* ScrollForm;
