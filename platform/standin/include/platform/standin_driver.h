// A Driver over the in-process stand-in engine: every connection is a session on one Database.
// Alias, user and password are accepted as given; the stand-in has no logins.
#pragma once

#include <string>

#include "platform/database.h"

namespace standin {
class Database;
}

namespace platform {

class StandinDriver : public Driver {
 public:
  explicit StandinDriver(standin::Database& db) : db_(db) {}
  std::unique_ptr<Connection> Connect(const std::string& alias, const std::string& user,
                                      const std::string& password) override;
  // A batch still running (or held) when the time is up is cancelled as a client's ATTENTION
  // cancels it, and throws EDatabaseError "Timeout expired" with SQLSTATE HYT00.
  void SetBatchTimeout(int seconds) override;

  // The host and program names the sessions of later connections show in master..sysprocesses,
  // as a client's login gives them; empty unless set.
  std::string Host, Program;

 private:
  standin::Database& db_;
  int batch_timeout_seconds_ = 0;
};

}  // namespace platform
