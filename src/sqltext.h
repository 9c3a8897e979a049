// Building T-SQL literals from program text, and comparing the names and values read back.
#pragma once

#include <cctype>
#include <cstddef>
#include <string>
#include <string_view>

// The body of a '...' literal holding exactly `text`: every single quote doubled.
inline std::string QuoteBody(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '\'') out += '\'';
  }
  return out;
}

// Names compare as the database's case-insensitive collation compares them.
inline std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// The text without characters of code 32 or below at either end.
inline std::string TrimBlanks(std::string s) {
  std::size_t b = 0, e = s.size();
  while (b < e && static_cast<unsigned char>(s[b]) <= ' ') ++b;
  while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ') --e;
  s.erase(e);
  s.erase(0, b);
  return s;
}

// A char(n) value without the blanks that pad it.
inline std::string TrimRight(std::string s) {
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}
