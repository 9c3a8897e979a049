// Splits a batch into tokens. Comments and white space (blanks, tabs, CR, LF) separate tokens
// and are otherwise dropped.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct Token {
  enum class Kind { Word, QuotedName, Number, String, Symbol, End };
  Kind kind = Kind::End;
  std::string text;       // as written; for String the content with quotes undoubled (UTF-8)
  bool national = false;  // String written N'...'
  bool reserved = false;  // Word that is a reserved keyword of T-SQL
  std::size_t begin = 0;  // byte offsets into the batch
  std::size_t end = 0;

  // Case-insensitive test of a Word against a lower-case keyword.
  bool Is(std::string_view lower_word) const;
  bool IsSymbol(std::string_view s) const { return kind == Kind::Symbol && text == s; }
};

// Throws SqlError (105 for an unclosed string, 113 for an unclosed comment).
std::vector<Token> Tokenize(std::string_view batch);

bool IsReservedKeyword(std::string_view word);

}  // namespace standin
