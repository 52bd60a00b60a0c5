// TPrnList: the dialog's form (PrnList.h).
#include "app/PrnList.h"

#include "platform/core/TextCodec.h"

TPrnList* PrnList = nullptr;

TPrnList::TPrnList(TComponent* AOwner) : TForm(AOwner) {
  SetName("PrnList");
  SetCaption(cp949::K("목록인쇄"));
  SetWindowState(wsMaximized);
  SetBounds(0, 0, 640, 480);
}
