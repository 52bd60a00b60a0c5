// The command set: what each operation sends and how it reads the reply.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>

#include "platform/core/DataSet.h"
#include "remote/RemoteFixture.h"
#include "remote/XbCommon.h"

namespace {

class XbCommandsTest : public RemoteFixture {
 protected:
  void SetUp() override {
    Handled();
    Open();
  }
};

std::string B(const std::string& s, int w) { return PadRight(s, w); }

struct TCommandCase {
  const char* Name;
  std::string Code;
  std::string Payload;  // expected request payload
  std::string Reply;
  std::function<std::string(TXbConnection&)> Call;  // the result as text
  std::string Result;
};

std::string N(int64_t v) { return std::to_string(v); }

}  // namespace

TEST_F(XbCommandsTest, RequestsAndReplies) {
  const std::vector<TCommandCase> cases = {
      {"Alias", "0530", "3", "CUST", [](TXbConnection& c) { return c.Alias(3); }, "CUST"},
      {"AppendBlank", "0473", "", "1F", [](TXbConnection& c) { return N(c.AppendBlank()); }, "31"},
      {"AppendFrom", "0474", B("a.dbf", 255) + B("2", 10) + B("X>1", 255), "Y",
       [](TXbConnection& c) { return N(c.AppendFrom("a.dbf", 2, "X>1")); }, "-1"},
      {"Bof", "0476", "", "N", [](TXbConnection& c) { return N(c.Bof()); }, "0"},
      {"CopyFile", "0535", B("t.dbf", 255), "Y", [](TXbConnection& c) { return N(c.CopyFile("t.dbf")); }, "-1"},
      {"Count", "0516", "", "42", [](TXbConnection& c) { return N(c.Count()); }, "42"},
      {"CreateField", "0560", B("NAME", 10) + B("C", 10) + B("20", 10) + B("0", 10), "",
       [](TXbConnection& c) { c.CreateField("NAME", "C", 20, 0); return std::string(); }, ""},
      {"CreateNew", "0562", B("DB", 255) + B("new.dbf", 255) + "2" + "00000003", " 7 ",
       [](TXbConnection& c) { return N(c.CreateNew("DB", "/x/new.dbf", 2, 3)); }, "7"},
      {"Deleted", "0478", "", "Y", [](TXbConnection& c) { return N(c.Deleted()); }, "-1"},
      {"EvalNumeric", "0544", "1+1", "2.5", [](TXbConnection& c) { return N(static_cast<int>(c.EvalNumeric("1+1") * 10)); }, "25"},
      {"EvalTest", "0546", "A=1", "3", [](TXbConnection& c) { return N(c.EvalTest("  A=1 ")); }, "3"},
      {"FieldName", "0612", "65535", "F", [](TXbConnection& c) { return c.FieldName(-1); }, "F"},
      {"FileExists", "0054", B("DB", 255) + B("a.dbf", 255), "Y",
       [](TXbConnection& c) { return N(c.FileExists("DB", "dir/a.dbf")); }, "1"},
      {"GetMemo", "0489", "0000000000000000MMM", "body",
       [](TXbConnection& c) { return c.GetMemo("MMM", 0); }, "body"},
      {"Go", "0493", "0000000C", "5", [](TXbConnection& c) { return N(c.Go(12)); }, "5"},
      {"IndexOpen", "0620", B("", 255) + B("a.nsx", 255), "2",
       [](TXbConnection& c) { return N(c.IndexOpen("a.nsx")); }, "2"},
      {"IndexTag", "0564", B("f", 255) + B("T", 255) + B("E", 255) + B("1", 10) + "Y" + B("", 255), "4",
       [](TXbConnection& c) { return N(c.IndexTag("f", "T", "E", 1, -1, "")); }, "4"},
      {"OrderPosSet", "0558", "0.5", "", [](TXbConnection& c) { c.OrderPosSet(0.5); return std::string(); }, ""},
      {"QueryTest", "0570", "X", " 3 ", [](TXbConnection& c) { return N(c.QueryTest("X")); }, "3"},
      {"Rlock", "0502", "17", "Y", [](TXbConnection& c) { return N(c.Rlock(17)); }, "-1"},
      {"Seek", "0503", "KEY", "Yes", [](TXbConnection& c) { return N(c.Seek("KEY")); }, "-1"},
      {"Seek empty", "0503", "K", "", [](TXbConnection& c) { return N(c.Seek("K")); }, "0"},
      {"Skip", "0509", "FFFFFFFF", "", [](TXbConnection& c) { c.Skip(-1); return std::string(); }, ""},
      {"SetOrder", "0507", "0002", "1", [](TXbConnection& c) { return N(c.SetOrder(2)); }, "1"},
      {"SetScope", "0567", "0001" "0002" + B("A", 255) + B("BC", 255), "Y",
       [](TXbConnection& c) { return N(c.SetScope("A", "BC")); }, "-1"},
      {"SetEpoch", "0593", "000007BC", "1950", [](TXbConnection& c) { return N(c.SetEpoch(1980)); }, "1950"},
      {"SetMemoBlockSize", "0594", B("64", 10), "40", [](TXbConnection& c) { return N(c.SetMemoBlockSize(64)); }, "64"},
      {"SetDateFormat", "0557", "00000063", "", [](TXbConnection& c) { c.SetDateFormat(99); return std::string(); }, ""},
      {"SysProp 1001", "0563", "000003E9N", "1", [](TXbConnection& c) { return N(c.SysProp(1001, 0)); }, "1"},
      {"SysProp 1000", "0563", "000003E8", " A ", [](TXbConnection& c) { return N(c.SysProp(1000, 5)); }, "10"},
      {"SysProp 1107", "0563", "000004531", "0", [](TXbConnection& c) { return N(c.SysProp(1107, 1)); }, "0"},
      {"SysProp 3002", "0563", "00000BBA0000000F", "0", [](TXbConnection& c) { return N(c.SysProp(3002, 15)); }, "0"},
      {"TagName", "0518", "0003", "TIT1", [](TXbConnection& c) { return c.TagName(3); }, "TIT1"},
      {"Unlock", "0510", "00000000", "", [](TXbConnection& c) { c.Unlock(0); return std::string(); }, ""},
      {"WorkArea", "0571", "CUST", " 4", [](TXbConnection& c) { return N(c.WorkArea("CUST")); }, "4"},
      {"SetCentury", "0556", "Y", "", [](TXbConnection& c) { c.SetCentury(-1); return std::string(); }, ""},
      {"SetTurboRead", "0576", "N", "", [](TXbConnection& c) { c.SetTurboRead(0); return std::string(); }, ""},
  };
  for (const TCommandCase& k : cases) {
    Server->ClearRequests();
    On(k.Code, k.Reply);
    EXPECT_EQ(k.Call(*Conn), k.Result) << k.Name;
    ASSERT_TRUE(Server->WaitRequests(1)) << k.Name;
    EXPECT_EQ(Last().Code, k.Code) << k.Name;
    EXPECT_EQ(Last().Payload, k.Payload) << k.Name;
    On(k.Code, "");  // the next case of the code starts afresh
  }
  EXPECT_TRUE(Errors.empty()) << Errors.front();
}

