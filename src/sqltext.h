// Building T-SQL literals from program text.
#pragma once

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
