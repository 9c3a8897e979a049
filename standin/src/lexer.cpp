#include "lexer.h"

#include <algorithm>
#include <array>
#include <cctype>

#include "errors.h"
#include "text.h"

namespace standin {
namespace {

// T-SQL's reserved keywords (sorted, lower case).
constexpr std::array<std::string_view, 185> kReserved = {"add",
                                                         "all",
                                                         "alter",
                                                         "and",
                                                         "any",
                                                         "as",
                                                         "asc",
                                                         "authorization",
                                                         "backup",
                                                         "begin",
                                                         "between",
                                                         "break",
                                                         "browse",
                                                         "bulk",
                                                         "by",
                                                         "cascade",
                                                         "case",
                                                         "check",
                                                         "checkpoint",
                                                         "close",
                                                         "clustered",
                                                         "coalesce",
                                                         "collate",
                                                         "column",
                                                         "commit",
                                                         "compute",
                                                         "constraint",
                                                         "contains",
                                                         "containstable",
                                                         "continue",
                                                         "convert",
                                                         "create",
                                                         "cross",
                                                         "current",
                                                         "current_date",
                                                         "current_time",
                                                         "current_timestamp",
                                                         "current_user",
                                                         "cursor",
                                                         "database",
                                                         "dbcc",
                                                         "deallocate",
                                                         "declare",
                                                         "default",
                                                         "delete",
                                                         "deny",
                                                         "desc",
                                                         "disk",
                                                         "distinct",
                                                         "distributed",
                                                         "double",
                                                         "drop",
                                                         "dump",
                                                         "else",
                                                         "end",
                                                         "errlvl",
                                                         "escape",
                                                         "except",
                                                         "exec",
                                                         "execute",
                                                         "exists",
                                                         "exit",
                                                         "external",
                                                         "fetch",
                                                         "file",
                                                         "fillfactor",
                                                         "for",
                                                         "foreign",
                                                         "freetext",
                                                         "freetexttable",
                                                         "from",
                                                         "full",
                                                         "function",
                                                         "goto",
                                                         "grant",
                                                         "group",
                                                         "having",
                                                         "holdlock",
                                                         "identity",
                                                         "identity_insert",
                                                         "identitycol",
                                                         "if",
                                                         "in",
                                                         "index",
                                                         "inner",
                                                         "insert",
                                                         "intersect",
                                                         "into",
                                                         "is",
                                                         "join",
                                                         "key",
                                                         "kill",
                                                         "left",
                                                         "like",
                                                         "lineno",
                                                         "load",
                                                         "merge",
                                                         "national",
                                                         "nocheck",
                                                         "nonclustered",
                                                         "not",
                                                         "null",
                                                         "nullif",
                                                         "of",
                                                         "off",
                                                         "offsets",
                                                         "on",
                                                         "open",
                                                         "opendatasource",
                                                         "openquery",
                                                         "openrowset",
                                                         "openxml",
                                                         "option",
                                                         "or",
                                                         "order",
                                                         "outer",
                                                         "over",
                                                         "percent",
                                                         "pivot",
                                                         "plan",
                                                         "precision",
                                                         "primary",
                                                         "print",
                                                         "proc",
                                                         "procedure",
                                                         "public",
                                                         "raiserror",
                                                         "read",
                                                         "readtext",
                                                         "reconfigure",
                                                         "references",
                                                         "replication",
                                                         "restore",
                                                         "restrict",
                                                         "return",
                                                         "revert",
                                                         "revoke",
                                                         "right",
                                                         "rollback",
                                                         "rowcount",
                                                         "rowguidcol",
                                                         "rule",
                                                         "save",
                                                         "schema",
                                                         "securityaudit",
                                                         "select",
                                                         "semantickeyphrasetable",
                                                         "semanticsimilaritydetailstable",
                                                         "semanticsimilaritytable",
                                                         "session_user",
                                                         "set",
                                                         "setuser",
                                                         "shutdown",
                                                         "some",
                                                         "statistics",
                                                         "system_user",
                                                         "table",
                                                         "tablesample",
                                                         "textsize",
                                                         "then",
                                                         "to",
                                                         "top",
                                                         "tran",
                                                         "transaction",
                                                         "trigger",
                                                         "truncate",
                                                         "try_convert",
                                                         "tsequal",
                                                         "union",
                                                         "unique",
                                                         "unpivot",
                                                         "update",
                                                         "updatetext",
                                                         "use",
                                                         "user",
                                                         "values",
                                                         "varying",
                                                         "view",
                                                         "waitfor",
                                                         "when",
                                                         "where",
                                                         "while",
                                                         "with",
                                                         "within",
                                                         "writetext"};

bool WordStart(unsigned char c) {
  return std::isalpha(c) || c == '_' || c == '@' || c == '#' || c >= 0x80;
}
bool WordChar(unsigned char c) {
  return std::isalnum(c) || c == '_' || c == '@' || c == '#' || c == '$' || c >= 0x80;
}
bool Blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
}

class Lexer {
 public:
  explicit Lexer(std::string_view s) : s_(s) {}

