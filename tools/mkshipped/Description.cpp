// Parser of the shipped-table descriptions (see Description.h).
#include "tools/mkshipped/Description.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "platform/core/SysUtils.h"
#include "platform/core/TextCodec.h"

namespace shipped {

bool Table::HasMemo() const {
  for (const Field& f : fields) {
    if (f.type == 'M') return true;
  }
  return false;
}

const Field* Table::Find(const std::string& name) const {
  for (const Field& f : fields) {
    if (SameText(f.name, name)) return &f;
  }
  return nullptr;
}

namespace {

class Parser {
 public:
  explicit Parser(const std::string& path) : path_(path) { table_.source = path; }

  Table Run() {
    std::ifstream in(path_, std::ios::binary);
    if (!in) throw DescriptionError(path_ + ": cannot be read");
    std::string line;
    while (std::getline(in, line)) {
      ++lineNo_;
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!blockTag_.empty()) {
        ContinueBlock(line);
        continue;
      }
      std::string t = Trim(line);
      if (t.empty() || t[0] == '#') continue;
      Statement(t);
    }
    if (!blockTag_.empty()) Fail(blockLine_, "text block without its closing line \"" + blockTag_ + "\"");
    Check();
    return std::move(table_);
  }

 private:
  [[noreturn]] void Fail(int line, const std::string& what) const {
    throw DescriptionError(path_ + ":" + std::to_string(line) + ": " + what);
  }
  [[noreturn]] void Fail(const std::string& what) const { Fail(lineNo_, what); }

  // Words of a statement up to the first "=" (or the whole line when there is none).
  static std::vector<std::string> Words(const std::string& s) {
    std::vector<std::string> out;
    std::istringstream ws(s);
    for (std::string w; ws >> w;) out.push_back(w);
    return out;
  }

  int Number(const std::string& s, const char* what) const {
    int v = 0;
    if (!TryStrToInt(s, v) || v < 0) Fail(std::string("bad ") + what + " \"" + s + "\"");
    return v;
  }

  std::string ToCp949(const std::string& utf8) const {
    std::string out;
    if (!cp949::TryFromUtf8(utf8, out)) Fail("text without a code page 949 form: \"" + utf8 + "\"");
    return out;
  }

  void Statement(const std::string& t) {
    const std::size_t eq = t.find('=');
    const std::vector<std::string> w = Words(eq == std::string::npos ? t : t.substr(0, eq));
    if (w.empty()) Fail("statement without a name");
    const std::string& head = w[0];
    if (eq == std::string::npos && head == "table") {
      if (w.size() != 2) Fail("table takes one base name");
      table_.name = w[1];
    } else if (eq == std::string::npos && head == "ship") {
      if (w.size() < 2 || w.size() > 3) Fail("ship takes a data file name and an optional memo file name");
      table_.ship.assign(w.begin() + 1, w.end());
    } else if (eq == std::string::npos && head == "type") {
      if (w.size() != 2) Fail("type takes one table type code");
      table_.type = Number(w[1], "table type");
    } else if (eq == std::string::npos && head == "field") {
      FieldStatement(w);
    } else if (eq == std::string::npos && head == "record") {
      if (w.size() > 2 || (w.size() == 2 && w[1] != "deleted")) Fail("record takes only \"deleted\"");
      Record r;
      r.deleted = w.size() == 2;
      r.line = lineNo_;
      table_.records.push_back(r);
    } else if (eq == std::string::npos && w.size() >= 2 && w.back().rfind("<<", 0) == 0) {
      // NAME [rtf] <<TAG
      if (w.size() > 3 || (w.size() == 3 && w[1] != "rtf")) Fail("a text block reads NAME [rtf] <<TAG");
      blockTag_ = w.back().substr(2);
      if (blockTag_.empty()) Fail("a text block needs a closing tag after <<");
      blockField_ = head;
      blockRtf_ = w.size() == 3;
      blockLine_ = lineNo_;
      blockLines_.clear();
    } else if (eq != std::string::npos) {
      std::string rhs = Unquote(Trim(t.substr(eq + 1)));
      if (w.size() == 1) {
        Assign(head, ToCp949(rhs), lineNo_);
      } else if (w.size() == 3 && w[1] == "slices") {
        Assign(head, Slices(Number(w[2], "slice width"), rhs), lineNo_);
      } else {
        Fail("unknown form of a value; NAME = VALUE or NAME slices W = A|B|...");
      }
    } else {
      Fail("unknown statement \"" + head + "\"");
    }
  }

