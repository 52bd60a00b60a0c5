// TScrollForm: the dialog's form (ScrollForm.h).
#include "app/ScrollForm.h"

#include "platform/core/TextCodec.h"

TScrollForm* ScrollForm = nullptr;

TScrollForm::TScrollForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("ScrollForm");
  SetBorderStyle(bsSingle);
  SetColor(clBlue);
  SetBounds(0, 0, 640, 480);
}
