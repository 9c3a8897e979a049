// Field conversions and statement text of the database components.
#include "platform/database.h"

#include <gtest/gtest.h>

using platform::EVariantError;
using platform::Variant;

namespace {

TEST(Variant, Conversions) {
  struct Case {
    Variant v;
    std::string text;
    bool has_int;
    int32_t i;
  };
  const Case cases[] = {
      {Variant(), "", false, 0},
      {Variant::Integer(-7), "-7", true, -7},
      {Variant::Numeric(685000, 2), "6850.00", true, 6850},
      {Variant::Numeric(-5, 2), "-0.05", true, 0},
      {Variant::Numeric(25, 1), "2.5", true, 2},
      {Variant::Numeric(35, 1), "3.5", true, 4},
      {Variant::Text(" 12 "), " 12 ", true, 12},
      {Variant::Text("12a"), "12a", false, 0},
      {Variant::Integer(int64_t{3000000000}), "3000000000", false, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(c.v.AsString(), c.text);
    if (c.has_int)
      EXPECT_EQ(c.v.AsInteger(), c.i);
    else
      EXPECT_THROW(c.v.AsInteger(), EVariantError);
  }
  EXPECT_THROW(Variant().AsDateTime(), EVariantError);
  EXPECT_EQ(Variant::DateTime({1975, 3, 3, 10, 30, 0, 0}).AsString(), "1975-03-03 10:30:00");
}

TEST(TStrings, TextAndValues) {
  platform::TStrings s;
  s.Add("USER NAME=sa");
  s.Add("PASSWORD=a=b");
  EXPECT_EQ(s.Text(), "USER NAME=sa\nPASSWORD=a=b");
  EXPECT_EQ(s.Value("user name"), "sa");
  EXPECT_EQ(s.Value("PASSWORD"), "a=b");
  EXPECT_EQ(s.Value("ALIAS"), "");
}

}  // namespace
