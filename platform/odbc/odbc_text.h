// Text conversions at the boundary of the wide ODBC API: program text is UTF-8, credentials
// are code page 936 bytes, ODBC's wide functions take and give UTF-16.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace platform::odbc {

// Throws ETextConversionError (platform/textconv.h) for invalid UTF-8, naming the byte offset.
std::u16string Utf8ToUtf16(std::string_view utf8);

// An unpaired surrogate becomes U+FFFD; never throws for content.
std::string Utf16ToUtf8(std::u16string_view utf16);

// Code page 936 as Windows defines it (0x80 is the euro sign). Any byte may occur: NUL stays
// U+0000, and each byte that starts no valid character becomes U+FFFD, so that the login is
// still attempted and the server decides. Implemented per platform (gbk_iconv.cpp here).
std::u16string GbkToUtf16(std::string_view gbk);

// A decimal value as mantissa / 10^scale.
struct Decimal {
  int64_t mantissa = 0;
  int scale = 0;
  bool operator==(const Decimal&) const = default;
};

// Decimal text as drivers render numeric columns ("-12.5", ".25", "7"), with at least
// min_scale digits of scale (so "-12.5" with 3 gives -12500 / 10^3). Empty for any other text
// and for values whose mantissa does not fit 64 bits.
std::optional<Decimal> ParseDecimal(std::string_view text, int min_scale);

}  // namespace platform::odbc
