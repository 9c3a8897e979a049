// The protocol pieces on their own: the log format, token bytes, LOGIN7.
#include <gtest/gtest.h>

#include <string>

#include "batch.h"
#include "json_log.h"
#include "login.h"
#include "raw_client.h"
#include "tokens.h"

namespace standin::tds {
namespace {

using testing::Hex;

std::string Le16(const std::string& ascii) { return testing::Ucs2(ascii); }

TEST(JsonLog, EscapesQuotesBackslashesAndControlsKeepsUtf8) {
  EXPECT_EQ(JsonLogLine(3, "a\t\"b\"\\\r\n\x01\xE4\xB8\xAD", nullptr),
            "{\"seq\":3,\"text\":\"a\\t\\\"b\\\"\\\\\\r\\n\\u0001\xE4\xB8\xAD\",\"error\":null}\n");
  const standin::Message e{208, 16, 1, "Invalid object name 'x'."};
  EXPECT_EQ(JsonLogLine(4, "select 1", &e),
            "{\"seq\":4,\"text\":\"select 1\",\"error\":{\"number\":208,\"message\":"
            "\"Invalid object name 'x'.\"}}\n");
}

TEST(Tokens, ReplyToABatchOfThreeStatements) {
  BatchOutcome o;
  StatementOutcome insert;
  insert.has_count = true;
  insert.count = 1;
  StatementOutcome failed;
  failed.failed = true;
  failed.messages.push_back({2627, 14, 1, "dup"});
  failed.messages.push_back({3621, 0, 0, "t"});
  StatementOutcome ddl;
  o.statements = {insert, failed, ddl};
  // Server name "SQLSTANDIN" in UCS-2.
  const std::string server = "0A " + Hex(Le16("SQLSTANDIN"));
  EXPECT_EQ(Hex(BatchReply(o)),
            "FD 11 00 00 00 01 00 00 00 00 00 00 00 "
            "AA 28 00 43 0A 00 00 01 0E 03 00 " +
                Hex(Le16("dup")) + " " + server +
                " 00 01 00 00 00 "
                "AB 24 00 25 0E 00 00 00 00 01 00 " +
                Hex(Le16("t")) + " " + server +
                " 00 01 00 00 00 "
                "FD 03 00 00 00 00 00 00 00 00 00 00 00 "
                "FD 00 00 00 00 00 00 00 00 00 00 00 00");
}

TEST(Tokens, EmptyBatchStillEndsWithDone) {
  EXPECT_EQ(Hex(BatchReply(BatchOutcome{})), "FD 00 00 00 00 00 00 00 00 00 00 00 00");
}

TEST(Tokens, ColumnsAndRowsOfEveryType) {
  const std::vector<Column> columns = {
      {"c", {Type::Char, 4, 0, 0}, false},    {"v", {Type::VarChar, 20, 0, 0}, true},
      {"i", {Type::Int, 0, 0, 0}, true},      {"s", {Type::SmallInt, 0, 0, 0}, true},
      {"n", {Type::Numeric, 0, 15, 2}, true}, {"d", {Type::DateTime, 0, 0, 0}, true},
  };
  Value c{Value::Kind::String, 0, 0, "\xD6\xD0  ", {}};  // 中 in code page 936, padded
  Value v{Value::Kind::String, 0, 0, "ab", {}};
  Value i{Value::Kind::Int, -2, 0, "", {}};
  Value s{Value::Kind::Int, 300, 0, "", {}};
  Value n{Value::Kind::Numeric, -123450, 2, "", {}};  // -1234.50
  Value d{Value::Kind::DateTime, 0, 0, "", {40681, 11340000}};
  const Value null;
  TokenWriter w;
  w.WriteResult(columns, {{c, v, i, s, n, d}, {c, null, null, null, null, null}});
  const std::string collation = "04 08 D0 00 00";
  EXPECT_EQ(Hex(w.Bytes()),
            "81 06 00 "
            "00 00 00 00 00 00 AF 04 00 " +
                collation +
                " 01 63 00 "
                "00 00 00 00 01 00 A7 14 00 " +
                collation +
                " 01 76 00 "
                "00 00 00 00 01 00 26 04 01 69 00 "
                "00 00 00 00 01 00 26 02 01 73 00 "
                "00 00 00 00 01 00 6C 09 0F 02 01 6E 00 "
                "00 00 00 00 01 00 6F 08 01 64 00 "
                "D1 04 00 D6 D0 20 20 02 00 61 62 04 FE FF FF FF 02 2C 01 "
                "09 00 3A E2 01 00 00 00 00 00 08 E9 9E 00 00 E0 08 AD 00 "
                "D1 04 00 D6 D0 20 20 FF FF 00 00 00 00");
}

TEST(Tokens, ValuesUnfitForTheirColumnGoOutAsNullAndAreCounted) {
  BatchOutcome o;
  StatementOutcome s;
  s.has_result = true;
  s.columns = {{"i", {Type::Int, 0, 0, 0}, true}, {"d", {Type::DateTime, 0, 0, 0}, true}};
  s.rows = {{Value{Value::Kind::String, 0, 0, "12", {}}, Value{}}};
  o.statements = {s};
  std::size_t mismatched = 0;
  EXPECT_EQ(Hex(BatchReply(o, &mismatched)),
            "81 02 00 00 00 00 00 01 00 26 04 01 69 00 00 00 00 00 01 00 6F 08 01 64 00 "
            "D1 00 00 FD 00 00 C1 00 00 00 00 00 00 00 00 00");
  EXPECT_EQ(mismatched, 1u);
}

std::string Login7Message(const std::string& user, const std::string& password) {
  return testing::Login7Payload(user, password);
}

TEST(Login7, ReadsUserAndDeobfuscatedPassword) {
  std::string detail;
  const auto l = ParseLogin7(Login7Message("sa", "S3cret!"), detail);
  ASSERT_TRUE(l) << detail;
  EXPECT_EQ(l->user, "sa");
  EXPECT_EQ(l->password, "S3cret!");
  EXPECT_EQ(l->packet_size, 4096u);
}

TEST(Login7, RefusesFieldsOutsideTheMessage) {
  std::string p = Login7Message("sa", "pw");
  std::string detail;
  EXPECT_FALSE(ParseLogin7(p.substr(0, p.size() - 1), detail));
  EXPECT_EQ(detail, "LOGIN7 string field outside the message");
  EXPECT_FALSE(ParseLogin7(p.substr(0, 93), detail));
  EXPECT_EQ(detail, "LOGIN7 shorter than its fixed part");
}

TEST(Prelogin, AnswersWithoutEncryptionAndRefusesABrokenTable) {
  // VERSION option pointing at 6 bytes, then the terminator.
  const std::string request = std::string("\x00\x00\x06\x00\x06\xFF", 6) + std::string(6, '\0');
  const auto reply = PreloginReply(request);
  ASSERT_TRUE(reply);
  EXPECT_EQ(Hex(*reply),
            "00 00 1A 00 06 01 00 20 00 01 02 00 21 00 01 03 00 22 00 00 04 00 22 00 01 FF "
            "0B 00 0C 38 00 00 02 00 00");
  EXPECT_FALSE(PreloginReply(std::string("\x00\x00\x06\x00\x07\xFF", 6) + std::string(6, '\0')));
  EXPECT_FALSE(PreloginReply(std::string("\x00\x00", 2)));
}

TEST(BatchText, SkipsAllHeadersAndRefusesBadLengths) {
  std::string detail;
  const std::string headers = std::string("\x16\x00\x00\x00\x12\x00\x00\x00\x02\x00", 10) +
                              std::string(8, '\0') + std::string("\x01\x00\x00\x00", 4);
  EXPECT_EQ(BatchText(headers + Le16("go"), detail), "go");
  EXPECT_FALSE(BatchText(std::string("\x17\x00\x00\x00", 4) + std::string(18, '\0'), detail));
  EXPECT_EQ(detail, "ALL_HEADERS length 23 out of range");
  EXPECT_FALSE(BatchText(headers + "x", detail));
  EXPECT_EQ(detail, "SQL batch text of an odd number of bytes");
}

}  // namespace
}  // namespace standin::tds
