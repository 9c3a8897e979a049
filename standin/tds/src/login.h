// The two steps before a session exists: PRELOGIN and LOGIN7.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace standin::tds {

// The reply payload to a client's PRELOGIN: version, no encryption, no instance, MARS off.
// Returns nullopt when the client's option table is malformed.
std::optional<std::string> PreloginReply(std::string_view request);

struct Login7 {
  uint32_t tds_version = 0;
  std::size_t packet_size = 0;  // what the client asks for; 0: the server's choice
  std::string host, user, password, app, server, library, language, database;  // UTF-8
};

// Parses a LOGIN7 payload, password de-obfuscated. On failure returns nullopt and says why.
std::optional<Login7> ParseLogin7(std::string_view payload, std::string& detail);

// The packet size the server confirms for a request of `asked` bytes.
std::size_t NegotiatedPacketSize(std::size_t asked);

}  // namespace standin::tds
