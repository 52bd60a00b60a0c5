// How the table moves: the public moves, the dataset's read slots with the end-of-file
// rule, the scroll bracket, and the fetch-ahead that reads FetchCount records per server
// request.
#include <cstdlib>

#include "remote/XbConnection.h"
#include "table/XbEngine.h"
#include "table/XbTable.h"

void TXbTable::EngineGoTop() {
  xb_GoTop();
  if (OnServer()) xb_RecNo();
}

void TXbTable::ResetFetchBlock() {
  FetchBlockCount = -1;
  FetchIndex = 0;
}

void TXbTable::FreeFetchSlots() {
  FetchSlots.clear();
  FetchSlots.shrink_to_fit();
  ResetFetchBlock();
}

void TXbTable::SetFetchCount(int Value) {
  if (WorkArea > 0) throw EXbError("Cannot perform this operation on an open table");
  if (Value == FFetchCount) return;
  if (Value < 1) Value = 1;
  FreeFetchSlots();
  FFetchCount = Value;
  FetchSlots.resize(static_cast<size_t>(FFetchCount));
}

// ---- Public moves ---------------------------------------------------------------------------

void TXbTable::GoTop() {
  if (WorkArea > 0) FetchBlockCount = -1;
  if (!FSpeedMode) {
    First();
  } else if (WorkArea > 0) {
    SelectWorkArea();
    EngineGoTop();
  }
}

void TXbTable::GoBottom() {
  if (WorkArea > 0) FetchBlockCount = -1;
  if (!FSpeedMode) {
    Last();
  } else if (WorkArea > 0) {
    SelectWorkArea();
    xb_GoBottom();
  }
}

void TXbTable::Skip(XbLong N) {
  if (WorkArea > 0) {
    if (std::abs(N) > 1) FetchBlockCount = -1;
    if (N > 0) BofPending = 0;
    if (N < 0) EofPending = 0;
  }
  if (!FSpeedMode) {
    MoveBy(N);
  } else if (WorkArea > 0) {
    SelectWorkArea();
    xb_Skip(N);
  }
}

int TXbTable::MoveBy(int Distance) {
  FetchBlockCount = -1;
  if (!FSpeedMode) return TDataSet::MoveBy(Distance);
  Skip(Distance);
  return Distance;
}

void TXbTable::Next() {
  if (!FSpeedMode) TDataSet::Next();
  else Skip(1);
}

void TXbTable::Prior() {
  if (!FSpeedMode) TDataSet::Prior();
  else Skip(-1);
}

void TXbTable::BeginScroll() {
  if (FSpeedMode) return;
  CheckBrowseMode();
  if (!ControlsDisabled()) DoBeforeScroll();
}

void TXbTable::EndScroll() {
  if (!FSpeedMode) DoAfterScroll();
}

void TXbTable::Resync(TResyncMode Mode) {
  if (WorkArea <= 0 || FSpeedMode || State() == dsInactive) return;
  if (ActiveBuffer()) {
    SelectWorkArea();
    xb_Go(BufferRecNo(ActiveBuffer()));
  }
  TDataSet::Resync(Mode);
}

// ---- Dataset read slots -----------------------------------------------------------------------

void TXbTable::InternalFirst() {
  if (WorkArea > 0) {
    // The engine may have dropped the work area (closed under the table): open afresh.
    if (!OnServer() && xb_Alias(WorkArea).empty()) OpenEngineTable();
    SelectWorkArea();
    xb_GoTop();
  }
  FetchBlockCount = -1;
  BofPending = -1;
  EofPending = 0;
  CurrentRecNo = 0;
}

void TXbTable::InternalLast() {
  if (WorkArea > 0) {
    SelectWorkArea();
    xb_GoBottom();
  }
  FetchBlockCount = -1;
  EofPending = -1;
  BofPending = 0;
}

