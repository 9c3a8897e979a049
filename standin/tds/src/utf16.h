// Conversion between the UCS-2LE/UTF-16LE text of the wire and the UTF-8 of the engine.
#pragma once

#include <string>
#include <string_view>

namespace standin::tds {

// UTF-16LE bytes to UTF-8. Surrogate pairs combine; a lone surrogate becomes U+FFFD. An odd
// trailing byte is ignored (callers check the length first when it matters).
std::string utf8_from_utf16le(std::string_view bytes);

// UTF-8 to UTF-16LE bytes. Malformed UTF-8 sequences become U+FFFD.
std::string utf16le_from_utf8(std::string_view utf8);

// Number of UTF-16 code units of utf8 (what TDS counts as "characters").
std::size_t utf16_units(std::string_view utf8);

}  // namespace standin::tds
