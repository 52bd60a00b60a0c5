// The socket client components (see XbNet.h).
#include "remote/XbNet.h"

#include <algorithm>
#include <cstring>

#include "remote/XbCommon.h"

namespace {

struct TErrorText {
  int Code;
  const char* Text;
};

const TErrorText kErrorTexts[] = {
    {10004, "Interrupted system call."},
    {10009, "Bad file number."},
    {10013, "Access denied."},
    {10014, "Bad address."},
    {10022, "Invalid argument."},
    {10024, "Too many open files."},
    {10035, "Operation would block. "},
    {10036, "Operation now in progress."},
    {10037, "Operation already in progress."},
    {10038, "Socket operation on non-socket."},
    {10039, "Destination address required."},
    {10040, "Message too long."},
    {10041, "Protocol wrong type for socket."},
    {10042, "Bad protocol option."},
    {10043, "Protocol not supported."},
    {10044, "Socket type not supported."},
    {10045, "Operation not supported on socket."},
    {10046, "Protocol family not supported."},
    {10047, "Address family not supported by protocol family."},
    {10048, "Address already in use."},
    {10049, "Can't assign requested address."},
    {10050, "Network is down."},
    {10051, "Network is unreachable."},
    {10052, "Net dropped connection or reset."},
    {10053, "Software caused connection abort."},
    {10054, "Connection reset by peer."},
    {10055, "No buffer space available."},
    {10056, "Socket is already connected."},
    {10057, "Socket is not connected."},
    {10058, "Cannot send or receive after socket is closed."},
    {10059, "Too many references, can't splice."},
    {10060, "Connection timed out."},
    {10061, "Connection refused."},
    {10062, "Too many levels of symbolic links."},
    {10063, "File name too long."},
    {10064, "Host is down."},
    {10065, "No route to host."},
    {10066, "Directory not empty"},
    {10067, "Too many processes."},
    {10068, "Too many users."},
    {10069, "Disk Quota Exceeded."},
    {10070, "Stale NFS file handle."},
    {10071, "Too many levels of remote in path."},
    {10091, "Network subsystem is unavailable."},
    {10092, "WINSOCK DLL Version out of range."},
    {10093, "Winsock not loaded yet."},
    {11001, "Host not found."},
    {11002, "Non-authoritative response (try again or check DNS setup)."},
    {11003, "Non-recoverable errors: FORMERR, REFUSED, NOTIMP."},
    {11004, "Valid name, no data record (check DNS setup)."},
};

// The process starts the socket layer once and ends it once.
struct TSocketLayer {
  bool Started = false;
  TSocketLayer() { Started = XbSockStartup(0x0101) == 0; }
  ~TSocketLayer() {
    if (Started) XbSockCleanup();
  }
};

TSocketLayer& SocketLayer() {
  static TSocketLayer layer;
  return layer;
}

const bool gStartedAtLoad = (SocketLayer(), true);

void WriteStreamText(TStream& Stream, const std::string& S) {
  if (!S.empty()) Stream.WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

void WriteStreamLine(TStream& Stream, const std::string& S) {
  WriteStreamText(Stream, S);
  WriteStreamText(Stream, "\r\n");
}

bool IsBlankOrControl(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

void XbNetStartup() {
  (void)gStartedAtLoad;
  if (!SocketLayer().Started) throw EXbNetException("Winsock Initialization Error.");
}

// ---- TXbNet ---------------------------------------------------------------------------------

TXbNet::TXbNet(TComponent* AOwner) : TComponent(AOwner) {
  XbNetStartup();
  FSocket = XB_INVALID_SOCKET;
}

TXbNet::~TXbNet() {
  if (FSocket != XB_INVALID_SOCKET) TXbNet::CloseSocket();
}

void TXbNet::CloseSocket() {
  const TXbSocket old = FSocket;
  FSocket = XB_INVALID_SOCKET;
  if (old != XB_INVALID_SOCKET) XbSockClose(old);
}

bool TXbNet::GetActive() const { return FSocket != XB_INVALID_SOCKET; }

void TXbNet::Disconnect() {
  if (GetActive()) CloseSocket();
}

void TXbNet::AllocateSocket(int SocketType) {
  FSocket = XbSockSocket(SocketType);
  if (FSocket == XB_INVALID_SOCKET) throw EXbNetInvalidSocket("Cannot allocate socket.");
}

// ---- TXbNetSocket ---------------------------------------------------------------------------

TXbNetSocket::TXbNetSocket(TComponent* AOwner) : TXbNet(AOwner) {}

TXbNetSocket::~TXbNetSocket() = default;

std::string TXbNetSocket::WinsockErrorText(int Code) {
  std::string text;
  for (const TErrorText& e : kErrorTexts)
    if (e.Code == Code) text = e.Text;
  return "Socket Error #" + std::to_string(Code) + "\r\n" + text;
}

void TXbNetSocket::RaiseSocketError(int Code) {
  throw EXbNetSocketError(WinsockErrorText(Code), Code);
}

bool TXbNetSocket::CheckSocketResult(int Result, const std::vector<int>& Tolerated) {
  if (Result != XB_SOCKET_ERROR) return false;
  const int code = XbSockLastError();
  if (std::find(Tolerated.begin(), Tolerated.end(), code) != Tolerated.end()) return true;
  RaiseSocketError(code);
}

uint32_t TXbNetSocket::ResolveHost(const std::string& HostText, std::string& Dotted) {
  Dotted = HostText;
  if (SameText(HostText, "LOCALHOST")) {
    Dotted = "127.0.0.1";
    return XbSockInetAddr(Dotted);
  }
  const uint32_t direct = XbSockInetAddr(HostText);
  if (direct != XB_INADDR_NONE) return direct;
  uint32_t address = 0;
  if (!XbSockGetHostByName(HostText, address)) RaiseSocketError(XbSockLastError());
  const auto* b = reinterpret_cast<const unsigned char*>(&address);
  Dotted = std::to_string(b[0]) + "." + std::to_string(b[1]) + "." + std::to_string(b[2]) + "." +
           std::to_string(b[3]);
  return address;
}

void TXbNetSocket::DoStatus(const std::string& Text) {
  if (!OnStatus) return;
  try {
    OnStatus(this, Text);
  } catch (Exception& e) {
    // The same exception goes on, saying where it came from.
    e.Message += " occurred in user's OnStatus Event.";
    throw;
  }
}

void TXbNetSocket::DoProgress(int Position) {
  FProgressPosition = Position;
  if (FTransferTotal == -2) return;
  if (Position != -1 && Position / 1024 <= FLastKilobyte) return;
  FLastKilobyte = Position / 1024;
  if (OnProgress) OnProgress(this, Position, FTransferTotal);
}

void TXbNetSocket::BeginProgress(int Total) {
  FProgressPosition = 0;
  FTransferTotal = Total;
}

void TXbNetSocket::EndProgress() {
  FTransferTotal = -1;
  DoProgress(-1);
  FTransferTotal = -2;
}

void TXbNetSocket::ClearBuffer() {
  FBuffer.clear();
  FBuffer.shrink_to_fit();
  FFill = 1;
}

void TXbNetSocket::CheckClosed() {
  if (!FClosedByPeer) return;
  Disconnect();
  throw EXbNetConnClosedGraceful("Connection Closed Gracefully.");
}

void TXbNetSocket::HandleSocketError(int Code) {
  if (Code == 10054 || Code == 10058) Disconnect();
  RaiseSocketError(Code);
}

void TXbNetSocket::FillBuffer() {
  if (!GetActive()) RaiseSocketError(10057);
  const int chunk = std::max(BufferChunk, 16);
  int capacity = static_cast<int>(FBuffer.size());
  // The buffer grows when less than half of what it holds is free, and gives back a chunk
  // when more than two chunks lie unused; one step per receive.
  if (capacity - FFill < FFill / 2) {
    capacity += chunk;
  } else if (capacity - FFill > 2 * chunk && capacity - chunk > chunk) {
    capacity -= chunk;
  }
  if (capacity - FFill < 1) capacity = FFill + chunk;
  FBuffer.resize(static_cast<size_t>(capacity));

  int64_t wait = ReceiveTimeOutMs > 0 ? ReceiveTimeOutMs : -1;
  if (FHasDeadline) {
    using namespace std::chrono;
    const int64_t left = duration_cast<milliseconds>(FDeadline - steady_clock::now()).count();
    if (left <= 0) RaiseSocketError(10060);
    wait = wait < 0 ? left : std::min(wait, left);
  }
  if (wait > 0) {
    const int ready = XbSockSelectRead(FSocket, static_cast<int>(std::min<int64_t>(wait, 0x7FFFFFFF)));
    if (ready == XB_SOCKET_ERROR) HandleSocketError(XbSockLastError());
    if (ready == 0) RaiseSocketError(10060);
  }
  const int n = XbSockRecv(FSocket, &FBuffer[static_cast<size_t>(FFill - 1)], capacity - FFill);
  if (n == 0) {
    FClosedByPeer = true;
  } else if (n == XB_SOCKET_ERROR) {
    HandleSocketError(XbSockLastError());
  } else {
    DoProgress(FProgressPosition + n);
    if (StripHighBit)
      for (int i = 0; i < n; ++i) FBuffer[static_cast<size_t>(FFill - 1 + i)] &= 0x7F;
    FFill += n;
  }
  CheckClosed();
}

void TXbNetSocket::SetReadDeadline(int64_t Ms) {
  FHasDeadline = Ms > 0;
  if (FHasDeadline) FDeadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(Ms);
}

void TXbNetSocket::TakeBytes(int Count, std::string& Data) {
  if (Count >= FFill) throw Exception("Not enough data in buffer.");
  Data.assign(FBuffer.data(), static_cast<size_t>(Count));
  const int rest = FFill - 1 - Count;
  if (rest > 0) std::memmove(&FBuffer[0], &FBuffer[static_cast<size_t>(Count)], static_cast<size_t>(rest));
  FFill -= Count;
}

void TXbNetSocket::ReadExact(int Count, std::string& Data) {
  Data.clear();
  if (Count <= 0) {
    FillBuffer();
    return;
  }
  while (BufferedCount() < Count) FillBuffer();
  TakeBytes(Count, Data);
}

void TXbNetSocket::ReadExactTimed(int Count, int TimeOutMs, std::string& Data) {
  Data.clear();
  TTickClock clock;
  if (Count <= 0) {
    if (WaitForData(TimeOutMs)) FillBuffer();
    return;
  }
  while (BufferedCount() < Count && !clock.Expired(TimeOutMs)) {
    // Each receive waits only for the time that is left, so the limit holds even when the
    // peer sends nothing at all.
    const int64_t left = std::max<int64_t>(0, TimeOutMs - clock.ElapsedMs());
    if (XbSockSelectRead(FSocket, static_cast<int>(left)) != 1) break;
    FillBuffer();
  }
  TakeBytes(Count, Data);
}

void TXbNetSocket::ReadStream(TStream& Stream, int Count) {
  Stream.SetPosition(0);
  if (OnReadProgress) OnReadProgress(this, 0, Count, 0);
  int remaining = Count;
  const int chunk = std::max(BufferChunk, 16);
  std::string piece;
  while (remaining > 0) {
    const int n = std::min(remaining, chunk);
    ReadExact(n, piece);
    Stream.WriteBuffer(piece.data(), n);
    remaining -= n;
    if (OnReadProgress) OnReadProgress(this, 0, 0, static_cast<int>(Stream.Position()));
  }
  if (OnReadProgress) OnReadProgress(this, 0, 0, 0);
  Stream.SetPosition(0);
}

bool TXbNetSocket::WaitForData(int TimeOutMs) {
  if (BufferedCount() > 0) return true;
  if (!GetActive()) return false;
  return XbSockSelectRead(FSocket, TimeOutMs < 0 ? -1 : TimeOutMs) == 1;
}

int TXbNetSocket::WriteBuffer(const void* Buffer, int Count) {
  if (Count <= 0) return 0;
  if (!GetActive()) throw EXbNetClosedSocket("Socket is closed, cannot write");
  const char* p = static_cast<const char*>(Buffer);
  int sent = 0;
  int last = 0;
  while (sent < Count) {
    last = XbSockSend(FSocket, p + sent, Count - sent);
    if (last == 0) {
      FClosedByPeer = true;
      CheckClosed();
    }
    if (last == XB_SOCKET_ERROR) HandleSocketError(XbSockLastError());
    sent += last;
  }
  return last;
}

int TXbNetSocket::WriteText(const std::string& S) {
  return WriteBuffer(S.data(), static_cast<int>(S.size()));
}

void TXbNetSocket::WriteLn(const std::string& S) { WriteText(S + LineTerminator); }

int TXbNetSocket::SendStream(const std::string& Cmd, TStream& Stream) {
  if (WriteText(Cmd) == 0) return 0;
  Stream.SetPosition(0);
  const int64_t size = Stream.Size();
  BeginProgress(static_cast<int>(size));
  struct TEnd {
    TXbNetSocket* s;
    ~TEnd() { s->EndProgress(); }
  } end{this};
  if (OnWriteProgress) OnWriteProgress(this, 0, static_cast<int>(size), 0);
  std::string piece;
  for (;;) {
    const int64_t n = std::min<int64_t>(size - Stream.Position(), 8192);
    if (n <= 0) break;
    piece.resize(static_cast<size_t>(n));
    Stream.ReadBuffer(piece.data(), n);
    WriteText(piece);
    if (OnWriteProgress) OnWriteProgress(this, 0, 0, static_cast<int>(Stream.Position()));
  }
  const int result = static_cast<int>(Stream.Position());
  if (OnWriteProgress) OnWriteProgress(this, 0, 0, 0);
  return result;
}

void TXbNetSocket::ReadLine(std::string& S) {
  const std::string& term = LineTerminator.empty() ? std::string("\r\n") : LineTerminator;
  size_t at = std::string::npos;
  size_t from = 0;
  for (;;) {
    const std::string_view held(FBuffer.data(), static_cast<size_t>(BufferedCount()));
    at = held.find(term, from);
    if (at != std::string::npos) break;
    // Search on where the last look stopped, keeping a terminator split across receives.
    from = held.size() >= term.size() ? held.size() - term.size() + 1 : 0;
    FillBuffer();
  }
  TakeBytes(static_cast<int>(at + term.size()), S);
  S.resize(at);
}

void TXbNetSocket::ReadLn(std::string& S) {
  for (;;) {
    ReadLine(S);
    size_t b = 0, e = S.size();
    while (b < e && IsBlankOrControl(S[b])) ++b;
    while (e > b && IsBlankOrControl(S[e - 1])) --e;
    S = S.substr(b, e - b);
    if (!S.empty()) return;
  }
}

int16_t TXbNetSocket::ReadTextReply() {
  FReplyLines.Clear();
  std::string line;
  ReadLn(line);
  Trace("I: " + line);
  if (line.size() > 3 && line[3] == '-') {
    const std::string prefix = line.substr(0, 3) + " ";
    FReplyLines.Add(line);
    do {
      ReadLn(line);
      Trace("I: " + line);
      FReplyLines.Add(line);
    } while (line.compare(0, 4, prefix) != 0);
  }
  LastReply = line;
  if (LastReply.rfind("+OK", 0) == 0) {
    ReplyCode = 1;
  } else if (LastReply.rfind("-ERR", 0) == 0) {
    ReplyCode = 0;
  } else {
    int64_t v = 0;
    const std::string head = LastReply.substr(0, 3);
    bool digits = head.size() == 3;
    for (char c : head) digits = digits && c >= '0' && c <= '9';
    ReplyCode = digits && TryDecToInt(head, v) ? static_cast<int16_t>(v) : 0;
  }
  return ReplyCode;
}

int16_t TXbNetSocket::SendCmd(const std::string& Cmd, int16_t Expected, uint8_t Indent,
                              const std::string& StatusText) {
  if (!(Cmd.size() == 1 && Cmd[0] == '\0')) {
    Trace("O: " + Cmd, false);
    WriteLn(Cmd);
  }
  ReadTextReply();
  if (Expected >= 0 && ReplyCode != Expected) throw EXbNetResponseError(LastReply);
  const std::string indent(static_cast<size_t>(Indent) * 2, ' ');
  if (StatusText == "*") DoStatus(indent + LastReply);
  else if (!StatusText.empty()) DoStatus(indent + StatusText);
  return ReplyCode;
}

void TXbNetSocket::OpenTrace() {
  FTrace.reset();
  if (!LogFileName.empty()) FTrace = std::make_unique<TFileStream>(LogFileName, fmCreate);
}

void TXbNetSocket::CloseTrace() { FTrace.reset(); }

void TXbNetSocket::Trace(const std::string& Text, bool Received) {
  if (!FTrace) return;
  WriteStreamLine(*FTrace, Text);
  // Each received line is followed by an empty one.
  if (Received) WriteStreamLine(*FTrace, std::string());
}

// ---- TXbNetClient ---------------------------------------------------------------------------

TXbNetClient::TXbNetClient(TComponent* AOwner) : TXbNetSocket(AOwner) {}

TXbNetClient::~TXbNetClient() {
  if (GetActive()) TXbNetClient::Disconnect();
  OnStatus = nullptr;
}

void TXbNetClient::SetUser(const std::string& Value) { FUser = UpperCase(Value); }

void TXbNetClient::Connect() {
  if (GetActive()) throw EXbNetAlreadyConnected("Already connected.");
  DoStatus("Connecting to " + Host);
  if (!HasState(csDesigning) && !HasState(csLoading)) {
    FBuffer.assign(static_cast<size_t>(std::max(BufferChunk, 16)), '\0');
    FFill = 1;
  }
  AllocateSocket(XB_SOCK_STREAM);
  try {
    const uint32_t address = ResolveHost(Host, ResolvedAddress);
    if (XbSockConnect(FSocket, address, static_cast<uint16_t>(Port)) == XB_SOCKET_ERROR)
      RaiseSocketError(XbSockLastError());
    OpenTrace();
    DoStatus("Socket Connected");
  } catch (...) {
    Disconnect();
    throw;
  }
  FClosedByPeer = false;
}

void TXbNetClient::Disconnect() {
  try {
    DoStatus("Disconnecting");
    CloseTrace();
    ClearBuffer();
    ResolvedAddress.clear();
    TXbNetSocket::Disconnect();
    DoStatus("Disconnected");
  } catch (...) {
  }
  // The socket is gone even when a status handler failed on the way.
  if (GetActive()) TXbNet::CloseSocket();
}
