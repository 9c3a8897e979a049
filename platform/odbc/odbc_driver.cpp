#include "platform/odbc_driver.h"

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>

#include "odbc_decimal.h"
#include "odbc_handles.h"
#include "text/text.h"
#include "text/wipe.h"

namespace platform {

using odbc::Failures;
using odbc::Handle;

namespace {

// SQLMoreResults keeps failing once the connection is lost; this bounds the drain.
constexpr int kMaxResults = 100000;

enum class ColumnKind { Text, Integer, Numeric, DateTime };

struct Column {
  std::string name;
  ColumnKind kind = ColumnKind::Text;
  int scale = 0;
};

ColumnKind KindOf(SQLSMALLINT type) {
  switch (type) {
    case SQL_BIT:
    case SQL_TINYINT:
    case SQL_SMALLINT:
    case SQL_INTEGER:
    case SQL_BIGINT:
      return ColumnKind::Integer;
    case SQL_DECIMAL:
    case SQL_NUMERIC:
      return ColumnKind::Numeric;
    case SQL_DATETIME:
    case SQL_TIMESTAMP:
    case SQL_TYPE_DATE:
    case SQL_TYPE_TIMESTAMP:
      return ColumnKind::DateTime;
    default:
      return ColumnKind::Text;
  }
}

// Program text for the server, which must get it unchanged: invalid UTF-8 is an error.
std::u16string Wide(std::string_view utf8, const char* what) {
  try {
    return text::Utf8ToUtf16(utf8, text::Mode::kStrict);
  } catch (const text::ETextConversionError& e) {
    throw EDatabaseError(std::string(what) + ": " + e.what());
  }
}

SQLSMALLINT ShortLength(const std::u16string& text, const char* what) {
  if (text.size() > static_cast<size_t>(std::numeric_limits<SQLSMALLINT>::max()))
    throw EDatabaseError(std::string(what) + " is too long");
  return static_cast<SQLSMALLINT>(text.size());
}

// Reads the columns and rows of the statement's current result. Stops at the first failing
// fetch, which it records.
class ResultReader {
 public:
  ResultReader(SQLHSTMT stmt, Failures& failures) : stmt_(stmt), failures_(failures) {}

  // The first count columns of the current result; empty when the driver failed (recorded).
  std::optional<std::vector<Column>> Describe(SQLSMALLINT count) {
    std::vector<Column> columns;
    for (SQLUSMALLINT i = 1; i <= static_cast<SQLUSMALLINT>(count); ++i) {
      std::vector<SQLWCHAR> name(256);
      SQLSMALLINT length = 0, type = 0, digits = 0, nullable = 0;
      SQLULEN size = 0;
      SQLRETURN rc;
      for (;;) {
        rc = SQLDescribeColW(stmt_, i, name.data(), static_cast<SQLSMALLINT>(name.size()), &length,
                             &type, &size, &digits, &nullable);
        if (rc != SQL_SUCCESS_WITH_INFO || length < static_cast<SQLSMALLINT>(name.size())) break;
        name.resize(static_cast<size_t>(length) + 1);
      }
      if (!SQL_SUCCEEDED(rc)) {
        failures_.Add(SQL_HANDLE_STMT, stmt_);
        return std::nullopt;
      }
      const size_t shown =
          std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), name.size() - 1);
      std::optional<std::string> text =
          FromServer(std::u16string(name.begin(), name.begin() + shown), "A column name");
      if (!text) return std::nullopt;
      columns.push_back({std::move(*text), KindOf(type), digits});
    }
    return columns;
  }

  // Fetches every row into rows (when given) or discards them.
  void Rows(const std::vector<Column>& columns, ResultSet* rows) {
    for (;;) {
      const SQLRETURN rc = SQLFetch(stmt_);
      if (rc == SQL_NO_DATA) return;
      if (!SQL_SUCCEEDED(rc)) {
        failures_.Add(SQL_HANDLE_STMT, stmt_);
        return;
      }
      if (!rows) continue;
      rows->BeginRow();
      for (size_t i = 0; i < columns.size(); ++i)
        if (!Value(static_cast<SQLUSMALLINT>(i + 1), columns[i], *rows)) return;
    }
  }

