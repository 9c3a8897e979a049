#include "server_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace standin::tds::testing {
namespace {

using Clock = std::chrono::steady_clock;

pid_t spawn(const std::vector<std::string>& argv, int stdin_fd, int stdout_fd, int stderr_fd) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdin_fd >= 0) posix_spawn_file_actions_adddup2(&actions, stdin_fd, 0);
  if (stdout_fd >= 0) posix_spawn_file_actions_adddup2(&actions, stdout_fd, 1);
  if (stderr_fd >= 0) posix_spawn_file_actions_adddup2(&actions, stderr_fd, 2);
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, args[0], &actions, nullptr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  return rc == 0 ? pid : -1;
}

// Waits up to timeout for pid to end; returns its exit status, or -1.
int wait_bounded(pid_t pid, std::chrono::milliseconds timeout) {
  const auto until = Clock::now() + timeout;
  for (;;) {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (r < 0) return -1;
    if (Clock::now() > until) return -2;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

int end_process(pid_t pid, int sig, std::chrono::milliseconds grace) {
  kill(pid, sig);
  int rc = wait_bounded(pid, grace);
  if (rc == -2) {
    kill(pid, SIGKILL);
    wait_bounded(pid, std::chrono::seconds(5));
    rc = -1;
  }
  return rc;
}

}  // namespace

TempDir::TempDir() {
  char tmpl[] = "/tmp/standin_tds_test.XXXXXX";
  if (mkdtemp(tmpl) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::write(const std::string& name, const std::string& content) const {
  const std::string p = path_ + "/" + name;
  std::ofstream(p, std::ios::binary) << content;
  return p;
}

std::string read_whole_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

ServerProcess::ServerProcess(const std::vector<std::string>& args, const std::string& stderr_path) {
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0) return;
  const int err = open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  std::vector<std::string> argv = {SQLSTANDIN_PATH, "--port", "0"};
  argv.insert(argv.end(), args.begin(), args.end());
  pid_ = spawn(argv, -1, out[1], err);
  close(out[1]);
  if (err >= 0) close(err);
  stdout_fd_ = out[0];
  if (pid_ < 0) return;

  // Read the first line, bounded in time.
  std::string line;
  const auto until = Clock::now() + std::chrono::seconds(20);
  while (line.find('\n') == std::string::npos && Clock::now() < until) {
    pollfd p{stdout_fd_, POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[256];
    const ssize_t n = read(stdout_fd_, buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  const std::string prefix = "listening on 127.0.0.1:";
  if (line.rfind(prefix, 0) == 0 && line.size() == line.find('\n') + 1)
    port_ = std::atoi(line.c_str() + prefix.size());
}

int ServerProcess::stop() {
  if (pid_ < 0) return -1;
  const int rc = end_process(pid_, SIGTERM, std::chrono::seconds(10));
  pid_ = -1;
  return rc;
}

ServerProcess::~ServerProcess() {
  stop();
  if (stdout_fd_ >= 0) close(stdout_fd_);
}

std::string run_program(const std::vector<std::string>& argv, const std::string& input,
                        int timeout_s, int& exit_status) {
  exit_status = -1;
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return {};
  if (pipe2(out, O_CLOEXEC) != 0) return {};
  const pid_t pid = spawn(argv, in[0], out[1], out[1]);
  close(in[0]);
  close(out[1]);
  if (pid < 0) {
    close(in[1]);
    close(out[0]);
    return {};
  }
  signal(SIGPIPE, SIG_IGN);
  [[maybe_unused]] const ssize_t w = write(in[1], input.data(), input.size());
  close(in[1]);
  std::string output;
  const auto until = Clock::now() + std::chrono::seconds(timeout_s);
  while (Clock::now() < until) {
    pollfd p{out[0], POLLIN, 0};
    if (poll(&p, 1, 200) <= 0) continue;
    char buf[4096];
    const ssize_t n = read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    output.append(buf, static_cast<std::size_t>(n));
  }
  close(out[0]);
  const int rc = wait_bounded(pid, std::chrono::seconds(2));
  if (rc == -2) {
    end_process(pid, SIGKILL, std::chrono::seconds(5));
  } else {
    exit_status = rc;
  }
  return output;
}

}  // namespace standin::tds::testing
