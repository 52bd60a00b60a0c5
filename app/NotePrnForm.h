// TNotePrnForm: printing of the current note with preview. A modal dialog of the main window, created at start-up and living to
// exit; it reaches the main window through the global MainForm. GUI thread only.
#pragma once

#include "platform/ui/Forms.h"

class TNotePrnForm : public TForm {
 public:
  explicit TNotePrnForm(TComponent* AOwner);
};

extern TNotePrnForm* NotePrnForm;
