// TNotePrnForm: the dialog's form (NotePrnForm.h).
#include "app/NotePrnForm.h"

#include "platform/core/TextCodec.h"

TNotePrnForm* NotePrnForm = nullptr;

TNotePrnForm::TNotePrnForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("NotePrnForm");
  SetCaption(cp949::K("인 쇄"));
  SetKeyPreview(true);
  SetWindowState(wsMaximized);
  SetBounds(0, 0, 640, 480);
}
