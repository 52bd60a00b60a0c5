// How the main window shows its dialogs: through one runner that tests replace, so a test
// answers a dialog (acts on its controls, sets its result) without a real modal loop.
// The installed runner is the form's own ShowModal. GUI thread only.
#pragma once

#include <functional>

#include "platform/ui/Forms.h"

using TModalRunner = std::function<TModalResult(TCustomForm& Form)>;

// Installs a runner (an empty one restores ShowModal); returns the previous one.
TModalRunner SetModalRunner(TModalRunner Runner);
// Shows Form modally through the installed runner.
TModalResult RunModal(TCustomForm& Form);
