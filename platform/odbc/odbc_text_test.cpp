#include "odbc_text.h"

#include <gtest/gtest.h>

#include "platform/textconv.h"

namespace platform::odbc {
namespace {

TEST(OdbcText, Utf8ToUtf16CoversEveryLength) {
  EXPECT_EQ(Utf8ToUtf16("a\xC3\xA9\xE8\xB5\x84\xF0\x9F\x98\x80"),
            (std::u16string{u'a', 0x00E9, 0x8D44, 0xD83D, 0xDE00}));
  EXPECT_EQ(Utf8ToUtf16(std::string_view("x\0y", 3)), (std::u16string{u'x', 0, u'y'}));
}

TEST(OdbcText, Utf8ToUtf16RejectsInvalidInputNamingTheByte) {
  for (const char* bad :
       {"ab\xC3", "ab\xC0\xAF", "ab\xED\xA0\x80", "ab\xF4\x90\x80\x80", "ab\x80"}) {
    try {
      Utf8ToUtf16(bad);
      ADD_FAILURE() << "accepted " << bad;
    } catch (const ETextConversionError& e) {
      EXPECT_STREQ(e.what(), "text is not valid UTF-8 at byte 2");
    }
  }
}

TEST(OdbcText, Utf16ToUtf8JoinsPairsAndReplacesLoneSurrogates) {
  EXPECT_EQ(Utf16ToUtf8(std::u16string{u'a', 0x00E9, 0x8D44, 0xD83D, 0xDE00}),
            "a\xC3\xA9\xE8\xB5\x84\xF0\x9F\x98\x80");
  EXPECT_EQ(Utf16ToUtf8(std::u16string{0xDE00, u'a', 0xD83D}),
            "\xEF\xBF\xBD"
            "a\xEF\xBF\xBD");
}

TEST(OdbcText, GbkToUtf16KeepsEveryByteIncludingNul) {
  // "资产" in code page 936, a NUL, the euro sign 0x80, then a lone lead byte and 0xFF.
  EXPECT_EQ(GbkToUtf16(std::string_view("\xD7\xCA\xB2\xFA\0\x80z\x81", 8)),
            (std::u16string{0x8D44, 0x4EA7, 0, 0x20AC, u'z', 0xFFFD}));
  EXPECT_EQ(GbkToUtf16("a\xFF"
                       "b"),
            (std::u16string{u'a', 0xFFFD, u'b'}));
  EXPECT_EQ(GbkToUtf16(""), u"");
}

TEST(OdbcText, ParseDecimalKeepsTheScaleAndPadsToTheColumns) {
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
