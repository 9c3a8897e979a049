// Text helpers shared by the engine: code page 936 conversion lives in gbk.cpp, and the
// Chinese_PRC_CI_AS collation is approximated here (see collation_key).
#pragma once

#include <string>
#include <string_view>

namespace standin {

// UTF-8 to code page 936; what the code page lacks (or what is not UTF-8) becomes '?'.
std::string gbk_lossy(std::string_view utf8);

// ASCII-only lower-casing for identifiers (names are compared case-insensitively).
std::string fold_name(std::string_view name);
bool same_name(std::string_view a, std::string_view b);

// Number of bytes of a GBK string without its trailing blanks.
std::size_t trimmed_size(std::string_view gbk);

// The key under which the collation compares and groups a GBK string: trailing blanks removed,
// Latin letters (ASCII and full-width) case-folded, walking double-byte characters so that a
// trail byte is never mistaken for a letter. Ordering the keys bytewise approximates pinyin
// order for first-level characters and puts Latin letters and digits before Chinese (guess).
std::string collation_key(std::string_view gbk);

// Number of code points of a UTF-8 string, and its first n code points.
std::size_t utf8_length(std::string_view s);
std::string utf8_prefix(std::string_view s, std::size_t n);

}  // namespace standin
