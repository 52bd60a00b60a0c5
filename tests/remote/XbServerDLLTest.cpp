// Server procedures and the parameter block.
#include <gtest/gtest.h>

#include "remote/RemoteFixture.h"
#include "remote/XbCommon.h"
#include "remote/XbServerDLL.h"

namespace {

std::string Text(TMemoryStream& s) {
  return std::string(static_cast<const char*>(s.Memory()), static_cast<size_t>(s.Size()));
}

std::string Head(const std::string& size, const std::string& type, const std::string& ptype,
                 const std::string& name) {
  return size + type + ptype + PadRight(name, 20);
}

// A procedure reply: error number, 255-byte text, then the parameter block.
std::string ProcReply(int error, const std::string& text, const std::string& block) {
  std::string t = text;
  t.resize(255, '\0');
  return HexField(error, 4) + t + block;
}

class XbServerDLLTest : public RemoteFixture {
 protected:
  void SetUp() override {
    Handled();
    Open();
    Proc.SetXbConnection(Conn.get());
    Proc.DatabaseName = "DB";
    Proc.OnError = [this](TObject*, const std::string& m, int n) {
      ProcErrors.push_back(std::to_string(n) + "|" + m);
    };
  }
  TXbServerDLL Proc;
  std::vector<std::string> ProcErrors;
};

}  // namespace

TEST(ParamBlock, WritesOneRecordPerParameterAndReadsThemBack) {
  TParams params;
  params.CreateParam(ftString, "NAME", ptInput)->SetAsString("abc");
  params.CreateParam(ftInteger, "A_VERY_LONG_PARAMETER_NAME", ptOutput)->SetAsInteger(0x01020304);
  params.CreateParam(ftFloat, "F   ", ptInputOutput)->SetAsFloat(2.5);
  TMemoryStream s;
  WriteParamBlock(&params, s);
  EXPECT_EQ(s.Position(), 0);
  const std::string block = Text(s);
  EXPECT_EQ(block.substr(0, 72), Head("00000004", "01", "01", "NAME") + std::string("abc\0", 4) +
                                     Head("00000004", "03", "02", "A_VERY_LONG_PARAMETE") +
                                     std::string("\x04\x03\x02\x01", 4));
  EXPECT_EQ(block.size(), 72u + 32u + 8u);

  TParams back;
  ReadParamBlock(block, back);
  ASSERT_EQ(back.Count(), 3);
  EXPECT_EQ(back[0]->AsString(), "abc");
  EXPECT_EQ(back[0]->ParamType, ptInput);
  EXPECT_EQ(back[1]->Name, "A_VERY_LONG_PARAMETE");
  EXPECT_EQ(back[1]->AsInteger(), 0x01020304);
  EXPECT_EQ(back[2]->Name, "F");  // trailing blanks do not come back
  EXPECT_DOUBLE_EQ(back[2]->AsFloat(), 2.5);

  WriteParamBlock(nullptr, s);
  EXPECT_EQ(s.Size(), 0);
}

TEST(ParamBlock, EmptyAndDamagedRecords) {
  // A record of size 0 still carries its head; the record after it is read in step.
  TParams p;
  ReadParamBlock(Head("00000000", "01", "02", "EMPTY") + Head("00000002", "02", "01", "S") +
                     std::string("\x07\x00", 2),
                 p);
  ASSERT_EQ(p.Count(), 2);
  EXPECT_EQ(p[0]->Name, "EMPTY");
  EXPECT_TRUE(p[0]->IsNull());
  EXPECT_EQ(p[1]->AsInteger(), 7);

  // A size beyond the block ends the list; nothing past the end is read.
  TParams q;
  ReadParamBlock(Head("00000002", "02", "01", "A") + std::string("\x01\x00", 2) +
                     Head("7FFFFFFF", "01", "01", "B") + "xy",
                 q);
  ASSERT_EQ(q.Count(), 1);
  EXPECT_EQ(q[0]->Name, "A");

  TParams r;
  EXPECT_THROW(ReadParamBlock("0000000G" + Head("", "01", "01", "A"), r), EConvertError);
  TParams unknown;
  unknown.CreateParam(ftUnknown, "U", ptInput);
  TMemoryStream s;
  EXPECT_THROW(WriteParamBlock(&unknown, s), EDatabaseError);
}

