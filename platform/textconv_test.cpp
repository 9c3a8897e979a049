#include "platform/textconv.h"

#include <gtest/gtest.h>

TEST(Utf8ToGbk, BytesOfCodePage936) {
  EXPECT_EQ(platform::Utf8ToGbk("男"), "\xC4\xD0");
  EXPECT_EQ(platform::Utf8ToGbk("A张三 "), "A\xD5\xC5\xC8\xFD ");
  EXPECT_EQ(platform::Utf8ToGbk(""), "");
  EXPECT_THROW(platform::Utf8ToGbk("\xC4"), platform::ETextConversionError);
  EXPECT_THROW(platform::Utf8ToGbk("\xF0\x9F\x98\x80"), platform::ETextConversionError);
}

TEST(GbkToUtf8, TextOfCodePage936) {
  EXPECT_EQ(platform::GbkToUtf8("A\xD5\xC5\xC8\xFD "), "A张三 ");
  EXPECT_EQ(platform::GbkToUtf8(""), "");
  EXPECT_THROW(platform::GbkToUtf8("\xD5"), platform::ETextConversionError);  // lead byte alone
  EXPECT_THROW(platform::GbkToUtf8("\xFF\xFF"), platform::ETextConversionError);
}
