// The program's forms: created in their fixed order (main window first, then the dialogs the
// main window shows), all living until exit. Tests build the same set on a data folder.
#pragma once

class TApplication;

// Creates MainForm, FindForm, FileForm, IndexDlg, SetForm, ConvForm, NotePrnForm, ScrollForm
// and PrnList, in this order, owned by App.
void CreateProgramForms(TApplication& App);
// Creates the forms and runs the message loop until the main window closes. The exit status
// of the program: 1 when its start ended it before the loop (no engine library, no settings
// table), else 0.
int RunProgram(TApplication& App);
// Frees them again, dialogs first (for tests; the program leaves this to the application).
void DestroyProgramForms();
