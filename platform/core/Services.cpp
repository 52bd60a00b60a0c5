// The process-wide service registry, its defaults, the dlopen loader and the exception display.
#include "platform/core/Services.h"

#include <cxxabi.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <typeinfo>
#include <vector>
#include <utility>

#include "platform/core/Classes.h"
#include "platform/core/Cp949.h"
#include "platform/core/OsText.h"
#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

IMessageBoxService::~IMessageBoxService() = default;
IMessageLoopService::~IMessageLoopService() = default;
ILibraryLoader::~ILibraryLoader() = default;
IScreenCursorService::~IScreenCursorService() = default;

int CautiousAnswer(unsigned Flags) {
  switch (Flags & MB_TYPEMASK) {
    case MB_OK:
      return IDOK;
    case MB_YESNO:
      return IDNO;
    case MB_ABORTRETRYIGNORE:
      return IDABORT;
    default:
      return IDCANCEL;
  }
}

namespace {

class TStderrMessageBoxes : public IMessageBoxService {
 public:
  int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) override {
    std::fprintf(stderr, "[%s] %s\n", Caption.c_str(), Text.c_str());
    return CautiousAnswer(Flags);
  }
};

class TIdleLoop : public IMessageLoopService {
 public:
  void ProcessMessages() override {}
  void Terminate() override {}
};

// Holds the registered modules and forms and hears when one of them is destroyed.
class TComponentLists : public TComponent {
 public:
  std::vector<TComponent*> Modules, FormList;

  void Add(std::vector<TComponent*>& list, TComponent* c) {
    if (c == nullptr || std::find(list.begin(), list.end(), c) != list.end()) return;
    list.push_back(c);
    FreeNotification(c);
  }
  void Drop(std::vector<TComponent*>& list, TComponent* c) {
    auto it = std::find(list.begin(), list.end(), c);
    if (it == list.end()) return;
    list.erase(it);
    if (!Listed(c)) RemoveFreeNotification(c);
  }

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override {
    TComponent::Notification(AComponent, Operation);
    if (Operation != opRemove) return;
    std::erase(Modules, AComponent);
    std::erase(FormList, AComponent);
  }

 private:
  bool Listed(TComponent* c) const {
    return std::find(Modules.begin(), Modules.end(), c) != Modules.end() ||
           std::find(FormList.begin(), FormList.end(), c) != FormList.end();
  }
};

class TKeptScreenCursor : public IScreenCursorService {
 public:
  int Cursor() const override { return FCursor; }
  void SetCursor(int Cursor) override { FCursor = Cursor; }

 private:
  int FCursor = 0;
};

struct Registry {
  TStderrMessageBoxes defaultBoxes;
  TIdleLoop defaultLoop;
  TDlLibraryLoader defaultLoader;
  TKeptScreenCursor defaultCursor;
  IScreenCursorService* cursor = nullptr;
  IMessageBoxService* boxes = nullptr;
  IMessageLoopService* loop = nullptr;
  ILibraryLoader* loader = nullptr;
  bool terminate = false;
  std::string title;
  TExceptionHandler onException;
  // Never destroyed: components that outlive static destruction still find it.
  TComponentLists* lists = new TComponentLists();
};

Registry& R() {
  static Registry* r = new Registry();
  return *r;
}

}  // namespace

// ---- Loader ---------------------------------------------------------------------------------

std::string MapLibraryName(const std::string& Name) {
  if (Name.find('/') != std::string::npos) return Name;
  std::string lower = cp949::Lower(Name);
  auto ends = [&](const char* suffix) {
    std::size_t n = std::char_traits<char>::length(suffix);
    return lower.size() >= n && lower.compare(lower.size() - n, n, suffix) == 0;
  };
  if (ends(".so") || lower.find(".so.") != std::string::npos) return Name;
  if (ends(".dll")) lower.erase(lower.size() - 4);
  return "lib" + lower + ".so";
}

std::string ProgramFolder() {
  std::vector<char> buf(4096);
  ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size() - 1);
  if (n <= 0) return std::string();
  // A folder without a CP949 form cannot be named inside; the system's own search remains.
  std::string path;
  if (!ostext::ProgramName(std::string_view(buf.data(), static_cast<std::size_t>(n)), path)) return std::string();
  return ExtractFilePath(path);
}

TDlLibraryLoader::TDlLibraryLoader() : FFolders{ProgramFolder()}, FSystemSearch(true) {}

TDlLibraryLoader::TDlLibraryLoader(std::vector<std::string> Folders, bool SystemSearch)
    : FFolders(std::move(Folders)), FSystemSearch(SystemSearch) {}

