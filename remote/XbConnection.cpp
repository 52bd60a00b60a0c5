// TXbConnection: framing, connection, login and notices (see XbConnection.h). The command
// set lives in XbCommands.cpp.
#include "remote/XbConnection.h"

#include <sys/statvfs.h>

#include <algorithm>
#include <cstring>

#include "remote/XbCommon.h"

IXbTableServer::~IXbTableServer() = default;

TCloseLinkedTables& XbCloseLinkedTablesHook() {
  static TCloseLinkedTables hook;
  return hook;
}

namespace {

std::string Header(int64_t Length, bool Compressed, const std::string& Tag,
                   const std::string& Code) {
  return HexField(Length, 8) + (Compressed ? "0001" : "0000") + FixedField(Tag, 4) +
         FixedField(Code, 4);
}

std::string StreamText(TMemoryStream& S) {
  return std::string(static_cast<const char*>(S.Memory()), static_cast<size_t>(S.Size()));
}

}  // namespace

TXbConnection::TXbConnection(TComponent* AOwner) : TXbNetClient(AOwner) {
  Host = "127.0.0.1";
  Port = 8121;
  FPollTimer = new TTimer(this);
  FPollTimer->SetInterval(1000);
  FPollTimer->SetOnTimer([this](TObject*) { PollServer(); });
  FPollTimer->SetEnabled(true);
}

TXbConnection::~TXbConnection() {
  // Tables bound here close while the socket still carries their close.
  if (XbCloseLinkedTablesHook()) {
    try {
      XbCloseLinkedTablesHook()(this);
    } catch (...) {
    }
  }
  try {
    SetActive(false);
  } catch (...) {
  }
  FPollTimer->SetEnabled(false);
}

bool TXbConnection::Active() const { return GetActive(); }

void TXbConnection::SetPollTimer(bool On) {
  FPollTimer->SetEnabled(On && FPollSwitch && GetActive() && !HasState(csDesigning) &&
                         !HasState(csLoading));
}

void TXbConnection::ReportError(const std::string& Command, const std::string& Msg) {
  if (OnError) {
    OnError(this, Command, Msg);
    return;
  }
  throw Exception("[" + Command + "]" + Msg);
}

void TXbConnection::SetActive(bool Value) {
  if (Value == GetActive()) return;
  if (!Value) {
    FPollTimer->SetEnabled(false);
    if (FLoggedIn) {
      // Closing always closes: a logout that fails on a broken link is not the caller's.
      try {
        Logout();
      } catch (...) {
      }
    }
    Disconnect();
    return;
  }
  const bool designing = HasState(csDesigning) || HasState(csLoading);
  try {
    Connect();
    if (!User().empty() && !Login()) {
      Disconnect();
      ReportError("XbConnection.SetActive",
                  designing ? "Login not accepted"
                            : "Login not accepted. Maximum user count may have been exceeded");
    }
  } catch (...) {
    // Whatever failed, no half-open connection stays behind, nor a poll timer that the
    // login's requests left running (the report below may raise).
    FLoggedIn = false;
    if (GetActive()) Disconnect();
    FPollTimer->SetEnabled(false);
    ReportError("XbConnection.SetActive", "No Xb Database Server found at " + Host);
  }
  if (!designing) SetPollTimer(true);
}

// ---- login --------------------------------------------------------------------------------

std::string TXbConnection::ScrambleLoginText(const std::string& Text) {
  std::string r = Text;
  for (char& ch : r) {
    const int b = static_cast<unsigned char>(ch);
    int d = 0;
    if (b >= 30 && b <= 39) d = -25;
    else if (b >= 40 && b <= 49) d = -15;
    else if (b >= 50 && b <= 59) d = -35;
    else if (b >= 60 && b <= 69) d = 5;
    else if (b >= 70 && b <= 79) d = 25;
    else if (b >= 80 && b <= 89) d = 45;
    else if (b >= 90 && b <= 99) d = 65;
    else if (b >= 100 && b <= 109) d = 85;
    else if (b >= 110 && b <= 119) d = 105;
    else if (b >= 120 && b <= 129) d = 125;
    ch = static_cast<char>(b + d);
  }
  return r;
}

std::string TXbConnection::GetClientVolumeId() {
  // This system has no drive letters: the file system that holds the root stands for the
  // first fixed disk, and its identifier for the volume serial number.
  uint32_t serial = 0;
  struct statvfs v {};
  if (::statvfs("/", &v) == 0) serial = static_cast<uint32_t>(v.f_fsid);
  return FixedField(std::to_string(serial), 255);
}

std::string TXbConnection::LoginRecordText() const {
  return FixedField(Password, 255) + FixedField(User(), 255) + GetClientVolumeId() +
         FixedField(FLoginEmpty, 255) + FixedField(FLoginDefault, 255) +
         std::to_string(FLoginSix) + (FCompression ? "Y" : "N") + std::to_string(FLoginZero) +
         FixedField(ServerName, 255) + FixedField(GroupName, 255);
}