TEST_F(XbCommandsTest, RequestsWithoutAReplyAreNotWaitedFor) {
  Conn->SetLockTimeOut(30);
  Conn->SetTranslate(-1);
  Conn->SetPassword("secret");
  On("0476", "Y");
  EXPECT_EQ(Conn->Bof(), -1);  // the next reply is still the Bof's
  ASSERT_TRUE(Server->WaitRequests(4));
  EXPECT_EQ(Server->Codes(), (std::vector<std::string>{"0577", "0587", "0566", "0476"}));
  EXPECT_EQ(Server->Requests()[0].Payload, "30");
  EXPECT_EQ(Server->Requests()[1].Payload, "Y");
  EXPECT_TRUE(Errors.empty());
}

TEST_F(XbCommandsTest, SelectSkipsTheCurrentAreaAndUseMakesItsAreaCurrent) {
  EXPECT_EQ(Conn->Select(3), 0);
  EXPECT_EQ(Conn->Select(3), 3);
  EXPECT_EQ(Conn->Select(-1), 3);
  EXPECT_EQ(Server->Codes(), (std::vector<std::string>{"0504", "0504"}));
  EXPECT_EQ(Server->Requests()[0].Payload, "0003");
  EXPECT_EQ(Server->Requests()[1].Payload, "FFFFFFFF");
  On("0467", " 0009 ");
  EXPECT_EQ(Conn->UseEx("f.dbf", "F", 0, 2, 0), 9);
  EXPECT_EQ(Last().Payload, B("f.dbf", 255) + B("F", 255) + "020");
  Server->ClearRequests();
  Conn->Select(9);
  EXPECT_TRUE(Server->Requests().empty());
}

