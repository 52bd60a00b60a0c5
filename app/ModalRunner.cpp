// The runner behind the main window's modal dialogs (ModalRunner.h).
#include "app/ModalRunner.h"

#include <utility>

namespace {
TModalRunner& Installed() {
  static TModalRunner runner;
  return runner;
}
}  // namespace

TModalRunner SetModalRunner(TModalRunner Runner) { return std::exchange(Installed(), std::move(Runner)); }

TModalResult RunModal(TCustomForm& Form) {
  if (Installed()) return Installed()(Form);
  return Form.ShowModal();
}
