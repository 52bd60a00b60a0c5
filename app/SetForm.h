// TSetForm: the settings of the current note file (labels, protection, link folder) and the body font. A modal dialog of the main window, created at start-up and living to
// exit; it reaches the main window through the global MainForm. GUI thread only.
#pragma once

#include "platform/ui/Forms.h"

class TSetForm : public TForm {
 public:
  explicit TSetForm(TComponent* AOwner);
};

extern TSetForm* SetForm;
