// A Driver over the in-process stand-in engine: every connection is a session on one Database.
// Alias, user and password are accepted as given; the stand-in has no logins.
#pragma once

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

 private:
  standin::Database& db_;
};

}  // namespace platform
