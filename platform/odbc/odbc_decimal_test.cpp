#include "odbc_decimal.h"

#include <gtest/gtest.h>

namespace platform::odbc {
namespace {

TEST(OdbcDecimal, ParseDecimalKeepsTheScaleAndPadsToTheColumns) {
  EXPECT_EQ(ParseDecimal("1234.50", 2), (Decimal{123450, 2}));
  EXPECT_EQ(ParseDecimal("-12.5", 3), (Decimal{-12500, 3}));
  EXPECT_EQ(ParseDecimal(".25", 0), (Decimal{25, 2}));
  EXPECT_EQ(ParseDecimal("+7", 0), (Decimal{7, 0}));
  EXPECT_EQ(ParseDecimal("9223372036854775807", 0), (Decimal{9223372036854775807, 0}));
  for (const char* bad : {"", "-", ".", "1.2.3", "1e5", " 1", "9223372036854775808", "12,5"})
    EXPECT_EQ(ParseDecimal(bad, 0), std::nullopt) << bad;
}

}  // namespace
}  // namespace platform::odbc