TEST_F(XbCommandsTest, ReplaceSendsNameTypeAndValueBytes) {
  Conn->Replace("NAME", 1024, "AB");
  ASSERT_TRUE(Server->WaitRequests(1));
  EXPECT_EQ(Last().Code, "0501");
  EXPECT_EQ(Last().Payload, "NAME      0400AB");
  const int32_t i = 0x01020304;
  Conn->Replace("VERYLONGFIELDNAME", 2, &i);
  EXPECT_EQ(Last().Payload, std::string("VERYLONGFI0002") + std::string("\x04\x03\x02\x01", 4));
  const double d = 1.5;
  Conn->Replace("D", 8, &d);
  EXPECT_EQ(Last().Payload.size(), 14u + 8u);
  Conn->Replace("X", 777, "ignored");
  EXPECT_EQ(Last().Payload, "X         0309");
  const char date[] = {'2', '0', '2', '4', '0', '1', '0', '2', ' ', ' ', ' ', 'Z', 'Z'};
  Conn->Replace("DT", 1056, date);  // not terminated: eleven bytes at most
  EXPECT_EQ(Last().Payload, "DT        042020240102   ");
  EXPECT_TRUE(Errors.empty());
}

TEST_F(XbCommandsTest, BlobsRecordsAndStructure) {
  On("0624", "A");
  EXPECT_EQ(Conn->PutBlob("PIC", "xyz", 3), 10);
  ASSERT_TRUE(Server->WaitRequests(2));
  EXPECT_EQ(Server->Requests()[0].Code, "0498");
  EXPECT_EQ(Server->Requests()[0].Payload, "PIC       00000003xyz");
  On("0480", "0123456789");
  char buf[4] = {};
  EXPECT_EQ(Conn->GetBlob("PIC", buf, 4), 4);  // never past the caller's buffer
  EXPECT_EQ(std::string(buf, 4), "0123");
  On("0515", "ABCDE");
  char rec[5];
  Conn->GetRecord(rec, 5);
  EXPECT_EQ(std::string(rec, 5), "ABCDE");
  Conn->PutRecord("12345", 5);
  EXPECT_EQ(Last().Code, "0499");
  EXPECT_EQ(Last().Payload, "12345");
  EXPECT_EQ(Conn->RequestStream().Size(), 0);
  On("0581", "NAME\r\nC\r\nA\r\n0\r\n1\r\n");
  EXPECT_EQ(Conn->GetStructure(), "NAME\r\nC\r\nA\r\n0\r\n1\r\n");
  EXPECT_TRUE(Errors.empty());
  // A record shorter than asked for is a failure, not a read past the reply.
  On("0515", "AB");
  Conn->GetRecord(rec, 5);
  EXPECT_EQ(Errors, std::vector<std::string>{"XbConnection.GetRecord|GetRecord"});
}

TEST_F(XbCommandsTest, QueryRowCountReadsBothNumbers) {
  XbLong count = 0;
  On("0646", " 0000000500000064 ");
  EXPECT_EQ(Conn->QueryRowCount("A>1", count), 5);
  EXPECT_EQ(count, 100);
  On("0646", "0005");
  count = 7;
  EXPECT_EQ(Conn->QueryRowCount("A>1", count), 0);
  EXPECT_EQ(count, 7);
  EXPECT_EQ(Errors, std::vector<std::string>{"XbConnection.QueryRowCount|QueryRowCount"});
}

namespace {

std::string Descriptor(const std::string& name, const std::string& fields, const std::string& src,
                       const std::string& expr, const std::string& flags) {
  return B(name, 255) + B(fields, 255) + B(src, 255) + B(expr, 255) + flags;
}

std::string UseReply(const std::vector<std::string>& descriptors, int error, const std::string& text) {
  std::string block;
  for (const std::string& d : descriptors) block += d;
  return "0005" "000000C8" "00000003" "0000002A" "Y" + B("TIT1>'A'", 255) + "0002" +
         HexField(static_cast<int64_t>(descriptors.size()), 4) +
         HexField(static_cast<int64_t>(block.size()), 8) + block + HexField(error, 8) + text;
}

}  // namespace

