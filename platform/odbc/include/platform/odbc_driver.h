// A Driver over ODBC (unixODBC on Linux, the system's ODBC on Windows), wide entry points only.
//
// The alias names an ODBC data source. The user name and password arrive as code page 936 bytes
// (any byte, NUL included) and reach the driver manager as UTF-16 with explicit lengths through
// SQLConnectW, never inside a connection string. Batches go as UTF-16 in one SQLExecDirectW.
// Autocommit stays on: every statement commits by itself.
//
// Execute and Open drain every result of the batch and raise every diagnostic of every failed
// statement. One limit comes from unixODBC: when the first statement of a batch fails, it
// reports no later result, so only that statement's diagnostics are raised (the server still
// runs the rest of the batch unless the error ends it).
//
// Results: integer columns read as Variant::Integer, decimal and numeric as Variant::Numeric
// (as Variant::Text when the value does not fit 64 bits), date-time and date as
// Variant::DateTime, everything else as UTF-8 text; NULL as Variant().
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/database.h"

namespace platform {

namespace odbc {
class Environment;
}

class OdbcDriver : public Driver {
 public:
  // Allocates the ODBC environment; throws EDatabaseError when the driver manager refuses.
  // A connection attempt gives up after login_timeout_seconds.
  explicit OdbcDriver(int login_timeout_seconds = 15);
  ~OdbcDriver() override;
  OdbcDriver(const OdbcDriver&) = delete;
  OdbcDriver& operator=(const OdbcDriver&) = delete;

  // alias is UTF-8; user and password are code page 936 bytes. Connections may outlive the
  // driver. Throws EDatabaseError with every diagnostic of the failed attempt, joined by line
  // breaks, and the native number of the first.
  // The password's wide copies are wiped as soon as SQLConnectW has returned.
  std::unique_ptr<Connection> Connect(const std::string& alias, const std::string& user,
                                      const std::string& password) override;
  // Sets SQL_ATTR_QUERY_TIMEOUT on every statement. The driver then cancels a batch whose
  // server has not answered in time: FreeTDS sends a TDS ATTENTION, waits for the DONE that
  // acknowledges it and reports HYT00 "Timeout expired" (then HY008 "Operation was cancelled");
  // a server that does not acknowledge within another such wait loses the connection.
  void SetBatchTimeout(int seconds) override;

  // The storage of ours that held a password: address and size in bytes.
  using Storage = std::vector<std::pair<const void*, std::size_t>>;
  // For tests: called after every SQLConnectW, connected or not, with the storage that held the
  // password; it is wiped by then and still allocated until the call returns.
  std::function<void(const Storage&)> PasswordWiped;

 private:
  std::shared_ptr<odbc::Environment> env_;
  int login_timeout_seconds_;
  int batch_timeout_seconds_ = 0;
};

}  // namespace platform
