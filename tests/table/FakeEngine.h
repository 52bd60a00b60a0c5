// An in-process stand-in for the engine library: a symbol table with one recording function
// per engine name, for the fake library loader. Each call is recorded as "name(arg, ...)";
// results come from the Ints / Doubles / Texts maps by name (0, 0.0 or null when absent).
//
//   TFakeEngine engine;                       // becomes TFakeEngine::Current
//   services.Loader.AddLibrary("XBENG61.DLL", engine.Symbols());
//   engine.Ints["xb_Rlock"] = 7;
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/include/xbeng61.h"

class TFakeEngine {
 public:
  TFakeEngine();
  ~TFakeEngine();

  // Every engine name (and, with Extras, the two extra ones) but those in Omit.
  std::map<std::string, void*> Symbols(const std::set<std::string>& Omit = {},
                                       bool Extras = true) const;

  void Record(const char* Name, std::vector<std::string> Args);
  // Calls of one name, or of every name when Name is empty, as "name(args)".
  std::vector<std::string> CallsOf(const std::string& Name = "") const;
  int Count(const std::string& Name) const;
  void Clear() { Calls.clear(); }

  std::vector<std::string> Calls;
  std::map<std::string, int64_t> Ints;
  std::map<std::string, double> Doubles;
  std::map<std::string, std::string> Texts;

  // Special results: the memo text (null when unset), blob bytes, record image bytes.
  bool HasMemo = false;
  std::string Memo;
  std::string Blob;
  std::string RecordBytes;
  // The 256 bytes last sent with system property 1101.
  std::string CollationTable;
  XbGaugePoster GaugePoster = nullptr;
  int MemoBlocksOut = 0;

  static TFakeEngine* Current;
};