 private:
  // Appends the field to the row; false when reading it failed (recorded).
  bool Value(SQLUSMALLINT index, const Column& column, ResultSet& rows) {
    switch (column.kind) {
      case ColumnKind::Integer:
        return Integer(index, rows);
      case ColumnKind::DateTime:
        return DateTime(index, rows);
      case ColumnKind::Numeric: {
        bool null = false;
        if (!Text(index, null)) return false;
        if (null) {
          rows.AppendNull();
        } else if (std::optional<odbc::Decimal> d = odbc::ParseDecimal(utf8_, column.scale)) {
          rows.AppendNumeric(d->mantissa, d->scale);
        } else {
          rows.AppendText(utf8_);
        }
        return true;
      }
      case ColumnKind::Text: {
        bool null = false;
        if (!Text(index, null)) return false;
        if (null)
          rows.AppendNull();
        else
          rows.AppendText(utf8_);
        return true;
      }
    }
    rows.AppendNull();
    return true;
  }

  bool Integer(SQLUSMALLINT index, ResultSet& rows) {
    SQLBIGINT value = 0;
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(SQLGetData(stmt_, index, SQL_C_SBIGINT, &value, sizeof value, &indicator)))
      return Fail();
    if (indicator == SQL_NULL_DATA)
      rows.AppendNull();
    else
      rows.AppendInteger(value);
    return true;
  }

  bool DateTime(SQLUSMALLINT index, ResultSet& rows) {
    SQL_TIMESTAMP_STRUCT ts = {};
    SQLLEN indicator = 0;
    if (!SQL_SUCCEEDED(SQLGetData(stmt_, index, SQL_C_TYPE_TIMESTAMP, &ts, sizeof ts, &indicator)))
      return Fail();
    if (indicator == SQL_NULL_DATA) {
      rows.AppendNull();
      return true;
    }
    TDateTime dt;
    dt.Year = ts.year;
    dt.Month = ts.month;
    dt.Day = ts.day;
    dt.Hour = ts.hour;
    dt.Minute = ts.minute;
    dt.Second = ts.second;
    dt.Millisecond = static_cast<int>(ts.fraction / 1000000);
    rows.AppendDateTime(dt);
    return true;
  }

  // The column as UTF-8 text in utf8_, read in parts however long; null tells a NULL.
  bool Text(SQLUSMALLINT index, bool& null) {
    wide_.clear();
    const auto bytes = static_cast<SQLLEN>(buffer_.size() * sizeof(SQLWCHAR));
    for (bool first = true;; first = false) {
      SQLLEN indicator = 0;
      const SQLRETURN rc = SQLGetData(stmt_, index, SQL_C_WCHAR, buffer_.data(), bytes, &indicator);
      if (rc == SQL_NO_DATA && !first) break;
      if (!SQL_SUCCEEDED(rc)) return Fail();
      if (indicator == SQL_NULL_DATA) {
        null = true;
        return true;
      }
      const bool truncated =
          rc == SQL_SUCCESS_WITH_INFO && (indicator == SQL_NO_TOTAL || indicator >= bytes);
      const size_t chars = truncated ? buffer_.size() - 1
                                     : std::min(static_cast<size_t>(indicator) / sizeof(SQLWCHAR),
                                                buffer_.size() - 1);
      wide_.append(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(chars));
      if (!truncated) break;
    }
    std::optional<std::string> utf8 = FromServer(wide_, "A text value");
    if (!utf8) return false;
    utf8_ = std::move(*utf8);
    null = false;
    return true;
  }

  // What the server sent, unchanged: invalid UTF-16 fails the result (recorded) rather than
  // being replaced, so that nothing the program reads and writes back is silently altered.
  std::optional<std::string> FromServer(std::u16string_view utf16, const char* what) {
    try {
      return text::Utf16ToUtf8(utf16, text::Mode::kStrict);
    } catch (const text::ETextConversionError& e) {
      failures_.Add({"HY000", 0, std::string(what) + " is not UTF-16: " + e.what()});
      return std::nullopt;
    }
  }

  bool Fail() {
    failures_.Add(SQL_HANDLE_STMT, stmt_);
    return false;
  }

  SQLHSTMT stmt_;
  Failures& failures_;
  // Reused for every text field of the result.
  std::vector<SQLWCHAR> buffer_ = std::vector<SQLWCHAR>(2048);
  std::u16string wide_;
  std::string utf8_;
};

