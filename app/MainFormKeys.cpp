// TMainForm: the keyboard map (MainForm.h). The window sees every key before its controls
// and leaves it to them afterwards. "Ctrl" and "Alt" rows hold only when that modifier alone
// is down; the other rows act whatever the modifiers.
#include "app/MainForm.h"
#include "platform/ui/ShellApi.h"

void TMainForm::FormKeyDown(TObject*, uint16_t& Key, TShiftState Shift) {
  const TShiftState mods = KeyModifiers(Shift);
  const bool ctrlOnly = mods == ssCtrl;
  const bool altOnly = mods == ssAlt;
  switch (Key) {
    case VK_F1:
      OpenHelpPage();  // the Windows help file has no viewer here: the help page stands in
      break;
    case VK_F2:
      SpeedButton2->Click();
      break;
    case VK_F3:
      if (ctrlOnly)
        RecEdShow();
      else
        QuickBtn->Click();
      break;
    case VK_F4:
      if (!altOnly) FindDlgShow();
      break;
    case VK_F5:
      if (ctrlOnly)
        NextMarkedNote();
      else if (!altOnly)
        SeekBtn->Click();
      break;
    case VK_F9:
      FileBtnClick(this);
      break;
    case 'O':
      if (altOnly) FileBtnClick(this);
      break;
    case 'P':
      // The button says Ctrl+P; Alt+P is the older key.
      if (altOnly || ctrlOnly) PrintBtnClick(this);
      break;
    case '1':
    case '2':
    case '3':
    case '4':
      if (altOnly) SelToTitle(Key - '0');
      break;
    case VK_SCROLL:
      ScrollReaderShow();
      break;
    default:
      break;
  }
}
