// The table-server connection: activation, login, framing, notices, time-outs and polling.
#include <gtest/gtest.h>

#include "remote/RemoteFixture.h"
#include "remote/XbCommon.h"

namespace {

class XbConnectionTest : public RemoteFixture {};

}  // namespace

TEST_F(XbConnectionTest, DefaultsAndVersion) {
  TXbConnection c;
  EXPECT_EQ(c.Host, "127.0.0.1");
  EXPECT_EQ(c.Port, 8121);
  EXPECT_EQ(c.TimeOut, 120000);
  c.SetVersion("other");
  EXPECT_EQ(c.Version(), "XbConnection 6.1.0.8");
  EXPECT_FALSE(c.Active());
}

TEST_F(XbConnectionTest, WithoutUserActivatesWithoutLogin) {
  Open();
  EXPECT_FALSE(Conn->LoggedIn());
  EXPECT_TRUE(Conn->PollTimer().Running());
  On("0618", "XBENG 6.10");
  EXPECT_EQ(Conn->EngineVersion(), "XBENG 6.10");
  EXPECT_EQ(Server->Codes(), std::vector<std::string>{"0618"});
  const TWireMessage m = Last();
  EXPECT_EQ(m.Flag, "0000");
  Conn->SetActive(false);
  EXPECT_FALSE(Conn->Active());
  EXPECT_FALSE(Conn->PollTimer().Running());
}

TEST_F(XbConnectionTest, ScramblingTable) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::string s = TXbConnection::ScrambleLoginText(all);
  ASSERT_EQ(s.size(), 256u);
  for (int b = 0; b < 256; ++b) {
    const int out = static_cast<unsigned char>(s[static_cast<size_t>(b)]);
    if (b < 30 || b > 129) {
      EXPECT_EQ(out, b);
    }
  }
  const struct { int in, out; } cases[] = {{'0', 33}, {'A', 70}, {'a', 162}, {' ', 7},
                                           {30, 5},   {59, 24},  {60, 65},    {129, 254}};
  for (const auto& c : cases)
    EXPECT_EQ(static_cast<unsigned char>(s[static_cast<size_t>(c.in)]), c.out) << c.in;
}

TEST_F(XbConnectionTest, AcceptedLoginSendsTheScrambledRecordAndLogsOutOnClose) {
  Conn->SetUser("abc");
  Conn->Password = "pw";
  Conn->ServerName = "srv";
  std::vector<std::string> events;
  Conn->OnLogin = [&](TObject*, bool ok, const std::string& msg) {
    events.push_back(std::string("login ") + (ok ? "Y" : "N") + msg);
  };
  Conn->OnLogout = [&](TObject*) { events.push_back("logout"); };
  On("0464", "Y");
  Open();
  EXPECT_TRUE(Conn->LoggedIn());
  const std::string record = Conn->LoginRecordText();
  ASSERT_EQ(record.size(), 1788u);
  EXPECT_EQ(record.substr(255, 255), "ABC" + std::string(252, ' '));
  EXPECT_EQ(record.substr(1275, 3), "6N0");
  EXPECT_EQ(record.substr(1278, 3), "srv");
  ASSERT_EQ(Server->Codes(), std::vector<std::string>{"0464"});
  EXPECT_EQ(Last().Payload, TXbConnection::ScrambleLoginText(record));
  Conn->SetActive(false);
  ASSERT_TRUE(Server->WaitRequests(2));
  EXPECT_EQ(Last().Code, "0465");
  EXPECT_EQ(Last().Payload, "ABC       ");
  EXPECT_EQ(events, (std::vector<std::string>{"login Y", "logout"}));
}

TEST_F(XbConnectionTest, RefusedLoginLogsOutReportsAndStaysInactive) {
  Handled();
  Conn->SetUser("abc");
  std::vector<std::string> events;
  Conn->OnLogin = [&](TObject*, bool ok, const std::string& msg) {
    events.push_back(std::string("login ") + (ok ? "Y" : "N") + "|" + msg);
  };
  Conn->OnLogout = [&](TObject*) { events.push_back("logout"); };
  On("0464", "N  too many users  ");
  Conn->SetActive(true);
  EXPECT_FALSE(Conn->Active());
  EXPECT_EQ(events, (std::vector<std::string>{"logout", "login N|too many users"}));
  EXPECT_EQ(Server->Codes(), (std::vector<std::string>{"0464", "0465"}));
  EXPECT_EQ(Errors, std::vector<std::string>{
                        "XbConnection.SetActive|Login not accepted. Maximum user count may have "
                        "been exceeded"});
}

TEST_F(XbConnectionTest, WithoutHandlerARefusedLoginRaisesTheNoServerText) {
  Conn->SetUser("abc");
  On("0464", "N");
  try {
    Conn->SetActive(true);
    FAIL() << "activated";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "[XbConnection.SetActive]No Xb Database Server found at 127.0.0.1");
  }
  EXPECT_FALSE(Conn->Active());
  // The login's requests ran the poll timer; the refusal leaves it off, with a handler too.
  EXPECT_FALSE(Conn->PollTimer().Running());
  Handled();
  Conn->SetActive(true);
  EXPECT_FALSE(Conn->Active());
  EXPECT_FALSE(Conn->PollTimer().Running());
}

