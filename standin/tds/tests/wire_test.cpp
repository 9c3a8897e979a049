// The listener at the byte level: the login reply, ATTENTION, replies split into packets, and
// clients that break the protocol, which the server refuses while it goes on serving others.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fixture.h"
#include "raw_client.h"

namespace standin::tds::testing {
namespace {

std::string U16le(std::size_t v) {
  return {static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)};
}

// A B_VARCHAR: count of characters, then UCS-2LE.
std::string BVarchar(const std::string& ascii) {
  return static_cast<char>(ascii.size()) + Ucs2(ascii);
}

std::string EnvChange(char type, const std::string& new_value, const std::string& old_value) {
  const std::string body = type + BVarchar(new_value) + BVarchar(old_value);
  return "\xE3" + U16le(body.size()) + body;
}

std::string Info(uint32_t number, char state, const std::string& text) {
  std::string body = {
      static_cast<char>(number & 0xFF), static_cast<char>((number >> 8) & 0xFF), 0, 0, state, 0};
  body += U16le(text.size()) + Ucs2(text) + BVarchar("SQLSTANDIN") + '\0' +
          std::string("\x01\x00\x00\x00", 4);
  return "\xAB" + U16le(body.size()) + body;
}

std::string ErrorToken(uint32_t number, char state, char severity, const std::string& text,
                       uint32_t line) {
  std::string body = {static_cast<char>(number & 0xFF),
                      static_cast<char>((number >> 8) & 0xFF),
                      0,
                      0,
                      state,
                      severity};
  body += U16le(text.size()) + Ucs2(text) + BVarchar("SQLSTANDIN") + '\0' +
          std::string{static_cast<char>(line), 0, 0, 0};
  return "\xAA" + U16le(body.size()) + body;
}

TEST_F(ServerTest, ErrorTokensCarryTheLineTheirStatementStartsOn) {
  RawClient c(server_->Port());
  ASSERT_TRUE(c.Login());
  ASSERT_TRUE(c.SendMessage(
      0x01, BatchPayload("update asset set qty = 4 where id = 1\r\n\r\n  alter table\n"
                         "  nosuch add b int")));
  const auto reply = c.ReceiveMessage();
  ASSERT_EQ(reply.size(), 1u);
  const std::string expected =
      "\xFD\x11" + std::string(3, '\0') + "\x01" + std::string(7, '\0') +
      ErrorToken(4902, 1, 16,
                 "Cannot find the object \"nosuch\" because it does not exist or you do not "
                 "have permissions.",
                 3) +
      "\xFD\x02" + std::string(11, '\0');
  EXPECT_EQ(Hex(reply[0].substr(8)), Hex(expected));
}

TEST_F(ServerTest, LoginReplyFollowsTheServersOrder) {
  RawClient c(server_->Port());
  ASSERT_TRUE(
      c.SendMessage(0x12, std::string("\x00\x00\x06\x00\x06\xFF", 6) + std::string(6, '\0')));
  ASSERT_EQ(c.ReceiveMessage().size(), 1u);
  ASSERT_TRUE(c.SendMessage(0x10, Login7Payload("sa", "")));
  const auto reply = c.ReceiveMessage();
  ASSERT_EQ(reply.size(), 1u);
  const std::string collation = std::string("\xE3\x08\x00\x07\x05\x04\x08\xD0\x00\x00\x00", 11);
  const std::string login_ack =
      "\xAD" + U16le(1 + 4 + 1 + 40 + 4) + "\x01" + std::string("\x74\x00\x00\x04", 4) +
      BVarchar("Microsoft SQL Server") + std::string("\x0B\x00\x0C\x38", 4);
  const std::string payload = EnvChange(1, "vrek", "master") +
                              Info(5701, 2, "Changed database context to 'vrek'.") + collation +
                              EnvChange(2, "us_english", "") +
                              Info(5703, 1, "Changed language setting to us_english.") + login_ack +
                              EnvChange(4, "4096", "4096") + "\xFD" + std::string(12, '\0');
  // Reply type, EOM, length, SPID 51 of the first connection, packet id 2 after PRELOGIN's.
  const std::string header = "\x04\x01" +
                             std::string{static_cast<char>((payload.size() + 8) >> 8),
                                         static_cast<char>((payload.size() + 8) & 0xFF)} +
                             std::string("\x00\x33\x02\x00", 4);
  EXPECT_EQ(Hex(reply[0]), Hex(header + payload));
}

TEST_F(ServerTest, AttentionGetsADoneWithTheAttentionBit) {
  RawClient c(server_->Port());
  ASSERT_TRUE(c.Login());
  ASSERT_TRUE(c.SendBytes(std::string("\x06\x01\x00\x08\x00\x00\x01\x00", 8)));
  const auto reply = c.ReceiveMessage();
  ASSERT_EQ(reply.size(), 1u);
  EXPECT_EQ(Hex(reply[0]), "04 01 00 15 00 33 03 00 FD 20 00 00 00 00 00 00 00 00 00 00 00");
}

TEST_F(ServerTest, LongRequestsAndRepliesAreSplitIntoPackets) {
  RawClient c(server_->Port());
  ASSERT_TRUE(c.Login());
  // 12 KB of request text, three packets; a reply of over 6000 bytes.
  const std::string batch =
      "select '" + std::string(3000, 'x') + "', '" + std::string(3000, 'y') + "'";
  ASSERT_TRUE(c.SendMessage(0x01, BatchPayload(batch)));
  const auto reply = c.ReceiveMessage();
  std::string shape;
  std::string payload;
  for (const std::string& p : reply) {
    shape += std::to_string(p.size()) + (p[1] == 1 ? " last" : " more") + "; ";
    payload += p.substr(8);
  }
  ASSERT_EQ(reply.size(), 2u);
  EXPECT_EQ(shape, "4096 more; " + std::to_string(payload.size() - 4088 + 8) + " last; ");
  EXPECT_EQ(Hex(payload.substr(payload.size() - 13)), "FD 10 00 C1 00 01 00 00 00 00 00 00 00");
  EXPECT_NE(payload.find(std::string(3000, 'x') + '\xB8' + '\x0B' + std::string(3000, 'y')),
            std::string::npos);
}

TEST_F(ServerTest, MalformedAndVanishingClientsDoNotStopTheServer) {
  const int port = server_->Port();
  struct Case {
    const char* what;
    bool login_first;
    std::string bytes;
    bool vanish;
    std::string refusal;  // what the server writes to standard error
  } cases[] = {
      {"length below the header", false, std::string("\x12\x01\x00\x03\x00\x00\x00\x00", 8), false,
       "refused: packet length 3 out of range"},
      {"a batch before login", false, std::string("\x01\x01\x00\x0A\x00\x00\x01\x00xx", 10), false,
       "refused: expected LOGIN7, got packet type 1"},
      {"broken PRELOGIN table", false, std::string("\x12\x01\x00\x0A\x00\x00\x01\x00\x00\x00", 10),
       false, "refused: malformed PRELOGIN"},
      {"gone mid-packet", false, std::string("\x12\x01\x00\x40\x00\x00\x01\x00\x00\x00", 10), true,
       "refused: connection lost in the middle of a packet"},
      {"LOGIN7 too short", false, std::string("\x10\x01\x00\x0A\x00\x00\x01\x00\x00\x00", 10),
       false, "refused: LOGIN7 shorter than its fixed part"},
      {"ALL_HEADERS too long", true,
       std::string("\x01\x01\x00\x0E\x00\x00\x01\x00\x30\x00\x00\x00\x41\x00", 14), false,
       "refused: ALL_HEADERS length 48 out of range"},
      {"packet type changes", true,
       std::string("\x01\x00\x00\x0A\x00\x00\x01\x00\x00\x00", 10) +
           std::string("\x03\x01\x00\x0A\x00\x00\x01\x00\x00\x00", 10),
       false, "refused: packet type changed within a message"},
      {"gone mid-message after login", true,
       std::string("\x01\x00\x00\x0A\x00\x00\x01\x00\x00\x00", 10), true,
       "refused: connection lost in the middle of a message"},
  };
  std::string refusals;
  int id = 0;
  for (const Case& c : cases) {
    {
      RawClient raw(port);
      if (c.login_first) {
        ASSERT_TRUE(raw.Login()) << c.what;
      }
      ASSERT_TRUE(raw.SendBytes(c.bytes)) << c.what;
      if (!c.vanish) {
        EXPECT_TRUE(raw.ClosedByServer()) << c.what;
      }
    }
    ++id;
    refusals += "sqlstandin: connection " + std::to_string(id) + ": " + c.refusal + "\n";
    // The refusal of a client that vanished is written when the server notices; wait for it
    // (bounded) so that the lines come in the order of the cases.
    for (int i = 0; i < 500 && ReadFile(StderrPath()) != refusals; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  EXPECT_EQ(Client()->Run("select id from asset where id = 1"),
            "exec SQL_SUCCESS\ncolumns id\nrow 1\n");
  EXPECT_EQ(ReadFile(StderrPath()), refusals);
}

}  // namespace
}  // namespace standin::tds::testing
