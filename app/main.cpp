// Program entry: the application titled "Orvelane", the main window and its dialogs in their
// order, and the message loop until the main window closes.
#include "app/Program.h"
#include "components/Cursors.h"
#include "components/GifImage.h"
#include "platform/ui/Forms.h"

int main(int argc, char** argv) {
  TApplication app(argc, argv);
  // The picture formats, the icon clipboard format and the hand and drag cursors are in place
  // before any window is made.
  RegisterGifFormat();
  RegisterCursorsAndIconFormat();
  app.SetTitle("Orvelane");
  return RunProgram(app);
}
