// Server procedures and the parameter block (see XbServerDLL.h).
#include "remote/XbServerDLL.h"

#include <new>
#include <vector>

#include "remote/XbCommon.h"
#include "remote/XbConnection.h"

namespace {

int64_t HexOrRaise(const std::string& s) {
  int64_t v = 0;
  if (!TryHexToInt(s, v)) throw EConvertError("'" + s + "' is not a valid integer value");
  return v;
}

void WriteBytes(TMemoryStream& Stream, const std::string& S) {
  if (!S.empty()) Stream.WriteBuffer(S.data(), static_cast<int64_t>(S.size()));
}

// One parameter's record; false when its data (Size bytes) could not be held.
bool WriteParam(const TParam& P, TMemoryStream& Stream, int& Size) {
  const int n = Size = P.GetDataSize();
  try {
    std::vector<char> data(static_cast<size_t>(n));
    if (n > 0) P.GetData(data.data());
    WriteBytes(Stream, HexField(n, 8) + HexField(static_cast<int>(P.DataType) & 0x7F, 2) +
                           HexField(static_cast<int>(P.ParamType) & 0x7F, 2) + FixedField(P.Name, 20));
    if (n > 0) Stream.WriteBuffer(data.data(), n);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

void WriteParamBlock(const TParams* Params, TMemoryStream& Stream) {
  Stream.Clear();
  int size = 0;
  if (Params != nullptr)
    for (int i = 0; i < Params->Count(); ++i)
      if (!WriteParam(*Params->Items(i), Stream, size)) throw EParamAllocation(size);
  Stream.SetPosition(0);
}

void ReadParamBlock(const std::string& Block, TParams& Params) {
  size_t at = 0;
  while (Block.size() - at >= 8) {
    const int64_t n = HexOrRaise(Block.substr(at, 8));
    at += 8;
    // The record head follows the size even for an empty value; a record cut short ends
    // the list, nothing past the reply is read.
    if (Block.size() - at < 24 || static_cast<int64_t>(Block.size() - at - 24) < n) break;
    const int dataType = static_cast<int>(HexOrRaise(Block.substr(at, 2)));
    const int paramType = static_cast<int>(HexOrRaise(Block.substr(at + 2, 2)));
    const std::string name = Trim(Block.substr(at + 4, 20));
    at += 24;
    const TFieldType ft = dataType <= ftFMTBcd ? static_cast<TFieldType>(dataType) : ftUnknown;
    const TParamType pt = paramType <= ptResult ? static_cast<TParamType>(paramType) : ptUnknown;
    Params.CreateParam(ft, name, pt);
    if (n > 0) {
      if (TParam* p = Params.FindParam(name)) p->SetData(Block.data() + at, static_cast<int>(n));
      at += static_cast<size_t>(n);
    }
  }
}

TXbServerDLL::TXbServerDLL(TComponent* AOwner) : TComponent(AOwner) {}

TXbServerDLL::~TXbServerDLL() {
  if (FXbConnection) FXbConnection->RemoveFreeNotification(this);
}

void TXbServerDLL::SetXbConnection(TXbConnection* Value) {
  if (Value == FXbConnection) return;
  // The connection may live elsewhere: hear of its end so no stale reference stays.
  if (FXbConnection) FXbConnection->RemoveFreeNotification(this);
  FXbConnection = Value;
  if (FXbConnection) FXbConnection->FreeNotification(this);
}

void TXbServerDLL::Notification(TComponent* AComponent, TOperation Operation) {
  TComponent::Notification(AComponent, Operation);
  if (Operation == opRemove && AComponent != nullptr &&
      AComponent == static_cast<TComponent*>(FXbConnection))
    FXbConnection = nullptr;
}

void TXbServerDLL::Loaded() {
  TComponent::Loaded();
  if (FXbConnection) FXbConnection->DataPath = DatabaseName;
}

void TXbServerDLL::SetProcName(const std::string& Value) {
  if (Value == FProcName) return;
  FProcParams.Clear();
  FProcName = Value;
  if (!FXbConnection) return;
  if (!FXbConnection->Active()) throw EXbServerDLL("Not connected");
  if (TMemoryStream* reply = FXbConnection->SetDLLProcName(DatabaseName, FProcName))
    ReadReply(reply);
}

bool TXbServerDLL::WriteRequest() {
  TMemoryStream& s = FXbConnection->RequestStream();
  s.Clear();
  s.SetPosition(0);
  WriteBytes(s, FixedField(DatabaseName, 255) + FixedField(FProcName, 255));
  int size = 0;
  for (int i = 0; i < FProcParams.Count(); ++i) {
    if (!WriteParam(*FProcParams.Items(i), s, size)) {
      FErrorText = "XbServerDLL.InternalSetParams";
      FErrorNumber = -1;
      s.Clear();
      if (!OnError) throw EXbServerDLL(FErrorText);
      OnError(this, FErrorText, FErrorNumber);
      return false;
    }
  }
  s.SetPosition(0);
  return true;
}

void TXbServerDLL::ReadReply(TMemoryStream* Reply) {
  FProcParams.Clear();
  if (Reply == nullptr || Reply->Size() == 0) return;
  const std::string r(static_cast<const char*>(Reply->Memory()), static_cast<size_t>(Reply->Size()));
  Reply->SetPosition(0);
  FErrorNumber = static_cast<int>(HexOrRaise(r.substr(0, 4)));
  const std::string text = r.size() > 4 ? r.substr(4, 255) : std::string();
  FErrorText = text.substr(0, text.find('\0'));
  if (r.size() > 259) ReadParamBlock(r.substr(259), FProcParams);
}

bool TXbServerDLL::ExecProc() {
  if (!FXbConnection) throw EXbServerDLL("No XbConnection specified");
  if (!FXbConnection->Active()) throw EXbServerDLL("Not connected");
  if (FProcName.empty()) throw EXbServerDLL("ProcName is empty!");
  // A parameter whose value could not be copied is never sent as a record without data.
  if (!WriteRequest()) return false;
  TMemoryStream* reply = FXbConnection->ExecProc();
  if (reply == nullptr) return false;
  ReadReply(reply);
  if (FErrorNumber == 0) return true;
  if (!OnError) throw EXbServerDLL(FErrorText);
  OnError(this, FErrorText, FErrorNumber);
  return true;
}
