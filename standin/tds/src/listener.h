// The TCP listener: one thread and one engine session per client connection.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "standin/engine.h"

namespace standin::tds {

class JsonLog;
class Connection;

struct ListenerConfig {
  // Accepted logins as user and password; empty means `sa` with an empty password.
  std::vector<std::pair<std::string, std::string>> logins;
  std::size_t fail_seq = 0;  // this batch (1-based over all clients) fails without running
  int fail_number = 50000;
  std::size_t drop_seq = 0;  // the connection that sends this batch is closed instead
  // This batch waits before it runs until its client cancels it (ATTENTION) or goes away: a
  // server frozen in the middle of a run. Batches of other clients wait behind it.
  std::size_t hold_seq = 0;
  JsonLog* log = nullptr;  // not owned; may be null
};

class Listener {
 public:
  // The database and the log must outlive the listener and every connection thread.
  Listener(Database& db, ListenerConfig config);
  ~Listener();
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  // Binds 127.0.0.1:port (0: any free port) and returns the port. Throws std::runtime_error.
  uint16_t Bind(uint16_t port);
  // Accepts clients for ever, each served on a detached thread.
  [[noreturn]] void Run();

 private:
  void Serve(int fd, uint16_t spid, std::size_t id);
  // Reads PRELOGIN and LOGIN7 and answers them; on success fills who the client is.
  bool Login(Connection& c, std::size_t id, SessionInfo& who);
  bool Accepted(const std::string& user, const std::string& password) const;
  // Runs one batch and answers it. False when the connection is to be closed.
  bool HandleBatch(Connection& c, Session& session, const std::string& text, std::size_t id);

  Database& db_;
  ListenerConfig config_;
  int listen_fd_ = -1;
  std::atomic<std::size_t> next_connection_{1};
  // Held from a batch's arrival until it is logged, so that sequence numbers, execution and
  // log lines all follow arrival order.
  std::mutex batch_mutex_;
  std::size_t seq_ = 0;
  std::size_t current_seq_ = 0;
};

}  // namespace standin::tds
