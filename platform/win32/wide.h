// UTF-8 program text to and from the UTF-16 of the Win32 wide API. Internal to platform/win32.
#pragma once

#include <string>
#include <string_view>

namespace platform::win32 {

// Throws ETextConversionError (platform/textconv.h) for invalid UTF-8.
std::wstring Wide(std::string_view utf8);

// An unpaired surrogate becomes U+FFFD; never throws for content.
std::string Utf8(std::wstring_view utf16);

}  // namespace platform::win32
