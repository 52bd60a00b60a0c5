// The SQL add-on's C interface ("RavavaDIV61.DLL", built as libravavadiv61.so): the 14 names
// the table layer binds, of which the SQL query dataset's local route calls seven.
//
// A statement's life: dll_sql_Prepare (a handle, the tables it names and its parameters),
// dll_sql_OpenSQL (runs the statement and holds its whole result), then any number of
// dll_sql_GetStructure, dll_sql_GetRecord and dll_sql_ReadBlobData, then dll_sql_CloseSQL and
// dll_sql_UnPrepareSQL.
//
// Conventions shared by every call:
// - Text is NUL-terminated code page 949; results are code page 949 too.
// - Returned texts and data blocks belong to the add-on and stay valid until the next call on
//   the same handle (a failed prepare's message: until the next prepare).
// - Errors: a non-zero *errorNo and a message; a failed prepare gives handle 0.
// - Tables are read through the engine library (libxbeng61.so beside the add-on), the same
//   instance the program uses; each call leaves the engine's selected work area and settings
//   as it found them.
// - One thread: the caller's GUI thread.
#ifndef ORVELANE_RAVAVADIV61_H
#define ORVELANE_RAVAVADIV61_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(XBSQL_BUILDING)
#define XBSQLAPI __attribute__((visibility("default")))
#else
#define XBSQLAPI
#endif

/* Progress of a running statement: status 1, and the record reached of the table being read. */
typedef void (*XbSqlProgress)(void* data, int32_t status, int32_t minimum, int32_t maximum,
                              int32_t position);

/* The 14 bound names, in binding order. X(name) for each. */
#define DLL_SQL_ENTRY_POINTS(X)                                                                 \
  X(dll_sql_Prepare) X(dll_sql_OpenSQL) X(dll_sql_GetStructure) X(dll_sql_GetRecord)          \
  X(dll_sql_ExecSQL) X(dll_sql_CloseSQL) X(dll_sql_UnPrepareSQL) X(dll_sql_ReadBlobData)      \
  X(dll_sql_RecCount) X(dll_sql_Refresh) X(dll_sql_SetSystemCollation)                        \
  X(dll_sql_SetMachineCollation) X(dll_sql_AddDudenCollation) X(dll_sql_AddEtecCollation)

#define DLL_SQL_ENTRY_POINT_COUNT 14

/* Largest number of result columns a statement may have. */
#define DLL_SQL_MAX_FIELDS 1025

/* Makes a statement: the data folder (trailing delimiter), the tables block (per table: name
   T(64), alias T(64), table type H(1), password T(8), OEM flag Y/N, extra index files as H(8)
   length and text, commit level H(1)), the parameter block (per parameter: data size H(8),
   data type H(2), parameter type H(2), name T(20), data), and the settings. Sets *handle
   (0 on failure) and *errorNo; returns the message ("" when all went well). */
XBSQLAPI const char* dll_sql_Prepare(void* connection, int32_t* handle, XbSqlProgress progress,
                                     void* progressData, int16_t tableType, const char* password,
                                     int16_t oemTranslate, int32_t tableCount, const char* tables,
                                     int32_t tablesLength, const char* dataPath, int16_t setDeleted,
                                     int16_t century, int32_t memoBlockSize, const char* dateFormat,
                                     const void* params, int32_t paramsLength, int16_t readOnly,
                                     int16_t commitLevel, int32_t* errorNo);

/* Runs the statement and keeps its result: rows, fields, bytes per row image. */
XBSQLAPI const char* dll_sql_OpenSQL(int32_t handle, const char* sql, int32_t* rowCount,
                                     int32_t* fieldCount, int32_t* rowSize, int32_t* errorNo);

/* Five CR LF-ended lines per field: name, field type (hexadecimal class-library ordinal: 1 string,
   2 small integer, 3 integer, 5 boolean, 6 float, 9 date, 15 blob, 16 memo), size, offset in the
   row image (both hexadecimal), and the column's declared SQL type. */
XBSQLAPI void dll_sql_GetStructure(int32_t handle, const char** data, int32_t* length);

/* Rows firstRow .. firstRow + rows - 1 (1-based, cut at the end of the result): 8 hexadecimal
   digits of the number of rows, then per row its number in 8 hexadecimal digits and its image.
   *reserved is set to 0. */
XBSQLAPI void dll_sql_GetRecord(int32_t handle, const char** data, int32_t firstRow, int32_t rows,
                                int32_t* reserved, int32_t* length);

/* The value of memo or blob field fieldIndex (0-based) of row (1-based); length 0 for none. */
XBSQLAPI void dll_sql_ReadBlobData(int32_t handle, const char** data, int32_t row,
                                   int32_t fieldIndex, int32_t* length);

/* Drops the result; the statement stays prepared. *result is 0. */
XBSQLAPI void dll_sql_CloseSQL(int32_t handle, int32_t* result);
/* Ends the statement; the handle is no longer valid. *result is 0. */
XBSQLAPI void dll_sql_UnPrepareSQL(int32_t handle, int32_t* result);

/* Not used by the query dataset: statements without a result are refused, the rest answer
   neutrally. */
XBSQLAPI const char* dll_sql_ExecSQL(int32_t handle, const char* sql, int32_t* errorNo);
XBSQLAPI int32_t dll_sql_RecCount(int32_t handle);
XBSQLAPI void dll_sql_Refresh(int32_t handle);
XBSQLAPI void dll_sql_SetSystemCollation(int16_t on);
XBSQLAPI void dll_sql_SetMachineCollation(int16_t on);
XBSQLAPI void dll_sql_AddDudenCollation(void);
XBSQLAPI void dll_sql_AddEtecCollation(void);

#ifdef __cplusplus
}
#endif

#endif