// Closes the statement's cursor and discards its pending results when the batch ends, whatever
// happens, so that the handle is ready for the next batch.
class CloseOnExit {
 public:
  explicit CloseOnExit(SQLHSTMT stmt) : stmt_(stmt) {}
  ~CloseOnExit() { SQLFreeStmt(stmt_, SQL_CLOSE); }
  CloseOnExit(const CloseOnExit&) = delete;
  CloseOnExit& operator=(const CloseOnExit&) = delete;

 private:
  SQLHSTMT stmt_;
};

class OdbcConnection : public Connection {
 public:
  OdbcConnection(std::shared_ptr<odbc::Environment> env, int login_timeout_seconds,
                 int batch_timeout_seconds)
      : env_(std::move(env)),
        dbc_(SQL_HANDLE_DBC, env_->get()),
        batch_timeout_seconds_(batch_timeout_seconds) {
    SQLSetConnectAttrW(dbc_.get(), SQL_ATTR_LOGIN_TIMEOUT,
                       reinterpret_cast<SQLPOINTER>(static_cast<SQLLEN>(login_timeout_seconds)), 0);
  }

  ~OdbcConnection() override {
    stmt_.reset();  // before the disconnect, which would free it behind the owner's back
    if (connected_) SQLDisconnect(dbc_.get());
  }

  OdbcConnection(const OdbcConnection&) = delete;
  OdbcConnection& operator=(const OdbcConnection&) = delete;

  void Connect(const std::string& alias, const std::string& user, const std::string& password,
               const std::function<void(const OdbcDriver::Storage&)>& wiped) {
    std::u16string dsn = Wide(alias, "The data source name is not UTF-8");
    // Lossy: the login is attempted whatever the bytes, and the server decides.
    const std::u16string uid = text::GbkToUtf16(user, text::Mode::kLossy);
    std::u16string pwd = text::GbkToUtf16(password, text::Mode::kLossy);
    std::vector<SQLWCHAR> wpwd = odbc::ToWide(pwd);
    text::WipeOnExit wipe(pwd, wpwd);  // also when a length is refused
    const SQLSMALLINT pwd_length = ShortLength(pwd, "The password");
    std::vector<SQLWCHAR> wdsn = odbc::ToWide(dsn), wuid = odbc::ToWide(uid);
    const SQLRETURN rc =
        SQLConnectW(dbc_.get(), wdsn.data(), ShortLength(dsn, "The data source name"), wuid.data(),
                    ShortLength(uid, "The user name"), wpwd.data(), pwd_length);
    text::WipeClear(pwd);
    text::WipeClear(wpwd);
    if (wiped)
      wiped({{pwd.data(), pwd.capacity() * sizeof(char16_t)},
             {wpwd.data(), wpwd.capacity() * sizeof(SQLWCHAR)}});
    if (!SQL_SUCCEEDED(rc)) {
      Failures failures;
      failures.Add(SQL_HANDLE_DBC, dbc_.get());
      failures.ThrowIfAny();
    }
    connected_ = true;
  }

  void Execute(std::string_view batch) override { Run(batch, nullptr); }

  ResultSet Open(std::string_view batch) override {
    std::optional<ResultSet> last;
    Run(batch, &last);
    if (!last) throw EDatabaseError("Query returned no result set");
    return std::move(*last);
  }

