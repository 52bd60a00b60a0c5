// Note files and the settings table: the field layout of a new note file, the field labels
// kept in the header record, the shipped default files, and the one place where file names in
// the data folder are looked up.
//
// File names: a note file takes its name as the user typed it ("MyNote" gives MyNote.dbf);
// every look-up of a file in the data folder goes through FindFileNoCase, so files copied from
// a system that ignores letter case ("CONDB20.DBF", "Orvel.wav") are found all the same, and a
// name taken in another letter case counts as taken. Names are program text (CP949); they
// cross to the system's UTF-8 names in SysUtils' file routines.
//
// Text is code page 949 bytes; widths are byte counts and no cut splits a character.
#pragma once

#include <array>
#include <string>
#include <string_view>

class TXbTable;

// One field of the note-file layout.
struct TNoteFieldDef {
  const char* Name;
  const char* Type;  // engine type letter
  int Length;
};

// The ten fields of a new note file, in creation order.
extern const std::array<TNoteFieldDef, 10> kNoteFields;

// Engine table code of note files and of the settings table.
constexpr int kNoteTableTypeCode = 3;
// Width of one field label in the header's tit1.
constexpr int kLabelWidth = 8;
// Field labels: the header's tit1 cut into four 8-byte slices (a slice missing from a short
// tit1 is empty or short). A two-byte character that straddles a slice boundary belongs to
// neither slice; a blank stands in for it, so the other slices keep their place.
std::array<std::string, 4> HeaderLabels(std::string_view tit1);
// The header's tit1 for four labels: each padded with blanks or cut to 8 bytes, joined.
std::string JoinLabels(const std::array<std::string, 4>& labels);

// The name of a file in folder whose name equals name without regard to letter case, or ""
// when there is none. An exact match wins over a case variant. folder "" is the current one.
std::string FindFileNoCase(const std::string& folder, const std::string& name);
// folder + the name on disk when one exists, else folder + name as given.
std::string ResolveFileName(const std::string& folder, const std::string& name);
bool FileExistsNoCase(const std::string& folder, const std::string& name);

// Puts the shipped default files under their working names where those are missing:
// condb20._db -> condb20.dbf, orvel27c._db/._sm -> orvel27c.dbf/.smt, orvel058._db/._sm ->
// orvel058.dbf/.smt. A missing shipped file or a failed rename is skipped.
void PlaceShippedFiles(const std::string& folder);

// The settings field that holds the screen body colour: its own "scolor", or ftype2 in a
// settings table of an older layout (the first start reads it there too).
std::string ScreenColourField(TXbTable& settings);

// The data file name for a typed base name: trimmed, in the letter case typed, with ".dbf".
std::string NoteDataFileName(std::string_view baseName);

// Creates a new note file in folder named after baseName (NoteDataFileName): one deleted
// header record carrying labels (tit1) and description (tit2), and one empty note. Settings
// fname then names the new file. Refusals are shown to the user: the name followed by
// " 파일이 이미 있습니다." when it exists, "Create failed" and "failed" when the engine refuses.
// table is a closed work table (the file store's own); settings is the open settings table.
// Returns true when the file was made.
bool CreateNoteFile(TXbTable& table, TXbTable& settings, const std::string& folder,
                    std::string_view baseName, const std::string& labels,
                    const std::string& description);
