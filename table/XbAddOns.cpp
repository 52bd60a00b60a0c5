// The add-on library loaders: bind by name, report a missing library, release at exit.
#include "table/XbAddOns.h"

#include "platform/core/Services.h"
#include "platform/core/SysUtils.h"

namespace {

// Where the add-ons can be had; deliberately no vendor's address.
const char kAddOnSource[] = "the engine's distribution";

std::string MissingText(const std::string& library, const std::string& what) {
  return "Missing required " + library + ".\r\r" + what + "\rVisit " + kAddOnSource +
         " to get your copy.";
}

struct Slot {
  const char* name;
  void** address;
};

// Binds each slot; a missing name releases the library and raises the unit's assertion error.
template <typename AddOn, size_t N>
void BindAddOn(AddOn& addOn, const char* unit, const Slot (&slots)[N]) {
  ILibraryLoader& loader = LibraryLoader();
  for (size_t i = 0; i < N; ++i) {
    void* a = loader.Symbol(addOn.Handle, slots[i].name);
    if (a == nullptr) {
      for (const Slot& s : slots) *s.address = nullptr;
      loader.Close(addOn.Handle);
      addOn.Handle = nullptr;
      AssertionFailed("", unit, static_cast<int>(i) + 1);
    }
    *slots[i].address = a;
  }
}

template <typename AddOn, size_t N>
void LoadAddOn(AddOn& addOn, const char* library, const char* unit, const Slot (&slots)[N],
               const char* what) {
  if (addOn.Loaded) return;
  addOn.Handle = LibraryLoader().Open(library);
  if (addOn.Handle != nullptr) {
    BindAddOn(addOn, unit, slots);
    addOn.Loaded = true;
  }
  if (!addOn.Loaded) {
    MessageBox(MissingText(library, what), "Error", MB_OK | MB_ICONERROR);
    RequestTerminate();
  }
}

template <typename AddOn, size_t N>
void UnloadAddOn(AddOn& addOn, const Slot (&slots)[N]) {
  if (addOn.Loaded) {
    try {
      LibraryLoader().Close(addOn.Handle);
    } catch (...) {
    }
  }
  for (const Slot& s : slots) *s.address = nullptr;
  addOn.Handle = nullptr;
  addOn.Loaded = false;
}

#define ORV_SLOT(a, n) {#n, &a.n}

template <typename F>
void WithSqlSlots(TXbSqlAddOn& a, F f) {
  const Slot slots[] = {
      ORV_SLOT(a, dll_sql_Prepare),          ORV_SLOT(a, dll_sql_OpenSQL),
      ORV_SLOT(a, dll_sql_GetStructure),     ORV_SLOT(a, dll_sql_GetRecord),
      ORV_SLOT(a, dll_sql_ExecSQL),          ORV_SLOT(a, dll_sql_CloseSQL),
      ORV_SLOT(a, dll_sql_UnPrepareSQL),     ORV_SLOT(a, dll_sql_ReadBlobData),
      ORV_SLOT(a, dll_sql_RecCount),         ORV_SLOT(a, dll_sql_Refresh),
      ORV_SLOT(a, dll_sql_SetSystemCollation), ORV_SLOT(a, dll_sql_SetMachineCollation),
      ORV_SLOT(a, dll_sql_AddDudenCollation),  ORV_SLOT(a, dll_sql_AddEtecCollation),
  };
  f(slots);
}

template <typename F>
void WithCryptSlots(TXbCryptAddOn& a, F f) {
  const Slot slots[] = {
      ORV_SLOT(a, CompressStream),
      ORV_SLOT(a, UnCompressStream),
      ORV_SLOT(a, SetCompressionPassword),
      ORV_SLOT(a, SetCompressionLevel),
  };
  f(slots);
}

#undef ORV_SLOT

// Program exit releases what was loaded.
struct SqlHolder {
  TXbSqlAddOn addOn;
  ~SqlHolder() {
    WithSqlSlots(addOn, [this](const auto& slots) { UnloadAddOn(addOn, slots); });
  }
};
struct CryptHolder {
  TXbCryptAddOn addOn;
  ~CryptHolder() {
    WithCryptSlots(addOn, [this](const auto& slots) { UnloadAddOn(addOn, slots); });
  }
};

}  // namespace

TXbSqlAddOn& XbSqlAddOn() {
  static SqlHolder holder;
  return holder.addOn;
}

TXbCryptAddOn& XbCryptAddOn() {
  static CryptHolder holder;
  return holder.addOn;
}

void LoadSqlEngine() {
  TXbSqlAddOn& a = XbSqlAddOn();
  WithSqlSlots(a, [&a](const auto& slots) {
    LoadAddOn(a, "RavavaDIV61.DLL", "IntSQL", slots, "Xb SQL is a SQL add-on engine for Xb.");
  });
}

void LoadCryptEngine() {
  TXbCryptAddOn& a = XbCryptAddOn();
  WithCryptSlots(a, [&a](const auto& slots) {
    LoadAddOn(a, "ZavuraDadiz.DLL", "IntCrypt", slots, "Xb Crypt is a add-on engine for Xb.");
  });
}

void UnloadSqlEngine() {
  TXbSqlAddOn& a = XbSqlAddOn();
  WithSqlSlots(a, [&a](const auto& slots) { UnloadAddOn(a, slots); });
}

void UnloadCryptEngine() {
  TXbCryptAddOn& a = XbCryptAddOn();
  WithCryptSlots(a, [&a](const auto& slots) { UnloadAddOn(a, slots); });
}
