#include "unTools.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct Case {
  const char* coded;
  std::optional<std::string> clear;  // nullopt: the conversion raises
};

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
    testing::Values(Case{"240224042406", "abc"},
                    Case{"350335053507", "abc"},         // odd digits weigh as the even one below
                    Case{"9999", "T"},                   // 340 mod 256
                    Case{"0000", std::string(1, '\0')},  // byte 0 is kept
                    Case{"1111"
                         "2402",
                         std::string("\0a", 2)},
                    Case{"8888", "T"},  // 8 and 9 both give 4, overlapping the next weight
                    Case{"3000", "@"}, Case{"", ""},
                    Case{"24022", ""},  // five digits: not a multiple of four
                    Case{"240", ""},
                    Case{"2402a40", ""},             // seven characters: no character is examined
                    Case{"2402a406", std::nullopt},  // eight with a letter
                    Case{"2402 406", std::nullopt}, Case{"-402", std::nullopt},
                    Case{"\xD5\xC5\xC8\xFD", std::nullopt}));  // two GBK characters, four bytes

TEST(DecodeDigitText, ErrorNamesTheCharacter) {
  try {
    DecodeDigitText("2402x406");
    FAIL() << "no error";
  } catch (const EConvertError& e) {
    EXPECT_STREQ(e.what(), "'x' is not a valid integer value");
  }
}

}  // namespace
