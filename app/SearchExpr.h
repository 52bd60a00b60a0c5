// The search expressions of the note book: the seek panel's word search and the title search
// dialog's field search, built as xBase filter text for the engine's query.
//
// A search text never reaches the expression raw. Each one is put between a delimiter it
// does not contain: a double quote, else a single quote, else square brackets; a text that
// holds all three (", ' and ]) cannot be quoted and the build is refused. None of these
// bytes can be the second byte of a two-byte code page 949 character, so a Korean word never
// hides one.
//
// Only the seek panel limits its length: an expression of more than kMaxSeekExpression bytes
// is refused there. The title search builds what was typed however long; the engine's own
// expression test is the last word on it.
//
// Pure functions over code page 949 bytes; thread-safe.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

constexpr std::size_t kMaxSeekExpression = 255;

enum TSearchBuild {
  sbOk,          // Expression holds the result (it may be empty: nothing to search for)
  sbTooLong,     // the seek panel's result would exceed kMaxSeekExpression
  sbUnquotable,  // Word holds a text with ", ' and ]
};

struct TSearchResult {
  TSearchBuild Status = sbOk;
  std::string Expression;
  std::string Word;  // the refused text for sbUnquotable
};

// Text between the first delimiter it does not contain; false (Literal untouched) when it
// contains all three.
bool QuoteSearchText(std::string_view Text, std::string& Literal);

// The words of a seek text: runs of blanks separate them; no word is empty.
std::vector<std::string> SeekWords(std::string_view Text);

// The seek panel. Field 1..4 searches title 1..4, 5 all four titles at once (any other value
// builds no term). Each word gives at(word,field)>0, the terms joined by " .and. ". With
// MarkedOnly the marked-note condition chk<>" " is added (an empty text then searches every
// marked note); without it the expression ends in one blank.
TSearchResult BuildSeekExpression(std::string_view Text, int Field, bool MarkedOnly);

// The title search dialog, all-fields mode: the text as typed, searched in the four titles
// together; empty when the text is blank.
TSearchResult BuildAllTitlesExpression(std::string_view Text);

// Per-field mode: one term per non-empty text (a text of blanks counts), for tit1..tit4, joined
// by " .and. " and ending in one blank; empty when all four are empty.
TSearchResult BuildPerTitleExpression(const std::string (&Texts)[4]);

enum TQueryCombine { qcNew, qcAnd, qcOr };

// The query text after a search with the new part Part: New replaces Old; And and Or wrap
// both, "(" Old ") .and. (" Part ")". And or Or with an empty Part leaves Old unchanged, and
// with an empty Old they take Part alone.
TSearchResult CombineQuery(const std::string& Old, const std::string& Part, TQueryCombine How);
