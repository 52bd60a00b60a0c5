// One fuzz input for the table-server client: the bytes are everything a server sends on one
// connection, read through a real local socket pair, while the client runs a fixed series of
// calls that read every kind of reply (texts, numbers, the table open, the structure, fetch
// blocks, blobs, records, procedure parameter blocks, SQL replies) and the notices between
// them. A hostile reply may only end in the client's own reports and exceptions (all of them
// Exception); anything else, a crash, a hang or a huge allocation is a finding. Shared by the
// libFuzzer harness and the corpus replay test; the caller installs the fake services (the
// poll timer runs on their virtual time).
#pragma once

#include <sys/socket.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/core/DataSet.h"
#include "remote/XbConnection.h"
#include "remote/XbQuery.h"
#include "remote/XbServerDLL.h"

namespace replyfuzz {

// The largest input the harness sends; it fits a local socket's buffer, so the input is
// written whole before the client reads.
inline constexpr size_t kMaxInput = 1 << 16;

// A connection whose socket is one end of a socket pair.
class TPairConnection : public TXbConnection {
 public:
  int Fd = -1;
  void Connect() override {
    if (GetActive()) throw EXbNetAlreadyConnected("Already connected.");
    if (Fd < 0) throw EXbNetInvalidSocket("Cannot allocate socket.");
    FSocket = Fd;
    Fd = -1;
    FClosedByPeer = false;
  }
};

inline void RunServerReply(const uint8_t* Data, size_t Size) {
  // A shutdown notice waits five seconds by design; inputs that could hold one are left out.
  if (Size > kMaxInput || std::string_view(reinterpret_cast<const char*>(Data), Size).find("0302") !=
                              std::string_view::npos)
    return;
  int fds[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM, 0, fds) != 0) return;
  size_t at = 0;
  while (at < Size) {
    const ssize_t n = ::send(fds[1], Data + at, Size - at, MSG_NOSIGNAL);
    if (n <= 0) break;
    at += static_cast<size_t>(n);
  }
  ::shutdown(fds[1], SHUT_WR);
  // The client's requests are read and dropped, so its sends never fill the pair.
  std::thread drain([peer = fds[1]] {
    char buf[4096];
    while (::recv(peer, buf, sizeof buf, 0) > 0) {
    }
    ::close(peer);
  });

  {
    TPairConnection c;
    c.Fd = fds[0];
    c.TimeOut = 200;
    int reports = 0;
    c.OnError = [&](TObject*, const std::string&, const std::string&) { ++reports; };
    c.OnServerMessage = [](TObject*, const std::string&) {};
    c.OnServerStream = [](TObject*, TMemoryStream* s) { (void)s->Size(); };
    c.OnServerProgress = [](TObject*, TxProgressStatus, int, int, int) {};
    try {
      c.SetActive(true);
      c.FillReadStream(true);  // a notice before any call, as the poll timer reads it
      (void)c.Alias(1);
      (void)c.RecCount();
      (void)c.EvalNumeric("1");
      (void)c.SysProp(2000, 0);
      XbLong recCount = 0;
      (void)c.QueryRowCount("X", recCount);
      TDataSet owner;
      TIndexDefs defs(&owner);
      TXbUseRequest request;
      request.FileName = "notes.dbf";
      TXbUseReply reply;
      c.Use(request, reply, defs);
      (void)c.GetStructure();
      const XbLong recordSize = reply.RecordSize > 0 ? reply.RecordSize : 16;
      std::vector<TFetchSlot> slots(4);
      std::vector<char> image;
      XbLong got = 0;
      (void)c.TraverseTable(got, 0, 0, 0, 1, 0, image, recordSize, 4, 1, slots);
      std::vector<char> record(static_cast<size_t>(recordSize));
      c.GetRecord(record.data(), recordSize);
      char blob[64];
      (void)c.GetBlob("MMM", blob, sizeof blob);
      (void)c.GetMemo("MMM", 0);

      TXbServerDLL proc;
      proc.SetXbConnection(&c);
      proc.OnError = [](TObject*, const std::string&, int) {};
      proc.SetProcName("PROC");
      (void)proc.ExecProc();
      proc.SetXbConnection(nullptr);

      std::string msg;
      int errorNo = 0, rowSize = 0, fieldCount = 0, rowCount = 0;
      c.sql_OpenSQL(1, 1, "select 1", msg, errorNo, rowSize, fieldCount, rowCount);
      (void)c.sql_GetStructure(1, 1);
      (void)c.sql_GetRecord(1, 1, 10, 5, 1);
      (void)c.sql_ReadBlobData(1, 1, 0, 1);
    } catch (const Exception&) {
    }
    c.OnError = nullptr;
  }  // closes the client's end
  drain.join();
}

}  // namespace replyfuzz
