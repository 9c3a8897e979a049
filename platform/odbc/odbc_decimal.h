// Decimal text as drivers render numeric columns, parsed exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace platform::odbc {

// A decimal value as mantissa / 10^scale.
struct Decimal {
  int64_t mantissa = 0;
  int scale = 0;
  bool operator==(const Decimal&) const = default;
};

// Decimal text as drivers render numeric columns ("-12.5", ".25", "7"), with at least
// min_scale digits of scale (so "-12.5" with 3 gives -12500 / 10^3). Empty for any other text
// and for values whose mantissa does not fit 64 bits.
std::optional<Decimal> ParseDecimal(std::string_view text, int min_scale);

}  // namespace platform::odbc
