// Code page 936 to UTF-16 through the system's table, one character at a time, so that a byte
// that starts no valid character becomes U+FFFD and the following byte is read afresh, as the
// contract in odbc_text.h asks.
#include <windows.h>

#include "odbc_text.h"

namespace platform::odbc {

namespace {

// The character of the first `length` bytes, or 0 when they are not one valid character.
wchar_t One(const char* bytes, int length) {
  wchar_t out[2] = {};
  const int n = MultiByteToWideChar(936, MB_ERR_INVALID_CHARS, bytes, length, out, 2);
  return n == 1 ? out[0] : 0;
}

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
  std::u16string out;
  out.reserve(gbk.size());
  for (std::size_t i = 0; i < gbk.size();) {
    const auto byte = static_cast<unsigned char>(gbk[i]);
    if (byte < 0x80) {
      out += static_cast<char16_t>(byte);
      ++i;
      continue;
    }
    if (i + 1 < gbk.size()) {
      if (wchar_t c = One(gbk.data() + i, 2)) {
        out += static_cast<char16_t>(c);
        i += 2;
        continue;
      }
    }
    const wchar_t single = One(gbk.data() + i, 1);  // 0x80, the euro sign
    out += single ? static_cast<char16_t>(single) : u'\uFFFD';
    ++i;
  }
  return out;
}

}  // namespace platform::odbc
