#include "listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <stdexcept>
#include <thread>

#include "batch.h"
#include "framing.h"
#include "json_log.h"
#include "login.h"
#include "tokens.h"

namespace standin::tds {
namespace {

constexpr std::size_t kMaxLoginMessage = 64 * 1024;
constexpr std::size_t kMaxBatchMessage = 32 * 1024 * 1024;
constexpr uint16_t kFirstSpid = 51;

// One write per line, so that lines of concurrent connections do not interleave.
void Say(std::size_t id, const std::string& what) {
  const std::string line = "sqlstandin: connection " + std::to_string(id) + ": " + what + "\n";
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

bool AsciiIequal(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    const auto lower = [](char c) {
      return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

std::string AttentionReply() {
  TokenWriter w;
  w.WriteDone(done::kAttention, 0, 0);
  return w.Bytes();
}

}  // namespace

Listener::Listener(Database& db, ListenerConfig config) : db_(db), config_(std::move(config)) {
  if (config_.logins.empty()) config_.logins.emplace_back("sa", "");
  if (config_.fail_seq > 0) {
    const std::size_t target = config_.fail_seq;
    db_.FailWhen([this, target](std::size_t, std::string_view) { return current_seq_ == target; },
                 config_.fail_number,
                 "Batch " + std::to_string(target) + " failed: error injected by the stand-in.");
  }
  if (config_.hold_seq > 0) {
    const std::size_t target = config_.hold_seq;
    db_.HoldWhen([this, target](std::size_t, std::string_view) { return current_seq_ == target; });
  }
}

Listener::~Listener() {
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

uint16_t Listener::Bind(uint16_t port) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (listen_fd_ < 0) throw std::runtime_error(std::string("socket: ") + std::strerror(errno));
  const int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(port);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
    throw std::runtime_error("bind 127.0.0.1:" + std::to_string(port) + ": " +
                             std::strerror(errno));
  if (::listen(listen_fd_, 64) != 0)
    throw std::runtime_error(std::string("listen: ") + std::strerror(errno));
  socklen_t len = sizeof addr;
  if (::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0)
    throw std::runtime_error(std::string("getsockname: ") + std::strerror(errno));
  return ntohs(addr.sin_port);
}

void Listener::Run() {
  for (;;) {
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) {
      if (errno != EINTR) {
        std::cerr << "sqlstandin: accept: " << std::strerror(errno) << std::endl;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      continue;
    }
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    const std::size_t id = next_connection_++;
    const auto spid = static_cast<uint16_t>(kFirstSpid + (id - 1) % 30000);
    try {
      std::thread([this, fd, spid, id] { Serve(fd, spid, id); }).detach();
    } catch (const std::exception& e) {
      Say(id, std::string("refused: no thread: ") + e.what());
      ::close(fd);
    }
  }
}

bool Listener::Accepted(const std::string& user, const std::string& password) const {
  for (const auto& [u, p] : config_.logins)
    if (AsciiIequal(u, user) && p == password) return true;
  return false;
}

bool Listener::Login(Connection& c, std::size_t id, SessionInfo& who) {
  Message m;
  std::string detail;
  ReadStatus st = c.ReadMessage(m, kMaxLoginMessage, detail);
  if (st != ReadStatus::Ok) {
    if (st == ReadStatus::Malformed) Say(id, "refused: " + detail);
    return false;
  }
  if (m.type == packet::kPrelogin) {
    const auto reply = PreloginReply(m.payload);
    if (!reply) {
      Say(id, "refused: malformed PRELOGIN");
      return false;
    }
    if (!c.SendReply(*reply)) return false;
    st = c.ReadMessage(m, kMaxLoginMessage, detail);
    if (st != ReadStatus::Ok) {
      if (st == ReadStatus::Malformed) Say(id, "refused: " + detail);
      return false;
    }
  }
  if (m.type != packet::kLogin7) {
    Say(id, "refused: expected LOGIN7, got packet type " + std::to_string(m.type));
    return false;
  }
  const auto l = ParseLogin7(m.payload, detail);
  if (!l) {
    Say(id, "refused: " + detail);
    return false;
  }
  TokenWriter w;
  if (!Accepted(l->user, l->password)) {
    Say(id, "refused: login failed for user '" + l->user + "'");
    w.WriteMessage(standin::Message{18456, 14, 1, "Login failed for user '" + l->user + "'."});
    w.WriteDone(done::kError, 0, 0);
    c.SendReply(w.Bytes());
    return false;
  }
  const std::size_t size = NegotiatedPacketSize(l->packet_size);
  const std::string& db = db_.Name();
  w.WriteEnvChange(1, db, "master");
  w.WriteMessage(standin::Message{5701, 0, 2, "Changed database context to '" + db + "'."});
  w.WriteEnvCollation();
  w.WriteEnvChange(2, "us_english", "");
  w.WriteMessage(standin::Message{5703, 0, 1, "Changed language setting to us_english."});
  w.WriteLoginAck("Microsoft SQL Server");
  w.WriteEnvChange(4, std::to_string(size), std::to_string(packet::kDefaultSize));
  w.WriteDone(0, 0, 0);
  if (!c.SendReply(w.Bytes())) return false;
  c.SetPacketSize(size);
  who.host = l->host;
  who.program = l->app;
  who.login = l->user;
  return true;
}

bool Listener::HandleBatch(Connection& c, Session& session, const std::string& text,
                           std::size_t id) {
  std::string reply;
  {
    std::lock_guard lock(batch_mutex_);
    const std::size_t seq = ++seq_;
    if (seq == config_.drop_seq) {
      if (config_.log != nullptr) config_.log->Write(seq, text, nullptr);
      Say(id, "dropped at batch " + std::to_string(seq) + " as asked");
      return false;
    }
    current_seq_ = seq;
    // The server listens while a batch runs ([MS-TDS] 3.3.5.9): an ATTENTION, read between
    // statements and while the batch is held, stops the batch before its next statement, and the
    // reply is the DONE with the attention flag alone, since the client discards everything up
    // to it (2.2.4.3). A connection that ends stops the batch too. Another request, which the
    // server would queue, never comes from a client without MARS: the connection is closed.
    bool attention = false, broken = false;
    const auto cancelled = [&]() -> bool {
      if (attention || broken) return true;
      if (!c.Readable()) return false;
      Message m;
      std::string detail;
      const ReadStatus st = c.ReadMessage(m, kMaxBatchMessage, detail);
      if (st == ReadStatus::Ok && m.type == packet::kAttention) {
        attention = true;
      } else {
        broken = true;
        if (st == ReadStatus::Malformed) Say(id, "refused: " + detail);
        if (st == ReadStatus::Ok)
          Say(id, "refused: packet type " + std::to_string(m.type) + " while a batch runs");
      }
      return true;
    };
    BatchOutcome outcome;
    try {
      outcome = session.Execute(text, cancelled);
    } catch (const std::exception& e) {
      Say(id, std::string("engine threw: ") + e.what());
      StatementOutcome s;
      s.failed = true;
      s.messages.push_back(
          standin::Message{50000, 16, 1, std::string("Stand-in engine failure: ") + e.what()});
      outcome.statements.push_back(std::move(s));
    }
    current_seq_ = 0;
    if (config_.log != nullptr)
      config_.log->Write(seq, text, outcome.FirstError(), outcome.cancelled);
    if (broken) return false;
    if (attention) {
      Say(id, "batch " + std::to_string(seq) + " cancelled by the client");
      return c.SendReply(AttentionReply());
    }
    std::size_t mismatched = 0;
    reply = BatchReply(outcome, &mismatched);
    if (mismatched > 0)
      Say(id, "engine returned " + std::to_string(mismatched) +
                  " values of a kind unfit for their column in batch " + std::to_string(seq) +
                  "; sent as NULL");
  }
  return c.SendReply(reply);
}

void Listener::Serve(int fd, uint16_t spid, std::size_t id) {
  try {
    Connection c(fd, spid);
    SessionInfo who;
    who.spid = spid;
    if (!Login(c, id, who)) return;
    // Ends with the connection, however it closes: the session's application locks go with it.
    Session session(db_, who);
    for (;;) {
      Message m;
      std::string detail;
      const ReadStatus st = c.ReadMessage(m, kMaxBatchMessage, detail);
      if (st == ReadStatus::Closed) return;
      if (st == ReadStatus::Malformed) {
        Say(id, "refused: " + detail);
        return;
      }
      switch (m.type) {
        case packet::kSqlBatch: {
          const auto text = BatchText(m.payload, detail);
          if (!text) {
            Say(id, "refused: " + detail);
            return;
          }
          if (!HandleBatch(c, session, *text, id)) return;
          break;
        }
        case packet::kAttention:
          if (!c.SendReply(AttentionReply())) return;
          break;
        case packet::kRpc:
        case packet::kTransactionManager:
          Say(id, "refused: request type " + std::to_string(m.type) + " is not supported");
          if (!c.SendReply(RefusalReply(50000, "The stand-in accepts only SQL batches."))) return;
          break;
        default:
          Say(id, "refused: unexpected packet type " + std::to_string(m.type));
          return;
      }
    }
  } catch (const std::exception& e) {
    Say(id, std::string("closed after an internal error: ") + e.what());
  }
}

}  // namespace standin::tds
