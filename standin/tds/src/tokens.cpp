#include "tokens.h"

#include <algorithm>

#include "text/text.h"

namespace standin::tds {
namespace {

constexpr uint8_t kTokenEnvChange = 0xE3;
constexpr uint8_t kTokenError = 0xAA;
constexpr uint8_t kTokenInfo = 0xAB;
constexpr uint8_t kTokenLoginAck = 0xAD;
constexpr uint8_t kTokenDone = 0xFD;
constexpr uint8_t kTokenColMetadata = 0x81;
constexpr uint8_t kTokenRow = 0xD1;

constexpr uint8_t kTypeIntN = 0x26;
constexpr uint8_t kTypeNumericN = 0x6C;
constexpr uint8_t kTypeDateTimeN = 0x6F;
constexpr uint8_t kTypeBigVarChar = 0xA7;
constexpr uint8_t kTypeBigChar = 0xAF;

// UTF-16 text cut to at most max_units code units, never inside a surrogate pair.
std::string utf16_cut(std::string_view utf8, std::size_t max_units) {
  std::string w = text::Utf8ToUtf16Le(utf8, text::Mode::kLossy);
  if (w.size() / 2 > max_units) {
    std::size_t n = max_units;
    if (n > 0) {
      const auto hi = static_cast<unsigned char>(w[2 * n - 1]);
      if (hi >= 0xD8 && hi <= 0xDB) --n;
    }
    w.resize(2 * n);
  }
  return w;
}

void put_le(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

int numeric_length(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

void TokenWriter::u16(uint16_t v) { put_le(out_, v, 2); }
void TokenWriter::u32(uint32_t v) { put_le(out_, v, 4); }
void TokenWriter::u64(uint64_t v) { put_le(out_, v, 8); }

void TokenWriter::b_varchar(std::string_view utf8) {
  const std::string w = utf16_cut(utf8, 255);
  u8(static_cast<uint8_t>(w.size() / 2));
  out_ += w;
}

void TokenWriter::env_change(uint8_t type, std::string_view new_value, std::string_view old_value) {
  const std::string nw = utf16_cut(new_value, 255);
  const std::string ow = utf16_cut(old_value, 255);
  u8(kTokenEnvChange);
  u16(static_cast<uint16_t>(1 + 1 + nw.size() + 1 + ow.size()));
  u8(type);
  u8(static_cast<uint8_t>(nw.size() / 2));
  out_ += nw;
  u8(static_cast<uint8_t>(ow.size() / 2));
  out_ += ow;
}

void TokenWriter::env_collation() {
  u8(kTokenEnvChange);
  u16(1 + 1 + sizeof kCollation + 1);
  u8(7);
  u8(sizeof kCollation);
  out_.append(reinterpret_cast<const char*>(kCollation), sizeof kCollation);
  u8(0);
}

void TokenWriter::message(const standin::Message& m, int line) {
  // The token length is 16 bits; 4000 units of text leave room for the rest.
  const std::string text = utf16_cut(m.text, 4000);
  const std::string server = utf16_cut(kServerName, 255);
  const std::size_t length = 4 + 1 + 1 + 2 + text.size() + 1 + server.size() + 1 + 4;
  u8(m.is_error() ? kTokenError : kTokenInfo);
  u16(static_cast<uint16_t>(length));
  u32(static_cast<uint32_t>(m.number));
  u8(static_cast<uint8_t>(m.state));
  u8(static_cast<uint8_t>(m.severity));
  u16(static_cast<uint16_t>(text.size() / 2));
  out_ += text;
  u8(static_cast<uint8_t>(server.size() / 2));
  out_ += server;
  u8(0);  // no procedure
  u32(static_cast<uint32_t>(line));
}

void TokenWriter::login_ack(std::string_view program) {
  const std::string name = utf16_cut(program, 255);
  u8(kTokenLoginAck);
  u16(static_cast<uint16_t>(1 + 4 + 1 + name.size() + 4));
  u8(1);                                       // SQL interface
  out_ += std::string("\x74\x00\x00\x04", 4);  // TDS 7.4, sent big-endian
  u8(static_cast<uint8_t>(name.size() / 2));
  out_ += name;
  out_ += std::string("\x0B\x00\x0C\x38", 4);  // server version 11.0.3128
}

void TokenWriter::done(uint16_t status, uint16_t command, uint64_t count) {
  u8(kTokenDone);
  u16(status);
  u16(command);
  u64(count);
}

void TokenWriter::result(const std::vector<Column>& columns,
                         const std::vector<std::vector<Value>>& rows) {
  column_metadata(columns);
  for (const auto& r : rows) row(columns, r);
}

void TokenWriter::column_metadata(const std::vector<Column>& columns) {
  u8(kTokenColMetadata);
  u16(static_cast<uint16_t>(columns.size()));
  for (const Column& c : columns) {
    u32(0);                             // user type
    u16(c.nullable ? 0x0001 : 0x0000);  // flags: nullable
    const TypeSpec& t = c.type;
    switch (t.type) {
      case Type::Char:
      case Type::VarChar:
        u8(t.type == Type::Char ? kTypeBigChar : kTypeBigVarChar);
        u16(static_cast<uint16_t>(std::clamp(t.length, 1, 8000)));
        out_.append(reinterpret_cast<const char*>(kCollation), sizeof kCollation);
        break;
      case Type::Int:
        u8(kTypeIntN);
        u8(4);
        break;
      case Type::SmallInt:
        u8(kTypeIntN);
        u8(2);
        break;
      case Type::Numeric:
        u8(kTypeNumericN);
        u8(static_cast<uint8_t>(numeric_length(t.precision)));
        u8(static_cast<uint8_t>(t.precision));
        u8(static_cast<uint8_t>(t.scale));
        break;
      case Type::DateTime:
        u8(kTypeDateTimeN);
        u8(8);
        break;
    }
    b_varchar(c.name);
  }
}

void TokenWriter::row(const std::vector<Column>& columns, const std::vector<Value>& values) {
  u8(kTokenRow);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    static const Value null_value;
    value(columns[i].type, i < values.size() ? values[i] : null_value);
  }
}

void TokenWriter::value(const TypeSpec& t, const Value& v) {
  switch (t.type) {
    case Type::Char:
    case Type::VarChar: {
      if (v.is_null()) {
        u16(0xFFFF);
        return;
      }
      const std::string data =
          v.kind == Value::Kind::String ? v.s : text::Utf8ToGbk(v.text(), text::Mode::kStrict);
      const std::size_t n = std::min<std::size_t>(data.size(), 8000);
      u16(static_cast<uint16_t>(n));
      out_.append(data, 0, n);
      return;
    }
    case Type::Int:
    case Type::SmallInt: {
      if (v.kind != Value::Kind::Int) {
        if (!v.is_null()) ++mismatched_;
        u8(0);
        return;
      }
      const int bytes = t.type == Type::Int ? 4 : 2;
      u8(static_cast<uint8_t>(bytes));
      put_le(out_, static_cast<uint64_t>(v.i), bytes);
      return;
    }
    case Type::Numeric: {
      if (v.kind != Value::Kind::Numeric && v.kind != Value::Kind::Int) {
        if (!v.is_null()) ++mismatched_;
        u8(0);
        return;
      }
      // Bring the mantissa to the column's scale (a value too wide for 38 digits is cut short).
      constexpr __int128 kHuge = static_cast<__int128>(1000000000000000000LL) * 10000000000000000LL;
      __int128 m = v.i;
      const int from = v.kind == Value::Kind::Numeric ? v.scale : 0;
      for (int s = from; s < t.scale && m < kHuge && m > -kHuge; ++s) m *= 10;
      for (int s = t.scale; s < from; ++s) m /= 10;
      const bool negative = m < 0;
      unsigned __int128 magnitude =
          negative ? static_cast<unsigned __int128>(-m) : static_cast<unsigned __int128>(m);
      const int length = numeric_length(t.precision);
      u8(static_cast<uint8_t>(length));
      u8(negative ? 0 : 1);
      for (int i = 0; i < length - 1; ++i) {
        u8(static_cast<uint8_t>(magnitude & 0xFF));
        magnitude >>= 8;
      }
      return;
    }
    case Type::DateTime:
      if (v.kind != Value::Kind::DateTime) {
        if (!v.is_null()) ++mismatched_;
        u8(0);
        return;
      }
      u8(8);
      u32(static_cast<uint32_t>(v.dt.days));
      u32(v.dt.ticks);
      return;
  }
}

}  // namespace standin::tds
