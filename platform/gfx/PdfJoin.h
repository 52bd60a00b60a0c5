// Joining PDF documents: the pages of several documents, in order, as one document. For the
// parts of one long document drawn side by side (Printers.h): each part is a whole PDF file
// with its own fonts and pages; the joined file holds every object of every part, renumbered,
// under one page tree, with the first part's document information and catalogue.
//
// The parts are this program's own output of a moment before, but they are read as any file
// would be: every offset, number and reference is checked against the bytes at hand, and a part
// that does not hold together raises EPrinter "Cannot join the document's parts" and nothing
// is put under the output's name. No Qt: it may run on any thread.
#pragma once

#include <string>
#include <vector>

// Writes the joined document to OutputFile (program text), which it replaces only once the
// whole document is written; the parts are files named in program text. Raises EPrinter for a
// part that cannot be read or joined and the stream errors of the output; nothing unfinished
// is left behind.
void JoinPdfFiles(const std::vector<std::string>& PartFiles, const std::string& OutputFile);

// The same on documents in memory: the joined document's bytes.
std::string JoinPdfDocuments(const std::vector<std::string>& Parts);
