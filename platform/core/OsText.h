// The boundary between the program's text and the operating system.
//
// Inside the program every text is code page 949 bytes, file and folder names included, as
// the note files hold them. The system names its files in the encoding of its locale: UTF-8
// here (the locale's codeset; a locale without one, such as C, counts as UTF-8, as Qt and the
// desktop take names). Every name handed to the system (open, stat, rename, delete, folder
// reading, process start, shell open, file dialogs) and every name taken from it crosses
// here, and so do the texts of text files:
//
//   SystemPath(name)       program text -> the bytes to give the system for that name
//   ProgramName(raw, out)  a name the system gave -> program text; false when it has none
//   TextFromFile(bytes)    a text file's contents (UTF-8, with or without BOM, or CP949)
//   TextToFile(text)       program text -> a text file in the system's encoding
//   TextFromSystem(text)   a message of the system (an error's words, the library loader's
//                          reason) -> program text
//   ErrorText(errnum)      the system's words for an error number, as program text
//
// Rules:
// - A name that exists on disk only as its raw CP949 bytes (copied from an older system) is
//   still found: SystemPath takes the raw form of a folder or file name when only that form
//   exists, and ProgramName keeps a raw CP949 name that is not UTF-8 as it is.
// - A name from the system without a CP949 form is never changed into another name: it is
//   left out or refused, and NameMessage names it for the user.
// - Valid UTF-8 is UTF-8: a text file is read as CP949 only when it is not valid UTF-8.
//
// The engine's file layer (engine/src/FileIo) builds this file in, so both sides follow one
// rule; nothing here depends on the rest of the class library or raises. Thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace ostext {

enum class Encoding { Utf8, Cp949 };

// The encoding of the system's names and text files, taken once from the environment's
// locale (LC_ALL, LC_CTYPE, LANG).
Encoding SystemEncoding();
// The rule behind it: Korean code pages (EUC-KR, CP949, UHC) name files in CP949 bytes;
// every other codeset, and none, in UTF-8.
Encoding EncodingOfCodeset(std::string_view codeset);

// Program text to the system's encoding. Bytes that are not CP949 text are kept as they are.
std::string ToSystem(std::string_view programText);
// The system's bytes to program text; false when some character has no CP949 form. A name
// that is not valid UTF-8 but is valid CP949 is an older copy's raw name and is kept.
bool ProgramName(std::string_view systemName, std::string& programText);

// The bytes to give the system for a path in program text, "\" and "/" kept as given. Each
// part that exists only in its raw CP949 form on disk is taken in that form.
std::string SystemPath(std::string_view programPath);

// A system name as program text with "?" for each character that has no CP949 form.
std::string ShownName(std::string_view systemName);
// A message naming a system name that has no CP949 form: its ShownName and the first
// character that has none ("U+1F600").
std::string NameMessage(std::string_view systemName);

// A text the system gives (in its locale's encoding) as program text, with "?" for each
// character that has no CP949 form: what the system says reaches the user readable.
std::string TextFromSystem(std::string_view systemText);
// The system's words for an error number (strerror, in the locale's language), as program
// text.
std::string ErrorText(int errnum);

// A text file's contents as program text: a UTF-8 byte-order mark is dropped and the rest
// read as UTF-8; without one, valid UTF-8 is UTF-8, anything else CP949 (kept as it is).
// False when a UTF-8 character has no CP949 form; `failure` then names it ("U+1F600").
bool TextFromFile(std::string_view fileBytes, std::string& programText, std::string& failure);
// Program text as a text file in the system's encoding (no byte-order mark).
std::string TextToFile(std::string_view programText);

}  // namespace ostext
