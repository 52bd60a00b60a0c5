// TSetForm: the dialog's form (SetForm.h).
#include "app/SetForm.h"

#include "platform/core/TextCodec.h"

TSetForm* SetForm = nullptr;

TSetForm::TSetForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("SetForm");
  SetCaption(cp949::K("환 경 설 정"));
  SetPosition(poScreenCenter);
  SetKeyPreview(true);
  SetBounds(0, 0, 460, 380);
}
