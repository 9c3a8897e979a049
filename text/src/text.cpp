// The module's own UTF-8 and UTF-16 code, and the one rule for what cannot be converted (see
// text.h), applied around the platform's code page 936 table (cp936.h).
#include "text/text.h"

#include <cstdio>
#include <vector>

#include "cp936.h"

namespace text {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool IsHighSurrogate(char32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

bool IsAscii(std::string_view s) {
  for (char c : s)
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  return true;
}

[[noreturn]] void ThrowInvalid(const char* form, std::size_t offset) {
  throw ETextConversionError(
      std::string("text is not valid ") + form + " at byte " + std::to_string(offset), offset);
}

[[noreturn]] void ThrowLacking(char32_t c, std::size_t offset) {
  char code[16];
  std::snprintf(code, sizeof code, "U+%04X", static_cast<unsigned>(c));
  throw ETextConversionError(std::string("text has no code page 936 form for ") + code +
                                 " at byte " + std::to_string(offset),
                             offset);
}

// One character read from the input, or one maximal invalid subpart; offset is where it begins.
struct Step {
  bool valid;
  char32_t c;
  std::size_t offset;
};

class Utf8Source {
 public:
  static constexpr const char* kForm = "UTF-8";
  explicit Utf8Source(std::string_view s) : s_(s) {}
  bool Done() const { return i_ >= s_.size(); }

  // The well-formed sequences of the Unicode standard: the second byte's range depends on the
  // lead (which excludes overlong forms, surrogates and values above U+10FFFF); every other
  // following byte is 80..BF.
  Step Next() {
    const std::size_t start = i_;
    const auto lead = Byte(i_++);
    if (lead < 0x80) return {true, lead, start};
    int following;
    char32_t c;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      following = 1, c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      following = 2, c = lead & 0x0F;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      following = 3, c = lead & 0x07;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    } else {
      return {false, 0, start};
    }
    for (int k = 0; k < following; ++k) {
      if (Done() || Byte(i_) < low || Byte(i_) > high) return {false, 0, start};
      c = (c << 6) | (Byte(i_++) & 0x3F);
      low = 0x80, high = 0xBF;
    }
    return {true, c, start};
  }

 private:
  unsigned char Byte(std::size_t i) const { return static_cast<unsigned char>(s_[i]); }
  std::string_view s_;
  std::size_t i_ = 0;
};

// UTF-16 units from a u16string_view (Units) or from little-endian bytes (LeBytes).
struct Units {
  std::u16string_view s;
  std::size_t size() const { return s.size(); }
  char32_t operator[](std::size_t i) const { return s[i]; }
  bool OddByte() const { return false; }
};
struct LeBytes {
  std::string_view s;
  std::size_t size() const { return s.size() / 2; }
  char32_t operator[](std::size_t i) const {
    return static_cast<unsigned char>(s[2 * i]) | static_cast<unsigned char>(s[2 * i + 1]) << 8;
  }
  bool OddByte() const { return s.size() % 2 != 0; }
};

template <class In>
class Utf16Source {
 public:
  static constexpr const char* kForm = "UTF-16";
  explicit Utf16Source(In in) : in_(in) {}
  bool Done() const { return i_ >= in_.size() && !(in_.OddByte() && !odd_done_); }

  Step Next() {
    const std::size_t start = 2 * i_;
    if (i_ >= in_.size()) {  // a trailing byte that is half a unit
      odd_done_ = true;
      return {false, 0, start};
    }
    const char32_t u = in_[i_++];
    if (IsHighSurrogate(u) && i_ < in_.size() && IsLowSurrogate(in_[i_]))
      return {true, 0x10000 + ((u - 0xD800) << 10) + (in_[i_++] - 0xDC00), start};
    if (IsHighSurrogate(u) || IsLowSurrogate(u)) return {false, 0, start};
    return {true, u, start};
  }

