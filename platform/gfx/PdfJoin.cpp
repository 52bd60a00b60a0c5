// Joining PDF documents (PdfJoin.h). Each part is read through its cross-reference table; its
// objects are copied in the order the file holds them, their references renumbered, and the
// bytes of each stream copied as they are. The joined page tree is object 1.
#include "platform/gfx/PdfJoin.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string_view>

#include "platform/core/OsText.h"
#include "platform/core/Streams.h"
#include "platform/core/SysUtils.h"
#include "platform/gfx/Printers.h"

namespace {

constexpr const char* kCannotJoin = "Cannot join the document's parts";

[[noreturn]] void Refuse() { throw EPrinter(kCannotJoin); }

bool IsSpace(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t' || c == '\f' || c == '\0'; }
bool IsDelimiter(char c) {
  return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
         c == '/' || c == '%';
}

// A token of the PDF syntax within [at, end).
struct TToken {
  enum TKind { Eof, Int, Other, Name, String, Open, Close } Kind = Eof;
  size_t Start = 0, Stop = 0;
  int64_t Value = 0;  // Int
};

class TLexer {
 public:
  TLexer(std::string_view Bytes, size_t At, size_t End) : D(Bytes), P(At), E(std::min(End, Bytes.size())) {}

  size_t At() const { return P; }

  TToken Next() {
    SkipBlanks();
    TToken t;
    t.Start = P;
    if (P >= E) {
      t.Stop = P;
      return t;
    }
    const char c = D[P];
    if (c == '(') {
      t.Kind = TToken::String;
      int depth = 0;
      for (; P < E; ++P) {
        if (D[P] == '\\') {
          ++P;
          continue;
        }
        if (D[P] == '(') ++depth;
        if (D[P] == ')' && --depth == 0) break;
      }
      if (P >= E) Refuse();
      ++P;
    } else if (c == '<' && P + 1 < E && D[P + 1] == '<') {
      t.Kind = TToken::Open;
      P += 2;
    } else if (c == '>' && P + 1 < E && D[P + 1] == '>') {
      t.Kind = TToken::Close;
      P += 2;
    } else if (c == '<') {
      t.Kind = TToken::String;
      while (P < E && D[P] != '>') ++P;
      if (P >= E) Refuse();
      ++P;
    } else if (c == '[' || c == '{') {
      t.Kind = TToken::Open;
      ++P;
    } else if (c == ']' || c == '}') {
      t.Kind = TToken::Close;
      ++P;
    } else if (c == ')' || c == '>') {
      Refuse();
    } else {
      t.Kind = c == '/' ? TToken::Name : TToken::Other;
      ++P;
      while (P < E && !IsSpace(D[P]) && !IsDelimiter(D[P])) ++P;
      if (t.Kind == TToken::Other) {
        // A plain integer: digits only, short enough to be an object number or an offset.
        std::string_view s = D.substr(t.Start, P - t.Start);
        if (!s.empty() && s.size() <= 12 && std::all_of(s.begin(), s.end(), [](char d) { return d >= '0' && d <= '9'; })) {
          t.Kind = TToken::Int;
          for (char d : s) t.Value = t.Value * 10 + (d - '0');
        }
      }
    }
    t.Stop = P;
    return t;
  }

  bool Is(const TToken& t, std::string_view Word) const {
    return t.Kind == TToken::Other && D.substr(t.Start, t.Stop - t.Start) == Word;
  }
  bool IsName(const TToken& t, std::string_view Name) const {
    return t.Kind == TToken::Name && D.substr(t.Start, t.Stop - t.Start) == Name;
  }
  int64_t ExpectInt() {
    TToken t = Next();
    if (t.Kind != TToken::Int) Refuse();
    return t.Value;
  }
  void Expect(std::string_view Word) {
    if (!Is(Next(), Word)) Refuse();
  }

 private:
  void SkipBlanks() {
    while (P < E) {
      if (IsSpace(D[P])) {
        ++P;
      } else if (D[P] == '%') {
        while (P < E && D[P] != '\n' && D[P] != '\r') ++P;
      } else {
        break;
      }
    }
  }
  std::string_view D;
  size_t P, E;
};

// One object of a part: its number and where its bytes lie.
struct TObjectSpan {
  int64_t Number;
  size_t Start, End;
};

// A part read through its cross-reference table.
struct TPart {
  std::string_view Bytes;
  std::vector<TObjectSpan> Objects;      // in file order
  std::vector<size_t> SpanOf;            // object number -> index in Objects, or npos
  int64_t Root = 0, Info = 0, Pages = 0; // catalogue, document information, page tree
  std::vector<int64_t> Kids;             // the pages, in order

  const TObjectSpan* Find(int64_t n) const {
    if (n <= 0 || static_cast<uint64_t>(n) >= SpanOf.size() || SpanOf[static_cast<size_t>(n)] == std::string::npos)
      return nullptr;
    return &Objects[SpanOf[static_cast<size_t>(n)]];
  }
};

// Finds "N G obj" at the span's start and leaves the lexer after it.
void EnterObject(TLexer& L, int64_t Number) {
  if (L.ExpectInt() != Number) Refuse();
  L.ExpectInt();
  L.Expect("obj");
}

// The value of key Key at the top level of the dictionary that opens the object's body; the
// lexer is left after the key.
bool FindKey(TLexer& L, std::string_view Key) {
  if (L.Next().Kind != TToken::Open) return false;
  int depth = 1;
  for (;;) {
    TToken t = L.Next();
    if (t.Kind == TToken::Eof) return false;
    if (t.Kind == TToken::Open) ++depth;
    if (t.Kind == TToken::Close && --depth == 0) return false;
    if (depth == 1 && L.IsName(t, Key)) return true;
    if (L.Is(t, "stream") || L.Is(t, "endobj")) return false;
  }
}

// A reference "N 0 R" next in the lexer.
int64_t ExpectRef(TLexer& L) {
  int64_t n = L.ExpectInt();
  L.ExpectInt();
  L.Expect("R");
  return n;
}

int64_t RefOf(const TPart& P, int64_t Object, std::string_view Key) {
  const TObjectSpan* s = P.Find(Object);
  if (!s) Refuse();
  TLexer L(P.Bytes, s->Start, s->End);
  EnterObject(L, Object);
  if (!FindKey(L, Key)) Refuse();
  return ExpectRef(L);
}

TPart ReadPart(std::string_view D) {
  TPart P;
  P.Bytes = D;
  if (D.substr(0, 5) != "%PDF-") Refuse();
  const size_t sx = D.rfind("startxref");
  if (sx == std::string_view::npos) Refuse();
  TLexer tail(D, sx + 9, D.size());
  const int64_t xref = tail.ExpectInt();
  if (xref <= 0 || static_cast<uint64_t>(xref) >= sx) Refuse();

  // The table: sections of "first count" and count entries of "offset generation n|f".
  TLexer L(D, static_cast<size_t>(xref), sx);
  L.Expect("xref");
  std::vector<std::pair<int64_t, size_t>> used;  // number, offset
  int64_t size = 0;
  for (;;) {
    TToken t = L.Next();
    if (L.Is(t, "trailer")) break;
    if (t.Kind != TToken::Int) Refuse();
    const int64_t first = t.Value, count = L.ExpectInt();
    // Each entry takes 20 bytes: a count the table cannot hold is damage.
    if (count < 0 || count > static_cast<int64_t>((sx - L.At()) / 18 + 1) || first > (int64_t{1} << 31)) Refuse();
    for (int64_t i = 0; i < count; ++i) {
      const int64_t offset = L.ExpectInt();
      L.ExpectInt();
      TToken kind = L.Next();
      if (L.Is(kind, "n")) {
        if (offset <= 0 || static_cast<uint64_t>(offset) >= static_cast<uint64_t>(xref)) Refuse();
        used.emplace_back(first + i, static_cast<size_t>(offset));
      } else if (!L.Is(kind, "f")) {
        Refuse();
      }
    }
    size = std::max(size, first + count);
  }
  if (used.empty() || size > static_cast<int64_t>(D.size())) Refuse();
  const size_t trailer = L.At();
  {
    TLexer T(D, trailer, sx);
    if (!FindKey(T, "/Root")) Refuse();
    P.Root = ExpectRef(T);
  }
  {
    TLexer T(D, trailer, sx);
    if (FindKey(T, "/Info")) P.Info = ExpectRef(T);
  }

  std::sort(used.begin(), used.end(), [](const auto& a, const auto& b) { return a.second < b.second; });
  P.SpanOf.assign(static_cast<size_t>(size), std::string::npos);
  for (size_t i = 0; i < used.size(); ++i) {
    const int64_t n = used[i].first;
    if (n <= 0 || n >= size || P.SpanOf[static_cast<size_t>(n)] != std::string::npos) Refuse();
    if (i > 0 && used[i].second == used[i - 1].second) Refuse();
    const size_t end = i + 1 < used.size() ? used[i + 1].second : static_cast<size_t>(xref);
    P.SpanOf[static_cast<size_t>(n)] = P.Objects.size();
    P.Objects.push_back(TObjectSpan{n, used[i].second, end});
    TLexer check(D, used[i].second, end);
    EnterObject(check, n);
  }

  P.Pages = RefOf(P, P.Root, "/Pages");
  const TObjectSpan* pages = P.Find(P.Pages);
  if (!pages) Refuse();
  TLexer K(D, pages->Start, pages->End);
  EnterObject(K, P.Pages);
  if (!FindKey(K, "/Kids")) Refuse();
  if (K.Next().Kind != TToken::Open) Refuse();
  for (;;) {
    TToken t = K.Next();
    if (t.Kind == TToken::Close) break;
    if (t.Kind != TToken::Int) Refuse();
    K.ExpectInt();
    K.Expect("R");
    if (!P.Find(t.Value)) Refuse();
    P.Kids.push_back(t.Value);
  }
  // Each kid must be a page, not a tree of its own: that is all this joiner needs to know.
  for (int64_t kid : P.Kids) {
    const TObjectSpan* s = P.Find(kid);
    TLexer T(D, s->Start, s->End);
    EnterObject(T, kid);
    if (!FindKey(T, "/Type")) Refuse();
    if (!T.IsName(T.Next(), "/Page")) Refuse();
  }
  return P;
}

// Writes the joined document to Out, part by part.
class TJoiner {
 public:
  explicit TJoiner(std::function<void(std::string_view)> Out) : FOut(std::move(Out)) {}

  void Add(std::string_view Bytes) {
    TPart P = ReadPart(Bytes);
    const bool first = FParts == 0;
    if (first) {
      // The header line of the first part, and the binary comment that follows it.
      size_t eol = Bytes.find('\n');
      Put(Bytes.substr(0, eol == std::string_view::npos ? 0 : eol + 1));
      Put("%\xE2\xE3\xCF\xD3\n");
    }
    // The numbers this part's objects take: the page tree is object 1 for every part; the
    // catalogue and document information are the first part's.
    std::vector<int64_t> map(P.SpanOf.size(), 0);
    for (const TObjectSpan& o : P.Objects) {
      if (o.Number == P.Pages) map[static_cast<size_t>(o.Number)] = 1;
      else if (!first && o.Number == P.Root) map[static_cast<size_t>(o.Number)] = FRoot;
      else if (!first && o.Number == P.Info) map[static_cast<size_t>(o.Number)] = FInfo;
      else map[static_cast<size_t>(o.Number)] = ++FLast;
    }
    if (first) {
      FRoot = map[static_cast<size_t>(P.Root)];
      FInfo = P.Info > 0 && P.Find(P.Info) ? map[static_cast<size_t>(P.Info)] : 0;
    }
    for (const TObjectSpan& o : P.Objects) {
      if (o.Number == P.Pages) continue;
      if (!first && (o.Number == P.Root || o.Number == P.Info)) continue;
      CopyObject(P, o, map);
    }
    for (int64_t kid : P.Kids) FKids.push_back(map[static_cast<size_t>(kid)]);
    ++FParts;
  }

  void Finish() {
    if (FParts == 0) Refuse();
    FOffsets.resize(static_cast<size_t>(FLast) + 1, 0);
    std::string tree = "<<\n/Type /Pages\n/Kids \n[\n";
    for (int64_t k : FKids) tree += std::to_string(k) + " 0 R\n";
    tree += "]\n/Count " + std::to_string(FKids.size()) + "\n>>\nendobj\n";
    Begin(1);
    Put(tree);
    const int64_t xref = FAt;
    std::string table = "xref\n0 " + std::to_string(FLast + 1) + "\n0000000000 65535 f \n";
    char entry[24];
    for (int64_t n = 1; n <= FLast; ++n) {
      std::snprintf(entry, sizeof entry, "%010lld 00000 n \n", static_cast<long long>(FOffsets[static_cast<size_t>(n)]));
      table += entry;
      if (table.size() > (1 << 20)) {
        Put(table);
        table.clear();
      }
    }
    table += "trailer\n<<\n/Size " + std::to_string(FLast + 1) + "\n";
    if (FInfo > 0) table += "/Info " + std::to_string(FInfo) + " 0 R\n";
    table += "/Root " + std::to_string(FRoot) + " 0 R\n>>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    Put(table);
  }

 private:
  void Put(std::string_view s) {
    FOut(s);
    FAt += static_cast<int64_t>(s.size());
  }
  void Begin(int64_t Number) {
    if (FOffsets.size() <= static_cast<size_t>(Number)) FOffsets.resize(static_cast<size_t>(Number) + 1, 0);
    FOffsets[static_cast<size_t>(Number)] = FAt;
    Put(std::to_string(Number) + " 0 obj\n");
  }

  // The object's body up to its stream or its end, references renumbered; the rest as it is.
  void CopyObject(const TPart& P, const TObjectSpan& o, const std::vector<int64_t>& Map) {
    TLexer L(P.Bytes, o.Start, o.End);
    EnterObject(L, o.Number);
    Begin(Map[static_cast<size_t>(o.Number)]);
    std::string body;
    size_t from = L.At();
    // The last two plain integers seen, where they stand in body: "N G R" renumbers N.
    struct TInt {
      size_t At = 0, Length = 0;
      int64_t Value = 0;
    } ints[2];
    int seen = 0;
    for (;;) {
      TToken t = L.Next();
      if (t.Kind == TToken::Eof || L.Is(t, "stream") || L.Is(t, "endobj")) {
        // The rest as it stands, with the blanks before it: "3809 endobj" must not become
        // "3809endobj", nor ">> stream" lose the break a reader finds the stream by.
        Put(body);
        Put(P.Bytes.substr(from, o.End - from));
        return;
      }
      body.append(P.Bytes.substr(from, t.Stop - from));
      from = t.Stop;
      if (t.Kind == TToken::Int) {
        ints[0] = ints[1];
        ints[1] = TInt{body.size() - (t.Stop - t.Start), t.Stop - t.Start, t.Value};
        seen = std::min(seen + 1, 2);
        continue;
      }
      if (L.Is(t, "R") && seen == 2) {
        // Every object is written as generation 0, and so is every reference to it.
        const int64_t n = ints[0].Value;
        if (n <= 0 || static_cast<uint64_t>(n) >= Map.size() || Map[static_cast<size_t>(n)] == 0) Refuse();
        const std::string renumbered = std::to_string(Map[static_cast<size_t>(n)]) + " 0";
        body.replace(ints[0].At, ints[1].At + ints[1].Length - ints[0].At, renumbered);
      }
      seen = 0;
    }
  }

  std::function<void(std::string_view)> FOut;
  int64_t FAt = 0;
  int FParts = 0;
  int64_t FLast = 1;  // object 1 is the page tree
  int64_t FRoot = 0, FInfo = 0;
  std::vector<int64_t> FKids;
  std::vector<int64_t> FOffsets;
};

}  // namespace

std::string JoinPdfDocuments(const std::vector<std::string>& Parts) {
  std::string out;
  TJoiner j([&](std::string_view s) { out.append(s); });
  for (const std::string& p : Parts) j.Add(p);
  j.Finish();
  return out;
}

void JoinPdfFiles(const std::vector<std::string>& PartFiles, const std::string& OutputFile) {
  // Written beside it and put in its place whole: a part that cannot be joined leaves whatever
  // stood under the output's name, and a reader, or another copy of the program joining into
  // the same name, never meets half a document. Each part is read once.
  TReplacingFileStream file(OutputFile, "joining");
  std::string pending;
  TJoiner j([&](std::string_view s) {
    pending.append(s);
    if (pending.size() >= (4u << 20)) {
      file.WriteBuffer(pending.data(), static_cast<int64_t>(pending.size()));
      pending.clear();
    }
  });
  for (const std::string& f : PartFiles) {
    std::string bytes;
    try {
      bytes = ReadFileBytes(f);
    } catch (const Exception&) {
      Refuse();
    }
    j.Add(bytes);
  }
  j.Finish();
  file.WriteBuffer(pending.data(), static_cast<int64_t>(pending.size()));
  try {
    file.Commit();
  } catch (const EStreamError&) {
    throw EPrinter("Printer is not ready");
  }
}