TLibHandle TDlLibraryLoader::Open(const std::string& Name) {
  std::string file = MapLibraryName(Name);
  FLastError.clear();
  auto attempt = [&](const std::string& path) -> void* {
    void* h = ::dlopen(ostext::SystemPath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
    if (h == nullptr) {
      const char* e = ::dlerror();
      if (!FLastError.empty()) FLastError += "; ";
      FLastError += e ? ostext::TextFromSystem(e) : path;
    }
    return h;
  };
  if (file.find('/') != std::string::npos) return attempt(file);
  for (const std::string& folder : FFolders) {
    if (folder.empty()) continue;
    std::string path = IncludeTrailingPathDelimiter(folder) + file;
    if (!FileExists(path)) continue;
    if (void* h = attempt(path)) return h;
  }
  if (FSystemSearch) return attempt(file);
  if (FLastError.empty()) FLastError = file + ": not found";
  return nullptr;
}

void* TDlLibraryLoader::Symbol(TLibHandle Handle, const std::string& Name) {
  if (Handle == nullptr) return nullptr;
  ::dlerror();
  void* p = ::dlsym(Handle, Name.c_str());
  if (p == nullptr) {
    const char* e = ::dlerror();
    FLastError = e ? ostext::TextFromSystem(e) : Name + ": not exported";
  }
  return p;
}

void TDlLibraryLoader::Close(TLibHandle Handle) {
  if (Handle != nullptr) ::dlclose(Handle);
}

// ---- Registry -------------------------------------------------------------------------------

IMessageBoxService* SetMessageBoxService(IMessageBoxService* Service) {
  return std::exchange(R().boxes, Service);
}
IMessageLoopService* SetMessageLoopService(IMessageLoopService* Service) {
  return std::exchange(R().loop, Service);
}
ILibraryLoader* SetLibraryLoader(ILibraryLoader* Loader) { return std::exchange(R().loader, Loader); }

IMessageBoxService& MessageBoxService() {
  return R().boxes ? *R().boxes : R().defaultBoxes;
}
IMessageLoopService& MessageLoopService() { return R().loop ? *R().loop : R().defaultLoop; }
ILibraryLoader& LibraryLoader() { return R().loader ? *R().loader : R().defaultLoader; }
IScreenCursorService* SetScreenCursorService(IScreenCursorService* Service) {
  return std::exchange(R().cursor, Service);
}
int ScreenCursor() { return (R().cursor ? *R().cursor : R().defaultCursor).Cursor(); }
void SetScreenCursor(int Cursor) { (R().cursor ? *R().cursor : R().defaultCursor).SetCursor(Cursor); }

int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) {
  return MessageBoxService().MessageBox(Text, Caption, Flags);
}

void ShowMessage(const std::string& Text) { MessageBox(Text, ApplicationTitle(), MB_OK); }
std::string ErrorCaption() { return cp949::K("오류"); }
void ProcessMessages() { MessageLoopService().ProcessMessages(); }

namespace {
TKeyDownReceiver& KeyDownReceiver() {
  static TKeyDownReceiver r;
  return r;
}
}  // namespace

TKeyDownReceiver SetKeyDownReceiver(TKeyDownReceiver Receiver) {
  return std::exchange(KeyDownReceiver(), std::move(Receiver));
}

void SendKeyDown(intptr_t Window, uint16_t Key) {
  // A copy: the window's handlers may install another receiver meanwhile.
  TKeyDownReceiver r = KeyDownReceiver();
  if (r) r(Window, Key);
}

void RequestTerminate() {
  R().terminate = true;
  MessageLoopService().Terminate();
}
bool TerminateRequested() { return R().terminate; }
void ResetTerminate() { R().terminate = false; }

const std::string& ApplicationTitle() { return R().title; }
void SetApplicationTitle(const std::string& Title) { R().title = Title; }

// ---- Exceptions -----------------------------------------------------------------------------

std::string ExceptionMessageText(const std::exception& E) {
  if (dynamic_cast<const EAbort*>(&E) != nullptr) return std::string();
  std::string msg = E.what();
  if (msg.empty()) {
    // An error without a text must still be seen: name its class instead.
    int status = 0;
    char* name = abi::__cxa_demangle(typeid(E).name(), nullptr, nullptr, &status);
    msg = (status == 0 && name) ? name : "Exception";
    std::free(name);
    return msg;
  }
  unsigned char last = static_cast<unsigned char>(msg.back());
  // A sentence that ends in a word gets its full stop; punctuation and quotes stay as they are.
  if ((last >= '0' && last <= '9') || (last >= 'A' && last <= 'Z') ||
      (last >= 'a' && last <= 'z') || last >= 0x80)
    msg += '.';
  return msg;
}

void ShowException(const std::exception& E) {
  std::string text = ExceptionMessageText(E);
  if (text.empty()) return;
  MessageBox(text, ApplicationTitle(), MB_OK | MB_ICONSTOP);
}

void HandleException() {
  try {
    try {
      throw;
    } catch (const std::exception& e) {
      if (R().onException) R().onException(e);
      else ShowException(e);
    } catch (...) {
      Exception unknown("Unknown exception");
      if (R().onException) R().onException(unknown);
      else ShowException(unknown);
    }
  } catch (...) {
    // A failing handler must not take the loop down with it.
  }
}

TExceptionHandler SetExceptionHandler(TExceptionHandler Handler) {
  TExceptionHandler old = std::move(R().onException);
  R().onException = std::move(Handler);
  return old;
}

// ---- Data modules and forms -----------------------------------------------------------------

void RegisterDataModule(TComponent* Module) { R().lists->Add(R().lists->Modules, Module); }
void UnregisterDataModule(TComponent* Module) { R().lists->Drop(R().lists->Modules, Module); }
int DataModuleCount() { return static_cast<int>(R().lists->Modules.size()); }
TComponent* DataModules(int Index) {
  auto& v = R().lists->Modules;
  return Index >= 0 && Index < static_cast<int>(v.size()) ? v[static_cast<std::size_t>(Index)]
                                                          : nullptr;
}

void RegisterForm(TComponent* Form) { R().lists->Add(R().lists->FormList, Form); }
void UnregisterForm(TComponent* Form) { R().lists->Drop(R().lists->FormList, Form); }
void MoveForm(TComponent* Form, int NewIndex) {
  auto& v = R().lists->FormList;
  auto it = std::find(v.begin(), v.end(), Form);
  if (it == v.end()) return;
  v.erase(it);
  NewIndex = std::clamp(NewIndex, 0, static_cast<int>(v.size()));
  v.insert(v.begin() + NewIndex, Form);
}
int FormCount() { return static_cast<int>(R().lists->FormList.size()); }
TComponent* Forms(int Index) {
  auto& v = R().lists->FormList;
  return Index >= 0 && Index < static_cast<int>(v.size()) ? v[static_cast<std::size_t>(Index)]
                                                          : nullptr;
}