bool TXbConnection::Login() {
  FLoggedIn = false;
  if (!GetActive()) return false;
  const std::string reply = ClientXmit("0464", ScrambleLoginText(LoginRecordText()), true);
  if (!reply.empty() && reply[0] == 'Y') {
    FLoggedIn = true;
    if (OnLogin) OnLogin(this, true, std::string());
  } else {
    Logout();
    const std::string msg = reply.empty() ? std::string() : Trim(reply.substr(1));
    if (OnLogin) OnLogin(this, false, msg);
  }
  return FLoggedIn;
}

void TXbConnection::Logout() {
  // Cleared first: a logout that times out makes the connection inactive, which must not
  // log out again.
  FLoggedIn = false;
  if (GetActive()) ClientXmit("0465", FixedField(User(), 10), true);
  if (OnLogout) OnLogout(this);
}

// ---- transport ----------------------------------------------------------------------------

const char* TXbConnection::ReplyToPChar() {
  FReplyStream.SetPosition(0);
  const int64_t n = std::min<int64_t>(FReplyStream.Size(), kReplyTextCapacity);
  if (n > 0) std::memcpy(FReplyText.data(), FReplyStream.Memory(), static_cast<size_t>(n));
  FReplyText[static_cast<size_t>(n)] = '\0';
  FReplyStream.SetPosition(0);
  return FReplyText.data();
}

void TXbConnection::SendHeaderAndStream(const std::string& Code, TMemoryStream& Payload,
                                        int& Sent, int& PayloadSize) {
  if (FCompression && Payload.Size() > 0) {
    TXbStreamCodec& codec = XbStreamCodec();
    if (codec.Load) codec.Load();
    if (!codec.CompressStream) throw Exception("No stream compression available");
    TMemoryStream packed;
    Payload.SetPosition(0);
    codec.CompressStream(Payload, packed);
    PayloadSize = static_cast<int>(packed.Size());
    Sent = SendStream(Header(packed.Size(), true, FTag, Code), packed);
    return;
  }
  PayloadSize = static_cast<int>(Payload.Size());
  Sent = SendStream(Header(Payload.Size(), false, FTag, Code), Payload);
}

bool TXbConnection::SendText(const std::string& Code, const std::string& Payload,
                             const char* Label) {
  try {
    if (FCompression && !Payload.empty()) {
      TMemoryStream plain;
      plain.WriteBuffer(Payload.data(), static_cast<int64_t>(Payload.size()));
      int sent = 0, size = 0;
      SendHeaderAndStream(Code, plain, sent, size);
    } else {
      // Header and payload leave in one piece.
      WriteText(Header(static_cast<int64_t>(Payload.size()), false, FTag, Code) + Payload);
    }
    return true;
  } catch (...) {
    SetActive(false);
    ReportError(Label, "Connection lost");
    return false;
  }
}

const char* TXbConnection::ClientXmit(const std::string& Code, const std::string& Payload,
                                      bool WaitForReply) {
  FPollTimer->SetEnabled(false);
  FReplyText[0] = '\0';
  const char* result = FReplyText.data();
  if (!GetActive()) {
    // These two labels keep the spelling that error handlers match on.
    ReportError("XbConection.ClientXmit(" + Code + ")", "Not connected");
    SetPollTimer(true);
    return result;
  }
  if (!SendText(Code, Payload, "XbConnection.ClientXmit")) {
    FReplyText[0] = '\0';
    return result;
  }
  if (WaitForReply && FillReadStream(false) > 0) {
    try {
      result = ReplyToPChar();
    } catch (...) {
      ReportError("XbConection.ClientXmit", "Connection lost");
    }
  }
  SetPollTimer(true);
  return result;
}

TMemoryStream* TXbConnection::ClientStreamReceive(const std::string& Code,
                                                  const std::string& Payload) {
  FPollTimer->SetEnabled(false);
  FReplyStream.Clear();
  if (!GetActive()) {
    SetPollTimer(true);
    return nullptr;
  }
  if (!SendText(Code, Payload, "XbConnection.ClientStreamReceive")) return nullptr;
  TMemoryStream* result = nullptr;
  if (FillReadStream(false) > 0) {
    FReplyStream.SetPosition(0);
    result = &FReplyStream;
  }
  SetPollTimer(true);
  return result;
}

