// The main window's way of showing a dialog (ModalRunner.h).
#include "app/ModalRunner.h"

TModalResult RunModal(TCustomForm& Form) { return Form.ShowModal(); }
