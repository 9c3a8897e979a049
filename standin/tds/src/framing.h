// TDS packet framing over a connected TCP socket.
//
// A message is one or more packets of the same type; the last has the end-of-message bit.
// Every length read from the peer is checked against the limits below before it is used, so a
// malformed or hostile peer can only get its connection closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace standin::tds {

namespace packet {
inline constexpr uint8_t kSqlBatch = 0x01;
inline constexpr uint8_t kRpc = 0x03;
inline constexpr uint8_t kReply = 0x04;
inline constexpr uint8_t kAttention = 0x06;
inline constexpr uint8_t kTransactionManager = 0x0E;
inline constexpr uint8_t kLogin7 = 0x10;
inline constexpr uint8_t kPrelogin = 0x12;
inline constexpr std::size_t kHeaderSize = 8;
inline constexpr std::size_t kMinSize = 512;
inline constexpr std::size_t kMaxSize = 32767;
inline constexpr std::size_t kDefaultSize = 4096;
}  // namespace packet

struct Message {
  uint8_t type = 0;
  std::string payload;  // all packets' payloads, headers removed
};

// Why a connection ended; `detail` says what was refused, for standard error.
enum class ReadStatus { Ok, Closed, Malformed };

// Owns the socket; closes it when destroyed.
class Connection {
 public:
  explicit Connection(int fd, uint16_t spid) : fd_(fd), spid_(spid) {}
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Whether something (a message, or the end of the connection) can be read without waiting.
  bool Readable() const;

  // Reads one whole message of at most max_payload bytes. On Malformed, detail says why.
  ReadStatus ReadMessage(Message& out, std::size_t max_payload, std::string& detail);

  // Sends payload as a reply message split at the negotiated packet size. False when the
  // peer is gone.
  bool SendReply(const std::string& payload);

  void SetPacketSize(std::size_t size) { packet_size_ = size; }
  std::size_t PacketSize() const { return packet_size_; }

 private:
  bool ReadExact(char* buf, std::size_t n);
  bool WriteAll(const char* buf, std::size_t n);

  int fd_;
  uint16_t spid_;
  std::size_t packet_size_ = packet::kDefaultSize;
  uint8_t next_packet_id_ = 1;
};

}  // namespace standin::tds
