// Loading and binding the engine library for the add-on (see EngineLink.h).
#include "addons/sql/src/EngineLink.h"

#include <dlfcn.h>

#include "platform/core/OsText.h"

namespace xbsql {

namespace {

const char kEngineFile[] = "libxbeng61.so";

// The folder this add-on was loaded from, with a trailing '/'.
std::string OwnFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&OwnFolder), &info) == 0 || info.dli_fname == nullptr)
    return std::string();
  std::string path = info.dli_fname;
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

struct Binding {
  EngineLink link;
  bool tried = false;
  bool ok = false;
  std::string error;
  void* handle = nullptr;
  ~Binding() {
    if (handle != nullptr) ::dlclose(handle);
  }
};

void Bind(Binding& b) {
  b.tried = true;
  const std::string folder = OwnFolder();
  // Beside the add-on first: the program loads the engine from its own folder, and the same
  // file gives the same library instance, so both see one set of work areas and settings.
  if (!folder.empty()) b.handle = ::dlopen((folder + kEngineFile).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (b.handle == nullptr) b.handle = ::dlopen(kEngineFile, RTLD_NOW | RTLD_LOCAL);
  if (b.handle == nullptr) {
    const char* e = ::dlerror();
    b.error = std::string("The SQL add-on cannot load the engine library: ") + (e ? ostext::TextFromSystem(e) : kEngineFile);
    return;
  }
#define XBSQL_BIND(name)                                                                   \
  b.link.name = reinterpret_cast<decltype(b.link.name)>(::dlsym(b.handle, #name));        \
  if (b.link.name == nullptr) {                                                            \
    b.error = "The engine library lacks " #name;                                           \
    ::dlclose(b.handle);                                                                   \
    b.handle = nullptr;                                                                    \
    b.link = EngineLink{};                                                                 \
    return;                                                                                \
  }
  XBSQL_ENGINE_NAMES(XBSQL_BIND)
#undef XBSQL_BIND
  b.ok = true;
}

}  // namespace

const EngineLink* Engine(std::string& Error) {
  static Binding b;
  if (!b.tried) Bind(b);
  if (!b.ok) {
    Error = b.error;
    return nullptr;
  }
  return &b.link;
}

EngineScope::EngineScope(const EngineLink& E, bool HideDeleted)
    : FEngine(E), FSelected(E.xb_Select(0)), FWasHidden(E.xb_SysProp(kDeletedHidden, 0) != 0) {
  FEngine.xb_SetDeleted(HideDeleted ? -1 : 0);
}

EngineScope::~EngineScope() {
  FEngine.xb_SetDeleted(FWasHidden ? -1 : 0);
  FEngine.xb_Select(FSelected);
}

}  // namespace xbsql
