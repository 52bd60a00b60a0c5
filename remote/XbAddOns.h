// Loaders of the two optional add-on libraries of the engine: "RavavaDIV61.DLL" (SQL
// statements) and "ZavuraDadiz.DLL" (stream compression). Only the server connection and the
// SQL query dataset load them, on first need, through the SQL add-on hook and the stream
// codec of XbConnection.h, whose values they are from the start: they live with the
// connection, so no other layer needs to be linked (or to have run anything) for them.
//
// Contract:
// - A loader returns at once when its library is loaded. A missing library shows its own box
//   and asks the application to end; a library that loads but lacks a name raises
//   EAssertionFailed ("Assertion failure", naming IntSQL or IntCrypt) to the caller and stays
//   unloaded (the library is released again).
// - Each loader's flag, handle and entry points are cleared by Unload*, which program exit
//   runs too.
//
// GUI thread only.
#pragma once

#include "addons/compression/include/zavuradadiz.h"
#include "remote/XbConnection.h"

struct TXbSqlAddOn : TXbSqlEntryPoints {
  bool Loaded = false;
  void* Handle = nullptr;
};

struct TXbCryptAddOn {
  bool Loaded = false;
  void* Handle = nullptr;
#define ORV_ZIP_SLOT(name) decltype(&::name) name = nullptr;
  XBZIP_ENTRY_POINTS(ORV_ZIP_SLOT)
#undef ORV_ZIP_SLOT
};

TXbSqlAddOn& XbSqlAddOn();
TXbCryptAddOn& XbCryptAddOn();

void LoadSqlEngine();
void LoadCryptEngine();
void UnloadSqlEngine();
void UnloadCryptEngine();
