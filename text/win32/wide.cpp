#include "text/wide.h"

namespace text {

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is a UTF-16 unit on Windows");

std::wstring Utf8ToWide(std::string_view utf8, Mode mode) {
  const std::u16string utf16 = Utf8ToUtf16(utf8, mode);
  return std::wstring(utf16.begin(), utf16.end());
}

std::string WideToUtf8(std::wstring_view wide, Mode mode) {
  return Utf16ToUtf8(std::u16string(wide.begin(), wide.end()), mode);
}

}  // namespace text
