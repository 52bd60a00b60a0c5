// The component walk over data modules and forms.
#include "table/XbSearch.h"

#include "platform/core/Classes.h"
#include "platform/core/Services.h"

TComponent* TXbSearchObject::FindFirst(const TMatch& IsMatch) {
  ModuleIndex = ModuleComponentIndex = FormIndex = FormComponentIndex = FrameComponentIndex = 0;
  return FindNext(IsMatch);
}

TComponent* TXbSearchObject::FindNext(const TMatch& IsMatch) {
  while (ModuleIndex < DataModuleCount()) {
    TComponent* module = DataModules(ModuleIndex);
    const int n = module ? module->ComponentCount() : 0;
    for (int i = ModuleComponentIndex; i < n; ++i) {
      TComponent* c = module->Components(i);
      if (IsMatch(c)) {
        ModuleComponentIndex = i + 1;
        return c;
      }
    }
    ModuleComponentIndex = 0;
    ++ModuleIndex;
  }
  while (FormIndex < FormCount()) {
    TComponent* form = Forms(FormIndex);
    const int n = form ? form->ComponentCount() : 0;
    for (int i = FormComponentIndex; i < n; ++i) {
      TComponent* c = form->Components(i);
      // Resuming inside a frame: the frame itself was looked at already.
      const bool resumingFrame = i == FormComponentIndex && FrameComponentIndex > 0;
      if (!resumingFrame && IsMatch(c)) {
        FormComponentIndex = i + 1;
        FrameComponentIndex = 0;
        return c;
      }
      if (c->IsFrame()) {
        const int m = c->ComponentCount();
        for (int j = FrameComponentIndex; j < m; ++j) {
          TComponent* inner = c->Components(j);
          if (IsMatch(inner)) {
            FormComponentIndex = i;
            FrameComponentIndex = j + 1;
            return inner;
          }
        }
      }
      FrameComponentIndex = 0;
    }
    FormComponentIndex = 0;
    ++FormIndex;
  }
  return nullptr;
}
