// Text helpers shared by the engine: names, and the Chinese_PRC_CI_AS collation approximated
// (see CollationKey). Conversion to and from code page 936 is the text module's (text/text.h).
#pragma once

#include <string>
#include <string_view>

namespace standin {

// ASCII-only lower-casing for identifiers (names are compared case-insensitively).
std::string FoldName(std::string_view name);
bool SameName(std::string_view a, std::string_view b);

// Number of bytes of a GBK string without its trailing blanks.
std::size_t TrimmedSize(std::string_view gbk);

// The key under which the collation compares and groups a GBK string: trailing blanks removed,
// Latin letters (ASCII and full-width) case-folded, walking double-byte characters so that a
// trail byte is never mistaken for a letter. Ordering the keys bytewise approximates pinyin
// order for first-level characters and puts Latin letters and digits before Chinese (guess).
std::string CollationKey(std::string_view gbk);

// The first n code points of a UTF-8 string.
std::string Utf8Prefix(std::string_view s, std::size_t n);

}  // namespace standin
