// Clients that break the protocol: the server refuses them and goes on serving others.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "fixture.h"

namespace standin::tds::testing {
namespace {

// Connects to 127.0.0.1:port, sends bytes, then either closes at once (vanish) or waits up to
// 5 s for the server to close. Returns what the server sent, or "timeout".
std::string raw_exchange(int port, const std::string& bytes, bool vanish) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd);
    return "no connection";
  }
  [[maybe_unused]] const ssize_t w = send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
  std::string got;
  if (!vanish) {
    for (int i = 0; i < 50; ++i) {
      pollfd p{fd, POLLIN, 0};
      if (poll(&p, 1, 100) <= 0) continue;
      char buf[512];
      const ssize_t n = recv(fd, buf, sizeof buf, 0);
      if (n <= 0) {
        close(fd);
        return got;
      }
      got.append(buf, static_cast<std::size_t>(n));
    }
    got = "timeout";
  }
  close(fd);
  return got;
}

TEST_F(ServerTest, MalformedAndVanishingClientsDoNotStopTheServer) {
  const int port = server_->port();
  struct Case {
    const char* what;
    std::string bytes;
    bool vanish;
    std::string refusal;  // the line the server writes to standard error
  } cases[] = {
      {"length below the header", std::string("\x12\x01\x00\x03\x00\x00\x00\x00", 8), false,
       "sqlstandin: connection 1: refused: packet length 3 out of range\n"},
      {"a batch before login", std::string("\x01\x01\x00\x0A\x00\x00\x01\x00xx", 10), false,
       "sqlstandin: connection 2: refused: expected LOGIN7, got packet type 1\n"},
      {"broken PRELOGIN table", std::string("\x12\x01\x00\x0A\x00\x00\x01\x00\x00\x00", 10), false,
       "sqlstandin: connection 3: refused: malformed PRELOGIN\n"},
      {"gone mid-packet", std::string("\x12\x01\x00\x40\x00\x00\x01\x00\x00\x00", 10), true,
       "sqlstandin: connection 4: refused: connection lost in the middle of a packet\n"},
  };
  std::string refusals;
  for (const Case& c : cases) {
    EXPECT_EQ(raw_exchange(port, c.bytes, c.vanish), "") << c.what;
    refusals += c.refusal;
  }
  EXPECT_EQ(client()->run("select id from asset where id = 1"), "exec SQL_SUCCESS\ncolumns id\nrow 1\n");
  EXPECT_EQ(read_whole_file(stderr_path()), refusals);
}

}  // namespace
}  // namespace standin::tds::testing
