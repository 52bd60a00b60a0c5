// The one way the main window shows its dialogs: modally, through the form's ShowModal, so
// the UI layer's modal hook (SetModalHook, Forms.h) lets a test answer any of them without a
// real modal loop. GUI thread only.
#pragma once

#include "platform/ui/Forms.h"

// Shows Form modally and returns its modal result.
TModalResult RunModal(TCustomForm& Form);
