// The socket client: a small family of non-visual components that give the table-server
// connection a blocking TCP stream with its own receive buffer. Connect to a host and port,
// read an exact number of bytes (optionally against a time-out), read lines and text replies,
// write strings and buffers, send a header followed by a stream, and wait for data.
//
// Contract:
// - Every failure raises a class of the EXbNetException tree with a fixed English text;
//   socket error numbers become texts from WinsockErrorText. "Not enough data in buffer."
//   is a plain Exception.
// - The peer closing the connection, and errors 10054 and 10058, disconnect first; other
//   socket errors leave the socket open. Disconnect never raises.
// - ReceiveTimeOutMs (0: none) bounds every single receive: a peer that stops sending in the
//   middle of a message ends the read with error 10060 instead of blocking for ever.
// - SetReadDeadline bounds the whole of a read: once it has passed, the next receive fails
//   with error 10060, so a peer that trickles its bytes cannot stretch a message.
// - The optional trace file records only the text commands and replies of SendCmd and
//   ReadTextReply, never the bytes of ReadExact, ReadStream or the write calls.
//
// Ownership: the component owns its receive buffer, ReplyLines and trace file.
// Not thread-safe: one instance lives on one thread; all calls block it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/core/Classes.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"
#include "remote/XbSockets.h"

class EXbNetException : public Exception {
 public:
  using Exception::Exception;
};
class EXbNetSocketError : public EXbNetException {
 public:
  EXbNetSocketError(std::string Msg, int Code) : EXbNetException(std::move(Msg)), ErrorCode(Code) {}
  int ErrorCode = 0;
};
ORV_DECLARE_EXCEPTION(EXbNetResponseError, EXbNetException);
ORV_DECLARE_EXCEPTION(EXbNetClosedSocket, EXbNetException);
ORV_DECLARE_EXCEPTION(EXbNetInvalidSocket, EXbNetException);
ORV_DECLARE_EXCEPTION(EXbNetConnClosedGraceful, EXbNetException);
ORV_DECLARE_EXCEPTION(EXbNetAlreadyConnected, EXbNetException);

enum TxProgressStatus { psNone = 0, psProgress = 1 };

using TStringEvent = std::function<void(TComponent* Sender, const std::string& sOut)>;
using TProgressCallback = std::function<void(TObject* Sender, int Position, int Total)>;
using TReadProgressEvent = std::function<void(TComponent* Sender, int Min, int Max, int Position)>;
using TWriteProgressEvent = TReadProgressEvent;
using TxProgressEvent =
    std::function<void(TObject* Sender, TxProgressStatus Status, int Min, int Max, int Position)>;

// Starts the socket layer once for the process (the first component does it, and a static
// initialiser too); raises EXbNetException "Winsock Initialization Error." on failure.
void XbNetStartup();

class TXbNet : public TComponent {
 public:
  explicit TXbNet(TComponent* AOwner = nullptr);
  ~TXbNet() override;

  int Port = 0;

  virtual void CloseSocket();
  virtual bool GetActive() const;
  virtual void Disconnect();

 protected:
  virtual void AllocateSocket(int SocketType);
  TXbSocket FSocket = XB_INVALID_SOCKET;
};

class TXbNetSocket : public TXbNet {
 public:
  explicit TXbNetSocket(TComponent* AOwner = nullptr);
  ~TXbNetSocket() override;

  std::string LogFileName;
  std::string LineTerminator = "\r\n";
  bool StripHighBit = false;
  int16_t ReplyCode = 0;
  int BufferChunk = 8192;
  // Longest wait for one receive, in ms; 0 waits without limit.
  int ReceiveTimeOutMs = 0;
  // Every receive from now on must end within Ms milliseconds of this call; 0 or less
  // removes the deadline.
  void SetReadDeadline(int64_t Ms);
  TStringEvent OnStatus;
  TProgressCallback OnProgress;
  TReadProgressEvent OnReadProgress;
  TWriteProgressEvent OnWriteProgress;
  TxProgressEvent OnServerProgress;
  std::string ResolvedAddress;
  std::string LastReply;
  TStringList& ReplyLines() { return FReplyLines; }

  // Bytes held in the receive buffer.
  int BufferedCount() const { return FFill - 1; }
  int BufferCapacity() const { return static_cast<int>(FBuffer.size()); }

  virtual int16_t SendCmd(const std::string& Cmd, int16_t Expected, uint8_t Indent,
                          const std::string& StatusText);
  virtual void DoProgress(int Position);
  virtual void ReadExact(int Count, std::string& Data);
  virtual void ReadExactTimed(int Count, int TimeOutMs, std::string& Data);
  void ReadStream(TStream& Stream, int Count);
  bool WaitForData(int TimeOutMs);
  int WriteText(const std::string& S);
  int WriteBuffer(const void* Buffer, int Count);
  void WriteLn(const std::string& S);
  int SendStream(const std::string& Cmd, TStream& Stream);
  void ReadLine(std::string& S);
  void ReadLn(std::string& S);
  int16_t ReadTextReply();
  void DoStatus(const std::string& Text);

  static uint32_t ResolveHost(const std::string& HostText, std::string& Dotted);
  static std::string WinsockErrorText(int Code);
  [[noreturn]] static void RaiseSocketError(int Code);
  static bool CheckSocketResult(int Result, const std::vector<int>& Tolerated);

 protected:
  // One receive into the buffer (see the growth rule in the .cpp).
  void FillBuffer();
  // Runs the closed-by-peer check: disconnects and raises when the peer has closed.
  void CheckClosed();
  void HandleSocketError(int Code);
  void TakeBytes(int Count, std::string& Data);
  void BeginProgress(int Total);
  void EndProgress();
  void OpenTrace();
  void CloseTrace();
  void Trace(const std::string& Text, bool Received = true);
  void ClearBuffer();

  bool FClosedByPeer = false;
  bool FHasDeadline = false;
  std::chrono::steady_clock::time_point FDeadline;
  int FLastKilobyte = 0;
  int FFill = 1;
  int FProgressPosition = 0;
  int FTransferTotal = 0;
  std::unique_ptr<TFileStream> FTrace;
  std::string FBuffer;
  TStringList FReplyLines;
};

class TXbNetClient : public TXbNetSocket {
 public:
  explicit TXbNetClient(TComponent* AOwner = nullptr);
  ~TXbNetClient() override;

  const std::string& User() const { return FUser; }
  void SetUser(const std::string& Value);
  std::string Host;
  std::string Password;

  virtual void Connect();
  void Disconnect() override;

 private:
  std::string FUser;
};