  std::vector<Token> Run() {
    std::vector<Token> out;
    out.reserve(s_.size() / 4 + 4);
    while (true) {
      SkipSpace();
      Token t;
      t.begin = p_;
      if (p_ >= s_.size()) {
        t.end = p_;
        out.push_back(std::move(t));
        return out;
      }
      try {
        Read(t);
      } catch (SqlError& e) {
        e.at = t.begin;  // an unclosed string or name: the line it opens on (guess)
        throw;
      }
      t.end = p_;
      out.push_back(std::move(t));
    }
  }

 private:
  void SkipSpace() {
    while (p_ < s_.size()) {
      if (Blank(s_[p_])) {
        ++p_;
      } else if (s_.compare(p_, 2, "--") == 0) {
        while (p_ < s_.size() && s_[p_] != '\n') ++p_;
      } else if (s_.compare(p_, 2, "/*") == 0) {
        SkipBlockComment();
      } else {
        return;
      }
    }
  }

  void SkipBlockComment() {
    const std::size_t begin = p_;
    int depth = 0;  // block comments nest
    while (p_ < s_.size()) {
      if (s_.compare(p_, 2, "/*") == 0) {
        ++depth;
        p_ += 2;
      } else if (s_.compare(p_, 2, "*/") == 0) {
        p_ += 2;
        if (--depth == 0) return;
      } else {
        ++p_;
      }
    }
    SqlError e;
    e.reach = Reach::Batch;
    e.messages.push_back(Message{113, 15, 1, "Missing end comment mark '*/'."});
    e.at = begin;  // the line the comment opens on (guess)
    throw e;
  }

  void Read(Token& t) {
    const auto c = static_cast<unsigned char>(s_[p_]);
    if ((c == 'N' || c == 'n') && p_ + 1 < s_.size() && s_[p_ + 1] == '\'') {
      ++p_;
      ReadString(t);
      t.national = true;
    } else if (c == '\'') {
      ReadString(t);
    } else if (c == '[' || c == '"') {
      ReadQuotedName(t, c == '[' ? ']' : '"');
    } else if (std::isdigit(c) || (c == '.' && p_ + 1 < s_.size() &&
                                   std::isdigit(static_cast<unsigned char>(s_[p_ + 1])))) {
      ReadNumber(t);
    } else if (WordStart(c)) {
      std::size_t b = p_;
      while (p_ < s_.size() && WordChar(static_cast<unsigned char>(s_[p_]))) ++p_;
      t.kind = Token::Kind::Word;
      t.text = std::string(s_.substr(b, p_ - b));
      t.reserved = IsReservedKeyword(FoldName(t.text));
    } else {
      ReadSymbol(t);
    }
  }

  void ReadString(Token& t) {
    ++p_;  // opening quote
    std::string content;
    while (true) {
      if (p_ >= s_.size()) throw err::UnclosedQuote(content);
      char ch = s_[p_++];
      if (ch == '\'') {
        if (p_ < s_.size() && s_[p_] == '\'') {
          content += '\'';
          ++p_;
          continue;
        }
        break;
      }
      content += ch;
    }
    t.kind = Token::Kind::String;
    t.text = std::move(content);
  }

  void ReadQuotedName(Token& t, char close) {
    std::size_t b = ++p_;
    while (p_ < s_.size() && s_[p_] != close) ++p_;
    if (p_ >= s_.size()) {
      SqlError e;
      e.reach = Reach::Batch;
      e.messages.push_back(Message{105, 15, 1,
                                   "Unclosed quotation mark after the character string '" +
                                       std::string(s_.substr(b)) + "'."});
      throw e;
    }
    t.kind = Token::Kind::QuotedName;
    t.text = std::string(s_.substr(b, p_ - b));
    ++p_;
  }

  void ReadNumber(Token& t) {
    std::size_t b = p_;
    while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) ++p_;
    if (p_ < s_.size() && s_[p_] == '.') {
      ++p_;
      while (p_ < s_.size() && std::isdigit(static_cast<unsigned char>(s_[p_]))) ++p_;
    }
    t.kind = Token::Kind::Number;
    t.text = std::string(s_.substr(b, p_ - b));
  }

  void ReadSymbol(Token& t) {
    static constexpr std::string_view two[] = {"<>", "<=", ">=", "!=", "!<", "!>"};
    t.kind = Token::Kind::Symbol;
    for (auto op : two) {
      if (s_.compare(p_, 2, op) == 0) {
        t.text = std::string(op);
        p_ += 2;
        return;
      }
    }
    // One byte, or one whole UTF-8 character so that messages quote it intact.
    std::size_t b = p_++;
    while (p_ < s_.size() && (static_cast<unsigned char>(s_[p_]) & 0xC0) == 0x80) ++p_;
    t.text = std::string(s_.substr(b, p_ - b));
  }

  std::string_view s_;
  std::size_t p_ = 0;
};

}  // namespace

bool Token::Is(std::string_view lower_word) const {
  return kind == Kind::Word && SameName(text, lower_word);
}

bool IsReservedKeyword(std::string_view word) {
  return std::binary_search(kReserved.begin(), kReserved.end(), word);
}

std::vector<Token> Tokenize(std::string_view batch) { return Lexer(batch).Run(); }

}  // namespace standin
