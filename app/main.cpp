// Program entry: the application titled "Orvelane", the main window and its dialogs in their
// order, and the message loop until the main window closes.
#include "app/Program.h"
#include "platform/ui/Forms.h"

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  app.SetTitle("Orvelane");
  CreateProgramForms(app);
  if (!app.Terminated()) app.Run();
  return 0;
}
