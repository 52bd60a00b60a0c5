// TFindForm: the title search: a search expression over the titles, applied as the note table's query. A modal dialog of the main window, created at start-up and living to
// exit; it reaches the main window through the global MainForm. GUI thread only.
#pragma once

#include "platform/ui/Forms.h"

class TFindForm : public TForm {
 public:
  explicit TFindForm(TComponent* AOwner);
};

extern TFindForm* FindForm;
