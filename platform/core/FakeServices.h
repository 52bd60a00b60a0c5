// Recording stand-ins for the application services, for tests. Constructing a
// TFakeServices installs its message boxes, message loop and library loader into the registry
// and clears the terminate flag; destroying it puts back what was installed before.
//
//   TFakeServices fake;
//   fake.Answers.push_back(IDYES);      // the next box answers Yes; an empty queue answers IDOK
//   ... run the code ...
//   ASSERT_EQ(fake.Boxes.size(), 1u);   // Text, Caption, Flags of every box shown
//   EXPECT_TRUE(fake.TerminateRequests > 0);
//
// Key-downs sent to windows are recorded in SentKeys and still reach the window when a UI
// layer is there to deliver them.
//
// Timers run on virtual time: fake.Timers.Advance(1000) runs the ticks that fall due. Declare
// the fake before the components of a test so that their timers stop while it still exists.
//
// The loader either loads real files from one folder only (PointAtFolder: an empty folder or
// a deliberately incomplete build shows the load-failure path) or serves in-process symbol
// tables (AddLibrary). Both may be used; AddLibrary entries win.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Services.h"
#include "platform/core/Timers.h"

struct TMessageBoxCall {
  std::string Text;
  std::string Caption;
  unsigned Flags = 0;
};

struct TSentKey {
  intptr_t Window = 0;
  uint16_t Key = 0;
};

class TFakeLibraryLoader : public ILibraryLoader {
 public:
  using TSymbolTable = std::map<std::string, void*>;
  ~TFakeLibraryLoader() override;

  // Real libraries are looked for in Folder only (mapped names, see MapLibraryName).
  void PointAtFolder(const std::string& Folder);
  // Name (as the caller passes it, compared without regard to case) resolves to this table.
  void AddLibrary(const std::string& Name, TSymbolTable Symbols);

  TLibHandle Open(const std::string& Name) override;
  void* Symbol(TLibHandle Handle, const std::string& Name) override;
  void Close(TLibHandle Handle) override;
  std::string LastError() const override { return FLastError; }

  std::vector<std::string> Opened;  // every Open request, in order
  int CloseCount = 0;
  int OpenHandles() const;

 private:
  struct Table {
    std::string Name;
    TSymbolTable Symbols;
    int Opens = 0;
  };
  std::vector<std::unique_ptr<Table>> FTables;
  std::vector<TLibHandle> FRealHandles;
  std::string FFolder;
  bool FFolderSet = false;
  std::string FLastError;
};

class TFakeServices : public IMessageBoxService, public IMessageLoopService {
 public:
  TFakeServices();
  ~TFakeServices() override;
  TFakeServices(const TFakeServices&) = delete;
  TFakeServices& operator=(const TFakeServices&) = delete;

  // IMessageBoxService: records the box, then answers from Answers (front first), or
  // DefaultAnswer when the queue is empty. OnMessageBox, when set, runs after recording.
  int MessageBox(const std::string& Text, const std::string& Caption, unsigned Flags) override;
  // IMessageLoopService: counted / recorded.
  void ProcessMessages() override;
  void Terminate() override;

  std::vector<TMessageBoxCall> Boxes;
  std::deque<int> Answers;
  int DefaultAnswer = IDOK;
  std::function<void(const TMessageBoxCall&)> OnMessageBox;

  int ProcessMessagesCount = 0;
  std::function<void()> OnProcessMessages;
  // Key-downs sent to windows (SendKeyDown), recorded, then handed on to the receiver that
  // was installed before (the UI layer's, which delivers them to the window), then to
  // OnSendKeyDown.
  std::vector<TSentKey> SentKeys;
  std::function<void(intptr_t, uint16_t)> OnSendKeyDown;
  int TerminateRequests = 0;

  TFakeLibraryLoader Loader;
  TManualTimerService Timers;

 private:
  IMessageBoxService* FOldBoxes;
  IMessageLoopService* FOldLoop;
  ILibraryLoader* FOldLoader;
  ITimerService* FOldTimers;
  TKeyDownReceiver FOldReceiver;
};
