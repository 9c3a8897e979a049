#include "utf16.h"

#include <cstdint>

namespace standin::tds {
namespace {

void put_utf8(std::string& out, uint32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void put_unit(std::string& out, uint32_t unit) {
  out += static_cast<char>(unit & 0xFF);
  out += static_cast<char>((unit >> 8) & 0xFF);
}

// Decodes one code point at s[i], advancing i; malformed input yields U+FFFD.
uint32_t next_code_point(std::string_view s, std::size_t& i) {
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
  const unsigned char lead = byte(i++);
  if (lead < 0x80) return lead;
  int extra = 0;
  uint32_t cp = 0;
  uint32_t min = 0;
  if ((lead & 0xE0) == 0xC0) {
    extra = 1, cp = lead & 0x1F, min = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    extra = 2, cp = lead & 0x0F, min = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    extra = 3, cp = lead & 0x07, min = 0x10000;
  } else {
    return 0xFFFD;
  }
  for (int k = 0; k < extra; ++k) {
    if (i >= s.size() || (byte(i) & 0xC0) != 0x80) return 0xFFFD;
    cp = (cp << 6) | (byte(i++) & 0x3F);
  }
  if (cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0xFFFD;
  return cp;
}

}  // namespace

std::string utf8_from_utf16le(std::string_view bytes) {
  std::string out;
  out.reserve(bytes.size());
  const std::size_t n = bytes.size() / 2;
  const auto unit = [&](std::size_t k) {
    return static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * k])) |
           (static_cast<uint32_t>(static_cast<unsigned char>(bytes[2 * k + 1])) << 8);
  };
  for (std::size_t k = 0; k < n; ++k) {
    const uint32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < n && unit(k + 1) >= 0xDC00 && unit(k + 1) <= 0xDFFF) {
      put_utf8(out, 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00));
      ++k;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      put_utf8(out, 0xFFFD);
    } else {
      put_utf8(out, u);
    }
  }
  return out;
}

std::string utf16le_from_utf8(std::string_view utf8) {
  std::string out;
  out.reserve(utf8.size() * 2);
  for (std::size_t i = 0; i < utf8.size();) {
    const uint32_t cp = next_code_point(utf8, i);
    if (cp >= 0x10000) {
      put_unit(out, 0xD800 + ((cp - 0x10000) >> 10));
      put_unit(out, 0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      put_unit(out, cp);
    }
  }
  return out;
}

std::size_t utf16_units(std::string_view utf8) { return utf16le_from_utf8(utf8).size() / 2; }

}  // namespace standin::tds
