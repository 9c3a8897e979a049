// Data sources for the ODBC driver tests, in a temporary directory of their own.
#pragma once

#include <string>

namespace platform::odbc_test {

// A fresh directory under the system's temporary directory, removed with its content.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Writes odbc_ini (the text of an odbc.ini) and an empty odbcinst.ini into dir and points the
// driver manager at them, so that no data source of the machine is seen. Call before the
// process's first ODBC call: the driver manager reads these locations once.
void UseDataSources(const std::string& dir, const std::string& odbc_ini);

// The whole content of a file, "" when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace platform::odbc_test
