#include "odbc_test_env.h"

#include <poll.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace platform::odbc_test {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "vrek-odbc-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create " + templ);
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void UseDataSources(const std::string& dir, const std::string& odbc_ini) {
  std::ofstream(dir + "/odbcinst.ini") << "";
  std::ofstream(dir + "/odbc.ini") << odbc_ini;
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
}

namespace {

// True when pid ended within timeout_ms.
bool Reaped(pid_t pid, int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || r < 0) return true;
    if (std::chrono::steady_clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  int fds[2];
  if (pipe(fds) != 0) throw std::runtime_error("pipe failed");
  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // Ends with the test process even when that one is killed before its destructors run.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    dup2(fds[1], 1);
    close(fds[0]);
    close(fds[1]);
    execv(args[0], args.data());
    _exit(127);
  }
  close(fds[1]);
  out_ = fds[0];
  if (pid_ < 0) {
    close(out_);
    throw std::runtime_error("cannot start " + argv[0]);
  }
}

ChildProcess::~ChildProcess() {
  kill(pid_, SIGTERM);
  if (!Reaped(pid_, 5000)) {
    kill(pid_, SIGKILL);
    Reaped(pid_, 5000);
  }
  close(out_);
}

std::string ChildProcess::ReadLine(int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    const size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return "";
    pollfd p = {out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
    char buf[256];
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) return "";
    pending_.append(buf, static_cast<size_t>(n));
  }
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace platform::odbc_test

// Under LeakSanitizer: the ODBC drivers keep allocations made while connecting after the driver
// manager has unloaded them; their stacks name the driver only when unwound fully. Leaks of our
// own handles are still reported, their stacks go through the driver manager.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libsqlite3odbc.so\nleak:libtdsodbc.so\n";
}
