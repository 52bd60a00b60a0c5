// EXbError, the exception class of the table layer, and RaiseXbError, the one way the table
// layer refuses a call: the message is kept on the table (LastErrorMessage) and raised
// unchanged. EXbError is a database error, so the dataset's OnPostError / OnEditError /
// OnDeleteError handlers see it like the dataset framework's own errors.
#pragma once

#include <string>

#include "platform/core/SysUtils.h"

class TXbTable;

class EXbError : public EDatabaseError {
 public:
  using EDatabaseError::EDatabaseError;
};

// Stores Message in Table->LastErrorMessage (when Table is given) and raises EXbError.
[[noreturn]] void RaiseXbError(TXbTable* Table, const std::string& Message);
