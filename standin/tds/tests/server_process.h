// Runs sqlstandin as a child process for a test, on a free port of 127.0.0.1.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace standin::tds::testing {

// A fresh directory under /tmp, removed with its files when destroyed.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // Writes `content` to a file of that name in the directory and returns its path.
  std::string write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

std::string read_whole_file(const std::string& path);

class ServerProcess {
 public:
  // Starts sqlstandin with `--port 0` and args, stderr going to stderr_path, and waits up to
  // 20 s for its "listening on" line. Test assertions fail when it does not come.
  ServerProcess(const std::vector<std::string>& args, const std::string& stderr_path);
  // Ends the process with SIGTERM (SIGKILL after 10 s) if still running.
  ~ServerProcess();
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  int port() const { return port_; }
  bool started() const { return port_ > 0; }
  // Sends SIGTERM and waits up to 10 s; returns the exit status (-1: killed or not ended).
  int stop();

 private:
  pid_t pid_ = -1;
  int port_ = 0;
  int stdout_fd_ = -1;
};

// Runs a program to completion (killed after timeout_s), stdin from `input`; returns its
// standard output and sets exit_status (-1 when it did not end by itself).
std::string run_program(const std::vector<std::string>& argv, const std::string& input,
                        int timeout_s, int& exit_status);

}  // namespace standin::tds::testing
