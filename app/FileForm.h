// TFileForm: the file store: lists, selects, renames, creates, deletes and merges the note files of the data folder. A modal dialog of the main window, created at start-up and living to
// exit; it reaches the main window through the global MainForm. GUI thread only.
#pragma once

#include "platform/ui/Forms.h"

class TFileForm : public TForm {
 public:
  explicit TFileForm(TComponent* AOwner);
};

extern TFileForm* FileForm;
