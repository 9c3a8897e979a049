// Writes the tokens of a server reply into one byte buffer (the payload of a reply message).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "standin/engine.h"

namespace standin::tds {

// Chinese_PRC_CI_AS as the 5 bytes of a TDS collation: LCID 0x0804 in the low 20 bits,
// then the flags ignore-case, ignore-kana and ignore-width (accents count), version 0,
// sort id 0 (a Windows collation). Its code page is 936, the engine's storage encoding.
inline constexpr unsigned char kCollation[5] = {0x04, 0x08, 0xD0, 0x00, 0x00};

namespace done {
inline constexpr uint16_t kMore = 0x01;
inline constexpr uint16_t kError = 0x02;
inline constexpr uint16_t kCount = 0x10;
inline constexpr uint16_t kAttention = 0x20;
}  // namespace done

// The server name that messages carry.
inline constexpr std::string_view kServerName = "SQLSTANDIN";

class TokenWriter {
 public:
  const std::string& Bytes() const { return out_; }
  // Values whose kind did not fit their column's type; they went out as NULL.
  std::size_t MismatchedValues() const { return mismatched_; }

  // ENVCHANGE with text values (database 1, language 2, packet size 4).
  void WriteEnvChange(uint8_t type, std::string_view new_value, std::string_view old_value);
  // ENVCHANGE 7: the collation as a byte value, no old value.
  void WriteEnvCollation();
  // INFO (severity <= 10) or ERROR token with the message's line; text and names are UTF-8.
  void WriteMessage(const standin::Message& m);
  void WriteLoginAck(std::string_view program);
  void WriteDone(uint16_t status, uint16_t command, uint64_t count);
  // COLMETADATA for columns, then one ROW per row.
  void WriteResult(const std::vector<Column>& columns, const std::vector<std::vector<Value>>& rows);

 private:
  void WriteU8(uint8_t v) { out_ += static_cast<char>(v); }
  void WriteU16(uint16_t v);
  void WriteU32(uint32_t v);
  void WriteU64(uint64_t v);
  // B_VARCHAR: a one-byte count of UTF-16 units, then the text; longer text is cut.
  void WriteBVarchar(std::string_view utf8);
  void WriteColumnMetadata(const std::vector<Column>& columns);
  void WriteRow(const std::vector<Column>& columns, const std::vector<Value>& values);
  void WriteValue(const TypeSpec& type, const Value& v);

  std::string out_;
  std::size_t mismatched_ = 0;
};

// The length byte a NUMERICN value of this precision takes (sign byte included).
int NumericLength(int precision);

}  // namespace standin::tds
