#include "framing.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace standin::tds {

Connection::~Connection() {
  if (fd_ >= 0) {
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
  }
}

bool Connection::Readable() const {
  pollfd p{fd_, POLLIN, 0};
  int r;
  do {
    r = ::poll(&p, 1, 0);
  } while (r < 0 && errno == EINTR);
  return r > 0;
}

bool Connection::ReadExact(char* buf, std::size_t n) {
  std::size_t got = 0;
  while (got < n) {
    const ssize_t r = ::recv(fd_, buf + got, n - got, 0);
    if (r > 0) {
      got += static_cast<std::size_t>(r);
    } else if (r < 0 && errno == EINTR) {
      continue;
    } else {
      return false;
    }
  }
  return true;
}

bool Connection::WriteAll(const char* buf, std::size_t n) {
  std::size_t sent = 0;
  while (sent < n) {
    const ssize_t r = ::send(fd_, buf + sent, n - sent, MSG_NOSIGNAL);
    if (r > 0) {
      sent += static_cast<std::size_t>(r);
    } else if (r < 0 && errno == EINTR) {
      continue;
    } else {
      return false;
    }
  }
  return true;
}

ReadStatus Connection::ReadMessage(Message& out, std::size_t max_payload, std::string& detail) {
  out.type = 0;
  out.payload.clear();
  bool first = true;
  for (;;) {
    unsigned char header[packet::kHeaderSize];
    if (!ReadExact(reinterpret_cast<char*>(header), sizeof header)) {
      if (!first) detail = "connection lost in the middle of a message";
      return first ? ReadStatus::Closed : ReadStatus::Malformed;
    }
    const uint8_t type = header[0];
    const uint8_t status = header[1];
    const std::size_t length = (static_cast<std::size_t>(header[2]) << 8) | header[3];
    if (length < packet::kHeaderSize || length > packet::kMaxSize) {
      detail = "packet length " + std::to_string(length) + " out of range";
      return ReadStatus::Malformed;
    }
    if (type == packet::kAttention && !first) {
      // The client gave up sending the request: what arrived of it is dropped.
      out.payload.clear();
    } else if (!first && type != out.type) {
      detail = "packet type changed within a message";
      return ReadStatus::Malformed;
    }
    out.type = type;
    const std::size_t body = length - packet::kHeaderSize;
    if (out.payload.size() + body > max_payload) {
      detail = "message longer than " + std::to_string(max_payload) + " bytes";
      return ReadStatus::Malformed;
    }
    const std::size_t at = out.payload.size();
    out.payload.resize(at + body);
    if (body > 0 && !ReadExact(out.payload.data() + at, body)) {
      detail = "connection lost in the middle of a packet";
      return ReadStatus::Malformed;
    }
    if ((status & 0x01) != 0 || type == packet::kAttention) return ReadStatus::Ok;
    first = false;
  }
}

bool Connection::SendReply(const std::string& payload) {
  const std::size_t chunk = packet_size_ - packet::kHeaderSize;
  std::size_t at = 0;
  std::string buf;
  do {
    const std::size_t n = std::min(chunk, payload.size() - at);
    const bool last = at + n == payload.size();
    const std::size_t length = n + packet::kHeaderSize;
    buf.clear();
    buf += static_cast<char>(packet::kReply);
    buf += static_cast<char>(last ? 0x01 : 0x00);
    buf += static_cast<char>((length >> 8) & 0xFF);
    buf += static_cast<char>(length & 0xFF);
    buf += static_cast<char>((spid_ >> 8) & 0xFF);
    buf += static_cast<char>(spid_ & 0xFF);
    buf += static_cast<char>(next_packet_id_++);
    buf += '\0';
    buf.append(payload, at, n);
    if (!WriteAll(buf.data(), buf.size())) return false;
    at += n;
  } while (at < payload.size());
  return true;
}

}  // namespace standin::tds
