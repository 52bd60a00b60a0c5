// TIndexDlg: the dialog's form (IndexDlg.h).
#include "app/IndexDlg.h"

#include "platform/core/TextCodec.h"

TIndexDlg* IndexDlg = nullptr;

TIndexDlg::TIndexDlg(TComponent* AOwner) : TForm(AOwner) {
  SetName("IndexDlg");
  SetCaption(cp949::K("자 료 정 렬"));
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 360, 300);
}
