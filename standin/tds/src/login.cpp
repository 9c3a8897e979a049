#include "login.h"

#include <cstdint>

#include "framing.h"
#include "text/text.h"

namespace standin::tds {
namespace {

uint32_t Le32(std::string_view s, std::size_t at) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(s[at + i]);
  return v;
}

uint16_t Le16(std::string_view s, std::size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(s[at]) |
                               (static_cast<unsigned char>(s[at + 1]) << 8));
}

uint16_t Be16(std::string_view s, std::size_t at) {
  return static_cast<uint16_t>((static_cast<unsigned char>(s[at]) << 8) |
                               static_cast<unsigned char>(s[at + 1]));
}

constexpr std::size_t kLogin7FixedSize = 94;

}  // namespace

std::optional<std::string> PreloginReply(std::string_view request) {
  // The option table must end with 0xFF and every option's data lie inside the message.
  std::size_t at = 0;
  for (;;) {
    if (at >= request.size()) return std::nullopt;
    if (static_cast<unsigned char>(request[at]) == 0xFF) break;
    if (at + 5 > request.size()) return std::nullopt;
    const std::size_t offset = Be16(request, at + 1);
    const std::size_t length = Be16(request, at + 3);
    if (offset + length > request.size()) return std::nullopt;
    at += 5;
  }

  struct Option {
    uint8_t token;
    std::string data;
  };
  const Option options[] = {
      {0x00, std::string("\x0B\x00\x0C\x38\x00\x00", 6)},  // VERSION
      {0x01, std::string("\x02", 1)},                      // ENCRYPTION: not supported
      {0x02, std::string("\x00", 1)},                      // INSTOPT
      {0x03, std::string()},                               // THREADID
      {0x04, std::string("\x00", 1)},                      // MARS off
  };
  std::string table;
  std::string data;
  std::size_t offset = std::size(options) * 5 + 1;
  for (const Option& o : options) {
    table += static_cast<char>(o.token);
    table += static_cast<char>((offset >> 8) & 0xFF);
    table += static_cast<char>(offset & 0xFF);
    table += static_cast<char>((o.data.size() >> 8) & 0xFF);
    table += static_cast<char>(o.data.size() & 0xFF);
    data += o.data;
    offset += o.data.size();
  }
  table += '\xFF';
  return table + data;
}

std::optional<Login7> ParseLogin7(std::string_view p, std::string& detail) {
  if (p.size() < kLogin7FixedSize) {
    detail = "LOGIN7 shorter than its fixed part";
    return std::nullopt;
  }
  Login7 login;
  login.tds_version = Le32(p, 4);
  login.packet_size = Le32(p, 8);

  bool ok = true;
  // A string field: offset and length in characters, both 16 bits, at `at` in the fixed part.
  const auto field = [&](std::size_t at, bool obfuscated) {
    const std::size_t offset = Le16(p, at);
    const std::size_t bytes = 2 * static_cast<std::size_t>(Le16(p, at + 2));
    if (bytes == 0) return std::string();
    if (offset < kLogin7FixedSize || offset + bytes > p.size()) {
      ok = false;
      return std::string();
    }
    std::string raw(p.substr(offset, bytes));
    if (obfuscated) {
      for (char& c : raw) {
        const auto b = static_cast<unsigned char>(static_cast<unsigned char>(c) ^ 0xA5);
        c = static_cast<char>(((b & 0x0F) << 4) | (b >> 4));
      }
    }
    return text::Utf16LeToUtf8(raw, text::Mode::kLossy);
  };
  login.host = field(36, false);
  login.user = field(40, false);
  login.password = field(44, true);
  login.app = field(48, false);
  login.server = field(52, false);
  login.library = field(60, false);
  login.language = field(64, false);
  login.database = field(68, false);
  if (!ok) {
    detail = "LOGIN7 string field outside the message";
    return std::nullopt;
  }
  return login;
}

std::size_t NegotiatedPacketSize(std::size_t asked) {
  if (asked == 0) return packet::kDefaultSize;
  if (asked < packet::kMinSize) return packet::kMinSize;
  if (asked > packet::kMaxSize) return packet::kMaxSize;
  return asked;
}

}  // namespace standin::tds
