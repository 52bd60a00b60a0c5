// The table layer's refusal: keep the message on the table, then raise it.
#include "table/XbError.h"

#include "table/XbTable.h"

void RaiseXbError(TXbTable* Table, const std::string& Message) {
  if (Table) Table->LastErrorMessage = Message;
  throw EXbError(Message);
}
