// The search expressions of the seek panel and the title search dialog (see SearchExpr.h).
#include "app/SearchExpr.h"

#include "app/Udf.h"

namespace {

const char* const kTitleField[4] = {"tit1", "tit2", "tit3", "tit4"};
const char* const kAllTitles = "tit1+tit2+tit3+tit4";
const char* const kAnd = " .and. ";

// at(<quoted text>,<field>)>0; false when the text cannot be quoted.
bool AtTerm(std::string_view Text, const char* Field, std::string& Term) {
  std::string literal;
  if (!QuoteSearchText(Text, literal)) return false;
  Term = "at(" + literal + "," + Field + ")>0";
  return true;
}

TSearchResult Refused(std::string_view Word) {
  TSearchResult r;
  r.Status = sbUnquotable;
  r.Word = std::string(Word);
  return r;
}

TSearchResult Built(std::string Expression) {
  TSearchResult r;
  r.Expression = std::move(Expression);
  return r;
}

}  // namespace

bool QuoteSearchText(std::string_view Text, std::string& Literal) {
  if (Text.find('"') == std::string_view::npos) {
    Literal = "\"" + std::string(Text) + "\"";
  } else if (Text.find('\'') == std::string_view::npos) {
    Literal = "'" + std::string(Text) + "'";
  } else if (Text.find(']') == std::string_view::npos) {
    Literal = "[" + std::string(Text) + "]";
  } else {
    return false;
  }
  return true;
}

std::vector<std::string> SeekWords(std::string_view Text) {
  std::vector<std::string> words;
  const std::string text = StrAllTrim(Text);
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find(' ', start);
    if (end == std::string::npos) end = text.size();
    std::string word = StrAllTrim(std::string_view(text).substr(start, end - start));
    if (!word.empty()) words.push_back(std::move(word));
    start = end + 1;
  }
  return words;
}

TSearchResult BuildSeekExpression(std::string_view Text, int Field, bool MarkedOnly) {
  const char* field = nullptr;
  if (Field >= 1 && Field <= 4) field = kTitleField[Field - 1];
  if (Field == 5) field = kAllTitles;
  std::string e;
  if (field) {
    for (const std::string& word : SeekWords(Text)) {
      std::string term;
      if (!AtTerm(word, field, term)) return Refused(word);
      e += term;
      e += kAnd;
    }
  }
  if (MarkedOnly) {
    e += " chk<>\" \" ";
  } else if (!e.empty()) {
    e.resize(e.size() - 6);  // the last ".and. ", leaving one blank
  }
  if (e.size() > kMaxSeekExpression) {
    TSearchResult r;
    r.Status = sbTooLong;
    return r;
  }
  return Built(std::move(e));
}

TSearchResult BuildAllTitlesExpression(std::string_view Text) {
  if (StrAllTrim(Text).empty()) return Built(std::string());
  std::string term;
  if (!AtTerm(Text, kAllTitles, term)) return Refused(Text);
  return Built(std::move(term));
}

TSearchResult BuildPerTitleExpression(const std::string (&Texts)[4]) {
  std::string e;
  for (int i = 0; i < 4; ++i) {
    if (Texts[i].empty()) continue;
    std::string term;
    if (!AtTerm(Texts[i], kTitleField[i], term)) return Refused(Texts[i]);
    e += term;
    e += kAnd;
  }
  if (!e.empty()) e.resize(e.size() - 6);
  return Built(std::move(e));
}

TSearchResult CombineQuery(const std::string& Old, const std::string& Part, TQueryCombine How) {
  const bool noPart = StrAllTrim(Part).empty();
  const bool noOld = StrAllTrim(Old).empty();
  if (How == qcNew || noOld) return Built(Part);
  if (noPart) return Built(Old);
  return Built("(" + Old + (How == qcAnd ? ") .and. (" : ") .or. (") + Part + ")");
}
