// Program text and code page 936 through the system's own tables, so that the result is the same
// whatever the machine's ANSI code page is.
#include <windows.h>

#include "platform/textconv.h"
#include "wide.h"

namespace platform {

namespace {

constexpr UINT kGbk = 936;

std::wstring ToUtf16(UINT code_page, std::string_view text, const char* what) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(),
                                    static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) throw ETextConversionError(std::string("text is not valid ") + what);
  std::wstring out(static_cast<std::size_t>(n), L'\0');
  MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                      out.data(), n);
  return out;
}

}  // namespace

namespace win32 {

std::wstring Wide(std::string_view utf8) { return ToUtf16(CP_UTF8, utf8, "UTF-8"); }

std::string Utf8(std::wstring_view utf16) {
  if (utf16.empty()) return {};
  // Without WC_ERR_INVALID_CHARS an unpaired surrogate becomes U+FFFD.
  const int n = WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()),
                                    nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(CP_UTF8, 0, utf16.data(), static_cast<int>(utf16.size()), out.data(), n,
                        nullptr, nullptr);
  return out;
}

}  // namespace win32

std::string Utf8ToGbk(std::string_view utf8) {
  const std::wstring wide = ToUtf16(CP_UTF8, utf8, "UTF-8");
  if (wide.empty()) return {};
  BOOL lossy = FALSE;
  const int n = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(),
                                    static_cast<int>(wide.size()), nullptr, 0, nullptr, &lossy);
  if (n <= 0 || lossy) throw ETextConversionError("text cannot be converted to GBK");
  std::string out(static_cast<std::size_t>(n), '\0');
  WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                      out.data(), n, nullptr, &lossy);
  return out;
}

std::string GbkToUtf8(std::string_view gbk) {
  return win32::Utf8(ToUtf16(kGbk, gbk, "code page 936"));
}

}  // namespace platform
