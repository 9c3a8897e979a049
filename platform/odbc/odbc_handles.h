// Owners of ODBC handles and the reading of their diagnostic records.
#pragma once

#ifdef _WIN32
#include <windows.h>
#endif

#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <string>
#include <vector>

namespace platform::odbc {

static_assert(sizeof(SQLWCHAR) == 2, "the wide ODBC API must be UTF-16");

struct Diagnostic {
  std::string state;  // SQLSTATE, five characters
  int native = 0;
  std::string text;  // UTF-8
};

// Every diagnostic record the handle holds for its last call, in order.
std::vector<Diagnostic> ReadDiagnostics(SQLSMALLINT type, SQLHANDLE handle);

// Owns one handle and frees it when destroyed. Allocation failure throws EDatabaseError with
// the parent's diagnostics.
class Handle {
 public:
  Handle(SQLSMALLINT type, SQLHANDLE parent);
  ~Handle();
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  SQLHANDLE get() const { return handle_; }

 private:
  SQLSMALLINT type_;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
};

// The environment every connection of a driver hangs off; shared so connections outlive it.
class Environment {
 public:
  Environment();
  SQLHENV get() const { return handle_.get(); }

 private:
  Handle handle_;
};

// Collects the failures of one batch and turns them into one EDatabaseError.
class Failures {
 public:
  // Records every diagnostic the handle holds after a call that returned SQL_ERROR.
  void Add(SQLSMALLINT type, SQLHANDLE handle);
  // Records a failure found by this driver rather than reported by ODBC.
  void Add(Diagnostic record);
  // Throws when anything was recorded: the texts joined by line breaks, the native number and
  // the SQLSTATE of the first record.
  void ThrowIfAny() const;

 private:
  std::vector<Diagnostic> records_;
};

// The text as a NUL-terminated buffer of the wide API's characters.
std::vector<SQLWCHAR> ToWide(const std::u16string& text);

}  // namespace platform::odbc