TEST_F(XbConnectionTest, NoServerIsReported) {
  Handled();
  int port = 0;
  { TTestServer gone(nullptr, 10); port = gone.Port(); }
  Conn->Port = port;
  Conn->SetActive(true);
  EXPECT_FALSE(Conn->Active());
  EXPECT_EQ(Errors, std::vector<std::string>{"XbConnection.SetActive|No Xb Database Server found at 127.0.0.1"});
  Errors.clear();
  EXPECT_EQ(std::string(Conn->ClientXmit("0618", "", true)), "");
  EXPECT_EQ(Errors, std::vector<std::string>{"XbConection.ClientXmit(0618)|Not connected"});
}

TEST_F(XbConnectionTest, NoticesBeforeTheReplyFireTheirEventsAndTheCallGetsItsReply) {
  Open();
  std::vector<std::string> seen;
  Conn->OnServerMessage = [&](TObject*, const std::string& m) { seen.push_back("msg " + m); };
  Conn->OnServerStream = [&](TObject*, TMemoryStream* s) {
    seen.push_back("stream " + std::to_string(s->Size()));
  };
  Conn->OnServerProgress = [&](TObject*, TxProgressStatus st, int mn, int mx, int pos) {
    seen.push_back("progress " + std::to_string(st) + " " + std::to_string(mn) + " " +
                   std::to_string(mx) + " " + std::to_string(pos));
  };
  On("0530", {Notice("0301", "hello"), Notice("0303", "abcd"),
              Notice("0300", "0000000100000064000000320000"), Notice("0300", "0000000A"),
              Notice("0301", ""), Notice("0001", "CUSTOMER")});
  EXPECT_EQ(Conn->Alias(1), "CUSTOMER");
  EXPECT_EQ(seen, (std::vector<std::string>{"msg hello", "stream 4", "progress 1 1 100 50",
                                            "progress 1 10 0 0"}));
}

TEST_F(XbConnectionTest, PollTimerHandlesNoticesBetweenCalls) {
  Open();
  std::vector<std::string> seen;
  Conn->OnServerMessage = [&](TObject*, const std::string& m) { seen.push_back(m); };
  On("0530", {Notice("0001", "A"), Notice("0301", "later")});
  EXPECT_EQ(Conn->Alias(1), "A");
  // The notice that followed the reply is read by the next tick of the poll timer.
  for (int i = 0; i < 50 && seen.empty(); ++i) {
    Timers.Advance(1000);
    Sleep(10);
  }
  EXPECT_EQ(seen, std::vector<std::string>{"later"});
  Conn->SetActive(false);
  Timers.Advance(1000);
}

TEST_F(XbConnectionTest, TimeOutReportsAndDeactivates) {
  Handled();
  Conn->TimeOut = 200;
  Open();
  On("0530", std::vector<TWireMessage>{});  // never answered
  EXPECT_EQ(Conn->Alias(1), "");
  EXPECT_FALSE(Conn->Active());
  EXPECT_EQ(Errors, std::vector<std::string>{"XbConnection.FillReadStream|Time out"});
}

TEST_F(XbConnectionTest, WithoutHandlerATimeOutEndsInConnectionLost) {
  Conn->TimeOut = 200;
  Open();
  On("0530", std::vector<TWireMessage>{});
  try {
    Conn->ClientXmit("0530", "1", true);
    FAIL() << "no time-out";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "[XbConnection.FillReadStream]Connection lost");
  }
  EXPECT_FALSE(Conn->Active());
}

TEST_F(XbConnectionTest, ZeroTimeOutReadsWithoutAWaitLimit) {
  Handled();
  Conn->TimeOut = 0;
  Open();
  TWireMessage late;
  late.Raw = Frame("0001", "late");
  On("0530", {late});
  EXPECT_EQ(Conn->Alias(1), "late");
  EXPECT_TRUE(Errors.empty());
}

TEST_F(XbConnectionTest, ADamagedOrStalledReplyEndsWithinTheTimeOut) {
  Handled();
  Conn->TimeOut = 300;
  Open();
  TWireMessage stalled;
  stalled.Raw = "000000640000000000010123456789";  // announces 100 bytes, sends 10
  On("0530", {stalled});
  EXPECT_EQ(Conn->Alias(1), "");
  EXPECT_FALSE(Conn->Active());
  EXPECT_EQ(Errors.front(), "XbConnection.FillReadStream|Connection lost");
}

