// Values, types and the server's conversions between them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "standin/engine.h"

namespace standin {

enum class DateFormat { mdy, dmy, ymd, ydm, myd, dym };
std::optional<DateFormat> ParseDateformat(std::string_view text);

bool IsStringType(Type t);
bool IsIntegerType(Type t);
// The type's name as conversion messages spell it: "int", "varchar", "numeric".
std::string TypeName(Type t);
// Precedence of the server's implicit conversions: the operand of lower rank is converted.
int TypeRank(Type t);

// Calendar: days since 1900-01-01 for a proleptic Gregorian date, and back.
int32_t DaysFromCivil(int y, int m, int d);
void CivilFromDays(int32_t days, int& y, int& m, int& d);
bool ValidDate(int y, int m, int d);

// "yyyy-mm-dd hh:mm:ss.mmm" (the client tools' form) and "yyyy-mm-ddThh:mm:ss.mmm" (ISO 8601,
// read alike under every DATEFORMAT).
std::string DatetimeText(const DateTime& dt, char separator = ' ');
// Style 0 of CONVERT: "Mar  3 1975 10:30AM".
std::string DatetimeStyle0(const DateTime& dt);
std::string NumericText(int64_t mantissa, int scale);

Value MakeInt(int64_t v);
Value MakeNumeric(int64_t mantissa, int scale);
Value MakeString(std::string gbk);
Value MakeDatetime(DateTime dt);

// Parses a character string as datetime under the session's DATEFORMAT; throws SqlError
// 241 (unreadable) or 242 (out of range).
DateTime ParseDatetime(std::string_view gbk, DateFormat df);

// Converts `v`, of static type `from`, to `to`. `explicit_conversion` is CONVERT/CAST, which
// truncates strings silently; otherwise the conversion is an assignment into a column, which
// raises 8152 when non-blank characters would be lost. Throws SqlError.
Value ConvertValue(const Value& v, const TypeSpec& from, const TypeSpec& to,
                   bool explicit_conversion, DateFormat df);

// Compares two non-NULL values of possibly different types, converting the operand of lower
// precedence first (strings by the collation). `a_type`/`b_type` name the operands' types for
// conversion errors. Returns <0, 0, >0.
int CompareValues(const Value& a, Type a_type, const Value& b, Type b_type, DateFormat df);

// A byte string that is equal for values the collation counts as equal; used for keys and groups.
std::string ValueKey(const Value& v);
// Strict weak order used by ORDER BY on values of one column: NULL first.
int OrderValues(const Value& a, const Value& b);
// A key value as duplicate-key messages print it.
std::string KeyText(const Value& v);

}  // namespace standin
