// The socket client against a scripted peer on 127.0.0.1.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "platform/core/Streams.h"
#include "remote/TestTableServer.h"
#include "remote/XbNet.h"

namespace {

struct TClient {
  TXbNetClient c;
  explicit TClient(int port, const std::string& host = "127.0.0.1") {
    c.Host = host;
    c.Port = port;
  }
};

}  // namespace

TEST(XbNetClient, ResolvesLocalhostInAnyCaseAndKeepsDottedHosts) {
  TTestServer server([](TPeer& p) { p.WaitClosed(); });
  for (const char* host : {"LOCALHOST", "localhost", "LocalHost", "127.0.0.1"}) {
    TClient t(server.Port(), host);
    t.c.Connect();
    EXPECT_TRUE(t.c.GetActive());
    EXPECT_EQ(t.c.ResolvedAddress, "127.0.0.1") << host;
    EXPECT_THROW(t.c.Connect(), EXbNetAlreadyConnected);
    t.c.Disconnect();
    EXPECT_FALSE(t.c.GetActive());
    EXPECT_EQ(t.c.ResolvedAddress, "");
  }
}

TEST(XbNetClient, RefusedConnectionRaisesTheSocketErrorAndStaysInactive) {
  int port = 0;
  { TTestServer gone(nullptr, 10); port = gone.Port(); }  // a port nobody listens on now
  TClient t(port);
  try {
    t.c.Connect();
    FAIL() << "connected";
  } catch (const EXbNetSocketError& e) {
    EXPECT_EQ(e.ErrorCode, 10061);
    EXPECT_EQ(e.Message, "Socket Error #10061\r\nConnection refused.");
  }
  EXPECT_FALSE(t.c.GetActive());
}

TEST(XbNetClient, ErrorTexts) {
  EXPECT_EQ(TXbNetSocket::WinsockErrorText(11001), "Socket Error #11001\r\nHost not found.");
  EXPECT_EQ(TXbNetSocket::WinsockErrorText(10035), "Socket Error #10035\r\nOperation would block. ");
  EXPECT_EQ(TXbNetSocket::WinsockErrorText(10066), "Socket Error #10066\r\nDirectory not empty");
  EXPECT_EQ(TXbNetSocket::WinsockErrorText(4242), "Socket Error #4242\r\n");
  XbSockSetLastError(10054);
  EXPECT_TRUE(TXbNetSocket::CheckSocketResult(-1, {10054}));
  EXPECT_FALSE(TXbNetSocket::CheckSocketResult(0, {}));
  EXPECT_THROW(TXbNetSocket::CheckSocketResult(-1, {10035}), EXbNetSocketError);
}

TEST(XbNetClient, ReadExactAcrossChunksKeepsEveryByte) {
  std::string data;
  for (int i = 0; i < 100000; ++i) data += static_cast<char>('A' + (i * 7) % 26);
  TTestServer server([&](TPeer& p) {
    p.Send(data);
    p.WaitClosed();
  });
  TClient t(server.Port());
  t.c.BufferChunk = 64;  // many growth and shrink steps
  t.c.Connect();
  std::string got, piece;
  for (int n : {1, 63, 64, 65, 4000, 30000}) {
    t.c.ReadExact(n, piece);
    got += piece;
  }
  t.c.ReadExact(static_cast<int>(data.size() - got.size()), piece);
  got += piece;
  EXPECT_TRUE(got == data);
}

TEST(XbNetClient, ReadExactZeroReceivesOnceAndAClosedPeerDisconnects) {
  TTestServer server([](TPeer& p) { p.Send("xyz"); });  // then closes
  TClient t(server.Port());
  t.c.Connect();
  std::string d = "old";
  t.c.ReadExact(0, d);
  EXPECT_EQ(d, "");
  EXPECT_EQ(t.c.BufferedCount(), 3);
  EXPECT_THROW(t.c.ReadExact(10, d), EXbNetConnClosedGraceful);
  EXPECT_FALSE(t.c.GetActive());
  EXPECT_EQ(t.c.BufferedCount(), 0);
}

TEST(XbNetClient, TimedReadGivesUpWhenThePeerStalls) {
  TTestServer server([](TPeer& p) {
    p.Send("abc");
    p.WaitClosed();
  });
  TClient t(server.Port());
  t.c.Connect();
  std::string d;
  try {
    t.c.ReadExactTimed(10, 200, d);
    FAIL() << "read";
  } catch (const EXbNetException&) {
    FAIL() << "wrong class";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "Not enough data in buffer.");
  }
  EXPECT_TRUE(t.c.WaitForData(0));  // the three bytes are still held
  t.c.ReadExactTimed(3, 200, d);
  EXPECT_EQ(d, "abc");
  EXPECT_FALSE(t.c.WaitForData(50));
}

TEST(XbNetClient, ReceiveLimitEndsABlockedRead) {
  TTestServer server([](TPeer& p) { p.WaitClosed(); });
  TClient t(server.Port());
  t.c.ReceiveTimeOutMs = 100;
  t.c.Connect();
  std::string d;
  try {
    t.c.ReadExact(5, d);
    FAIL() << "read";
  } catch (const EXbNetSocketError& e) {
    EXPECT_EQ(e.ErrorCode, 10060);
  }
  EXPECT_TRUE(t.c.GetActive());  // other errors leave the socket open
}

