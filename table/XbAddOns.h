// Loaders of the two optional add-on libraries of the engine: "RavavaDIV61.DLL" (SQL
// statements) and "ZavuraDadiz.DLL" (stream compression). Only the server connection and the
// SQL query dataset load them, on first need.
//
// Contract:
// - A loader returns at once when its library is loaded. A missing library shows its own box
//   and asks the application to end; a library that loads but lacks a name raises
//   EAssertionFailed ("Assertion failure", naming IntSQL or IntCrypt) to the caller and stays
//   unloaded (the library is released again).
// - The entries are bound as plain addresses: the callers in the remote layer give them their
//   types. Each loader's flag, handle and addresses are cleared by Unload*, which program exit
//   runs too.
//
// GUI thread only.
#pragma once

struct TXbSqlAddOn {
  bool Loaded = false;
  void* Handle = nullptr;
  void* dll_sql_Prepare = nullptr;
  void* dll_sql_OpenSQL = nullptr;
  void* dll_sql_GetStructure = nullptr;
  void* dll_sql_GetRecord = nullptr;
  void* dll_sql_ExecSQL = nullptr;
  void* dll_sql_CloseSQL = nullptr;
  void* dll_sql_UnPrepareSQL = nullptr;
  void* dll_sql_ReadBlobData = nullptr;
  void* dll_sql_RecCount = nullptr;
  void* dll_sql_Refresh = nullptr;
  void* dll_sql_SetSystemCollation = nullptr;
  void* dll_sql_SetMachineCollation = nullptr;
  void* dll_sql_AddDudenCollation = nullptr;
  void* dll_sql_AddEtecCollation = nullptr;
};

struct TXbCryptAddOn {
  bool Loaded = false;
  void* Handle = nullptr;
  void* CompressStream = nullptr;
  void* UnCompressStream = nullptr;
  void* SetCompressionPassword = nullptr;
  void* SetCompressionLevel = nullptr;
};

TXbSqlAddOn& XbSqlAddOn();
TXbCryptAddOn& XbCryptAddOn();

void LoadSqlEngine();
void LoadCryptEngine();
void UnloadSqlEngine();
void UnloadCryptEngine();
