// Data sources for the ODBC driver tests, in a temporary directory of their own.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

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

// A child process whose standard output is read line by line; ended by its pid (SIGTERM, then
// SIGKILL after a bounded grace) when the object dies.
class ChildProcess {
 public:
  // Starts argv[0] with the arguments; throws std::runtime_error when it cannot.
  explicit ChildProcess(const std::vector<std::string>& argv);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of its output without the line break; "" when none came within the time or
  // the output ended.
  std::string ReadLine(int timeout_ms);

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::string pending_;
};

// The whole content of a file, "" when it cannot be read.
std::string ReadFile(const std::string& path);

}  // namespace platform::odbc_test
