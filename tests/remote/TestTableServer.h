// A small table server for the remote tests: it listens on 127.0.0.1 on a free port, takes
// connections one after another and runs a script on each, on its own thread. Every wait is
// bounded and the server stops by itself when its lifetime ends, so a test that goes wrong
// cannot hang.
//
// TProtocolServer speaks the framing of the table-server protocol: it reads each request
// (20-character header and payload), records it, and sends what the answer function returns
// (notices first, then the reply, or nothing).
#pragma once

#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct TWireMessage {
  std::string Code;
  std::string Payload;
  std::string Flag = "0000";
  // Sent as is instead of a proper frame when not empty.
  std::string Raw;
};

// A frame: 8 hex digits of the payload length, the flag, tag "0000", the code, the payload.
std::string Frame(const std::string& Code, const std::string& Payload,
                  const std::string& Flag = "0000");

class TPeer {
 public:
  TPeer(int Fd, const std::atomic<bool>& Stop) : FFd(Fd), FStop(Stop) {}
  // Exactly Count bytes; false when the client closed or the wait ran out.
  bool Read(size_t Count, std::string& Out, int TimeOutMs = 5000);
  bool ReadMessage(TWireMessage& M, int TimeOutMs = 5000);
  void Send(const std::string& Bytes);
  // Waits until the client closes (or TimeOutMs passes); true when it did.
  bool WaitClosed(int TimeOutMs = 5000);
  std::string Received;  // everything read so far

 private:
  int FFd;
  const std::atomic<bool>& FStop;
};

class TTestServer {
 public:
  using TScript = std::function<void(TPeer&)>;
  explicit TTestServer(TScript Script, int LifetimeMs = 20000);
  virtual ~TTestServer();
  int Port() const { return FPort; }
  // Connections taken so far.
  int Accepted() const { return FAccepted; }
  // Waits until Count connection scripts have run to their end.
  bool WaitFinished(int Count = 1, int TimeOutMs = 5000);

 private:
  void Run(int LifetimeMs);
  TScript FScript;
  int FListen = -1;
  int FPort = 0;
  std::atomic<int> FAccepted{0};
  std::atomic<int> FFinished{0};
  std::atomic<bool> FStop{false};
  std::thread FThread;
};

class TProtocolServer {
 public:
  using TAnswer = std::function<std::vector<TWireMessage>(const TWireMessage& Request)>;
  explicit TProtocolServer(TAnswer Answer, int LifetimeMs = 20000);
  int Port() const { return FServer->Port(); }
  // The requests received so far, in order.
  std::vector<TWireMessage> Requests();
  std::vector<std::string> Codes();
  // Waits until at least Count requests have arrived.
  bool WaitRequests(size_t Count, int TimeOutMs = 5000);
  void ClearRequests();

 private:
  TAnswer FAnswer;
  std::mutex FMutex;
  std::condition_variable FChanged;
  std::vector<TWireMessage> FRequests;
  std::unique_ptr<TTestServer> FServer;
};

// An answer: one reply with this payload.
inline std::vector<TWireMessage> Reply(const std::string& Payload, const std::string& Code = "0001") {
  TWireMessage m;
  m.Code = Code;
  m.Payload = Payload;
  return {m};
}
