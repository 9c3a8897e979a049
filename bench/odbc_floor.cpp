// The floor the upgrade's client time is measured against: one connection through a data source,
// then the batches an upgrade sent, replayed in order from its echo, each sent, completed and
// drained (rows fetched, not read) before the next. A batch the server refuses is passed over,
// as the upgrade passes over the one drop whose failure it tolerates.
//
//   odbc_floor DSN USER PASSWORD ECHO
//
// ECHO is the output of `upvrek-cli run`: each batch after a line "-- 批 N", the batch's lines up
// to the next such line; anything after the last batch must have been cut off. Prints the number
// of batches sent.
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

void Check(SQLRETURN rc, SQLSMALLINT type, SQLHANDLE handle, const char* what) {
  if (SQL_SUCCEEDED(rc) || rc == SQL_NO_DATA) return;
  SQLCHAR state[6] = {0}, text[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT len = 0;
  SQLGetDiagRec(type, handle, 1, state, &native, text, sizeof text, &len);
  std::fprintf(stderr, "%s failed: %s %s\n", what, state, text);
  std::exit(1);
}

void Exec(SQLHDBC dbc, const std::string& sql) {
  SQLHSTMT st = SQL_NULL_HSTMT;
  Check(SQLAllocHandle(SQL_HANDLE_STMT, dbc, &st), SQL_HANDLE_DBC, dbc, "SQLAllocHandle");
  SQLRETURN rc = SQLExecDirect(st, reinterpret_cast<SQLCHAR*>(const_cast<char*>(sql.c_str())),
                               static_cast<SQLINTEGER>(sql.size()));
  // Bounded: a lost connection keeps failing.
  for (int results = 0; results < 100000 && rc != SQL_NO_DATA; ++results) {
    SQLSMALLINT columns = 0;
    if (SQL_SUCCEEDED(rc) && SQL_SUCCEEDED(SQLNumResultCols(st, &columns)) && columns > 0)
      while (SQL_SUCCEEDED(SQLFetch(st))) {
      }
    rc = SQLMoreResults(st);
  }
  SQLFreeStmt(st, SQL_CLOSE);
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

// Reads an echo batch by batch, so that the floor holds one batch at a time.
class Echo {
 public:
  explicit Echo(const char* path) : in_(path) {
    if (!in_) {
      std::fprintf(stderr, "cannot read %s\n", path);
      std::exit(1);
    }
    while (std::getline(in_, line_) && !Header()) {
    }
  }
  // The next batch into batch; false after the last.
  bool Next(std::string& batch) {
    if (!in_ || !Header()) return false;
    batch.clear();
    bool first = true;
    while (std::getline(in_, line_) && !Header()) {
      if (!first) batch += '\n';
      batch += line_;
      first = false;
    }
    return true;
  }

 private:
  bool Header() const { return line_.rfind("-- 批 ", 0) == 0; }
  std::ifstream in_;
  std::string line_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: odbc_floor DSN USER PASSWORD ECHO\n");
    return 64;
  }
  Echo echo(argv[4]);
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  Check(SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(argv[1]), SQL_NTS,
                   reinterpret_cast<SQLCHAR*>(argv[2]), SQL_NTS,
                   reinterpret_cast<SQLCHAR*>(argv[3]), SQL_NTS),
        SQL_HANDLE_DBC, dbc, "SQLConnect");
  long sent = 0;
  for (std::string batch; echo.Next(batch); ++sent) Exec(dbc, batch);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  std::printf("%ld\n", sent);
  return 0;
}