TMemoryStream* TXbConnection::ClientStreamSendReceive(const std::string& Code) {
  FPollTimer->SetEnabled(false);
  TMemoryStream* result = nullptr;
  if (GetActive() && FRequestStream.Size() > 0) {
    try {
      int sent = 0, size = 0;
      SendHeaderAndStream(Code, FRequestStream, sent, size);
      if (GetActive() && sent == size) {
        FReplyStream.Clear();
        if (FillReadStream(false) > 0) {
          FReplyStream.SetPosition(0);
          result = &FReplyStream;
        }
      }
    } catch (...) {
      SetPollTimer(true);
      ReportError("XbConnection.ClientStreamSendReceive", "Connection lost");
      return nullptr;
    }
  }
  SetPollTimer(true);
  return result;
}

int TXbConnection::FillReadStream(bool PollOnly) {
  FPollTimer->SetEnabled(false);
  int length = 0;
  if (!GetActive()) {
    SetPollTimer(true);
    return 0;
  }
  if (PollOnly && !WaitForData(1)) {
    SetPollTimer(true);
    return 0;
  }
  // TimeOut is the longest wait for each message's header and for each piece of its data.
  // A server that trickles its bytes is still held to a ceiling for the whole message: the
  // header within TimeOut of its first byte, the payload within TimeOut plus the time its
  // announced length takes at kMinReplyRate, so a large blob may take as long as it needs
  // while it keeps coming. A notice is the server saying it is at work, so the message after
  // it has its own waits.
  struct TRestoreWaits {
    TXbNetSocket& s;
    int Receive;
    ~TRestoreWaits() {
      s.SetReadDeadline(0);
      s.ReceiveTimeOutMs = Receive;
    }
  } restoreWaits{*this, ReceiveTimeOutMs};
  ReceiveTimeOutMs = TimeOut > 0 ? TimeOut : 0;
  try {
    for (;;) {
      FReplyStream.Clear();
      length = 0;
      SetReadDeadline(0);
      if (TimeOut != 0 && !WaitForData(TimeOut)) {
        ReportError("XbConnection.FillReadStream", "Time out");
        SetActive(false);
        return 0;
      }
      SetReadDeadline(TimeOut > 0 ? TimeOut : 0);
      std::string header;
      ReadExact(20, header);
      int64_t announced = 0;
      if (!TryHexToInt(header.substr(0, 8), announced)) announced = 0;
      if (announced > kMaxPayload) throw Exception("Damaged message header");
      length = static_cast<int>(announced);
      if (TimeOut > 0) SetReadDeadline(TimeOut + announced * 1000 / kMinReplyRate);
      if (length > 0) {
        if (FCompression) {
          TMemoryStream packed;
          ReadStream(packed, length);
          TXbStreamCodec& codec = XbStreamCodec();
          if (codec.Load) codec.Load();
          if (!codec.UnCompressStream) throw Exception("No stream compression available");
          codec.UnCompressStream(packed, FReplyStream);
          FReplyStream.SetPosition(0);
          length = static_cast<int>(FReplyStream.Size());
        } else {
          ReadStream(FReplyStream, length);
        }
      }
      const std::string code = header.substr(16, 4);
      if (code == "0302") {
        Sleep(5000);
        Disconnect();
        FLoggedIn = false;
        if (OnServerMessage) OnServerMessage(this, "Server shutdown");
        return -1;
      }
      if (code == "0303") {
        if (length > 0 && OnServerStream) OnServerStream(this, &FReplyStream);
      } else if (code == "0301") {
        if (length > 0 && OnServerMessage) OnServerMessage(this, StreamText(FReplyStream));
      } else if (code == "0300") {
        if (length > 0) {
          // Three 8-digit numbers; only the bytes that came are read, a missing one is 0.
          const std::string text = StreamText(FReplyStream).substr(0, 24);
          int64_t v[3] = {0, 0, 0};
          for (size_t i = 0; i < 3; ++i) {
            if (text.size() < i * 8 + 1) break;
            if (!TryHexToInt(text.substr(i * 8, 8), v[i])) v[i] = 0;
          }
          if (OnServerProgress)
            OnServerProgress(this, psProgress, static_cast<int>(v[0]), static_cast<int>(v[1]),
                             static_cast<int>(v[2]));
        }
      } else {
        break;  // the reply
      }
      if (PollOnly) break;
    }
  } catch (...) {
    SetActive(false);
    ReportError("XbConnection.FillReadStream", "Connection lost");
    return 0;
  }
  SetPollTimer(true);
  return length;
}

void TXbConnection::PollServer() {
  if (!GetActive()) {
    FPollTimer->SetEnabled(false);
    return;
  }
  FillReadStream(true);
}

std::string TXbConnection::ResolveDataPath() const {
  auto names = [](const std::string& s) {
    return s.find_first_of("\\/:.") != std::string::npos;
  };
  std::string path = names(DataPath) ? DataPath : (!SqlPath.empty() ? SqlPath : GetCurrentDir());
  if (path.empty() || (path.back() != '/' && path.back() != '\\')) path += '/';
  return path;
}
