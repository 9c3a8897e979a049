#include "odbc_decimal.h"

#include <charconv>
#include <cstdint>
#include <limits>
#include <string>

namespace platform::odbc {

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
