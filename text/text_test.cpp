// One table for every direction of the text module: valid text, each kind of invalid input, and
// characters that code page 936 lacks. Each case gives what the lossy mode returns and what the
// strict mode throws (valid input: the strict mode returns the same as the lossy one).
#include "text/text.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>

namespace text {
namespace {

enum class Form { kUtf8, kUtf16, kUtf16Le, kGbk };

// Text in one form: bytes for UTF-8, UTF-16LE and code page 936; units for UTF-16.
struct Text {
  Form form;
  std::string bytes;
  std::u16string units;
  bool operator==(const Text&) const = default;
};

Text U8(std::string_view s) { return {Form::kUtf8, std::string(s), {}}; }
Text U16(std::u16string s) { return {Form::kUtf16, {}, std::move(s)}; }
Text Le(std::string_view s) { return {Form::kUtf16Le, std::string(s), {}}; }
Text Gbk(std::string_view s) { return {Form::kGbk, std::string(s), {}}; }

void PrintTo(const Text& t, std::ostream* os) {
  static const char* const kForms[] = {"UTF-8", "UTF-16", "UTF-16LE", "GBK"};
  *os << kForms[static_cast<int>(t.form)];
  char hex[8];
  for (unsigned char c : t.bytes) std::snprintf(hex, sizeof hex, " %02X", c), *os << hex;
  for (char16_t u : t.units) std::snprintf(hex, sizeof hex, " %04X", unsigned{u}), *os << hex;
}

Text Convert(const Text& in, Form to, Mode mode) {
  switch (in.form) {
    case Form::kUtf8:
      if (to == Form::kUtf16) return U16(Utf8ToUtf16(in.bytes, mode));
      if (to == Form::kUtf16Le) return Le(Utf8ToUtf16Le(in.bytes, mode));
      if (to == Form::kGbk) return Gbk(Utf8ToGbk(in.bytes, mode));
      break;
    case Form::kUtf16:
      if (to == Form::kUtf8) return U8(Utf16ToUtf8(in.units, mode));
      if (to == Form::kGbk) return Gbk(Utf16ToGbk(in.units, mode));
      break;
    case Form::kUtf16Le:
      if (to == Form::kUtf8) return U8(Utf16LeToUtf8(in.bytes, mode));
      break;
    case Form::kGbk:
      if (to == Form::kUtf8) return U8(GbkToUtf8(in.bytes, mode));
      if (to == Form::kUtf16) return U16(GbkToUtf16(in.bytes, mode));
      break;
  }
  throw std::logic_error("no such direction");
}

struct Case {
  const char* name;
  Text in;
  Text lossy;              // what the lossy mode returns
  std::string error = {};  // what the strict mode throws; empty: it returns lossy too
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class TextCases : public testing::TestWithParam<Case> {};

TEST_P(TextCases, LossyReplacesStrictThrows) {
  const Case& c = GetParam();
  EXPECT_EQ(Convert(c.in, c.lossy.form, Mode::kLossy), c.lossy);
  if (c.error.empty()) {
    EXPECT_EQ(Convert(c.in, c.lossy.form, Mode::kStrict), c.lossy);
  } else {
    try {
      const Text out = Convert(c.in, c.lossy.form, Mode::kStrict);
      ADD_FAILURE() << "strict mode returned " << testing::PrintToString(out);
    } catch (const ETextConversionError& e) {
      EXPECT_EQ(std::string(e.what()), c.error);
      EXPECT_EQ(c.error.substr(c.error.rfind(' ') + 1), std::to_string(e.Offset()));
    }
  }
  if (c.in.form == Form::kUtf8 && c.lossy.form == Form::kUtf16) {
    EXPECT_EQ(IsValidUtf8(c.in.bytes), c.error.empty());
  }
}

constexpr char16_t kFffd = 0xFFFD;
const std::string kNotUtf8 = "text is not valid UTF-8 at byte ";
const std::string kNotUtf16 = "text is not valid UTF-16 at byte ";
const std::string kNotGbk = "text is not valid code page 936 at byte ";

INSTANTIATE_TEST_SUITE_P(
    Table, TextCases,
    testing::Values(
        // Valid text.
        Case{"utf8_to_utf16_every_length", U8("a\xC3\xA9\xE8\xB5\x84\xF0\x9F\x98\x80"),
             U16({u'a', 0x00E9, 0x8D44, 0xD83D, 0xDE00})},
        Case{"utf8_to_utf16_nul", U8(std::string_view("x\0y", 3)), U16({u'x', 0, u'y'})},
        Case{"utf8_to_utf16_empty", U8(""), U16(u"")},
        Case{"utf16_to_utf8_every_length", U16({u'a', 0x00E9, 0x8D44, 0xD83D, 0xDE00}),
             U8("a\xC3\xA9\xE8\xB5\x84\xF0\x9F\x98\x80")},
        Case{"utf16le_to_utf8", Le(std::string("a\0\x2D\x4E\x3D\xD8\x00\xDE", 8)),
             U8("a中\xF0\x9F\x98\x80")},
        Case{"utf8_to_utf16le", U8("a中\xF0\x9F\x98\x80"),
             Le(std::string("a\0\x2D\x4E\x3D\xD8\x00\xDE", 8))},
        Case{"utf8_to_gbk", U8("男"), Gbk("\xC4\xD0")},
        Case{"utf8_to_gbk_with_blanks", U8("A张三 "), Gbk("A\xD5\xC5\xC8\xFD ")},
        Case{"utf8_to_gbk_mixed", U8("张三男 A1"), Gbk("\xD5\xC5\xC8\xFD\xC4\xD0 A1")},
        Case{"utf8_to_gbk_euro", U8("\xE2\x82\xAC"), Gbk("\x80")},
        Case{"utf8_to_gbk_nul", U8(std::string_view("a\0b", 3)), Gbk(std::string_view("a\0b", 3))},
        Case{"utf8_to_gbk_empty", U8(""), Gbk("")},
        Case{"gbk_to_utf8", Gbk("A\xD5\xC5\xC8\xFD "), U8("A张三 ")},
        Case{"gbk_to_utf8_mixed", Gbk("\xD5\xC5\xC8\xFD\xC4\xD0 A1"), U8("张三男 A1")},
        Case{"gbk_to_utf8_c0_80_is_a_character", Gbk("\xC0\x80"), U8("纮")},
        Case{"gbk_to_utf8_empty", Gbk(""), U8("")},
        Case{"gbk_to_utf16_nul_and_euro", Gbk(std::string_view("\xD7\xCA\xB2\xFA\0\x80z", 7)),
             U16({0x8D44, 0x4EA7, 0, 0x20AC, u'z'})},
        Case{"gbk_to_utf16_empty", Gbk(""), U16(u"")},
        Case{"utf16_to_gbk", U16(u"资产€"), Gbk("\xD7\xCA\xB2\xFA\x80")},

        // Invalid UTF-8: each maximal invalid subpart is one replacement.
        Case{"utf8_truncated_at_end", U8("ab\xC3"), U16({u'a', u'b', kFffd}), kNotUtf8 + "2"},
        Case{"utf8_truncated_four_bytes", U8("ab\xF0\x9F\x98"), U16({u'a', u'b', kFffd}),
             kNotUtf8 + "2"},
        Case{"utf8_truncated_before_ascii", U8("\xE8\xB5z"), U16({kFffd, u'z'}), kNotUtf8 + "0"},
        Case{"utf8_overlong_c0_80_is_not_nul",
             U8("a\xC0\x80"
                "b"),
             U16({u'a', kFffd, kFffd, u'b'}), kNotUtf8 + "1"},
        Case{"utf8_overlong_two_bytes", U8("ab\xC0\xAF"), U16({u'a', u'b', kFffd, kFffd}),
             kNotUtf8 + "2"},
        Case{"utf8_overlong_three_bytes", U8("ab\xE0\x80\x80"),
             U16({u'a', u'b', kFffd, kFffd, kFffd}), kNotUtf8 + "2"},
        Case{"utf8_overlong_four_bytes", U8("\xF0\x80\x80\x80"), U16({kFffd, kFffd, kFffd, kFffd}),
             kNotUtf8 + "0"},
        Case{"utf8_encoded_surrogate", U8("ab\xED\xA0\x80"), U16({u'a', u'b', kFffd, kFffd, kFffd}),
             kNotUtf8 + "2"},
        Case{"utf8_above_10ffff", U8("ab\xF4\x90\x80\x80"),
             U16({u'a', u'b', kFffd, kFffd, kFffd, kFffd}), kNotUtf8 + "2"},
        Case{"utf8_lone_continuation", U8("ab\x80"), U16({u'a', u'b', kFffd}), kNotUtf8 + "2"},
        Case{"utf8_bytes_never_used",
             U8("a\xFF\xF5"
                "b"),
             U16({u'a', kFffd, kFffd, u'b'}), kNotUtf8 + "1"},
        Case{"utf8_to_utf16le_c0_80", U8("\xC0\x80"), Le("\xFD\xFF\xFD\xFF"), kNotUtf8 + "0"},

        // Invalid UTF-16: an unpaired surrogate, or half a unit.
        Case{"utf16_lone_surrogates", U16({0xDE00, u'a', 0xD83D}),
             U8("\xEF\xBF\xBD"
                "a\xEF\xBF\xBD"),
             kNotUtf16 + "0"},
        Case{"utf16le_high_surrogate_alone",
             Le(std::string("a\0\x3D\xD8"
                            "b\0",
                            6)),
             U8("a\xEF\xBF\xBD"
                "b"),
             kNotUtf16 + "2"},
        Case{"utf16le_low_surrogate_alone", Le(std::string("\x00\xDE", 2)), U8("\xEF\xBF\xBD"),
             kNotUtf16 + "0"},
        Case{"utf16le_odd_trailing_byte", Le(std::string("a\0b", 3)), U8("a\xEF\xBF\xBD"),
             kNotUtf16 + "2"},

        // Invalid code page 936: one byte at a time, the next byte read afresh.
        Case{"gbk_lead_byte_at_end", Gbk(std::string_view("\xD7\xCA\xB2\xFA\0\x80z\x81", 8)),
             U16({0x8D44, 0x4EA7, 0, 0x20AC, u'z', kFffd}), kNotGbk + "7"},
        Case{"gbk_ff",
             Gbk("a\xFF"
                 "b"),
             U16({u'a', kFffd, u'b'}), kNotGbk + "1"},
        Case{"gbk_lead_byte_without_its_trail", Gbk("\x81\x7F"), U16({kFffd, 0x7F}), kNotGbk + "0"},
        Case{"gbk_invalid_before_a_pair", Gbk("\xFF\x81\x40"), U16({kFffd, 0x4E02}), kNotGbk + "0"},
        Case{"gbk_credentials", Gbk(std::string_view("ab\0\x80\xD7\xCA\xFF\x81\x30", 9)),
             U16({u'a', u'b', 0, 0x20AC, 0x8D44, kFffd, kFffd, u'0'}), kNotGbk + "6"},
        Case{"gbk_to_utf8_lead_byte_alone", Gbk("\xD5"), U8("\xEF\xBF\xBD"), kNotGbk + "0"},
        Case{"gbk_to_utf8_ff_ff", Gbk("\xFF\xFF"), U8("\xEF\xBF\xBD\xEF\xBF\xBD"), kNotGbk + "0"},

        // To code page 936: invalid input and characters it lacks both become '?'.
        Case{"utf8_to_gbk_lacking_a_pair",
             U8("a\xF0\x9F\x98\x80"
                "b"),
             Gbk("a?b"), "text has no code page 936 form for U+1F600 at byte 1"},
        Case{"utf8_to_gbk_lacking_thai", U8("aก张"), Gbk("a?\xD5\xC5"),
             "text has no code page 936 form for U+0E01 at byte 1"},
        Case{"utf8_to_gbk_c0_80", U8("a\xC0\x80"), Gbk("a??"), kNotUtf8 + "1"},
        Case{"utf8_to_gbk_truncated", U8("\xC4"), Gbk("?"), kNotUtf8 + "0"},
        Case{"utf8_to_gbk_ff", U8("\xFF"), Gbk("?"), kNotUtf8 + "0"},
        Case{"utf8_to_gbk_first_failure_counts", U8("\xF0\x9F\x98\x80\xFF"), Gbk("??"),
             "text has no code page 936 form for U+1F600 at byte 0"},
        Case{"utf16_to_gbk_lone_surrogate", U16({u'a', 0xDC00, u'b'}), Gbk("a?b"), kNotUtf16 + "2"},
        Case{"utf16_to_gbk_lacking_a_pair", U16({u'x', 0xD83D, 0xDE00}), Gbk("x?"),
             "text has no code page 936 form for U+1F600 at byte 2"}),
    [](const testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace text
