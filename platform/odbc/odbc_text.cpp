#include "odbc_text.h"

#include <charconv>
#include <cstdint>
#include <limits>

#include "platform/textconv.h"

namespace platform::odbc {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

[[noreturn]] void Invalid(size_t offset) {
  throw ETextConversionError("text is not valid UTF-8 at byte " + std::to_string(offset));
}

void AppendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

}  // namespace

std::u16string Utf8ToUtf16(std::string_view utf8) {
  std::u16string out;
  out.reserve(utf8.size());
  size_t i = 0;
  while (i < utf8.size()) {
    const size_t start = i;
    const auto lead = static_cast<unsigned char>(utf8[i++]);
    char32_t c;
    int trail;
    char32_t min;
    if (lead < 0x80) {
      out += static_cast<char16_t>(lead);
      continue;
    } else if ((lead & 0xE0) == 0xC0) {
      c = lead & 0x1F, trail = 1, min = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      c = lead & 0x0F, trail = 2, min = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      c = lead & 0x07, trail = 3, min = 0x10000;
    } else {
      Invalid(start);
    }
    for (int k = 0; k < trail; ++k) {
      if (i >= utf8.size()) Invalid(start);
      const auto b = static_cast<unsigned char>(utf8[i++]);
      if ((b & 0xC0) != 0x80) Invalid(start);
      c = (c << 6) | (b & 0x3F);
    }
    if (c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) Invalid(start);
    if (c < 0x10000) {
      out += static_cast<char16_t>(c);
    } else {
      c -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (c >> 10));
      out += static_cast<char16_t>(0xDC00 + (c & 0x3FF));
    }
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view utf16) {
  std::string out;
  out.reserve(utf16.size() * 3);
  for (size_t i = 0; i < utf16.size(); ++i) {
    const char32_t u = utf16[i];
    if (u >= 0xD800 && u <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 &&
        utf16[i + 1] <= 0xDFFF) {
      AppendUtf8(out, 0x10000 + ((u - 0xD800) << 10) + (utf16[++i] - 0xDC00));
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      AppendUtf8(out, kReplacement);
    } else {
      AppendUtf8(out, u);
    }
  }
  return out;
}

std::optional<Decimal> ParseDecimal(std::string_view text, int min_scale) {
  bool negative = false;
  if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
    negative = text.front() == '-';
    text.remove_prefix(1);
  }
  std::string digits;
  int scale = 0;
  bool point = false;
  for (char c : text) {
    if (c == '.' && !point) {
      point = true;
    } else if (c >= '0' && c <= '9') {
      digits += c;
      if (point) ++scale;
    } else {
      return std::nullopt;
    }
  }
  if (digits.empty()) return std::nullopt;
  for (; scale < min_scale; ++scale) digits += '0';
  uint64_t magnitude = 0;
  const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
  if (ec != std::errc() || end != digits.data() + digits.size() ||
      magnitude > static_cast<uint64_t>(std::numeric_limits<int64_t>::max()))
    return std::nullopt;
  const auto value = static_cast<int64_t>(magnitude);
  return Decimal{negative ? -value : value, scale};
}

}  // namespace platform::odbc