 private:
  In in_;
  std::size_t i_ = 0;
  bool odd_done_ = false;
};

// The puts write one character at p and return the position after it; the caller has made room
// for the longest form (4 bytes of UTF-8, 2 units of UTF-16, 4 bytes of UTF-16LE).
char* PutUtf8(char* p, char32_t c) {
  if (c < 0x80) {
    *p++ = static_cast<char>(c);
  } else if (c < 0x800) {
    *p++ = static_cast<char>(0xC0 | (c >> 6));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    *p++ = static_cast<char>(0xE0 | (c >> 12));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  } else {
    *p++ = static_cast<char>(0xF0 | (c >> 18));
    *p++ = static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    *p++ = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    *p++ = static_cast<char>(0x80 | (c & 0x3F));
  }
  return p;
}

char16_t* PutUtf16(char16_t* p, char32_t c) {
  if (c < 0x10000) {
    *p++ = static_cast<char16_t>(c);
  } else {
    *p++ = static_cast<char16_t>(0xD800 + ((c - 0x10000) >> 10));
    *p++ = static_cast<char16_t>(0xDC00 + ((c - 0x10000) & 0x3FF));
  }
  return p;
}

void PutUtf16(std::u16string& out, char32_t c) {
  char16_t units[2];
  out.append(units, PutUtf16(units, c));
}

char* PutUtf16Le(char* p, char32_t c) {
  char16_t units[2];
  const char16_t* end = PutUtf16(units, c);
  for (const char16_t* u = units; u != end; ++u) {
    *p++ = static_cast<char>(*u & 0xFF);
    *p++ = static_cast<char>(*u >> 8);
  }
  return p;
}

// Between the Unicode forms: each character put, each invalid subpart replaced or thrown. Every
// input unit (a byte of UTF-8, a unit of UTF-16) yields at most most_per_unit output units, and
// an invalid subpart is at least one input unit, so the output is written into a buffer of that
// size and cut to what was written: batches and fields are converted many thousand times in one
// upgrade, and growing a string character by character cost more than the conversion itself.
template <class Out, class Source, class Put>
Out Transcode(Source in, Mode mode, std::size_t input_units, std::size_t most_per_unit, Put put) {
  Out out(input_units * most_per_unit + 4, typename Out::value_type{});
  typename Out::value_type* p = out.data();
  while (!in.Done()) {
    const Step step = in.Next();
    if (step.valid) {
      p = put(p, step.c);
    } else if (mode == Mode::kStrict) {
      ThrowInvalid(Source::kForm, step.offset);
    } else {
      p = put(p, kReplacement);
    }
  }
  out.resize(static_cast<std::size_t>(p - out.data()));
  return out;
}

// To code page 936: runs of valid characters go through the table, with the input offset of
// each unit kept for the error message.
template <class Source>
std::string ToGbk(Source in, Mode mode) {
  std::string out;
  std::u16string run;
  std::vector<std::size_t> offsets;
  const auto flush = [&] {
    for (std::size_t done = cp936::Encode(run, out); done < run.size();
         done += cp936::Encode(std::u16string_view(run).substr(done), out)) {
      const bool pair = IsHighSurrogate(run[done]);
      const char32_t c =
          pair ? 0x10000 + ((run[done] - 0xD800) << 10) + (run[done + 1] - 0xDC00) : run[done];
      if (mode == Mode::kStrict) ThrowLacking(c, offsets[done]);
      out += '?';
      done += pair ? 2 : 1;
    }
    run.clear();
    offsets.clear();
  };
  while (!in.Done()) {
    const Step step = in.Next();
    if (step.valid) {
      PutUtf16(run, step.c);
      offsets.resize(run.size(), step.offset);
      continue;
    }
    flush();  // an earlier character the code page lacks is the first failure
    if (mode == Mode::kStrict) ThrowInvalid(Source::kForm, step.offset);
    out += '?';
  }
  flush();
  return out;
}

}  // namespace

// Most output units per input unit: a UTF-8 byte gives at most one UTF-16 unit (or two bytes of
// UTF-16LE); a UTF-16 unit gives at most three bytes of UTF-8 (a pair gives four for two units,
// a replacement three for one); a trailing odd byte of UTF-16LE gives one replacement.
std::u16string Utf8ToUtf16(std::string_view utf8, Mode mode) {
  return Transcode<std::u16string>(Utf8Source(utf8), mode, utf8.size(), 1,
                                   [](char16_t* p, char32_t c) { return PutUtf16(p, c); });
}

std::string Utf16ToUtf8(std::u16string_view utf16, Mode mode) {
  return Transcode<std::string>(Utf16Source(Units{utf16}), mode, utf16.size(), 3,
                                [](char* p, char32_t c) { return PutUtf8(p, c); });
}

std::string Utf16LeToUtf8(std::string_view bytes, Mode mode) {
  return Transcode<std::string>(Utf16Source(LeBytes{bytes}), mode, bytes.size() / 2 + 1, 3,
                                [](char* p, char32_t c) { return PutUtf8(p, c); });
}

std::string Utf8ToUtf16Le(std::string_view utf8, Mode mode) {
  return Transcode<std::string>(Utf8Source(utf8), mode, utf8.size(), 2,
                                [](char* p, char32_t c) { return PutUtf16Le(p, c); });
}

std::string Utf8ToGbk(std::string_view utf8, Mode mode) {
  if (IsAscii(utf8)) return std::string(utf8);
  return ToGbk(Utf8Source(utf8), mode);
}

std::string Utf16ToGbk(std::u16string_view utf16, Mode mode) {
  return ToGbk(Utf16Source(Units{utf16}), mode);
}

std::u16string GbkToUtf16(std::string_view gbk, Mode mode) {
  std::u16string out;
  out.reserve(gbk.size());
  for (std::size_t i = cp936::Decode(gbk, out); i < gbk.size();
       i += cp936::Decode(gbk.substr(i), out)) {
    if (mode == Mode::kStrict) ThrowInvalid("code page 936", i);
    out += static_cast<char16_t>(kReplacement);
    ++i;
  }
  return out;
}

std::string GbkToUtf8(std::string_view gbk, Mode mode) {
  if (IsAscii(gbk)) return std::string(gbk);
  // The table yields whole characters only, so the UTF-16 is valid.
  return Utf16ToUtf8(GbkToUtf16(gbk, mode), Mode::kStrict);
}

bool IsValidUtf8(std::string_view utf8) {
  for (Utf8Source in(utf8); !in.Done();)
    if (!in.Next().valid) return false;
  return true;
}

}  // namespace text
