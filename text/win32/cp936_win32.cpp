// Code page 936 through the system's own table (MultiByteToWideChar and WideCharToMultiByte), so
// that the result is the same whatever the machine's ANSI code page is.
#include <windows.h>

#include "cp936.h"

namespace text::cp936 {

namespace {

constexpr UINT kCodePage = 936;

static_assert(sizeof(wchar_t) == sizeof(char16_t), "wchar_t is a UTF-16 unit on Windows");

// The one character of the `length` bytes at `bytes`, or 0 when they are not exactly one valid
// character.
wchar_t One(const char* bytes, int length) {
  wchar_t out[2] = {};
  const int n = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes, length, out, 2);
  return n == 1 ? out[0] : 0;
}

// Appends all of utf16's bytes to out when the code page holds every character of it.
bool EncodeAll(std::u16string_view utf16, std::string& out) {
  if (utf16.empty()) return true;
  const auto* wide = reinterpret_cast<const wchar_t*>(utf16.data());
  const int units = static_cast<int>(utf16.size());
  BOOL lacking = FALSE;
  const int n = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, units, nullptr, 0,
                                    nullptr, &lacking);
  if (n <= 0 || lacking) return false;
  const std::size_t old_size = out.size();
  out.resize(old_size + static_cast<std::size_t>(n));
  WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide, units, out.data() + old_size, n,
                      nullptr, &lacking);
  return true;
}

}  // namespace

std::size_t Decode(std::string_view gbk, std::u16string& out) {
  // All at once when all of it is valid; otherwise a character at a time, so that the prefix
  // ends exactly at the first byte that begins no character.
  if (!gbk.empty()) {
    const int bytes = static_cast<int>(gbk.size());
    const int n =
        MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, gbk.data(), bytes, nullptr, 0);
    if (n > 0) {
      const std::size_t old_size = out.size();
      out.resize(old_size + static_cast<std::size_t>(n));
      MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, gbk.data(), bytes,
                          reinterpret_cast<wchar_t*>(out.data() + old_size), n);
      return gbk.size();
    }
  }
  std::size_t i = 0;
  while (i < gbk.size()) {
    const auto byte = static_cast<unsigned char>(gbk[i]);
    if (byte < 0x80) {
      out += static_cast<char16_t>(byte);
      ++i;
    } else if (wchar_t pair = i + 1 < gbk.size() ? One(gbk.data() + i, 2) : 0) {
      out += static_cast<char16_t>(pair);
      i += 2;
    } else if (wchar_t single = One(gbk.data() + i, 1)) {  // 0x80, the euro sign
      out += static_cast<char16_t>(single);
      ++i;
    } else {
      break;
    }
  }
  return i;
}

std::size_t Encode(std::u16string_view utf16, std::string& out) {
  if (EncodeAll(utf16, out)) return utf16.size();
  std::size_t i = 0;
  while (i < utf16.size()) {
    const bool pair = utf16[i] >= 0xD800 && utf16[i] <= 0xDBFF && i + 1 < utf16.size();
    const std::size_t units = pair ? 2 : 1;
    if (!EncodeAll(utf16.substr(i, units), out)) break;
    i += units;
  }
  return i;
}

}  // namespace text::cp936
