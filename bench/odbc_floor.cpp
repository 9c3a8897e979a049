// The floor the upgrade's wire time is measured against: one connection through a data source,
// then COUNT single-statement inserts, each sent, completed and drained before the next, as the
// upgrade sends its per-person and per-name inserts.
//
//   odbc_floor DSN USER PASSWORD COUNT
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstdlib>
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
  Check(rc, SQL_HANDLE_STMT, st, "SQLExecDirect");
  while (SQL_SUCCEEDED(rc = SQLMoreResults(st))) {
  }
  Check(rc, SQL_HANDLE_STMT, st, "SQLMoreResults");
  SQLFreeHandle(SQL_HANDLE_STMT, st);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5) {
    std::fprintf(stderr, "usage: odbc_floor DSN USER PASSWORD COUNT\n");
    return 64;
  }
  const long count = std::atol(argv[4]);
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  Check(SQLConnect(dbc, reinterpret_cast<SQLCHAR*>(argv[1]), SQL_NTS,
                   reinterpret_cast<SQLCHAR*>(argv[2]), SQL_NTS,
                   reinterpret_cast<SQLCHAR*>(argv[3]), SQL_NTS),
        SQL_HANDLE_DBC, dbc, "SQLConnect");
  Exec(dbc, "create table bench_floor (n int)");
  for (long i = 0; i < count; ++i)
    Exec(dbc, "insert into bench_floor values(" + std::to_string(i) + ")");
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  std::printf("%ld\n", count + 1);
  return 0;
}