TEST_F(XbCommandsTest, UseSendsTheOpenRequestAndReadsTheIndexDescriptors) {
  TDataSet owner;
  TIndexDefs defs(&owner);
  TXbUseRequest q;
  q.DatabaseName = "NOTES";
  q.FileName = "orvel.dbf";
  q.TableTypeCode = 3;
  q.OpenMode = 2;
  q.Password = "pw";
  q.IndexName = "orvel.nsx";
  q.EnvApplies = true;
  q.Epoch = 1950;
  q.DateFormatCode = 2;
  q.Deleted = true;
  On("0469", UseReply({Descriptor("TIT1", "TIT1", "orvel.nsx", "", "000000"),
                       Descriptor("UPX", "", "orvel.nsx", "UPPER(TIT2)", "011011")},
                      0, ""));
  TXbUseReply r;
  Conn->Use(q, r, defs);
  EXPECT_EQ(Last().Payload, B("NOTES", 255) + B("orvel.dbf", 255) + "23" + B("pw", 255) + "N" +
                                B("orvel.nsx", 255) + "079E" "0002" "0040" "YYNNNY" "0");
  EXPECT_EQ(r.WorkArea, 5);
  EXPECT_EQ(Conn->CurrentWorkArea, 5);
  EXPECT_EQ(r.RecCount, 200);
  EXPECT_EQ(r.EngineFieldCount, 3);
  EXPECT_EQ(r.RecordSize, 42);
  EXPECT_EQ(r.TableEncrypted, -1);
  EXPECT_EQ(r.IndexConditionText, "TIT1>'A'");
  EXPECT_EQ(r.CurrentOrder, 2);
  ASSERT_EQ(defs.Count(), 2);
  EXPECT_EQ(defs[0]->Name, "TIT1");
  EXPECT_EQ(defs[0]->Options, 0u);
  EXPECT_EQ(defs[1]->Source, "orvel.nsx");
  EXPECT_EQ(defs[1]->Options, TIndexOptions(ixUnique | ixDescending | ixExpression | ixNonMaintained));
  EXPECT_EQ(defs[1]->Expression, "UPPER(TIT2)");

  On("0469", UseReply({Descriptor("TIT1", "TIT1", "x", "", "000000")}, 0x2A, "No such table"));
  Conn->Use(q, r, defs);
  EXPECT_EQ(defs.Count(), 0);
  EXPECT_EQ(r.ErrorNumber, 42);
  EXPECT_EQ(r.ErrorText, "No such table");
  EXPECT_TRUE(Errors.empty());

  // A descriptor block longer than the reply is refused, not read.
  std::string damaged = UseReply({}, 0, "");
  damaged.replace(292, 8, "0000FFFF");
  On("0469", damaged);
  Conn->Use(q, r, defs);
  EXPECT_EQ(defs.Count(), 0);
  EXPECT_EQ(Errors, std::vector<std::string>{"XbConnection.Use|Use"});
}

TEST_F(XbCommandsTest, TraverseTableFillsTheSlots) {
  std::vector<TFetchSlot> slots(3);
  std::vector<char> image;
  XbLong got = -1;
  On("0626", "00000002" "0" "00000007" "00000001" "ROW07" "2" "00000008" "00000002" "ROW08");
  EXPECT_EQ(Conn->TraverseTable(got, -1, 0, 1, 1, 0, image, 5, 3, 6, slots), 2);
  EXPECT_EQ(Last().Payload, "YN110" "00000003" "00000006");
  EXPECT_EQ(got, 2);
  EXPECT_EQ(slots[0].RecNo, 7);
  EXPECT_EQ(slots[1].Status, 2);
  EXPECT_EQ(slots[1].OrderPosition, 2);
  EXPECT_EQ(std::string(slots[1].Image.begin(), slots[1].Image.end()), "ROW08");
  EXPECT_TRUE(Errors.empty());

  // More rows than slots, or rows cut short, are refused.
  for (const char* bad : {"00000004", "00000002" "0" "00000007" "00000001" "ROW"}) {
    Errors.clear();
    On("0626", bad);
    EXPECT_EQ(Conn->TraverseTable(got, 0, 0, 1, 1, 1, image, 5, 3, 6, slots), 0);
    EXPECT_EQ(got, 0);
    EXPECT_EQ(Errors, std::vector<std::string>{
                          "XbConnection.TraverseTable|Make sure DatabaseName is set to a valid alias."});
  }
}

TEST_F(XbCommandsTest, FailuresGiveZeroAndReportUnderTheOperation) {
  On("0516", "many");
  EXPECT_EQ(Conn->Count(), 0);
  On("0563", "zz");
  EXPECT_EQ(Conn->SysProp(1000, 0), 0);
  On("0467", "?");
  EXPECT_EQ(Conn->UseEx("a", "A", 0, 2, 0), 0);
  EXPECT_EQ(Errors, (std::vector<std::string>{"XbConnection.Count|Count",
                                              "XbConnection.SysProp|Converting data",
                                              "XbConnection.UseEx|UseEx"}));
  Errors.clear();
  EXPECT_FALSE(Conn->FileExists("", "a.dbf"));
  EXPECT_EQ(Conn->SetDLLProcName("DB", ""), nullptr);
  EXPECT_TRUE(Errors.empty());
}

