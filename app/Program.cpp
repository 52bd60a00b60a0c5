// The program's forms in their order (Program.h).
#include "app/Program.h"

#include "app/ConvForm.h"
#include "app/FileForm.h"
#include "app/FindForm.h"
#include "app/IndexDlg.h"
#include "app/MainForm.h"
#include "app/NotePrnForm.h"
#include "app/PrnList.h"
#include "app/ScrollForm.h"
#include "app/SetForm.h"
#include "platform/ui/Forms.h"

void CreateProgramForms(TApplication& App) {
  App.CreateForm(MainForm);
  App.CreateForm(FindForm);
  App.CreateForm(FileForm);
  App.CreateForm(IndexDlg);
  App.CreateForm(SetForm);
  App.CreateForm(ConvForm);
  App.CreateForm(NotePrnForm);
  App.CreateForm(ScrollForm);
  App.CreateForm(PrnList);
}

int RunProgram(TApplication& App) {
  CreateProgramForms(App);
  // The start has told the user why it cannot go on.
  if (App.Terminated()) return 1;
  App.Run();
  return 0;
}

namespace {
template <class T>
void Free(T*& form) {
  delete form;
  form = nullptr;
}
}  // namespace

void DestroyProgramForms() {
  Free(PrnList);
  Free(ScrollForm);
  Free(NotePrnForm);
  Free(ConvForm);
  Free(SetForm);
  Free(IndexDlg);
  Free(FileForm);
  Free(FindForm);
  Free(MainForm);
}
