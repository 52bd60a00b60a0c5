// TFindForm: the dialog's form (FindForm.h).
#include "app/FindForm.h"

#include "platform/core/TextCodec.h"

TFindForm* FindForm = nullptr;

TFindForm::TFindForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("FindForm");
  SetCaption(cp949::K("표 제 검 색"));
  SetPosition(poScreenCenter);
  SetKeyPreview(true);
  SetBounds(0, 0, 420, 330);
}
