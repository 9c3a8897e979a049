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
std::string Utf16Cut(std::string_view utf8, std::size_t max_units) {
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

void PutLe(std::string& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

}  // namespace

int NumericLength(int precision) {
  if (precision <= 9) return 5;
  if (precision <= 19) return 9;
  if (precision <= 28) return 13;
  return 17;
}

void TokenWriter::WriteU16(uint16_t v) { PutLe(out_, v, 2); }
void TokenWriter::WriteU32(uint32_t v) { PutLe(out_, v, 4); }
void TokenWriter::WriteU64(uint64_t v) { PutLe(out_, v, 8); }

void TokenWriter::WriteBVarchar(std::string_view utf8) {
  const std::string w = Utf16Cut(utf8, 255);
  WriteU8(static_cast<uint8_t>(w.size() / 2));
  out_ += w;
}

void TokenWriter::WriteEnvChange(uint8_t type, std::string_view new_value,
                                 std::string_view old_value) {
  const std::string nw = Utf16Cut(new_value, 255);
  const std::string ow = Utf16Cut(old_value, 255);
  WriteU8(kTokenEnvChange);
  WriteU16(static_cast<uint16_t>(1 + 1 + nw.size() + 1 + ow.size()));
  WriteU8(type);
  WriteU8(static_cast<uint8_t>(nw.size() / 2));
  out_ += nw;
  WriteU8(static_cast<uint8_t>(ow.size() / 2));
  out_ += ow;
}

void TokenWriter::WriteEnvCollation() {
  WriteU8(kTokenEnvChange);
  WriteU16(1 + 1 + sizeof kCollation + 1);
  WriteU8(7);
  WriteU8(sizeof kCollation);
  out_.append(reinterpret_cast<const char*>(kCollation), sizeof kCollation);
  WriteU8(0);
}

void TokenWriter::WriteMessage(const standin::Message& m) {
  // The token length is 16 bits; 4000 units of text leave room for the rest.
  const std::string text = Utf16Cut(m.text, 4000);
  const std::string server = Utf16Cut(kServerName, 255);
  const std::size_t length = 4 + 1 + 1 + 2 + text.size() + 1 + server.size() + 1 + 4;
  WriteU8(m.IsError() ? kTokenError : kTokenInfo);
  WriteU16(static_cast<uint16_t>(length));
  WriteU32(static_cast<uint32_t>(m.number));
  WriteU8(static_cast<uint8_t>(m.state));
  WriteU8(static_cast<uint8_t>(m.severity));
  WriteU16(static_cast<uint16_t>(text.size() / 2));
  out_ += text;
  WriteU8(static_cast<uint8_t>(server.size() / 2));
  out_ += server;
  WriteU8(0);  // no procedure
  WriteU32(static_cast<uint32_t>(m.line));
}

void TokenWriter::WriteLoginAck(std::string_view program) {
  const std::string name = Utf16Cut(program, 255);
  WriteU8(kTokenLoginAck);
  WriteU16(static_cast<uint16_t>(1 + 4 + 1 + name.size() + 4));
  WriteU8(1);                                  // SQL interface
  out_ += std::string("\x74\x00\x00\x04", 4);  // TDS 7.4, sent big-endian
  WriteU8(static_cast<uint8_t>(name.size() / 2));
  out_ += name;
  out_ += std::string("\x0B\x00\x0C\x38", 4);  // server version 11.0.3128
}

void TokenWriter::WriteDone(uint16_t status, uint16_t command, uint64_t count) {
  WriteU8(kTokenDone);
  WriteU16(status);
  WriteU16(command);
  WriteU64(count);
}

void TokenWriter::WriteResult(const std::vector<Column>& columns,
                              const std::vector<std::vector<Value>>& rows) {
  WriteColumnMetadata(columns);
  for (const auto& r : rows) WriteRow(columns, r);
}

void TokenWriter::WriteColumnMetadata(const std::vector<Column>& columns) {
  WriteU8(kTokenColMetadata);
  WriteU16(static_cast<uint16_t>(columns.size()));
  for (const Column& c : columns) {
    WriteU32(0);                             // user type
    WriteU16(c.nullable ? 0x0001 : 0x0000);  // flags: nullable
    const TypeSpec& t = c.type;
    switch (t.type) {
      case Type::Char:
      case Type::VarChar:
        WriteU8(t.type == Type::Char ? kTypeBigChar : kTypeBigVarChar);
        WriteU16(static_cast<uint16_t>(std::clamp(t.length, 1, 8000)));
        out_.append(reinterpret_cast<const char*>(kCollation), sizeof kCollation);
        break;
      case Type::Int:
        WriteU8(kTypeIntN);
        WriteU8(4);
        break;
      case Type::SmallInt:
        WriteU8(kTypeIntN);
        WriteU8(2);
        break;
      case Type::Numeric:
        WriteU8(kTypeNumericN);
        WriteU8(static_cast<uint8_t>(NumericLength(t.precision)));
        WriteU8(static_cast<uint8_t>(t.precision));
        WriteU8(static_cast<uint8_t>(t.scale));
        break;
      case Type::DateTime:
        WriteU8(kTypeDateTimeN);
        WriteU8(8);
        break;
    }
    WriteBVarchar(c.name);
  }
}

void TokenWriter::WriteRow(const std::vector<Column>& columns, const std::vector<Value>& values) {
  WriteU8(kTokenRow);
  for (std::size_t i = 0; i < columns.size(); ++i) {
    static const Value null_value;
    WriteValue(columns[i].type, i < values.size() ? values[i] : null_value);
  }
}

void TokenWriter::WriteValue(const TypeSpec& t, const Value& v) {
  switch (t.type) {
    case Type::Char:
    case Type::VarChar: {
      if (v.IsNull()) {
        WriteU16(0xFFFF);
        return;
      }
      const std::string data =
          v.kind == Value::Kind::String ? v.s : text::Utf8ToGbk(v.Text(), text::Mode::kStrict);
      const std::size_t n = std::min<std::size_t>(data.size(), 8000);
      WriteU16(static_cast<uint16_t>(n));
      out_.append(data, 0, n);
      return;
    }
    case Type::Int:
    case Type::SmallInt: {
      if (v.kind != Value::Kind::Int) {
        if (!v.IsNull()) ++mismatched_;
        WriteU8(0);
        return;
      }
      const int bytes = t.type == Type::Int ? 4 : 2;
      WriteU8(static_cast<uint8_t>(bytes));
      PutLe(out_, static_cast<uint64_t>(v.i), bytes);
      return;
    }
    case Type::Numeric: {
      if (v.kind != Value::Kind::Numeric && v.kind != Value::Kind::Int) {
        if (!v.IsNull()) ++mismatched_;
        WriteU8(0);
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
      const int length = NumericLength(t.precision);
      WriteU8(static_cast<uint8_t>(length));
      WriteU8(negative ? 0 : 1);
      for (int i = 0; i < length - 1; ++i) {
        WriteU8(static_cast<uint8_t>(magnitude & 0xFF));
        magnitude >>= 8;
      }
      return;
    }
    case Type::DateTime:
      if (v.kind != Value::Kind::DateTime) {
        if (!v.IsNull()) ++mismatched_;
        WriteU8(0);
        return;
      }
      WriteU8(8);
      WriteU32(static_cast<uint32_t>(v.dt.days));
      WriteU32(v.dt.ticks);
      return;
  }
}

}  // namespace standin::tds
