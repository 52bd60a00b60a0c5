// TConvForm: the dialog's form (ConvForm.h).
#include "app/ConvForm.h"

#include "platform/core/TextCodec.h"

TConvForm* ConvForm = nullptr;

TConvForm::TConvForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("ConvForm");
  SetCaption(cp949::K("일괄작업"));
  SetPosition(poScreenCenter);
  SetKeyPreview(true);
  SetBounds(0, 0, 480, 400);
}