TGetResult TXbTable::ReadLocal(TGetMode GetMode, XbLong& R) {
  const XbLong p = (BofPending != 0 || EofPending != 0) ? 0 : xb_RecNo();
  TGetResult result = grOK;
  switch (GetMode) {
    case gmCurrent:
      if (xb_Bof() != 0 && xb_Eof() != 0) {
        result = grEOF;  // an empty view
      } else if (xb_Eof() != 0 && EOFAction == eaMoveLast) {
        xb_GoBottom();
        if (xb_Eof() != 0) result = grEOF;
      }
      break;
    case gmNext:
      if (BofPending != 0) xb_GoTop(); else xb_Skip(1);
      if (xb_Eof() != 0 || xb_RecNo() == p) {
        xb_GoBottom();
        result = grEOF;
      }
      break;
    case gmPrior:
      if (EofPending != 0) xb_GoBottom(); else xb_Skip(-1);
      if (xb_Bof() != 0 || xb_RecNo() == p) {
        xb_GoTop();
        result = grBOF;
      }
      break;
  }
  R = xb_RecNo();
  CurrentRecNo = R;
  OrderPosition = -2;
  // A walk whose order the engine gave up ended early: said, never shown as the whole list.
  CheckIndexFaults();
  return result;
}

TGetResult TXbTable::FetchRemote(TGetMode GetMode, XbLong& R) {
  IXbTableServer* server = TableServer();
  if (!server) {
    R = CurrentRecNo;
    return GetMode == gmPrior ? grBOF : grEOF;
  }
  if (FetchSlots.size() != static_cast<size_t>(FFetchCount)) FetchSlots.resize(static_cast<size_t>(FFetchCount));
  for (TFetchSlot& slot : FetchSlots)
    if (slot.Image.size() != static_cast<size_t>(RecordSize))
      slot.Image.assign(static_cast<size_t>(RecordSize > 0 ? RecordSize : 0), '\0');

  if (static_cast<uint8_t>(GetMode) == LastGetMode && FetchIndex < FetchBlockCount - 1) {
    ++FetchIndex;
  } else {
    FetchIndex = 0;
    server->TraverseTable(FetchBlockCount, BofPending, EofPending, static_cast<XbShort>(EOFAction),
                          static_cast<XbShort>(GetMode), LastGetMode, RecordImage, RecordSize,
                          FFetchCount, CurrentRecNo, FetchSlots);
    if (FetchBlockCount < 1 || FetchBlockCount > static_cast<XbLong>(FetchSlots.size())) {
      // Nothing came back: show no stale record from an earlier block.
      FetchBlockCount = -1;
      R = CurrentRecNo;
      return GetMode == gmPrior ? grBOF : grEOF;
    }
  }
  const TFetchSlot& slot = FetchSlots[static_cast<size_t>(FetchIndex)];
  RecordImage = slot.Image;
  R = slot.RecNo;
  OrderPosition = slot.OrderPosition;
  CurrentRecNo = R;
  LastGetMode = static_cast<uint8_t>(GetMode);
  return static_cast<TGetResult>(slot.Status);
}

TGetResult TXbTable::GetRecord(TRecordBuffer Buffer, TGetMode GetMode, bool DoCheck) {
  if (WorkArea <= 0) return grEOF;
  SelectWorkArea();
  TGetResult result = grOK;
  bool accept = true;
  do {
    accept = true;
    XbLong r = 0;
    result = OnServer() ? FetchRemote(GetMode, r) : ReadLocal(GetMode, r);
    // The pending start of a read is used up by the first record read; a rejected record
    // is skipped by reading on in the same direction.
    BofPending = 0;
    EofPending = 0;
    InternalInitRecord(Buffer);
    if (result == grOK) {
      if (!OnServer()) xb_GetRecord();
      RecordToBuffer(Buffer);
      SetBufferRecNo(Buffer, r);
      SetBookmarkFlag(Buffer, bfCurrent);
      GetCalcFields(Buffer);
      if (OnFilterRecord && Filtered()) {
        // Whatever the handler does, the engine is back on this table's work area after it.
        struct Reselect {
          TXbTable* t;
          ~Reselect() { t->SelectWorkArea(); }
        } reselect{this};
        try {
          accept = DoFilterRecord(Buffer);
        } catch (...) {
          accept = true;  // a failing handler hides nothing
        }
        if (!accept && GetMode == gmCurrent) result = grEOF;
      }
    }
    if (result == grError && DoCheck)
      RaiseXbError(this, "Cannot perform this operation on an empty table");
  } while (!accept && result == grOK);
  BofPending = 0;
  EofPending = 0;
  return result;
}

void TXbTable::InternalRefresh() {
  if (WorkArea <= 0) return;
  SelectWorkArea();
  const std::string text = xb_DBFilter();
  if (text.empty()) {
    Resync(0);
    return;
  }
  const XbLong r = xb_RecNo();
  if (xb_QueryTest(text) > 0) {
    Query(text);
    SelectWorkArea();
    xb_Go(r);
  }
}