TEST_F(XbServerDLLTest, ProcNameFetchesTheParameterList) {
  On("0044", ProcReply(0, "", Head("00000002", "01", "01", "IN") + std::string("x\0", 2)));
  Proc.SetProcName("MyProc");
  EXPECT_EQ(Last().Code, "0044");
  EXPECT_EQ(Last().Payload, PadRight("DB", 255) + PadRight("MyProc", 255));
  ASSERT_EQ(Proc.ProcParams().Count(), 1);
  EXPECT_EQ(Proc.ProcParams()[0]->Name, "IN");

  Server->ClearRequests();
  Proc.SetProcName("MyProc");  // unchanged: nothing sent, nothing cleared
  EXPECT_EQ(Proc.ProcParams().Count(), 1);
  Proc.SetXbConnection(nullptr);
  Proc.SetProcName("Other");  // no connection: the list is only cleared
  EXPECT_EQ(Proc.ProcParams().Count(), 0);
  EXPECT_TRUE(Server->Requests().empty());

  TXbConnection idle;
  Proc.SetXbConnection(&idle);
  try {
    Proc.SetProcName("Third");
    FAIL() << "accepted";
  } catch (const EXbServerDLL& e) {
    EXPECT_EQ(e.Message, "Not connected");
  }
  Proc.SetXbConnection(nullptr);
}

TEST_F(XbServerDLLTest, ExecProcSendsTheCallAndReadsTheResults) {
  Proc.DatabaseName = std::string(300, 'D');
  Proc.SetXbConnection(nullptr);
  Proc.SetProcName(std::string(260, 'P'));
  Proc.SetXbConnection(Conn.get());
  Proc.ProcParams().CreateParam(ftString, "IN", ptInput)->SetAsString("abc");
  On("0042", ProcReply(0, "", Head("00000004", "03", "02", "OUT") + std::string("\x2A\0\0\0", 4)));
  EXPECT_TRUE(Proc.ExecProc());
  EXPECT_EQ(Last().Code, "0042");
  EXPECT_EQ(Last().Payload, std::string(255, 'D') + std::string(255, 'P') +
                                Head("00000004", "01", "01", "IN") + std::string("abc\0", 4));
  ASSERT_EQ(Proc.ProcParams().Count(), 1);
  EXPECT_EQ(Proc.ProcParams()[0]->AsInteger(), 42);
  EXPECT_EQ(Proc.ErrorNumber(), 0);

  On("0042", ProcReply(0, "", ""));  // exactly 259 bytes: no parameters
  EXPECT_TRUE(Proc.ExecProc());
  EXPECT_EQ(Proc.ProcParams().Count(), 0);

  On("0042", ProcReply(3, "disk full", ""));
  EXPECT_TRUE(Proc.ExecProc());
  EXPECT_EQ(ProcErrors, std::vector<std::string>{"3|disk full"});
  Proc.OnError = nullptr;
  try {
    Proc.ExecProc();
    FAIL() << "no error";
  } catch (const EXbServerDLL& e) {
    EXPECT_EQ(e.Message, "disk full");
  }
  EXPECT_TRUE(Errors.empty());
}

TEST_F(XbServerDLLTest, RefusalsAndALostReply) {
  const struct {
    bool connection, active;
    std::string proc, message;
  } cases[] = {{false, false, "P", "No XbConnection specified"},
               {true, false, "P", "Not connected"},
               {true, true, "", "ProcName is empty!"}};
  TXbConnection idle;
  for (const auto& c : cases) {
    Proc.SetXbConnection(nullptr);
    Proc.SetProcName(c.proc);
    Proc.SetXbConnection(c.connection ? (c.active ? Conn.get() : &idle) : nullptr);
    try {
      Proc.ExecProc();
      FAIL() << c.message;
    } catch (const EXbServerDLL& e) {
      EXPECT_EQ(e.Message, c.message);
    }
  }
  Proc.SetXbConnection(nullptr);
  Proc.SetProcName("P");
  Proc.SetXbConnection(Conn.get());
  On("0042", "");  // no reply stream
  EXPECT_FALSE(Proc.ExecProc());
}

TEST_F(XbServerDLLTest, TheConnectionGoingAwayClearsTheReference) {
  Conn.reset();
  EXPECT_EQ(Proc.XbConnection(), nullptr);
}
