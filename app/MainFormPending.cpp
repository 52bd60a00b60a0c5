// TMainForm: commands the keyboard map reaches whose behaviour belongs to the navigation and
// editing files that are not written yet. Each does nothing until its file defines it; that
// file then takes the definition out of here.
#include "app/MainForm.h"
