// The connection's compressed payloads through the compression add-on, against the test peer,
// which packs and unpacks with zlib on its own.
#include <gtest/gtest.h>
#include <zlib.h>

#include "remote/RemoteFixture.h"
#include "remote/XbAddOns.h"

namespace {

// The switch has no property: a subclass turns it on.
class TCompressingConnection : public TXbConnection {
 public:
  TCompressingConnection() { FCompression = true; }
};

std::string Deflate(const std::string& Plain) {
  uLongf n = compressBound(static_cast<uLong>(Plain.size()));
  std::string out(n, '\0');
  EXPECT_EQ(compress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(Plain.data()),
                     static_cast<uLong>(Plain.size())),
            Z_OK);
  out.resize(n);
  return out;
}

std::string Inflate(const std::string& Packed) {
  std::string out(1 << 20, '\0');
  uLongf n = out.size();
  if (uncompress(reinterpret_cast<Bytef*>(out.data()), &n, reinterpret_cast<const Bytef*>(Packed.data()),
                 static_cast<uLong>(Packed.size())) != Z_OK)
    return "<not a zlib stream>";
  out.resize(n);
  return out;
}

TWireMessage Packed(const std::string& Plain) {
  TWireMessage m = Reply(Deflate(Plain)).front();
  m.Flag = "0001";
  return m;
}

class XbCompressionTest : public RemoteFixture {
 protected:
  void SetUp() override {
    Conn = std::make_unique<TCompressingConnection>();
    Conn->Port = Server->Port();
    Conn->TimeOut = 3000;
    Handled();
  }
};

}  // namespace

TEST_F(XbCompressionTest, RequestsAndRepliesTravelCompressedBothWays) {
  const std::string text(3000, 'a');
  OnRequest("0570", [&](const TWireMessage& m) {
    EXPECT_EQ(m.Flag, "0001");
    EXPECT_EQ(Inflate(m.Payload), "Y" + text);
    return std::vector<TWireMessage>{Packed("reply " + text)};
  });
  Conn->SetUser("abc");
  OnRequest("0464", [](const TWireMessage& m) {
    // Field 7 of the login record says the client compresses: "Y" scrambled stays "Y" (89 + 45).
    const std::string login = Inflate(m.Payload);
    EXPECT_EQ(login.size(), 1788u);
    EXPECT_EQ(static_cast<unsigned char>(login[1276]), 89 + 45);
    return std::vector<TWireMessage>{Packed("Y")};
  });
  Open();
  EXPECT_TRUE(Conn->LoggedIn());
  EXPECT_LT(Last().Payload.size(), 1788u);
  EXPECT_EQ(std::string(Conn->ClientXmit("0570", "Y" + text, true)), "reply " + text);

  // A stream payload the same way.
  OnRequest("0800", [&](const TWireMessage& m) {
    EXPECT_EQ(m.Flag, "0001");
    EXPECT_EQ(Inflate(m.Payload), text);
    return std::vector<TWireMessage>{Packed("00000003" "00000000")};
  });
  Conn->RequestStream().Clear();
  Conn->RequestStream().WriteBuffer(text.data(), static_cast<int64_t>(text.size()));
  TMemoryStream* reply = Conn->ClientStreamSendReceive("0800");
  ASSERT_NE(reply, nullptr);
  EXPECT_EQ(reply->Size(), 16);
  EXPECT_TRUE(Errors.empty());
  EXPECT_TRUE(XbCryptAddOn().Loaded);
}

TEST_F(XbCompressionTest, ADamagedCompressedReplyLosesTheConnection) {
  Open();
  for (const std::string& bad : {std::string("not zlib at all"), Deflate("cut short").substr(0, 6),
                                 Deflate("trailing") + "xx"}) {
    TWireMessage m = Reply(bad).front();
    m.Flag = "0001";
    On("0570", std::vector<TWireMessage>{m});
    Conn->SetActive(true);
    ASSERT_TRUE(Conn->Active());
    Errors.clear();
    EXPECT_STREQ(Conn->ClientXmit("0570", "x", true), "");
    EXPECT_FALSE(Conn->Active());
    EXPECT_EQ(Errors, (std::vector<std::string>{"XbConnection.FillReadStream|Connection lost"}));
  }
}