TEST_F(XbCommandsTest, ALostConnectionReportsTwice) {
  Conn->Disconnect();
  EXPECT_EQ(Conn->Count(), 0);
  EXPECT_EQ(Errors, (std::vector<std::string>{"XbConection.ClientXmit(0516)|Not connected",
                                              "XbConnection.Count|Count"}));
  Errors.clear();
  Conn->SetCentury(-1);  // environment setters wait for an active connection
  EXPECT_EQ(Conn->SysProp(1000, 0), 0);
  EXPECT_TRUE(Errors.empty());
  Conn->ExecProc();
  EXPECT_EQ(Errors, std::vector<std::string>{"XbConnection.ExecProc|XbConnection not connected"});
}

TEST_F(XbCommandsTest, WithoutHandlerQuietAndSilentOperationsNeverRaise) {
  Conn->OnError = nullptr;
  On("0593", "x");
  EXPECT_EQ(Conn->SetEpoch(1900), 0);  // quiet
  On("0564", "x");
  EXPECT_EQ(Conn->IndexTag("f", "t", "e", 0, 0, ""), 0);  // silent
  On("0516", "x");
  try {
    Conn->Count();
    FAIL() << "no report";
  } catch (const Exception& e) {
    EXPECT_EQ(e.Message, "[XbConnection.Count]Count");
  }
}

TEST_F(XbCommandsTest, AnOpenReplyWithImpossibleSizesIsRefusedBeforeAnythingIsKept) {
  TDataSet owner;
  TIndexDefs defs(&owner);
  TXbUseRequest q;
  q.FileName = "orvel.dbf";
  // Work area, record count, field count and record size as the reply carries them.
  const struct {
    const char* name;
    std::string numbers;
    bool opens;
  } cases[] = {
      {"the largest xBase record", "0005" "00000001" "00000003" "0000FFFF", true},
      {"a record of 2 GB", "0005" "00000001" "00000003" "7FFFFFF0", false},
      {"one byte past the largest record", "0005" "00000001" "00000003" "00010000", false},
      {"more fields than record bytes", "0005" "00000001" "0000002A" "0000002A", false},
      {"a field count of 4 billion", "0005" "00000001" "FFFFFFFF" "0000002A", false},
      {"a negative record count", "0005" "FFFFFFFF" "00000003" "0000002A", false},
  };
  for (const auto& c : cases) {
    Errors.clear();
    On("0469", c.numbers + "N" + B("", 255) + "0000" "0000" "00000000" "00000000");
    TXbUseReply r;
    Conn->Use(q, r, defs);
    if (c.opens) {
      EXPECT_EQ(r.WorkArea, 5) << c.name;
      EXPECT_EQ(r.RecordSize, 65535) << c.name;
      EXPECT_TRUE(Errors.empty()) << c.name;
    } else {
      EXPECT_EQ(r.WorkArea, 0) << c.name;
      EXPECT_EQ(r.RecordSize, 0) << c.name;
      EXPECT_EQ(Errors, std::vector<std::string>{"XbConnection.Use|Use"}) << c.name;
    }
  }
}

TEST_F(XbCommandsTest, ATextLongerThanItsFieldIsCutSoLaterFieldsKeepTheirPlace) {
  const std::string longName(300, 'D');
  On("0054", "Y");
  EXPECT_TRUE(Conn->FileExists(longName, "notes.dbf"));
  EXPECT_EQ(Last().Payload, std::string(255, 'D') + B("notes.dbf", 255));
  // A two-byte character across the edge is left out whole, not split.
  const std::string hangul = std::string(254, 'a') + "\xB0\xA1";
  EXPECT_TRUE(Conn->FileExists(hangul, "x"));
  EXPECT_EQ(Last().Payload.substr(0, 255), std::string(254, 'a') + " ");
  EXPECT_EQ(Last().Payload.size(), 510u);
  // The login record keeps its length whatever the texts.
  Conn->Password = std::string(400, 'p');
  Conn->ServerName = std::string(300, 's');
  EXPECT_EQ(Conn->LoginRecordText().size(), 1788u);
}