 private:
  // Sends the batch and drains every result it produces, recording every failure; keeps the
  // last result with columns in *last when asked.
  void Run(std::string_view batch, std::optional<ResultSet>* last) {
    const std::u16string text = Wide(batch, "The statement text is not UTF-8");
    if (text.size() > static_cast<size_t>(std::numeric_limits<SQLINTEGER>::max()))
      throw EDatabaseError("The statement text is too long");
    std::vector<SQLWCHAR> wide = odbc::ToWide(text);
    Failures failures;
    {
      const SQLHSTMT stmt = Statement();
      CloseOnExit close(stmt);
      SQLRETURN rc = SQLExecDirectW(stmt, wide.data(), static_cast<SQLINTEGER>(text.size()));
      for (int results = 0; results < kMaxResults; ++results) {
        if (rc == SQL_NO_DATA && results > 0) break;
        if (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) {
          failures.Add(SQL_HANDLE_STMT, stmt);
          if (ConnectionDead()) break;
        } else if (SQL_SUCCEEDED(rc)) {
          ReadResult(stmt, failures, last);
        }
        rc = SQLMoreResults(stmt);
      }
    }
    failures.ThrowIfAny();
  }

  void ReadResult(SQLHSTMT stmt, Failures& failures, std::optional<ResultSet>* last) {
    SQLSMALLINT count = 0;
    if (!SQL_SUCCEEDED(SQLNumResultCols(stmt, &count))) {
      failures.Add(SQL_HANDLE_STMT, stmt);
      return;
    }
    if (count <= 0) return;
    ResultReader reader(stmt, failures);
    std::optional<std::vector<Column>> columns = reader.Describe(count);
    if (!columns) return;
    if (!last) {
      reader.Rows(*columns, nullptr);
      return;
    }
    std::vector<std::string> names;
    names.reserve(columns->size());
    for (const Column& c : *columns) names.push_back(c.name);
    ResultSet rs(std::move(names));
    reader.Rows(*columns, &rs);
    *last = std::move(rs);
  }

  // The connection's one statement handle, made at the first batch and reused by every later
  // one: making a statement costs a driver such as FreeTDS more than a short batch's own work.
  // Throws, with the driver's diagnostics, when the handle cannot be made or given the timeout.
  SQLHSTMT Statement() {
    if (stmt_) return stmt_->get();
    auto stmt = std::make_unique<Handle>(SQL_HANDLE_STMT, dbc_.get());
    // The statement attribute, not the connection's: FreeTDS reads it when the statement
    // executes (src/odbc/odbc.c). When it runs out, FreeTDS's handler (odbc_errmsg_handler)
    // records HYT00 and has libtds send the ATTENTION (src/tds/util.c, tdserror); the call
    // then returns SQL_ERROR once the server has acknowledged it.
    if (batch_timeout_seconds_ > 0 &&
        SQLSetStmtAttrW(stmt->get(), SQL_ATTR_QUERY_TIMEOUT,
                        reinterpret_cast<SQLPOINTER>(static_cast<SQLULEN>(batch_timeout_seconds_)),
                        SQL_IS_UINTEGER) == SQL_ERROR) {
      Failures failures;
      failures.Add(SQL_HANDLE_STMT, stmt->get());
      failures.ThrowIfAny();
    }
    stmt_ = std::move(stmt);
    return stmt_->get();
  }

  bool ConnectionDead() {
    SQLUINTEGER dead = SQL_CD_FALSE;
    const SQLRETURN rc =
        SQLGetConnectAttrW(dbc_.get(), SQL_ATTR_CONNECTION_DEAD, &dead, sizeof dead, nullptr);
    return SQL_SUCCEEDED(rc) && dead == SQL_CD_TRUE;
  }

  std::shared_ptr<odbc::Environment> env_;
  Handle dbc_;
  int batch_timeout_seconds_;
  bool connected_ = false;
  std::unique_ptr<Handle> stmt_;
};

}  // namespace

OdbcDriver::OdbcDriver(int login_timeout_seconds)
    : env_(std::make_shared<odbc::Environment>()), login_timeout_seconds_(login_timeout_seconds) {}

OdbcDriver::~OdbcDriver() = default;

std::unique_ptr<Connection> OdbcDriver::Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) {
  auto connection =
      std::make_unique<OdbcConnection>(env_, login_timeout_seconds_, batch_timeout_seconds_);
  connection->Connect(alias, user, password, PasswordWiped);
  return connection;
}

void OdbcDriver::SetBatchTimeout(int seconds) {
  if (seconds < 0) throw EDatabaseError("A batch timeout cannot be negative");
  batch_timeout_seconds_ = seconds;
}

}  // namespace platform