  void FieldStatement(const std::vector<std::string>& w) {
    if (w.size() < 4 || w.size() > 5) Fail("field takes NAME TYPE WIDTH [DECIMALS]");
    if (!table_.records.empty()) Fail("fields come before the records");
    Field f;
    f.name = w[1];
    if (f.name.size() > 10) Fail("field name longer than 10 characters");
    if (table_.Find(f.name)) Fail("field \"" + f.name + "\" given twice");
    if (w[2].size() != 1 || (w[2] != "C" && w[2] != "N" && w[2] != "M")) Fail("field type is C, N or M");
    f.type = w[2][0];
    f.width = Number(w[3], "field width");
    f.decimals = w.size() == 5 ? Number(w[4], "decimals") : 0;
    if (f.width < 1 || f.width > 254) Fail("field width outside 1..254");
    if (f.type == 'M' && f.width != 10) Fail("memo fields are 10 wide");
    if (f.type != 'N' && f.decimals != 0) Fail("only number fields have decimals");
    if (f.type == 'N' && f.decimals != 0) Fail("number fields here hold integers: no decimals");
    table_.fields.push_back(f);
  }

  static std::string Unquote(const std::string& s) {
    if (s.size() >= 2 && s.front() == '"' && s.back() == '"') return s.substr(1, s.size() - 2);
    return s;
  }

  std::string Slices(int width, const std::string& pieces) const {
    std::string out;
    std::size_t start = 0;
    for (;;) {
      const std::size_t bar = pieces.find('|', start);
      const std::string piece = ToCp949(Trim(pieces.substr(start, bar == std::string::npos ? bar : bar - start)));
      if (piece.size() > static_cast<std::size_t>(width)) {
        Fail("piece \"" + Trim(pieces.substr(start, bar - start)) + "\" is wider than " + std::to_string(width) +
             " bytes");
      }
      out += piece + std::string(static_cast<std::size_t>(width) - piece.size(), ' ');
      if (bar == std::string::npos) break;
      start = bar + 1;
    }
    return out;
  }

  void ContinueBlock(const std::string& line) {
    if (line != blockTag_) {
      blockLines_.push_back(line);
      return;
    }
    std::string text;
    for (std::size_t i = 0; i < blockLines_.size(); ++i) {
      if (i) text += "\r\n";
      text += blockLines_[i];
    }
    std::string bytes = ToCp949(text);
    if (blockRtf_) bytes = EscapeHigh(bytes);
    Assign(blockField_, bytes, blockLine_);
    blockTag_.clear();
  }

  // Rich-text source keeps to 7 bits: every byte above 0x7F becomes \'hh.
  static std::string EscapeHigh(const std::string& s) {
    std::string out;
    for (unsigned char c : s) {
      if (c < 0x80) {
        out += static_cast<char>(c);
      } else {
        char hex[8];
        std::snprintf(hex, sizeof hex, "\\'%02x", c);
        out += hex;
      }
    }
    return out;
  }

  void Assign(const std::string& name, const std::string& text, int line) {
    if (table_.records.empty()) Fail(line, "a value before the first record");
    const Field* f = table_.Find(name);
    if (!f) Fail(line, "no field \"" + name + "\"");
    Record& r = table_.records.back();
    for (const Value& v : r.values) {
      if (SameText(v.field, name)) Fail(line, "field \"" + name + "\" given twice in one record");
    }
    if (f->type == 'N') {
      int n = 0;
      if (!TryStrToInt(text, n)) Fail(line, "\"" + name + "\" takes an integer");
      if (std::to_string(n).size() > static_cast<std::size_t>(f->width)) Fail(line, "number wider than its field");
    } else if (f->type == 'C' && text.size() > static_cast<std::size_t>(f->width)) {
      Fail(line, "value of \"" + name + "\" is " + std::to_string(text.size()) + " bytes, its field " +
                     std::to_string(f->width));
    }
    r.values.push_back(Value{name, text, line});
  }

  void Check() const {
    if (table_.name.empty()) Fail(1, "no table statement");
    if (table_.ship.empty()) Fail(1, "no ship statement");
    if (table_.fields.empty()) Fail(1, "no fields");
    if (table_.ship.size() != (table_.HasMemo() ? 2u : 1u)) {
      Fail(1, table_.HasMemo() ? "a table with memo fields ships a data and a memo file"
                               : "a table without memo fields ships only its data file");
    }
  }

  std::string path_;
  Table table_;
  int lineNo_ = 0;
  // The open text block, if any.
  std::string blockTag_, blockField_;
  bool blockRtf_ = false;
  int blockLine_ = 0;
  std::vector<std::string> blockLines_;
};

}  // namespace

Table ParseDescription(const std::string& path) { return Parser(path).Run(); }

}  // namespace shipped
