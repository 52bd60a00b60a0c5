// The input-method switch and the stand-in input-method manager.
#include "components/IMEControl.h"

#include <QCoreApplication>
#include <QInputMethodEvent>
#include <QString>
#include <QWidget>
#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/core/TextCodec.h"
#include "platform/ui/Controls.h"

IInputMethodManager::~IInputMethodManager() = default;

namespace {

IInputMethodManager* gManager = nullptr;

// A context names its window: the handle plus one, so the application (0) has one too.
intptr_t WindowOf(HIMC Context) { return static_cast<intptr_t>(Context - 1); }

// Shows a composition in the window's widget as Qt's input method would.
void SendComposition(intptr_t Window, const std::string& Composition) {
  if (Window == ApplicationWindow) return;
  TWinControl* c = TWinControl::FromHandle(Window);
  if (!c || !c->Widget()) return;
  QWidget* w = c->Widget()->focusProxy() ? c->Widget()->focusProxy() : c->Widget();
  QString text = QString::fromUtf8(cp949::ToUtf8(Composition));
  QList<QInputMethodEvent::Attribute> attrs;
  attrs.append(QInputMethodEvent::Attribute(QInputMethodEvent::Cursor, static_cast<int>(text.size()), 1));
  QInputMethodEvent e(text, attrs);
  QCoreApplication::sendEvent(w, &e);
}

}  // namespace

IInputMethodManager* SetInputMethodManager(IInputMethodManager* Manager) {
  return std::exchange(gManager, Manager);
}

TInputMethodRecorder& DefaultInputMethodRecorder() {
  static TInputMethodRecorder* r = new TInputMethodRecorder;
  return *r;
}

IInputMethodManager& InputMethodManager() {
  return gManager ? *gManager : DefaultInputMethodRecorder();
}

// ---- TInputMethodRecorder -----------------------------------------------------------------

HIMC TInputMethodRecorder::GetContext(intptr_t Window) {
  ++GetContextCalls;
  if (NoInputMethod) return 0;
  return static_cast<HIMC>(Window) + 1;
}

void TInputMethodRecorder::ReleaseContext(intptr_t, HIMC Context) {
  if (Context) ++ReleaseCalls;
}

bool TInputMethodRecorder::GetConversionStatus(HIMC Context, uint32_t& AConversion,
                                               uint32_t& ASentence) {
  if (!Context || NoInputMethod || FailStatus) return false;
  AConversion = Conversion;
  ASentence = Sentence;
  return true;
}

bool TInputMethodRecorder::SetConversionStatus(HIMC Context, uint32_t AConversion,
                                               uint32_t ASentence) {
  if (!Context || NoInputMethod || FailStatus) return false;
  ++SetStatusCalls;
  Conversion = AConversion;
  Sentence = ASentence;
  return true;
}

int TInputMethodRecorder::GetCompositionString(HIMC Context, uint32_t Index, char* Buf,
                                               int BufLen) {
  if (!Context || NoInputMethod) return -1;
  auto it = FWindows.find(WindowOf(Context));
  static const std::string kEmpty;
  const std::string& s = it == FWindows.end()           ? kEmpty
                         : Index == GCS_RESULTSTR       ? it->second.Result
                         : Index == GCS_COMPSTR         ? it->second.Composition
                                                        : kEmpty;
  int n = static_cast<int>(s.size());
  if (BufLen <= 0 || !Buf) return n;
  n = std::min(n, BufLen);
  std::memcpy(Buf, s.data(), static_cast<size_t>(n));
  return n;
}

bool TInputMethodRecorder::SetCompositionString(HIMC Context, uint32_t Index, const char* Comp,
                                                int CompLen, const char*, int) {
  if (!Context || NoInputMethod || Index != SCS_SETSTR || CompLen < 0 || (CompLen > 0 && !Comp))
    return false;
  intptr_t window = WindowOf(Context);
  std::string s(Comp ? Comp : "", static_cast<size_t>(CompLen));
  FWindows[window].Composition = s;
  SendComposition(window, s);
  return true;
}

void TInputMethodRecorder::SetWindowStrings(intptr_t Window, const std::string& AComposition,
                                            const std::string& AResult) {
  WindowState& w = FWindows[Window];
  w.Composition = AComposition;
  w.Result = AResult;
}

const std::string& TInputMethodRecorder::Composition(intptr_t Window) const {
  static const std::string kEmpty;
  auto it = FWindows.find(Window);
  return it == FWindows.end() ? kEmpty : it->second.Composition;
}

uint32_t TInputMethodRecorder::ContextFlags(intptr_t Window) const {
  auto it = FWindows.find(Window);
  return it == FWindows.end() ? ISC_SHOWUIALL : it->second.ContextFlags;
}

// ---- TIMEControl --------------------------------------------------------------------------

TIMEControl::TIMEControl(TComponent* AOwner) : TComponent(AOwner) { SetIMEMode(isEnglish); }

void TIMEControl::SetIMEMode(TIMEMode Value) {
  IInputMethodManager& imm = InputMethodManager();
  HIMC ctx = imm.GetContext(ApplicationWindow);
  uint32_t conversion = 0, sentence = 0;
  if (imm.GetConversionStatus(ctx, conversion, sentence)) {
    if (Value == isEnglish) conversion &= ~uint32_t(IME_CMODE_NATIVE);
    else conversion |= IME_CMODE_NATIVE;
    imm.SetConversionStatus(ctx, conversion, sentence);
  }
  imm.ReleaseContext(ApplicationWindow, ctx);
  FIMEMode = Value;
}
