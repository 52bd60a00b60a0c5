// The remote tests' table server (see TestTableServer.h).
#include "remote/TestTableServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <memory>

std::string Frame(const std::string& Code, const std::string& Payload, const std::string& Flag) {
  char head[32];
  std::snprintf(head, sizeof head, "%08X", static_cast<unsigned>(Payload.size()));
  return std::string(head) + Flag + "0000" + Code + Payload;
}

bool TPeer::Read(size_t Count, std::string& Out, int TimeOutMs) {
  Out.clear();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeOutMs);
  while (Out.size() < Count) {
    if (FStop || std::chrono::steady_clock::now() >= end) return false;
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char buf[8192];
    const size_t want = std::min(sizeof buf, Count - Out.size());
    const ssize_t n = ::recv(FFd, buf, want, 0);
    if (n <= 0) return false;
    Out.append(buf, static_cast<size_t>(n));
    Received.append(buf, static_cast<size_t>(n));
  }
  return true;
}

bool TPeer::ReadMessage(TWireMessage& M, int TimeOutMs) {
  std::string head;
  if (!Read(20, head, TimeOutMs)) return false;
  const unsigned long length = std::stoul(head.substr(0, 8), nullptr, 16);
  M.Flag = head.substr(8, 4);
  M.Code = head.substr(16, 4);
  return Read(length, M.Payload, TimeOutMs);
}

void TPeer::Send(const std::string& Bytes) {
  size_t at = 0;
  while (at < Bytes.size()) {
    const ssize_t n = ::send(FFd, Bytes.data() + at, Bytes.size() - at, MSG_NOSIGNAL);
    if (n <= 0) return;
    at += static_cast<size_t>(n);
  }
}

bool TPeer::WaitClosed(int TimeOutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeOutMs);
  while (!FStop && std::chrono::steady_clock::now() < end) {
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char buf[4096];
    const ssize_t n = ::recv(FFd, buf, sizeof buf, 0);
    if (n <= 0) return true;
    Received.append(buf, static_cast<size_t>(n));
  }
  return false;
}

TTestServer::TTestServer(TScript Script, int LifetimeMs) : FScript(std::move(Script)) {
  FListen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int on = 1;
  ::setsockopt(FListen, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = 0;
  ::bind(FListen, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::listen(FListen, 4);
  socklen_t len = sizeof a;
  ::getsockname(FListen, reinterpret_cast<sockaddr*>(&a), &len);
  FPort = ntohs(a.sin_port);
  FThread = std::thread([this, LifetimeMs] { Run(LifetimeMs); });
}

TTestServer::~TTestServer() {
  FStop = true;
  if (FThread.joinable()) FThread.join();
  if (FListen >= 0) ::close(FListen);
}

void TTestServer::Run(int LifetimeMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(LifetimeMs);
  while (!FStop && std::chrono::steady_clock::now() < end) {
    pollfd p{FListen, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept(FListen, nullptr, nullptr);
    if (fd < 0) continue;
    ++FAccepted;
    {
      TPeer peer(fd, FStop);
      try {
        if (FScript) FScript(peer);
      } catch (...) {
      }
    }
    ::close(fd);
    ++FFinished;
  }
}

bool TTestServer::WaitFinished(int Count, int TimeOutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(TimeOutMs);
  while (FFinished < Count) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

TProtocolServer::TProtocolServer(TAnswer Answer, int LifetimeMs) : FAnswer(std::move(Answer)) {
  FServer = std::make_unique<TTestServer>(
      [this](TPeer& peer) {
        TWireMessage m;
        while (peer.ReadMessage(m, 30000)) {
          {
            std::lock_guard<std::mutex> lock(FMutex);
            FRequests.push_back(m);
          }
          FChanged.notify_all();
          for (const TWireMessage& out : FAnswer(m))
            peer.Send(out.Raw.empty() ? Frame(out.Code, out.Payload, out.Flag) : out.Raw);
        }
      },
      LifetimeMs);
}

std::vector<TWireMessage> TProtocolServer::Requests() {
  std::lock_guard<std::mutex> lock(FMutex);
  return FRequests;
}

std::vector<std::string> TProtocolServer::Codes() {
  std::vector<std::string> codes;
  for (const TWireMessage& m : Requests()) codes.push_back(m.Code);
  return codes;
}

bool TProtocolServer::WaitRequests(size_t Count, int TimeOutMs) {
  std::unique_lock<std::mutex> lock(FMutex);
  return FChanged.wait_for(lock, std::chrono::milliseconds(TimeOutMs),
                           [&] { return FRequests.size() >= Count; });
}

void TProtocolServer::ClearRequests() {
  std::lock_guard<std::mutex> lock(FMutex);
  FRequests.clear();
}