// TimeOut bounds each wait, not the whole reply: a reply whose pieces keep coming, each well
// within it, is read whole though it takes longer than TimeOut in all.
TEST_F(XbConnectionTest, AReplyThatKeepsComingIsReadWholeBeyondTheTimeOut) {
  const std::string piece(8192, 'p');
  TTestServer steady([&](TPeer& peer) {
    TWireMessage request;
    if (!peer.ReadMessage(request)) return;
    peer.Send("00008000000000000001");  // 32 KB in four pieces, 400 ms apart
    for (int i = 0; i < 4; ++i) {
      if (i > 0) Sleep(400);
      peer.Send(piece);
    }
    peer.WaitClosed(3000);
  });
  Handled();
  Conn->Port = steady.Port();
  Conn->TimeOut = 500;
  Open();
  TTickClock clock;
  const std::string reply = Conn->ClientXmit("0530", "1", true);
  EXPECT_GT(clock.ElapsedMs(), 1000);
  EXPECT_EQ(reply.size(), 4 * piece.size());
  EXPECT_TRUE(Conn->Active());
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

// A reply that trickles is cut when its length cannot excuse the time it takes: TimeOut plus
// the announced length at the slowest rate a reply may have.
TEST_F(XbConnectionTest, ATricklingReplyEndsAtTheCeilingOfItsLength) {
  // The server announces 30 bytes and sends one every 60 ms: 1.8 s in all, each byte well
  // within the time-out of 300 ms.
  TTestServer trickler([](TPeer& peer) {
    TWireMessage request;
    if (!peer.ReadMessage(request)) return;
    peer.Send("0000001E000000000001");
    for (int i = 0; i < 30; ++i) {
      peer.Send("x");
      Sleep(60);
    }
    peer.WaitClosed(1000);
  });
  Handled();
  Conn->Port = trickler.Port();
  Conn->TimeOut = 300;
  Open();
  TTickClock clock;
  EXPECT_EQ(Conn->Alias(1), "");
  EXPECT_LT(clock.ElapsedMs(), 1000);
  EXPECT_FALSE(Conn->Active());
  EXPECT_EQ(Errors.front(), "XbConnection.FillReadStream|Connection lost");
}

TEST_F(XbConnectionTest, AnAnnouncedPayloadPastTheLimitIsRefusedBeforeItIsRead) {
  Handled();
  Conn->TimeOut = 2000;
  Open();
  TWireMessage huge;
  huge.Raw = "10000001000000000001" + std::string(100, 'x');  // 256 MB and one byte
  On("0530", {huge});
  TTickClock clock;
  EXPECT_EQ(Conn->Alias(1), "");
  EXPECT_LT(clock.ElapsedMs(), 1000) << "nothing is waited for";
  EXPECT_FALSE(Conn->Active());
  EXPECT_EQ(Errors, std::vector<std::string>{"XbConnection.FillReadStream|Connection lost"});
}

TEST_F(XbConnectionTest, AHeaderWithoutANumberCarriesNoPayload) {
  Handled();
  Open();
  TWireMessage bad;
  bad.Raw = "ZZZZZZZZ000000000001";
  On("0530", {bad});
  EXPECT_EQ(Conn->Alias(1), "");
  EXPECT_TRUE(Conn->Active());
  EXPECT_TRUE(Errors.empty());
}

TEST_F(XbConnectionTest, LongTextRepliesStopAtTheReplyBuffer) {
  Open();
  On("0545", std::string(70000, 'x'));
  EXPECT_EQ(Conn->EvalString("x").size(), static_cast<size_t>(TXbConnection::kReplyTextCapacity));
  On("0491", "short");
  EXPECT_EQ(Conn->GetString("F"), "short");
}

TEST_F(XbConnectionTest, ShutdownNoticeDisconnectsAfterTheGraceTime) {
  Handled();
  Open();
  std::vector<std::string> seen;
  Conn->OnServerMessage = [&](TObject*, const std::string& m) { seen.push_back(m); };
  On("0530", {Notice("0302", "")});
  EXPECT_EQ(Conn->Alias(1), "");
  EXPECT_FALSE(Conn->Active());
  EXPECT_EQ(seen, std::vector<std::string>{"Server shutdown"});
  EXPECT_TRUE(Errors.empty());
}

TEST_F(XbConnectionTest, StreamRequestsSendTheRequestStream) {
  Open();
  On("0042", "reply-bytes");
  const std::string body(9000, 'b');
  Conn->RequestStream().Clear();
  Conn->RequestStream().WriteBuffer(body.data(), static_cast<int64_t>(body.size()));
  TMemoryStream* r = Conn->ClientStreamSendReceive("0042");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->Position(), 0);
  EXPECT_EQ(std::string(static_cast<const char*>(r->Memory()), static_cast<size_t>(r->Size())),
            "reply-bytes");
  EXPECT_TRUE(Last().Payload == body);
  On("0515", "");
  EXPECT_EQ(Conn->ClientStreamReceive("0515", ""), nullptr);
}

TEST_F(XbConnectionTest, AFailingLoginHandlerLeavesNoHalfOpenConnection) {
  Handled();
  Conn->SetUser("abc");
  Conn->OnLogin = [](TObject*, bool, const std::string&) { throw Exception("handler"); };
  On("0464", "Y");
  Conn->SetActive(true);
  EXPECT_FALSE(Conn->Active());
  EXPECT_FALSE(Conn->LoggedIn());
  EXPECT_EQ(Errors, std::vector<std::string>{"XbConnection.SetActive|No Xb Database Server found at 127.0.0.1"});
}
