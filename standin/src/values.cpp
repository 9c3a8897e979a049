#include "values.h"

#include <cstdio>

#include "text.h"
#include "text/text.h"

namespace standin {

std::string TypeSpec::Sql() const {
  switch (type) {
    case Type::Char:
      return "char(" + std::to_string(length) + ")";
    case Type::VarChar:
      return "varchar(" + std::to_string(length) + ")";
    case Type::Int:
      return "int";
    case Type::SmallInt:
      return "smallint";
    case Type::Numeric:
      return "numeric(" + std::to_string(precision) + "," + std::to_string(scale) + ")";
    case Type::DateTime:
      return "datetime";
  }
  return "int";
}

std::string Value::Text() const {
  switch (kind) {
    case Kind::Null:
      return "NULL";
    case Kind::Int:
      return std::to_string(i);
    case Kind::Numeric:
      return NumericText(i, scale);
    case Kind::String:
      return text::GbkToUtf8(s, text::Mode::kStrict);
    case Kind::DateTime:
      return DatetimeText(dt);
  }
  return "NULL";
}

std::optional<DateFormat> ParseDateformat(std::string_view text) {
  std::string t = FoldName(text);
  if (t == "mdy") return DateFormat::mdy;
  if (t == "dmy") return DateFormat::dmy;
  if (t == "ymd") return DateFormat::ymd;
  if (t == "ydm") return DateFormat::ydm;
  if (t == "myd") return DateFormat::myd;
  if (t == "dym") return DateFormat::dym;
  return std::nullopt;
}

bool IsStringType(Type t) { return t == Type::Char || t == Type::VarChar; }
bool IsIntegerType(Type t) { return t == Type::Int || t == Type::SmallInt; }

std::string TypeName(Type t) {
  switch (t) {
    case Type::Char:
      return "char";
    case Type::VarChar:
      return "varchar";
    case Type::Int:
      return "int";
    case Type::SmallInt:
      return "smallint";
    case Type::Numeric:
      return "numeric";
    case Type::DateTime:
      return "datetime";
  }
  return "int";
}

int TypeRank(Type t) {
  switch (t) {
    case Type::Char:
      return 0;
    case Type::VarChar:
      return 1;
    case Type::SmallInt:
      return 2;
    case Type::Int:
      return 3;
    case Type::Numeric:
      return 4;
    case Type::DateTime:
      return 5;
  }
  return 0;
}

int32_t DaysFromCivil(int y, int m, int d) {
  y -= m <= 2;
  const int era = (y >= 0 ? y : y - 399) / 400;
  const int yoe = y - era * 400;
  const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int32_t from_epoch = era * 146097 + doe - 719468;  // days since 1970-01-01
  return from_epoch + 25567;                               // 1900-01-01 is 25567 days earlier
}

void CivilFromDays(int32_t days, int& y, int& m, int& d) {
  int32_t z = days - 25567 + 719468;
  const int era = (z >= 0 ? z : z - 146096) / 146097;
  const int doe = z - era * 146097;
  const int yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp + (mp < 10 ? 3 : -9);
  y = yoe + era * 400 + (m <= 2);
}

bool ValidDate(int y, int m, int d) {
  static const int month_days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 1753 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  int limit = month_days[m - 1] + (m == 2 && leap ? 1 : 0);
  return d <= limit;
}

namespace {

void SplitTicks(uint32_t ticks, int& h, int& mi, int& s, int& ms) {
  // 300 ticks a second; milliseconds shown rounded as the server does (.000, .003, .007).
  uint32_t secs = ticks / 300;
  uint32_t rest = ticks % 300;
  h = static_cast<int>(secs / 3600);
  mi = static_cast<int>(secs / 60 % 60);
  s = static_cast<int>(secs % 60);
  ms = static_cast<int>((rest * 10 + 1) / 3);
}

}  // namespace

std::string DatetimeText(const DateTime& dt, char separator) {
  int y, m, d, h, mi, s, ms;
  CivilFromDays(dt.days, y, m, d);
  SplitTicks(dt.ticks, h, mi, s, ms);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d%c%02d:%02d:%02d.%03d", y, m, d, separator, h, mi,
                s, ms);
  return buf;
}

std::string DatetimeStyle0(const DateTime& dt) {
  static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                       "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  int y, m, d, h, mi, s, ms;
  CivilFromDays(dt.days, y, m, d);
  SplitTicks(dt.ticks, h, mi, s, ms);
  int h12 = h % 12 == 0 ? 12 : h % 12;
  char buf[40];
  std::snprintf(buf, sizeof buf, "%s %2d %04d %2d:%02d%s", months[m - 1], d, y, h12, mi,
                h < 12 ? "AM" : "PM");
  return buf;
}

std::string NumericText(int64_t mantissa, int scale) {
  bool negative = mantissa < 0;
  uint64_t mag = negative ? 0 - static_cast<uint64_t>(mantissa) : static_cast<uint64_t>(mantissa);
  std::string digits = std::to_string(mag);
  if (scale > 0) {
    if (digits.size() <= static_cast<std::size_t>(scale))
      digits.insert(0, static_cast<std::size_t>(scale) + 1 - digits.size(), '0');
    digits.insert(digits.size() - static_cast<std::size_t>(scale), ".");
  }
  return negative ? "-" + digits : digits;
}

Value MakeInt(int64_t v) {
  Value r;
  r.kind = Value::Kind::Int;
  r.i = v;
  return r;
}
Value MakeNumeric(int64_t mantissa, int scale) {
  Value r;
  r.kind = Value::Kind::Numeric;
  r.i = mantissa;
  r.scale = scale;
  return r;
}
Value MakeString(std::string gbk) {
  Value r;
  r.kind = Value::Kind::String;
  r.s = std::move(gbk);
  return r;
}
Value MakeDatetime(DateTime dt) {
  Value r;
  r.kind = Value::Kind::DateTime;
  r.dt = dt;
  return r;
}

}  // namespace standin
