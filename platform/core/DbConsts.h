// Texts of the dataset framework's errors (English, as the class library words them) and the
// one routine that raises them. Texts with "%s" / "%d" go through Format().
#pragma once

#include <string>

class TComponent;

namespace dbconsts {

inline constexpr const char* SDataSetClosed = "Cannot perform this operation on a closed dataset";
inline constexpr const char* SDataSetOpen = "Cannot perform this operation on an open dataset";
inline constexpr const char* SDataSetEmpty = "Cannot perform this operation on an empty dataset";
inline constexpr const char* SDataSetReadOnly = "Cannot modify a read-only dataset";
inline constexpr const char* SNotEditing = "Dataset not in edit or insert mode";
inline constexpr const char* SRecordNotFound = "Record not found";
inline constexpr const char* SInvalidBookmark = "Invalid bookmark";
inline constexpr const char* SCircularDataLink = "Circular datalinks are not allowed";
inline constexpr const char* SBlobStreamMissing = "Field '%s' cannot be read or written as a stream";

inline constexpr const char* SFieldNotFound = "Field '%s' not found";
inline constexpr const char* SDuplicateFieldName = "Duplicate field name '%s'";
inline constexpr const char* SFieldNameMissing = "Field name missing";
inline constexpr const char* SFieldTypeMismatch =
    "Type mismatch for field '%s', expecting: %s actual: %s";
inline constexpr const char* SFieldRequired = "Field '%s' must have a value";
inline constexpr const char* SFieldAccessError = "Cannot access field '%s' as type %s";
inline constexpr const char* SFieldNoDataSet = "Field '%s' has no dataset";
inline constexpr const char* SFieldIndexError = "Field index out of range";
inline constexpr const char* SFieldRangeError =
    "%s is not a valid value for field '%s'. The allowed range is %s to %s";
inline constexpr const char* SInvalidIntegerValue = "'%s' is not a valid integer value for field '%s'";
inline constexpr const char* SInvalidFloatValue =
    "'%s' is not a valid floating point value for field '%s'";
inline constexpr const char* SInvalidBoolValue = "'%s' is not a valid boolean value for field '%s'";
inline constexpr const char* SInvalidDateValue = "'%s' is not a valid date for field '%s'";
inline constexpr const char* SLookupInfoError = "Lookup information for field '%s' is incomplete";

inline constexpr const char* SUnknownFieldType = "Field '%s' is of an unknown type";
inline constexpr const char* SUnsupportedFieldType = "Field '%s' is of an unsupported type";
inline constexpr const char* SParameterNotFound = "Parameter '%s' not found";
inline constexpr const char* SParamDataShort =
    "Parameter '%s' needs %d bytes of data, %d given";
inline constexpr const char* SListIndexError = "List index out of bounds (%d)";

inline constexpr const char* SIndexNotFound = "Index '%s' not found";
inline constexpr const char* SDuplicateIndexName = "Duplicate index name '%s'";

}  // namespace dbconsts

// Raises EDatabaseError with Message, prefixed by "<Name>: " when Component has a name.
[[noreturn]] void DatabaseError(const std::string& Message, const TComponent* Component = nullptr);
