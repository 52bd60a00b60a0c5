// TXbServerDLL: runs a named procedure of a library on the table server. Setting ProcName
// fetches the procedure's parameter list; ExecProc sends the current parameter values and
// reads back the parameters after the call with the server's error number and text.
//
// ParamBlock, the wire form of a parameter list (also sent with SQL statements): per
// parameter, 8 hex digits of its data size N, 2 hex digits of its field type, 2 of its
// parameter type, its name blank-padded or cut to 20 bytes, then the N bytes of its data form.
//
// Contract:
// - Refusals raise EXbServerDLL ("No XbConnection specified", "Not connected", "ProcName is
//   empty!"); transport failures are the connection's (its OnError or exception) and make
//   ExecProc answer false.
// - A server error number other than 0 goes to OnError (the call still answers true) or is
//   raised as EXbServerDLL with the server's text.
// - Reading a reply never goes past its end: a record cut short ends the list there.
//
// Ownership: ProcParams is owned; the connection is not, and the component hears of its
// destruction. GUI thread only.
#pragma once

#include <functional>
#include <string>

#include "platform/core/Classes.h"
#include "platform/core/Fields.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"

class TXbConnection;

ORV_DECLARE_EXCEPTION(EXbServerDLL, Exception);

using TExecDLLErrorEvent =
    std::function<void(TObject* Sender, const std::string& ErrorMsg, int ErrorNo)>;

// A parameter's data that could not be held; Size is what it needed.
class EParamAllocation : public EOutOfMemory {
 public:
  EParamAllocation(int64_t NeededSize)
      : EOutOfMemory("Out of memory"), Size(NeededSize) {}
  int64_t Size;
};

// Clears Stream, writes the ParamBlock of Params (nothing when absent or empty) and rewinds.
// A parameter of a type without a data form raises the class library's database error; one
// whose data cannot be held raises EParamAllocation.
void WriteParamBlock(const TParams* Params, TMemoryStream& Stream);
// Reads ParamBlock records from Block into Params (which are not cleared first).
void ReadParamBlock(const std::string& Block, TParams& Params);

class TXbServerDLL : public TComponent {
 public:
  explicit TXbServerDLL(TComponent* AOwner = nullptr);
  ~TXbServerDLL() override;

  TXbConnection* XbConnection() const { return FXbConnection; }
  void SetXbConnection(TXbConnection* Value);
  std::string DatabaseName;
  std::string Version() const { return "6.1.0.8"; }
  void SetVersion(const std::string& Value) { FVersionSink = Value; }
  const std::string& ProcName() const { return FProcName; }
  void SetProcName(const std::string& Value);
  TParams& ProcParams() { return FProcParams; }
  TExecDLLErrorEvent OnError;

  // The last error of the server (or of the parameter copy), 0 and "" after success.
  const std::string& ErrorText() const { return FErrorText; }
  int ErrorNumber() const { return FErrorNumber; }

  bool ExecProc();
  void Loaded() override;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // False when the parameter values could not be copied (reported already).
  bool WriteRequest();
  void ReadReply(TMemoryStream* Reply);

  std::string FVersionSink;
  TXbConnection* FXbConnection = nullptr;
  std::string FProcName;
  TParams FProcParams{this};
  std::string FErrorText;
  int FErrorNumber = 0;
};
