// A connection to the protocol test server: answers are looked up by command code (a queue
// per code; the last answer of a code repeats), every request is recorded, and reports of the
// connection are collected when Handled.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/core/Timers.h"
#include "remote/TestTableServer.h"
#include "remote/XbConnection.h"

class RemoteFixture : public testing::Test {
 protected:
  RemoteFixture() {
    FOldTimers = SetTimerService(&Timers);
    Server = std::make_unique<TProtocolServer>([this](const TWireMessage& m) { return Answer(m); });
    Conn = std::make_unique<TXbConnection>();
    Conn->Port = Server->Port();
    Conn->TimeOut = 3000;
  }
  ~RemoteFixture() override {
    Conn.reset();
    Server.reset();
    SetTimerService(FOldTimers);
  }

  // Reports go to Errors instead of raising.
  void Handled() {
    Conn->OnError = [this](TObject*, const std::string& c, const std::string& m) {
      Errors.push_back(c + "|" + m);
    };
  }
  void Open() {
    Conn->SetActive(true);
    ASSERT_TRUE(Conn->Active());
  }
  // The answer to every request of a code from now on.
  void On(const std::string& Code, std::vector<TWireMessage> Messages) {
    std::lock_guard<std::mutex> lock(FMutex);
    FAnswers[Code] = {std::move(Messages)};
  }
  void On(const std::string& Code, const std::string& Payload) { On(Code, Reply(Payload)); }
  // An answer made from each request of a code.
  void OnRequest(const std::string& Code, TProtocolServer::TAnswer Make) {
    std::lock_guard<std::mutex> lock(FMutex);
    FMakers[Code] = std::move(Make);
  }
  // The last request received.
  TWireMessage Last() {
    auto r = Server->Requests();
    return r.empty() ? TWireMessage{} : r.back();
  }

  TManualTimerService Timers;
  std::unique_ptr<TProtocolServer> Server;
  std::unique_ptr<TXbConnection> Conn;
  std::vector<std::string> Errors;

 private:
  std::vector<TWireMessage> Answer(const TWireMessage& m) {
    std::lock_guard<std::mutex> lock(FMutex);
    if (auto make = FMakers.find(m.Code); make != FMakers.end()) return make->second(m);
    auto it = FAnswers.find(m.Code);
    if (it == FAnswers.end() || it->second.empty()) {
      // The server answers every request but the three that expect no reply.
      if (m.Code == "0566" || m.Code == "0577" || m.Code == "0587") return {};
      return Reply("");
    }
    std::vector<TWireMessage> out = it->second.front();
    if (it->second.size() > 1) it->second.pop_front();
    return out;
  }
  std::mutex FMutex;
  std::map<std::string, std::deque<std::vector<TWireMessage>>> FAnswers;
  std::map<std::string, TProtocolServer::TAnswer> FMakers;
  ITimerService* FOldTimers = nullptr;
};

inline TWireMessage Notice(const std::string& Code, const std::string& Payload) {
  TWireMessage m;
  m.Code = Code;
  m.Payload = Payload;
  return m;
}
