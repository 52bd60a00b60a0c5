// Recording stand-ins for the application services.
#include "platform/core/FakeServices.h"

#include <algorithm>
#include <memory>

#include "platform/core/SysUtils.h"

// ---- Loader ---------------------------------------------------------------------------------

TFakeLibraryLoader::~TFakeLibraryLoader() {
  TDlLibraryLoader real;
  for (TLibHandle h : FRealHandles) real.Close(h);
}

void TFakeLibraryLoader::PointAtFolder(const std::string& Folder) {
  FFolder = Folder;
  FFolderSet = true;
}

void TFakeLibraryLoader::AddLibrary(const std::string& Name, TSymbolTable Symbols) {
  for (auto& t : FTables)
    if (SameText(t->Name, Name)) {
      t->Symbols = std::move(Symbols);
      return;
    }
  FTables.push_back(std::make_unique<Table>(Table{Name, std::move(Symbols), 0}));
}

TLibHandle TFakeLibraryLoader::Open(const std::string& Name) {
  Opened.push_back(Name);
  FLastError.clear();
  for (auto& t : FTables)
    if (SameText(t->Name, Name)) {
      ++t->Opens;
      return t.get();
    }
  if (!FFolderSet) {
    FLastError = Name + ": no such library";
    return nullptr;
  }
  TDlLibraryLoader real({FFolder}, false);
  TLibHandle h = real.Open(Name);
  if (h == nullptr) {
    FLastError = real.LastError();
    return nullptr;
  }
  FRealHandles.push_back(h);
  return h;
}

void* TFakeLibraryLoader::Symbol(TLibHandle Handle, const std::string& Name) {
  for (auto& t : FTables)
    if (t.get() == Handle) {
      auto it = t->Symbols.find(Name);
      if (it == t->Symbols.end()) {
        FLastError = Name + ": not exported";
        return nullptr;
      }
      return it->second;
    }
  if (std::find(FRealHandles.begin(), FRealHandles.end(), Handle) != FRealHandles.end()) {
    TDlLibraryLoader real;
    void* p = real.Symbol(Handle, Name);
    if (p == nullptr) FLastError = real.LastError();
    return p;
  }
  FLastError = "not an open library";
  return nullptr;
}

void TFakeLibraryLoader::Close(TLibHandle Handle) {
  ++CloseCount;
  for (auto& t : FTables)
    if (t.get() == Handle) {
      if (t->Opens > 0) --t->Opens;
      return;
    }
  auto it = std::find(FRealHandles.begin(), FRealHandles.end(), Handle);
  if (it != FRealHandles.end()) {
    TDlLibraryLoader().Close(Handle);
    FRealHandles.erase(it);
  }
}

int TFakeLibraryLoader::OpenHandles() const {
  int n = static_cast<int>(FRealHandles.size());
  for (auto& t : FTables) n += t->Opens;
  return n;
}

// ---- Services -------------------------------------------------------------------------------

TFakeServices::TFakeServices()
    : FOldBoxes(SetMessageBoxService(this)),
      FOldLoop(SetMessageLoopService(this)),
      FOldLoader(SetLibraryLoader(&Loader)),
      FOldTimers(SetTimerService(&Timers)) {
  ResetTerminate();
  FOldReceiver = SetKeyDownReceiver([this](intptr_t Window, uint16_t Key) {
    SentKeys.push_back({Window, Key});
    if (FOldReceiver) FOldReceiver(Window, Key);
    if (OnSendKeyDown) OnSendKeyDown(Window, Key);
  });
}

TFakeServices::~TFakeServices() {
  SetMessageBoxService(FOldBoxes);
  SetMessageLoopService(FOldLoop);
  SetLibraryLoader(FOldLoader);
  SetTimerService(FOldTimers);
  SetKeyDownReceiver(FOldReceiver);
  ResetTerminate();
}

int TFakeServices::MessageBox(const std::string& Text, const std::string& Caption,
                              unsigned Flags) {
  Boxes.push_back({Text, Caption, Flags});
  if (OnMessageBox) OnMessageBox(Boxes.back());
  if (Answers.empty()) return DefaultAnswer;
  int a = Answers.front();
  Answers.pop_front();
  return a;
}

void TFakeServices::ProcessMessages() {
  ++ProcessMessagesCount;
  if (OnProcessMessages) OnProcessMessages();
}

void TFakeServices::Terminate() { ++TerminateRequests; }
