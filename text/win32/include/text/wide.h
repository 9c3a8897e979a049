// UTF-8 program text to and from the wide strings of the Win32 API, whose wchar_t is a UTF-16
// unit. Windows builds only; the rules and the modes are those of text.h.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace text {

std::wstring Utf8ToWide(std::string_view utf8, Mode mode);
std::string WideToUtf8(std::wstring_view wide, Mode mode);

}  // namespace text
