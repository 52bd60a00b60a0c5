// TFileForm: the dialog's form (FileForm.h).
#include "app/FileForm.h"

#include "platform/core/TextCodec.h"

TFileForm* FileForm = nullptr;

TFileForm::TFileForm(TComponent* AOwner) : TForm(AOwner) {
  SetName("FileForm");
  SetCaption(cp949::K("파 일 창 고"));
  SetPosition(poScreenCenter);
  SetBounds(0, 0, 620, 420);
}
