// A TDS client at the byte level, for the tests that break or inspect the protocol.
#pragma once

#include <string>
#include <vector>

namespace standin::tds::testing {

// `ascii` as UCS-2LE.
std::string Ucs2(const std::string& ascii);

// A LOGIN7 payload for user and password (obfuscated as clients do), packet size 4096.
std::string Login7Payload(const std::string& user, const std::string& password);

// A SQL_BATCH payload: ALL_HEADERS with one transaction descriptor, then the text as UCS-2LE.
std::string BatchPayload(const std::string& ascii_text);

// Bytes as upper-case hex pairs separated by blanks.
std::string Hex(const std::string& bytes);

class RawClient {
 public:
  // Connects to 127.0.0.1:port; receive calls wait at most 5 s.
  explicit RawClient(int port);
  ~RawClient();
  RawClient(const RawClient&) = delete;
  RawClient& operator=(const RawClient&) = delete;

  bool Connected() const { return fd_ >= 0; }
  bool SendBytes(const std::string& bytes);
  // Sends a message split into packets of at most 4096 bytes, EOM on the last.
  bool SendMessage(unsigned char type, const std::string& payload);
  // The packets of one reply message, headers included, up to the one with EOM. Empty when
  // the server closed the connection (or 5 s passed) before a whole message arrived.
  std::vector<std::string> ReceiveMessage();
  // True when the server closes the connection within 5 s without sending anything more.
  bool ClosedByServer();
  // PRELOGIN and LOGIN7 as sa; true when the login reply ends with a DONE without error.
  bool Login();

 private:
  bool ReceiveExact(char* buf, std::size_t n);
  int fd_ = -1;
};

}  // namespace standin::tds::testing
