// TXbEnv: the engine environment component. It holds the engine's process-wide settings
// (date format, century, epoch, deleted-record visibility, exact and soft seek, lock time-out,
// memo block size) and pushes each change to the local engine, to the table server, or both,
// as ApplyTo says. Tables copy its values when they open.
//
// Contract:
// - With ApplyTo empty every setter does nothing at all, not even store the value.
// - atServer: the connection's counterpart, when a connection is set and active.
//   atLocal: the engine is loaded first, then called. Then the value is stored.
// - LockTimeOut, MemoBlockSize, SoftSeek and Exact skip an unchanged value; Century,
//   DateFormat, Deleted and Epoch always send.
// - Century, DateFormat and Deleted also adjust the process's short date format (the first
//   two) and refresh every open table (RefreshTables) when AutoRefresh is set.
// - Nothing here raises; engine and server failures surface where those layers report them.
//
// GUI thread only.
#pragma once

#include <cstdint>

#include "engine/include/xbeng61.h"
#include "platform/core/Classes.h"

class TXbConnection;

enum TXbDateFrmt {
  dfAmerican = 0,
  dfAnsi = 1,
  dfBritish = 2,
  dfFrench = 3,
  dfGerman = 4,
  dfItalian = 5,
  dfSpanish = 6,
  dfWinDefault = 7
};

// The engine's code of a date format: the ordinal, with dfWinDefault sent as 99.
XbShort XbDateFormatCode(TXbDateFrmt Format);

// ApplyTo is a set of these.
enum : unsigned { atLocal = 1u << 0, atServer = 1u << 1 };
using TXbApplyTo = unsigned;

class TXbEnv : public TComponent {
 public:
  explicit TXbEnv(TComponent* AOwner = nullptr);
  ~TXbEnv() override;

  TXbApplyTo ApplyTo() const { return FApplyTo; }
  void SetApplyTo(TXbApplyTo Value) { FApplyTo = Value; }

  TXbConnection* XbConnection() const { return FXbConnection; }
  void SetXbConnection(TXbConnection* Value);

  // Refresh open tables after changes to what they show.
  bool AutoRefresh = true;

  bool Century() const { return FCentury; }
  void SetCentury(bool Value);
  TXbDateFrmt DateFormat() const { return FDateFormat; }
  void SetDateFormat(TXbDateFrmt Value);
  // True hides records marked deleted.
  bool Deleted() const { return FDeleted; }
  void SetDeleted(bool Value);
  // First year of the hundred-year window of two-digit years; 0 is 1900, and values are
  // kept within 100 .. 2999.
  int Epoch() const { return FEpoch; }
  void SetEpoch(int Value);
  bool Exact() const { return FExact; }
  void SetExact(bool Value);
  // A failed seek stops on the next key.
  bool SoftSeek() const { return FSoftSeek; }
  void SetSoftSeek(bool Value);
  int LockTimeOut() const { return FLockTimeOut; }
  void SetLockTimeOut(int Value);
  uint16_t MemoBlockSize() const { return FMemoBlockSize; }
  void SetMemoBlockSize(uint16_t Value);
  // Local engine only (system properties 1009 to set, 1008 to read back); false unless
  // ApplyTo holds atLocal.
  bool OptimisticBuffer() const;
  void SetOptimisticBuffer(bool Value);

  // Fixed values that tables copy.
  int ErrorFunc() const { return -1; }
  bool CountNeedsRefresh() const { return false; }
  int ErrorLevel() const { return 0; }

  // Refreshes every active table of the application when AutoRefresh is set.
  void RefreshTables();

  void Loaded() override;

 protected:
  void Notification(TComponent* AComponent, TOperation Operation) override;

 private:
  // Sends to the server and the engine as ApplyTo says; false when ApplyTo is empty.
  template <typename Local, typename Server>
  bool Send(Local local, Server server);
  // The short date format with the year widened or narrowed for Century.
  void AdjustCenturyFormat();

  TXbApplyTo FApplyTo = atLocal;
  TXbConnection* FXbConnection = nullptr;
  bool FCentury = true;
  TXbDateFrmt FDateFormat = dfWinDefault;
  bool FDeleted = false;
  int FEpoch = 1980;
  bool FExact = false;
  bool FSoftSeek = false;
  int FLockTimeOut = 1;
  uint16_t FMemoBlockSize = 64;
  bool FOptimisticBuffer = false;
};

// The first environment among the application's data modules and forms, or nullptr.
TXbEnv* FindXbEnv();
