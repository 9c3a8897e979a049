// Reading strings as datetime under each DATEFORMAT, and the texts datetimes print as.
#include <gtest/gtest.h>

#include "errors.h"
#include "values.h"

namespace standin {
namespace {

struct DateCase {
  const char* text;
  DateFormat df;
  const char* expected;  // DatetimeText of the result, or "error N"
};

std::string Read(const DateCase& c) {
  try {
    return DatetimeText(ParseDatetime(c.text, c.df));
  } catch (const SqlError& e) {
    return "error " + std::to_string(e.messages.at(0).number);
  }
}

TEST(DateTimeParse, ReadsAsTheServerDoes) {
  const DateCase cases[] = {
      {"", DateFormat::mdy, "1900-01-01 00:00:00.000"},
      {"   ", DateFormat::dmy, "1900-01-01 00:00:00.000"},
      {"1975-03-12", DateFormat::mdy, "1975-03-12 00:00:00.000"},
      {"1975-03-12", DateFormat::ymd, "1975-03-12 00:00:00.000"},
      {"1975-03-12", DateFormat::dmy, "1975-12-03 00:00:00.000"},
      {"1975-03-13", DateFormat::dmy, "error 242"},
      {"19750313", DateFormat::dmy, "1975-03-13 00:00:00.000"},
      {"1975-03-13T10:30:00", DateFormat::dmy, "1975-03-13 10:30:00.000"},
      {"2004-11-30T16:45:00.997", DateFormat::mdy, "2004-11-30 16:45:00.997"},
      {"2004-11-30 16:45:00.002", DateFormat::mdy, "2004-11-30 16:45:00.003"},
      {"03/12/1975", DateFormat::mdy, "1975-03-12 00:00:00.000"},
      {"03/12/1975", DateFormat::dmy, "1975-12-03 00:00:00.000"},
      {"1975-02-29", DateFormat::mdy, "error 242"},
      {"1752-12-31", DateFormat::mdy, "error 242"},
      {"12:30", DateFormat::mdy, "error 241"},
      {"abc", DateFormat::mdy, "error 241"},
      {"1975-03-12 25:00", DateFormat::mdy, "error 242"},
      {"1975-03-12 1:05PM", DateFormat::mdy, "1975-03-12 13:05:00.000"},
  };
  for (const DateCase& c : cases) EXPECT_EQ(Read(c), c.expected) << c.text;
}

TEST(DateTimeText, TicksPrintAsMilliseconds) {
  // 1/300-second ticks show as .000, .003, .007 and round-trip through the ISO form.
  for (uint32_t ticks = 0; ticks < 600; ++ticks) {
    DateTime dt{12345, 300u * 3600u + ticks};
    EXPECT_EQ(ParseDatetime(DatetimeText(dt, 'T'), DateFormat::dmy), dt) << ticks;
  }
  EXPECT_EQ(DatetimeStyle0(DateTime{DaysFromCivil(1975, 3, 3), 300u * (10 * 3600 + 30 * 60)}),
            "Mar  3 1975 10:30AM");
}

}  // namespace
}  // namespace standin
