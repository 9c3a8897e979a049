// Text conversions at the boundary of the wide ODBC API: program text is UTF-8, credentials
// are code page 936 bytes, ODBC's wide functions take and give UTF-16.
#pragma once

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

}  // namespace platform::odbc
