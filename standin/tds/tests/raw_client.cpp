#include "raw_client.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace standin::tds::testing {

std::string Ucs2(const std::string& ascii) {
  std::string out;
  for (const char c : ascii) {
    out += c;
    out += '\0';
  }
  return out;
}

std::string Login7Payload(const std::string& user, const std::string& password) {
  std::string fixed(94, '\0');
  const auto put16 = [&](std::size_t at, std::size_t v) {
    fixed[at] = static_cast<char>(v & 0xFF);
    fixed[at + 1] = static_cast<char>(v >> 8);
  };
  std::string data = Ucs2(user);
  put16(40, 94);
  put16(42, user.size());
  std::string pw = Ucs2(password);
  for (char& ch : pw) {
    const auto b = static_cast<unsigned char>(ch);
    ch = static_cast<char>((((b & 0x0F) << 4) | (b >> 4)) ^ 0xA5);
  }
  put16(44, 94 + data.size());
  put16(46, password.size());
  data += pw;
  fixed[4] = 0x04;  // TDS 7.4, little-endian
  fixed[7] = 0x74;
  fixed[9] = 0x10;  // packet size 4096
  const std::size_t total = fixed.size() + data.size();
  fixed[0] = static_cast<char>(total & 0xFF);
  fixed[1] = static_cast<char>(total >> 8);
  return fixed + data;
}

std::string BatchPayload(const std::string& ascii_text) {
  return std::string("\x16\x00\x00\x00\x12\x00\x00\x00\x02\x00", 10) + std::string(8, '\0') +
         std::string("\x01\x00\x00\x00", 4) + Ucs2(ascii_text);
}

std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789ABCDEF";
  std::string out;
  for (const char c : bytes) {
    const auto u = static_cast<unsigned char>(c);
    if (!out.empty()) out += ' ';
    out += digits[u >> 4];
    out += digits[u & 0x0F];
  }
  return out;
}

RawClient::RawClient(int port) {
  fd_ = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  if (fd_ >= 0 && connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    close(fd_);
    fd_ = -1;
  }
}

RawClient::~RawClient() {
  if (fd_ >= 0) close(fd_);
}

bool RawClient::SendBytes(const std::string& bytes) {
  return fd_ >= 0 &&
         send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool RawClient::SendMessage(unsigned char type, const std::string& payload) {
  std::size_t at = 0;
  do {
    const std::size_t n = std::min<std::size_t>(4096 - 8, payload.size() - at);
    const bool last = at + n == payload.size();
    const std::size_t length = n + 8;
    std::string packet = {static_cast<char>(type),
                          static_cast<char>(last ? 1 : 0),
                          static_cast<char>(length >> 8),
                          static_cast<char>(length & 0xFF),
                          0,
                          0,
                          1,
                          0};
    packet.append(payload, at, n);
    if (!SendBytes(packet)) return false;
    at += n;
  } while (at < payload.size());
  return true;
}

bool RawClient::ReceiveExact(char* buf, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, 5000) <= 0) return false;
    const ssize_t r = recv(fd_, buf + got, n - got, 0);
    if (r <= 0) return false;
    got += static_cast<std::size_t>(r);
  }
  return true;
}

std::vector<std::string> RawClient::ReceiveMessage() {
  std::vector<std::string> packets;
  if (fd_ < 0) return packets;
  for (int i = 0; i < 10000; ++i) {
    std::string packet(8, '\0');
    if (!ReceiveExact(packet.data(), 8)) return {};
    const std::size_t length =
        (static_cast<unsigned char>(packet[2]) << 8) | static_cast<unsigned char>(packet[3]);
    if (length < 8) return {};
    packet.resize(length);
    if (!ReceiveExact(packet.data() + 8, length - 8)) return {};
    packets.push_back(packet);
    if ((packet[1] & 1) != 0) break;
  }
  return packets;
}

bool RawClient::ClosedByServer() {
  char c;
  pollfd p{fd_, POLLIN, 0};
  if (poll(&p, 1, 5000) <= 0) return false;
  return recv(fd_, &c, 1, 0) == 0;
}

bool RawClient::Login() {
  const std::string prelogin = std::string("\x00\x00\x06\x00\x06\xFF", 6) + std::string(6, '\0');
  if (!SendMessage(0x12, prelogin) || ReceiveMessage().empty()) return false;
  if (!SendMessage(0x10, Login7Payload("sa", ""))) return false;
  const auto reply = ReceiveMessage();
  if (reply.size() != 1 || reply[0].size() < 8 + 13) return false;
  const std::string done = reply[0].substr(reply[0].size() - 13);
  return done == std::string("\xFD\x00\x00\x00\x00", 5) + std::string(8, '\0');
}

}  // namespace standin::tds::testing
