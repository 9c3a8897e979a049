#include "odbc_handles.h"

#include "platform/database.h"
#include "text/text.h"

namespace platform::odbc {

namespace {

std::string FromWide(const SQLWCHAR* wide, size_t length) {
  std::u16string u;
  u.reserve(length);
  for (size_t i = 0; i < length; ++i) u += static_cast<char16_t>(wide[i]);
  return text::Utf16ToUtf8(u, text::Mode::kLossy);  // messages: shown whatever they hold
}

}  // namespace

std::vector<SQLWCHAR> ToWide(const std::u16string& text) {
  std::vector<SQLWCHAR> out;
  out.reserve(text.size() + 1);
  for (char16_t c : text) out.push_back(static_cast<SQLWCHAR>(c));
  out.push_back(0);
  return out;
}

std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> out;
  std::vector<SQLWCHAR> message(1024);
  for (SQLSMALLINT record = 1; record > 0; ++record) {
    SQLWCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLRETURN rc;
    for (;;) {
      rc = SQLGetDiagRecW(type, handle, record, state, &native, message.data(),
                          static_cast<SQLSMALLINT>(message.size()), &length);
      if (rc != SQL_SUCCESS_WITH_INFO || length < static_cast<SQLSMALLINT>(message.size()) ||
          message.size() >= 32767)
        break;
      message.resize(std::min<size_t>(static_cast<size_t>(length) + 1, 32767));
    }
    if (!SQL_SUCCEEDED(rc)) break;
    const size_t shown =
        std::min<size_t>(static_cast<size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
    out.push_back({FromWide(state, 5), static_cast<int>(native), FromWide(message.data(), shown)});
  }
  return out;
}

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent) : type_(type) {
  const SQLRETURN rc = SQLAllocHandle(type, parent, &handle_);
  if (!SQL_SUCCEEDED(rc)) {
    handle_ = SQL_NULL_HANDLE;
    Failures failures;
    if (parent != SQL_NULL_HANDLE)
      failures.Add(type == SQL_HANDLE_STMT ? SQL_HANDLE_DBC : SQL_HANDLE_ENV, parent);
    failures.ThrowIfAny();
    throw EDatabaseError("The ODBC driver manager could not allocate a handle");
  }
}

Handle::~Handle() {
  if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
}

Environment::Environment() : handle_(SQL_HANDLE_ENV, SQL_NULL_HANDLE) {
  const SQLRETURN rc = SQLSetEnvAttr(handle_.get(), SQL_ATTR_ODBC_VERSION,
                                     reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  if (!SQL_SUCCEEDED(rc)) {
    Failures failures;
    failures.Add(SQL_HANDLE_ENV, handle_.get());
    failures.ThrowIfAny();
  }
}

void Failures::Add(SQLSMALLINT type, SQLHANDLE handle) {
  std::vector<Diagnostic> records = ReadDiagnostics(type, handle);
  if (records.empty())
    records.push_back({"HY000", 0, "The statement failed without a diagnostic message"});
  records_.insert(records_.end(), records.begin(), records.end());
}

void Failures::Add(Diagnostic record) { records_.push_back(std::move(record)); }

void Failures::ThrowIfAny() const {
  if (records_.empty()) return;
  std::string text;
  for (const Diagnostic& d : records_) {
    if (!text.empty()) text += "\n";
    text += d.text;
  }
  throw EDatabaseError(text, records_.front().native, records_.front().state);
}

}  // namespace platform::odbc
