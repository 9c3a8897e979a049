// Reading character strings as datetime, the way the server does under each DATEFORMAT.
#include <cctype>
#include <vector>

#include "errors.h"
#include "values.h"

namespace standin {
namespace {

struct Cursor {
  std::string_view s;
  std::size_t p = 0;
  bool Done() const { return p >= s.size(); }
  char Peek() const { return Done() ? '\0' : s[p]; }
  bool Digit() const { return !Done() && std::isdigit(static_cast<unsigned char>(s[p])); }
  // Reads a run of digits; returns its length (0 when none).
  int Number(int& out) {
    int n = 0;
    out = 0;
    while (Digit() && n < 9) {
      out = out * 10 + (s[p] - '0');
      ++p;
      ++n;
    }
    return n;
  }
  void Blanks() {
    while (!Done() && s[p] == ' ') ++p;
  }
};

int ExpandYear(int y, int digits) {
  if (digits == 4) return y;
  if (digits == 2) return y < 50 ? 2000 + y : 1900 + y;  // two-digit year cutoff 2049
  return -1;
}

// hh:mm[:ss[.fff]] [AM|PM]; returns false when unreadable.
bool ReadTime(Cursor& c, uint32_t& ticks, bool& range_ok) {
  int h = 0, mi = 0, sec = 0, ms = 0;
  if (c.Number(h) == 0) return false;
  bool have_minutes = false;
  if (c.Peek() == ':') {
    ++c.p;
    if (c.Number(mi) == 0) return false;
    have_minutes = true;
    if (c.Peek() == ':') {
      ++c.p;
      if (c.Number(sec) == 0) return false;
      if (c.Peek() == '.' || c.Peek() == ':') {
        ++c.p;
        int frac = 0;
        int n = c.Number(frac);
        if (n == 0) return false;
        while (n < 3) {
          frac *= 10;
          ++n;
        }
        while (n > 3) {
          frac /= 10;
          --n;
        }
        ms = frac;
      }
    }
  }
  c.Blanks();
  if (!c.Done()) {
    char a = static_cast<char>(std::toupper(static_cast<unsigned char>(c.Peek())));
    if ((a == 'A' || a == 'P') && c.p + 1 < c.s.size() &&
        std::toupper(static_cast<unsigned char>(c.s[c.p + 1])) == 'M') {
      c.p += 2;
      if (h > 12 || h == 0) range_ok = false;
      if (a == 'P' && h < 12) h += 12;
      if (a == 'A' && h == 12) h = 0;
    } else if (!have_minutes) {
      return false;
    }
  } else if (!have_minutes) {
    return false;
  }
  if (h > 23 || mi > 59 || sec > 59) {
    range_ok = false;
    return true;
  }
  // 1/300-second ticks, milliseconds rounded to the nearest tick.
  ticks = static_cast<uint32_t>(((h * 3600 + mi * 60 + sec) * 1000 + ms) * 3 / 10);
  uint32_t exact10 = static_cast<uint32_t>(((h * 3600 + mi * 60 + sec) * 1000 + ms) * 3 % 10);
  if (exact10 >= 5) ++ticks;
  return true;
}

// Assigns three date parts in the order the DATEFORMAT gives them.
void OrderParts(DateFormat df, bool year_first, const int v[3], const int len[3], int& y, int& ylen,
                int& m, int& d) {
  if (year_first) {
    y = v[0];
    ylen = len[0];
    bool day_month = df == DateFormat::dmy || df == DateFormat::ydm || df == DateFormat::dym;
    m = day_month ? v[2] : v[1];
    d = day_month ? v[1] : v[2];
    return;
  }
  switch (df) {
    case DateFormat::mdy:
      m = v[0];
      d = v[1];
      y = v[2];
      ylen = len[2];
      break;
    case DateFormat::dmy:
      d = v[0];
      m = v[1];
      y = v[2];
      ylen = len[2];
      break;
    case DateFormat::ymd:
      y = v[0];
      ylen = len[0];
      m = v[1];
      d = v[2];
      break;
    case DateFormat::ydm:
      y = v[0];
      ylen = len[0];
      d = v[1];
      m = v[2];
      break;
    case DateFormat::myd:
      m = v[0];
      y = v[1];
      ylen = len[1];
      d = v[2];
      break;
    case DateFormat::dym:
      d = v[0];
      y = v[1];
      ylen = len[1];
      m = v[2];
      break;
  }
}

}  // namespace

DateTime ParseDatetime(std::string_view text, DateFormat df) {
  Cursor c{text};
  c.Blanks();
  if (c.Done()) return DateTime{0, 0};
  int y = 0, m = 0, d = 0, ylen = 0;
  int first = 0;
  std::size_t start = c.p;
  int first_len = c.Number(first);
  if (first_len == 0) throw err::DatetimeSyntax();
  bool iso_possible = false;
  if ((first_len == 8 || first_len == 6) && (c.Done() || c.Peek() == ' ')) {
    // Unseparated yyyymmdd / yymmdd: read alike under every DATEFORMAT.
    std::string_view digits = text.substr(start, static_cast<std::size_t>(first_len));
    int yl = first_len - 4;
    y = std::stoi(std::string(digits.substr(0, static_cast<std::size_t>(yl))));
    m = std::stoi(std::string(digits.substr(static_cast<std::size_t>(yl), 2)));
    d = std::stoi(std::string(digits.substr(static_cast<std::size_t>(yl) + 2, 2)));
    ylen = yl;
  } else {
    char sep = c.Peek();
    if (sep != '-' && sep != '/' && sep != '.') throw err::DatetimeSyntax();
    int v[3] = {first, 0, 0}, len[3] = {first_len, 0, 0};
    for (int k = 1; k < 3; ++k) {
      if (c.Peek() != sep) throw err::DatetimeSyntax();
      ++c.p;
      len[k] = c.Number(v[k]);
      if (len[k] == 0 || len[k] > 4) throw err::DatetimeSyntax();
    }
    bool year_first = first_len == 4;
    iso_possible = year_first && sep == '-' && len[1] == 2 && len[2] == 2;
    if (iso_possible && c.Peek() == 'T') {
      y = v[0];
      m = v[1];
      d = v[2];
      ylen = 4;
    } else {
      iso_possible = false;
      OrderParts(df, year_first, v, len, y, ylen, m, d);
    }
  }
  y = ExpandYear(y, ylen);
  uint32_t ticks = 0;
  bool range_ok = true;
  if (iso_possible) {
    ++c.p;  // 'T'
    if (!ReadTime(c, ticks, range_ok)) throw err::DatetimeSyntax();
  } else if (!c.Done()) {
    if (c.Peek() != ' ') throw err::DatetimeSyntax();
    c.Blanks();
    if (!c.Done() && !ReadTime(c, ticks, range_ok)) throw err::DatetimeSyntax();
  }
  c.Blanks();
  if (!c.Done()) throw err::DatetimeSyntax();
  if (y < 0) throw err::DatetimeSyntax();
  if (!range_ok || !ValidDate(y, m, d)) throw err::DatetimeRange();
  return DateTime{DaysFromCivil(y, m, d), ticks};
}

}  // namespace standin
