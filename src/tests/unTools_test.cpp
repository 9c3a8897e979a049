#include "unTools.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "settings.h"

namespace {

struct Case {
  const char* name;
  std::string coded;
  std::optional<std::string> clear;  // nullopt: the conversion raises
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class DecodeDigitTextCases : public testing::TestWithParam<Case> {};

TEST_P(DecodeDigitTextCases, DecodesGroupsOfFour) {
  const Case& c = GetParam();
  if (c.clear) {
    EXPECT_EQ(DecodeDigitText(c.coded), *c.clear) << c.coded;
  } else {
    EXPECT_THROW(DecodeDigitText(c.coded), EConvertError) << c.coded;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, DecodeDigitTextCases,
    testing::Values(Case{"even_digits", "240224042406", "abc"},
                    Case{"odd_digits_weigh_as_the_even_one_below", "350335053507", "abc"},
                    Case{"sum_taken_modulo_256", "9999", "T"},  // 340 mod 256
                    Case{"byte_zero_kept", "0000", std::string(1, '\0')},
                    Case{"byte_zero_then_a_letter", "11112402", std::string("\0a", 2)},
                    Case{"eight_and_nine_both_give_four", "8888",
                         "T"},  // overlapping the next weight
                    Case{"first_digit_weighs_64", "3000", "@"}, Case{"empty", "", ""},
                    Case{"five_digits_not_a_multiple_of_four", "24022", ""},
                    Case{"three_digits", "240", ""},
                    Case{"seven_characters_none_examined", "2402a40", ""},
                    Case{"eight_with_a_letter", "2402a406", std::nullopt},
                    Case{"eight_with_a_blank", "2402 406", std::nullopt},
                    Case{"minus_sign", "-402", std::nullopt},
                    Case{"two_gbk_characters_four_bytes", "\xD5\xC5\xC8\xFD", std::nullopt}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

TEST(DecodeDigitText, ErrorNamesTheCharacter) {
  try {
    DecodeDigitText("2402x406");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
  }
}

// The tests write credentials with the test-support coder; it must be what the program reads.
TEST(DecodeDigitText, ReadsWhatTheTestsWrite) {
  std::string every_byte;
  for (int b = 0; b < 256; ++b) every_byte.push_back(static_cast<char>(b));
  for (const int odd : {0, 1}) {
    const std::string coded = vrektest::DigitCoded(every_byte, odd);
    ASSERT_EQ(coded.size(), 4 * every_byte.size());
    EXPECT_EQ(DecodeDigitText(coded), every_byte) << "odd " << odd;
  }
  EXPECT_EQ(vrektest::DigitCoded("abc"), "240224042406");
  EXPECT_EQ(vrektest::DigitCoded("abc", 1), "351335153517");
}

}  // namespace
