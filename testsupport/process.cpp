#include "process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>
#include <thread>

#include "files.h"

extern char** environ;

namespace vrektest {
namespace {

using Clock = std::chrono::steady_clock;

int StatusOf(int wait_status) {
  return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
}

// The test's environment with `extra` added; an entry of extra replaces one of the same name.
std::vector<std::string> Environment(const std::vector<std::string>& extra) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e) {
    const std::string entry = *e;
    const std::string name = entry.substr(0, entry.find('=') + 1);
    bool replaced = false;
    for (const std::string& x : extra) replaced = replaced || x.rfind(name, 0) == 0;
    if (!replaced) env.push_back(entry);
  }
  env.insert(env.end(), extra.begin(), extra.end());
  return env;
}

bool WriteAll(int fd, const std::string& data) {
  for (std::size_t at = 0; at < data.size();) {
    const ssize_t n = write(fd, data.data() + at, data.size() - at);
    if (n <= 0) return false;
    at += static_cast<std::size_t>(n);
  }
  return true;
}

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> p;
  for (std::string& s : strings) p.push_back(s.data());
  p.push_back(nullptr);
  return p;
}

}  // namespace

ChildProcess::ChildProcess(const std::vector<std::string>& argv) : ChildProcess(argv, Options{}) {}

ChildProcess::ChildProcess(const std::vector<std::string>& argv, const Options& options) {
  if (argv.empty()) throw std::runtime_error("no program to start");
  std::vector<std::string> args = argv;
  std::vector<std::string> env = Environment(options.env);
  std::vector<char*> arg_ptrs = Pointers(args);
  std::vector<char*> env_ptrs = Pointers(env);

  int out[2] = {-1, -1};
  if (options.stdout_path.empty() && pipe2(out, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe failed");
  // The input is a file in memory, read from its start: writing it never waits for the reader.
  int in = -1;
  if (options.input) {
    in = memfd_create("input", MFD_CLOEXEC);
    if (in < 0 || !WriteAll(in, *options.input) || lseek(in, 0, SEEK_SET) != 0) {
      if (in >= 0) close(in);
      if (out[0] >= 0) {
        close(out[0]);
        close(out[1]);
      }
      throw std::runtime_error("cannot hold the input of " + argv[0]);
    }
  }

  const pid_t parent = getpid();
  pid_ = fork();
  if (pid_ == 0) {
    // Only async-signal-safe calls from here on: the test may have threads.
    prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (getppid() != parent) _exit(127);
    if (in >= 0) dup2(in, 0);
    if (out[1] >= 0) dup2(out[1], 1);
    if (!options.stdout_path.empty()) {
      const int fd = open(options.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) _exit(127);
      dup2(fd, 1);
      close(fd);
    }
    if (options.stderr_to_stdout) {
      dup2(1, 2);
    } else if (!options.stderr_path.empty()) {
      const int fd = open(options.stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
      if (fd < 0) _exit(127);
      dup2(fd, 2);
      close(fd);
    }
    execve(arg_ptrs[0], arg_ptrs.data(), env_ptrs.data());
    _exit(127);
  }
  if (out[1] >= 0) close(out[1]);
  if (in >= 0) close(in);
  out_ = out[0];
  if (pid_ < 0) {
    if (out_ >= 0) close(out_);
    throw std::runtime_error("cannot start " + argv[0]);
  }
}

ChildProcess::~ChildProcess() {
  Stop(5s);
  if (out_ >= 0) close(out_);
}

std::string ChildProcess::ReadLine(std::chrono::milliseconds limit) {
  const auto until = Clock::now() + limit;
  for (;;) {
    const std::size_t nl = pending_.find('\n');
    if (nl != std::string::npos) {
      std::string line = pending_.substr(0, nl);
      pending_.erase(0, nl + 1);
      return line;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (out_ < 0 || left.count() <= 0) return "";
    pollfd p = {out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return "";
    char buf[4096];
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) return "";
    pending_.append(buf, static_cast<std::size_t>(n));
  }
}

std::string ChildProcess::ReadAll(std::chrono::milliseconds limit) {
  const auto until = Clock::now() + limit;
  std::string all = std::move(pending_);
  pending_.clear();
  while (out_ >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
    if (left.count() <= 0) break;
    pollfd p = {out_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    char buf[4096];
    const ssize_t n = read(out_, buf, sizeof buf);
    if (n <= 0) break;
    all.append(buf, static_cast<std::size_t>(n));
  }
  return all;
}

std::optional<int> ChildProcess::Wait(std::chrono::milliseconds limit) {
  const auto until = Clock::now() + limit;
  while (!status_ && pid_ > 0) {
    int status = 0;
    const pid_t r = waitpid(pid_, &status, WNOHANG);
    if (r == pid_) {
      status_ = StatusOf(status);
    } else if (r < 0) {
      status_ = -1;
    } else if (Clock::now() >= until) {
      break;
    } else {
      std::this_thread::sleep_for(10ms);
    }
  }
  return status_;
}

int ChildProcess::Stop(std::chrono::milliseconds grace) {
  if (pid_ <= 0) return -1;
  if (!Wait(0ms)) {
    kill(pid_, SIGTERM);
    if (!Wait(grace)) {
      kill(pid_, SIGKILL);
      Wait(10s);
      status_ = -1;
    }
  }
  pid_ = -1;
  return status_.value_or(-1);
}

bool ChildProcess::Signal(int signal) {
  if (pid_ <= 0 || Wait(0ms)) return false;
  return kill(pid_, signal) == 0;
}

int ChildProcess::Kill() {
  if (pid_ <= 0) return -1;
  if (!Wait(0ms)) {
    kill(pid_, SIGKILL);
    Wait(10s);
  }
  pid_ = -1;
  return status_.value_or(-1);
}

ProgramRun RunProgram(const std::vector<std::string>& argv, const RunOptions& options) {
  const auto until = Clock::now() + options.limit;
  TempDir scratch;
  ChildProcess::Options child;
  child.env = options.env;
  child.input = options.input;
  child.stderr_to_stdout = options.merge_stderr;
  if (!options.merge_stderr) child.stderr_path = scratch.Path() + "/err";
  ChildProcess process(argv, child);
  ProgramRun run;
  run.out = process.ReadAll(options.limit);
  // Output closed or time up: what is left of the limit, and a moment for the exit itself.
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now());
  const std::optional<int> status = process.Wait(std::max(left, std::chrono::milliseconds(2s)));
  run.status = status ? *status : -1;
  process.Stop();
  if (!options.merge_stderr) run.err = ReadFile(scratch.Path() + "/err");
  return run;
}

ProgramRun RunShell(const std::string& command, const RunOptions& options) {
  return RunProgram({"/bin/sh", "-c", command}, options);
}

namespace {

std::vector<std::string> StandinArgv(const std::vector<std::string>& options) {
  std::vector<std::string> argv = {VREK_SQLSTANDIN, "--port", "0"};
  argv.insert(argv.end(), options.begin(), options.end());
  return argv;
}

ChildProcess::Options StandinOptions(const std::string& stderr_path) {
  ChildProcess::Options o;
  o.stderr_path = stderr_path;
  return o;
}

}  // namespace

Standin::Standin(const std::vector<std::string>& options, const std::string& stderr_path)
    : process_(StandinArgv(options), StandinOptions(stderr_path)) {
  first_line_ = process_.ReadLine(20s);
  const std::string prefix = "listening on 127.0.0.1:";
  if (first_line_.rfind(prefix, 0) == 0) port_ = std::atoi(first_line_.c_str() + prefix.size());
}

void ChildProcess::Pause() {
  if (pid_ > 0 && !status_) ::kill(pid_, SIGSTOP);
}

void ChildProcess::Resume() {
  if (pid_ > 0 && !status_) ::kill(pid_, SIGCONT);
}

}  // namespace vrektest
