// The server's conversions between types, and comparison of values of mixed types.
#include <cctype>
#include <limits>

#include "errors.h"
#include "text.h"
#include "text/text.h"
#include "values.h"

namespace standin {
namespace {

constexpr int kMaxDigits = 18;  // numeric mantissas are kept in 64 bits

int64_t Pow10(int n) {
  int64_t r = 1;
  while (n-- > 0) r *= 10;
  return r;
}

int DigitCount(int64_t v) {
  uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  int n = 0;
  while (mag > 0) {
    mag /= 10;
    ++n;
  }
  return n;
}

// Rescales a mantissa, rounding half away from zero when digits are dropped.
int64_t Rescale(int64_t mantissa, int from, int to) {
  if (to >= from) return mantissa * Pow10(to - from);
  int64_t div = Pow10(from - to);
  int64_t q = mantissa / div;
  int64_t r = mantissa % div;
  if (r * 2 >= div) ++q;
  if (r * 2 <= -div) --q;
  return q;
}

std::string_view StripBlanks(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// A string value as an error message shows it.
std::string ShownText(std::string_view gbk) { return text::GbkToUtf8(gbk, text::Mode::kLossy); }

int64_t StringToInteger(const Value& v, const TypeSpec& from, Type to) {
  std::string_view s = StripBlanks(v.s);
  if (s.empty()) return 0;
  std::size_t p = 0;
  bool negative = false;
  if (s[0] == '+' || s[0] == '-') {
    negative = s[0] == '-';
    p = 1;
  }
  if (p == s.size()) throw err::ConversionFailed(TypeName(from.type), ShownText(v.s), TypeName(to));
  int64_t out = 0;
  for (; p < s.size(); ++p) {
    if (!std::isdigit(static_cast<unsigned char>(s[p])))
      throw err::ConversionFailed(TypeName(from.type), ShownText(v.s), TypeName(to));
    out = out * 10 + (s[p] - '0');
    if (out > (int64_t{1} << 40)) throw err::IntOverflow(ShownText(v.s), TypeName(to));
  }
  return negative ? -out : out;
}

// A decimal string as mantissa and scale; false when unreadable.
bool ParseDecimal(std::string_view s, int64_t& mantissa, int& scale) {
  s = StripBlanks(s);
  std::size_t p = 0;
  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    p = 1;
  }
  bool any = false, dot = false;
  mantissa = 0;
  scale = 0;
  int digits = 0;
  for (; p < s.size(); ++p) {
    char c = s[p];
    if (c == '.' && !dot) {
      dot = true;
      continue;
    }
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    any = true;
    if (digits >= kMaxDigits) {
      if (dot) continue;  // excess fraction digits are dropped
      return false;
    }
    if (mantissa != 0 || c != '0') ++digits;
    mantissa = mantissa * 10 + (c - '0');
    if (dot) ++scale;
  }
  if (!any) return false;
  if (negative) mantissa = -mantissa;
  return true;
}

Value ToInteger(const Value& v, const TypeSpec& from, Type to) {
  int64_t out = 0;
  switch (v.kind) {
    case Value::Kind::Int:
      out = v.i;
      break;
    case Value::Kind::Numeric:
      out = v.i / Pow10(v.scale);
      break;
    case Value::Kind::String:
      out = StringToInteger(v, from, to);
      break;
    case Value::Kind::DateTime:
      out = v.dt.days + (v.dt.ticks >= 300u * 43200u ? 1 : 0);
      break;
    case Value::Kind::Null:
      return v;
  }
  int64_t lo = to == Type::SmallInt ? -32768 : std::numeric_limits<int32_t>::min();
  int64_t hi = to == Type::SmallInt ? 32767 : std::numeric_limits<int32_t>::max();
  if (out < lo || out > hi) {
    if (v.kind == Value::Kind::String) throw err::IntOverflow(ShownText(v.s), TypeName(to));
    throw err::ArithmeticOverflow("expression", TypeName(to));
  }
  return MakeInt(out);
}

Value ToNumeric(const Value& v, const TypeSpec& from, const TypeSpec& to) {
  int64_t mantissa = 0;
  int scale = 0;
  std::string from_name = TypeName(from.type);
  switch (v.kind) {
    case Value::Kind::Int:
      mantissa = v.i;
      break;
    case Value::Kind::Numeric:
      mantissa = v.i;
      scale = v.scale;
      break;
    case Value::Kind::String:
      if (!ParseDecimal(v.s, mantissa, scale)) throw err::NumericConversion();
      from_name = "varchar";
      break;
    case Value::Kind::DateTime:
      throw err::NumericConversion();
    case Value::Kind::Null:
      return v;
  }
  int integer_digits = DigitCount(mantissa / Pow10(scale));
  bool too_wide = to.scale > scale && DigitCount(mantissa) + (to.scale - scale) > kMaxDigits;
  if (integer_digits > to.precision - to.scale || too_wide) {
    if (v.kind == Value::Kind::String) throw err::NumericConversion();
    throw err::ArithmeticOverflow(from_name, "numeric");
  }
  return MakeNumeric(Rescale(mantissa, scale, to.scale), to.scale);
}

// Days since 1900-01-01 as a datetime, within the type's range 1753-01-01 to 9999-12-31.
Value DaysToDatetime(int64_t days, uint32_t ticks) {
  if (days < DaysFromCivil(1753, 1, 1) || days > DaysFromCivil(9999, 12, 31))
    throw err::ArithmeticOverflow("expression", "datetime");
  return MakeDatetime(DateTime{static_cast<int32_t>(days), ticks});
}

Value ToDatetime(const Value& v, DateFormat df) {
  switch (v.kind) {
    case Value::Kind::String:
      return MakeDatetime(ParseDatetime(v.s, df));
    case Value::Kind::Int:
      return DaysToDatetime(v.i, 0);
    case Value::Kind::Numeric: {
      int64_t whole = v.i / Pow10(v.scale);
      int64_t frac = v.i % Pow10(v.scale);
      if (frac < 0) {
        frac += Pow10(v.scale);
        --whole;
      }
      auto ticks =
          static_cast<uint32_t>(static_cast<__int128>(frac) * 300 * 86400 / Pow10(v.scale));
      return DaysToDatetime(whole, ticks);
    }
    case Value::Kind::DateTime:
    case Value::Kind::Null:
      return v;
  }
  return v;
}

// Cuts GBK text to at most n bytes without splitting a double-byte character.
std::string CutGbk(std::string_view s, std::size_t n) {
  std::size_t i = 0;
  while (i < s.size()) {
    std::size_t w = static_cast<unsigned char>(s[i]) >= 0x81 && i + 1 < s.size() ? 2 : 1;
    if (i + w > n) break;
    i += w;
  }
  return std::string(s.substr(0, i));
}

Value ToString(const Value& v, const TypeSpec& to, bool explicit_conversion) {
  const auto n = static_cast<std::size_t>(to.length);
  std::string out;
  switch (v.kind) {
    case Value::Kind::Null:
      return v;
    case Value::Kind::String:
      if (v.s.size() > n) {
        if (!explicit_conversion && TrimmedSize(v.s) > n) throw err::Truncated();
        out = CutGbk(v.s, n);
      } else {
        out = v.s;
      }
      break;
    case Value::Kind::Int:
      out = std::to_string(v.i);
      if (out.size() > n) out = "*";  // an int too wide for the string gives '*'
      break;
    case Value::Kind::Numeric:
      out = NumericText(v.i, v.scale);
      if (out.size() > n) throw err::ArithmeticOverflow("numeric", "varchar");
      break;
    case Value::Kind::DateTime:
      out = CutGbk(DatetimeStyle0(v.dt), n);  // silent truncation is a guess
      break;
  }
  if (to.type == Type::Char && out.size() < n) out.append(n - out.size(), ' ');
  return MakeString(std::move(out));
}

}  // namespace

Value ConvertValue(const Value& v, const TypeSpec& from, const TypeSpec& to,
                   bool explicit_conversion, DateFormat df) {
  if (v.IsNull()) return v;
  switch (to.type) {
    case Type::Char:
    case Type::VarChar:
      return ToString(v, to, explicit_conversion);
    case Type::Int:
    case Type::SmallInt:
      return ToInteger(v, from, to.type);
    case Type::Numeric:
      return ToNumeric(v, from, to);
    case Type::DateTime:
      return ToDatetime(v, df);
  }
  return v;
}

namespace {

int CmpI(int64_t a, int64_t b) { return a < b ? -1 : a > b ? 1 : 0; }

int CompareNumbers(const Value& a, const Value& b) {
  // Widened so that aligning the scales cannot overflow.
  int sa = a.kind == Value::Kind::Numeric ? a.scale : 0;
  int sb = b.kind == Value::Kind::Numeric ? b.scale : 0;
  __int128 x = a.i, y = b.i;
  for (int k = sa; k < sb; ++k) x *= 10;
  for (int k = sb; k < sa; ++k) y *= 10;
  return x < y ? -1 : x > y ? 1 : 0;
}

int CompareSame(const Value& a, const Value& b) {
  switch (a.kind) {
    case Value::Kind::String: {
      int c = CollationKey(a.s).compare(CollationKey(b.s));
      return c < 0 ? -1 : c > 0 ? 1 : 0;
    }
    case Value::Kind::Int:
    case Value::Kind::Numeric:
      return CompareNumbers(a, b);
    case Value::Kind::DateTime:
      if (a.dt.days != b.dt.days) return CmpI(a.dt.days, b.dt.days);
      return CmpI(a.dt.ticks, b.dt.ticks);
    case Value::Kind::Null:
      return 0;
  }
  return 0;
}

bool NumericKind(Value::Kind k) { return k == Value::Kind::Int || k == Value::Kind::Numeric; }

}  // namespace

int CompareValues(const Value& a, Type a_type, const Value& b, Type b_type, DateFormat df) {
  if (a.kind == b.kind || (NumericKind(a.kind) && NumericKind(b.kind))) return CompareSame(a, b);
  // Convert the operand of lower precedence to the other's type.
  bool convert_a = TypeRank(a_type) < TypeRank(b_type);
  const Value& low = convert_a ? a : b;
  Type low_type = convert_a ? a_type : b_type;
  Type high_type = convert_a ? b_type : a_type;
  Value converted;
  if (high_type == Type::Numeric && low.kind == Value::Kind::String) {
    // A string compared with a numeric is read with whatever scale it has.
    int64_t m = 0;
    int s = 0;
    if (!ParseDecimal(low.s, m, s)) throw err::NumericConversion();
    converted = MakeNumeric(m, s);
  } else {
    TypeSpec target{high_type, 8000, 18, 0};
    if (IsIntegerType(high_type)) target.type = Type::Int;
    converted = ConvertValue(low, TypeSpec{low_type, 8000, 0, 0}, target, false, df);
  }
  return convert_a ? CompareSame(converted, b) : CompareSame(a, converted);
}

std::string ValueKey(const Value& v) {
  switch (v.kind) {
    case Value::Kind::Null:
      return std::string(1, '\0');
    case Value::Kind::Int:
      return "\1" + std::to_string(v.i);
    case Value::Kind::Numeric: {
      int64_t m = v.i;
      int s = v.scale;
      while (s > 0 && m % 10 == 0) {
        m /= 10;
        --s;
      }
      return s == 0 ? "\1" + std::to_string(m) : "\1" + NumericText(m, s);
    }
    case Value::Kind::String:
      return "\2" + CollationKey(v.s);
    case Value::Kind::DateTime:
      return "\3" + std::to_string(v.dt.days) + ":" + std::to_string(v.dt.ticks);
  }
  return {};
}

int OrderValues(const Value& a, const Value& b) {
  if (a.IsNull() || b.IsNull()) return a.IsNull() == b.IsNull() ? 0 : a.IsNull() ? -1 : 1;
  if (a.kind != b.kind && !(NumericKind(a.kind) && NumericKind(b.kind)))
    return CmpI(static_cast<int>(a.kind), static_cast<int>(b.kind));
  return CompareSame(a, b);
}

std::string KeyText(const Value& v) {
  if (v.IsNull()) return "<NULL>";
  // A char key is shown as stored, padded to its width (guess).
  if (v.kind == Value::Kind::String) return ShownText(v.s);
  return v.Text();
}

}  // namespace standin
