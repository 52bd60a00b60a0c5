// TConvForm: batch edits over the notes in view: titles, V marks, maintenance runs. A modal dialog of the main window, created at start-up and living to
// exit; it reaches the main window through the global MainForm. GUI thread only.
#pragma once

#include "platform/ui/Forms.h"

class TConvForm : public TForm {
 public:
  explicit TConvForm(TComponent* AOwner);
};

extern TConvForm* ConvForm;
