#include "odbc_client.h"

#include <cstring>
#include <vector>

#include "text/text.h"

namespace standin::tds::testing {
namespace {

std::vector<SQLWCHAR> Wide(const std::string& utf8) {
  const std::string bytes = text::Utf8ToUtf16Le(utf8, text::Mode::kLossy);
  std::vector<SQLWCHAR> w(bytes.size() / 2 + 1, 0);
  std::memcpy(w.data(), bytes.data(), bytes.size());
  return w;
}

std::string Narrow(const SQLWCHAR* w, std::size_t units) {
  std::string bytes(units * 2, '\0');
  std::memcpy(bytes.data(), w, bytes.size());
  return text::Utf16LeToUtf8(bytes, text::Mode::kLossy);
}

std::string RcName(SQLRETURN rc) {
  switch (rc) {
    case SQL_SUCCESS:
      return "SQL_SUCCESS";
    case SQL_SUCCESS_WITH_INFO:
      return "SQL_SUCCESS_WITH_INFO";
    case SQL_NO_DATA:
      return "SQL_NO_DATA";
    case SQL_ERROR:
      return "SQL_ERROR";
    case SQL_INVALID_HANDLE:
      return "SQL_INVALID_HANDLE";
    case SQL_NEED_DATA:
      return "SQL_NEED_DATA";
    default:
      return std::to_string(rc);
  }
}

std::string Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::string out;
  for (SQLSMALLINT i = 1; i <= 20; ++i) {
    SQLWCHAR state[6] = {0};
    SQLINTEGER native = 0;
    SQLWCHAR text[2048] = {0};
    SQLSMALLINT len = 0;
    const SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, text,
                                        static_cast<SQLSMALLINT>(std::size(text)), &len);
    if (rc != SQL_SUCCESS && rc != SQL_SUCCESS_WITH_INFO) break;
    const std::size_t units =
        std::min<std::size_t>(static_cast<std::size_t>(len), std::size(text) - 1);
    out += "diag " + Narrow(state, 5) + " " + std::to_string(native) + " " + Narrow(text, units) +
           "\n";
  }
  return out;
}

}  // namespace

std::string ConnectionString(int port, const std::string& user, const std::string& password) {
  return std::string("DRIVER=") + TDS_DRIVER_PATH +
         ";SERVER=127.0.0.1;PORT=" + std::to_string(port) + ";TDS_Version=7.4;UID=" + user +
         ";PWD=" + password + ";ClientCharset=UTF-8";
}

OdbcClient::OdbcClient() {
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
  SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
}

OdbcClient::~OdbcClient() {
  if (connected_) SQLDisconnect(dbc_);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
  SQLFreeHandle(SQL_HANDLE_ENV, env_);
}

std::string OdbcClient::Connect(const std::string& connection) {
  SQLSetConnectAttrW(dbc_, SQL_ATTR_LOGIN_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
  std::vector<SQLWCHAR> w = Wide(connection);
  SQLWCHAR out[1024];
  SQLSMALLINT out_len = 0;
  const SQLRETURN rc =
      SQLDriverConnectW(dbc_, nullptr, w.data(), SQL_NTS, out,
                        static_cast<SQLSMALLINT>(std::size(out)), &out_len, SQL_DRIVER_NOPROMPT);
  connected_ = SQL_SUCCEEDED(rc);
  return "connect " + RcName(rc) + "\n" + Diagnostics(SQL_HANDLE_DBC, dbc_);
}

std::string OdbcClient::Step(SQLHSTMT stmt, const char* what, SQLRETURN rc) {
  std::string out =
      std::string(what) + " " + RcName(rc) + "\n" + Diagnostics(SQL_HANDLE_STMT, stmt);
  if (!SQL_SUCCEEDED(rc)) return out;
  SQLSMALLINT ncols = 0;
  SQLNumResultCols(stmt, &ncols);
  if (ncols == 0) {
    SQLLEN count = -1;
    SQLRowCount(stmt, &count);
    return out + "count " + std::to_string(count) + "\n";
  }
  out += "columns ";
  for (SQLSMALLINT c = 1; c <= ncols; ++c) {
    SQLWCHAR name[256] = {0};
    SQLSMALLINT len = 0;
    SQLColAttributeW(stmt, static_cast<SQLUSMALLINT>(c), SQL_DESC_NAME, name, sizeof name, &len,
                     nullptr);
    out += (c > 1 ? ", " : "") + Narrow(name, static_cast<std::size_t>(len) / sizeof(SQLWCHAR));
  }
  out += "\n";
  for (int r = 0; r < 10000; ++r) {
    const SQLRETURN f = SQLFetch(stmt);
    if (f == SQL_NO_DATA) break;
    if (!SQL_SUCCEEDED(f)) {
      out += "fetch " + RcName(f) + "\n" + Diagnostics(SQL_HANDLE_STMT, stmt);
      break;
    }
    out += "row ";
    for (SQLSMALLINT c = 1; c <= ncols; ++c) {
      std::vector<SQLWCHAR> buf(16384, 0);
      SQLLEN ind = 0;
      SQLGetData(stmt, static_cast<SQLUSMALLINT>(c), SQL_C_WCHAR, buf.data(),
                 static_cast<SQLLEN>(buf.size() * sizeof(SQLWCHAR)), &ind);
      out += c > 1 ? "|" : "";
      out += ind == SQL_NULL_DATA
                 ? "NULL"
                 : Narrow(buf.data(), static_cast<std::size_t>(ind) / sizeof(SQLWCHAR));
    }
    out += "\n";
  }
  return out;
}

std::string OdbcClient::Run(const std::string& batch_utf8, int timeout_seconds) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return "no statement\n";
  SQLSetStmtAttrW(stmt, SQL_ATTR_QUERY_TIMEOUT,
                  reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(timeout_seconds)), 0);
  std::vector<SQLWCHAR> w = Wide(batch_utf8);
  std::string out = Step(stmt, "exec", SQLExecDirectW(stmt, w.data(), SQL_NTS));
  for (int i = 0; i < 50; ++i) {
    const SQLRETURN rc = SQLMoreResults(stmt);
    if (rc == SQL_NO_DATA) break;
    out += Step(stmt, "more", rc);
  }
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return out;
}

std::string OdbcClient::RunFirstRowThenClose(const std::string& batch_utf8) {
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  if (!SQL_SUCCEEDED(SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt))) return "no statement\n";
  SQLSetStmtAttrW(stmt, SQL_ATTR_QUERY_TIMEOUT, reinterpret_cast<SQLPOINTER>(10), 0);
  std::vector<SQLWCHAR> w = Wide(batch_utf8);
  const SQLRETURN rc = SQLExecDirectW(stmt, w.data(), SQL_NTS);
  std::string out = "exec " + RcName(rc) + "\n";
  const SQLRETURN f = SQLFetch(stmt);
  out += "fetch " + RcName(f) + "\n";
  SQLFreeStmt(stmt, SQL_CLOSE);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  return out;
}

}  // namespace standin::tds::testing
