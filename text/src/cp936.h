// The system's table for code page 936, one implementation per platform (chosen in CMake).
// Both functions convert the longest prefix they can and leave the decision about the rest to
// the caller, which applies the module's one rule for what cannot be converted.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace text::cp936 {

// Appends to out the UTF-16 of the longest prefix of gbk made of whole valid characters and
// returns its length in bytes. A byte that begins no character, or a lead byte whose next byte
// completes none (or that ends gbk), ends the prefix.
std::size_t Decode(std::string_view gbk, std::u16string& out);

// Appends to out the bytes of the longest prefix of utf16 (which has no unpaired surrogate)
// whose characters the code page holds, and returns its length in UTF-16 units.
std::size_t Encode(std::u16string_view utf16, std::string& out);

}  // namespace text::cp936
