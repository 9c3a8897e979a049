// A small ODBC client for the tests, wide API only, that renders everything the driver
// reports as text lines so that tests compare whole outputs.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <string>

namespace standin::tds::testing {

// "DRIVER=...;SERVER=127.0.0.1;PORT=port;TDS_Version=7.4;UID=...;PWD=...;ClientCharset=UTF-8"
std::string ConnectionString(int port, const std::string& user = "sa",
                             const std::string& password = "");

class OdbcClient {
 public:
  OdbcClient();
  ~OdbcClient();
  OdbcClient(const OdbcClient&) = delete;
  OdbcClient& operator=(const OdbcClient&) = delete;

  // Connects (login timeout 10 s). Returns "connect <RC>" and one "diag ..." line per
  // diagnostic record, each line ending in '\n'.
  std::string Connect(const std::string& connection);
  bool Connected() const { return connected_; }

  // Runs one batch and drains it: the return code of SQLExecDirect, then of every
  // SQLMoreResults (at most 50) until SQL_NO_DATA. Per step:
  //   exec|more <RC>
  //   diag <SQLSTATE> <native> <text>
  //   columns <name>, ...      and per row:  row <v>|<v>...   (values as text, NULL)
  //   count <N>                SQLRowCount, when the step has no columns
  // The statement has a query timeout of that many seconds.
  std::string Run(const std::string& batch_utf8, int timeout_seconds = 10);

  // Executes a batch and fetches only the first row of its first result, then closes the
  // statement with results pending. Returns the rendering of that first step.
  std::string RunFirstRowThenClose(const std::string& batch_utf8);

 private:
  std::string Step(SQLHSTMT stmt, const char* what, SQLRETURN rc);

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  bool connected_ = false;
};

}  // namespace standin::tds::testing