TEST(XbNetClient, TextRepliesAndTheirCodes) {
  const std::string script =
      "+OK ready\r\n-ERR no\r\n421 closing\r\nabc\r\n  \r\n\r\n250-one\r\n250-two\r\n250 end\r\n"
      "550 nope\r\n";
  TTestServer server([&](TPeer& p) {
    p.Send(script);
    p.WaitClosed();
  });
  TClient t(server.Port());
  t.c.Connect();
  for (int expected : {1, 0, 421, 0}) {
    EXPECT_EQ(t.c.ReadTextReply(), expected) << t.c.LastReply;
    EXPECT_EQ(t.c.ReplyLines().Count(), 0);
  }
  EXPECT_EQ(t.c.ReadTextReply(), 250);  // blank lines are skipped
  ASSERT_EQ(t.c.ReplyLines().Count(), 3);
  EXPECT_EQ(t.c.ReplyLines()[0], "250-one");
  EXPECT_EQ(t.c.ReplyLines()[2], "250 end");
  EXPECT_EQ(t.c.LastReply, "250 end");
  try {
    t.c.SendCmd(std::string(1, '\0'), 250, 0, "");
    FAIL() << "accepted";
  } catch (const EXbNetResponseError& e) {
    EXPECT_EQ(e.Message, "550 nope");
  }
}

TEST(XbNetClient, SendCmdWritesTheLineTracesItAndReportsStatus) {
  const std::string trace = testing::TempDir() + "/xbnet_trace.txt";
  std::remove(trace.c_str());
  std::string received;
  TTestServer server([&](TPeer& p) {
    std::string line;
    p.Read(6, line);  // "HELO\r\n"
    p.Send("220 welcome\r\n");
    p.WaitClosed();
    received = p.Received;
  });
  std::vector<std::string> status;
  {
    TClient t(server.Port());
    t.c.LogFileName = trace;
    t.c.OnStatus = [&](TComponent*, const std::string& s) { status.push_back(s); };
    t.c.Connect();
    EXPECT_EQ(t.c.SendCmd("HELO", 220, 2, "*"), 220);
    t.c.WriteText("raw bytes");  // never traced
    t.c.Disconnect();
  }
  ASSERT_TRUE(server.WaitFinished());
  EXPECT_EQ(received, "HELO\r\nraw bytes");
  EXPECT_EQ(ReadFileBytes(trace), "O: HELO\r\nI: 220 welcome\r\n\r\n");
  const std::vector<std::string> want = {"Connecting to 127.0.0.1", "Socket Connected",
                                         "    220 welcome", "Disconnecting", "Disconnected"};
  EXPECT_EQ(status, want);
}

TEST(XbNetClient, StatusHandlerFailureNamesTheHandler) {
  TTestServer server([](TPeer& p) { p.WaitClosed(); });
  TClient t(server.Port());
  t.c.OnStatus = [](TComponent*, const std::string&) { throw EConvertError("bad"); };
  try {
    t.c.Connect();
    FAIL() << "connected";
  } catch (const EConvertError& e) {
    EXPECT_EQ(e.Message, "bad occurred in user's OnStatus Event.");
  }
  EXPECT_FALSE(t.c.GetActive());
}

TEST(XbNetClient, SendStreamSendsCommandThenStreamInPieces) {
  std::string received;
  TTestServer server([&](TPeer& p) {
    p.WaitClosed();
    received = p.Received;
  });
  std::string data(20000, 'q');
  data[8191] = 'X';
  data[19999] = 'Z';
  std::vector<int> positions;
  {
    TClient t(server.Port());
    t.c.OnWriteProgress = [&](TComponent*, int, int Max, int Pos) { positions.push_back(Max + Pos); };
    t.c.Connect();
    TMemoryStream empty, full;
    full.WriteBuffer(data.data(), static_cast<int64_t>(data.size()));
    EXPECT_EQ(t.c.SendStream("", full), 0);
    EXPECT_TRUE(positions.empty());
    EXPECT_EQ(t.c.SendStream("HEAD", empty), 0);
    EXPECT_EQ(t.c.SendStream("CMD:", full), 20000);
    EXPECT_EQ(t.c.WriteText(""), 0);
    t.c.Disconnect();
    EXPECT_THROW(t.c.WriteText("x"), EXbNetClosedSocket);
  }
  ASSERT_TRUE(server.WaitFinished());
  EXPECT_EQ(received.size(), 4 + 4 + data.size());
  EXPECT_TRUE(received == "HEAD" + std::string("CMD:") + data);
  const std::vector<int> want = {0, 0, 20000, 8192, 16384, 20000, 0};
  EXPECT_EQ(positions, want);
}

TEST(XbNetClient, UserIsStoredUpperCased) {
  TXbNetClient c;
  c.SetUser("abc");
  EXPECT_EQ(c.User(), "ABC");
}
