// Child processes of a test, each with a time limit: the one way tests start programs, and
// sqlstandin on a free port.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

namespace vrektest {

using namespace std::chrono_literals;

// A running program. It ends with the test process even when that one is killed before its
// destructors run, and is stopped (SIGTERM, then SIGKILL) when the object dies.
class ChildProcess {
 public:
  struct Options {
    std::vector<std::string> env;      // "NAME=value" entries added to the test's environment
    std::optional<std::string> input;  // its standard input holds exactly this text;
                                       // without it, standard input is the test's
    std::string stdout_path;  // its standard output goes to this file; "": a pipe read by ReadLine
    std::string stderr_path;  // its standard error goes to this file; "": the test's
    bool stderr_to_stdout = false;  // standard error joins standard output (overrides the path)
  };

  // Starts argv[0] (a path, not searched) with the arguments. Throws std::runtime_error when no
  // process can be made; a program that cannot be executed ends at once with status 127.
  explicit ChildProcess(const std::vector<std::string>& argv);
  ChildProcess(const std::vector<std::string>& argv, const Options& options);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The next line of its output without the line break; "" when none came within the time or
  // the output ended.
  std::string ReadLine(std::chrono::milliseconds limit);
  // Everything it writes until it closes its output or the time is up.
  std::string ReadAll(std::chrono::milliseconds limit);

  // Its exit status once it ended within the time (128 + the signal when a signal ended it);
  // nullopt while it still runs.
  std::optional<int> Wait(std::chrono::milliseconds limit);
  // Sends SIGTERM, then SIGKILL when it has not ended after `grace`. Returns the exit status as
  // Wait does, -1 when it had to be killed or had already been stopped.
  int Stop(std::chrono::milliseconds grace = 10s);
  // Sends it the signal (SIGINT as Ctrl-C in its terminal would) without waiting. False when it
  // has already ended or been stopped.
  bool Signal(int signal);
  // Ends it at once with SIGKILL, as a power cut or the task manager would, and waits for it.
  // Returns the exit status as Wait does (128 + 9), -1 when it had already been stopped.
  int Kill();
  // Stops it where it is (SIGSTOP) and lets it go on (SIGCONT): what it holds stays held.
  void Pause();
  void Resume();

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  std::optional<int> status_;
  std::string pending_;
};

// What a program that ran to its end printed.
struct ProgramRun {
  int status = -1;  // exit status as ChildProcess::Wait gives it; -1: killed at the time limit
  std::string out;  // standard output (with standard error when merged)
  std::string err;  // standard error, unless merged
};

struct RunOptions {
  std::vector<std::string> env;
  std::string input;
  std::chrono::milliseconds limit = 60s;
  bool merge_stderr = false;
};

// Runs argv to its end, killed when it has not ended within the limit.
ProgramRun RunProgram(const std::vector<std::string>& argv, const RunOptions& options = {});
// The same through /bin/sh -c, for pipelines.
ProgramRun RunShell(const std::string& command, const RunOptions& options = {});

// sqlstandin on a free port of 127.0.0.1 (--port 0), with the given options.
class Standin {
 public:
  // Starts it and waits up to 20 s for its "listening on 127.0.0.1:<port>" line. Its standard
  // error goes to stderr_path ("": the test's).
  explicit Standin(const std::vector<std::string>& options, const std::string& stderr_path = "");

  bool Started() const { return port_ > 0; }
  int Port() const { return port_; }
  std::string PortText() const { return std::to_string(port_); }
  // The first line it printed: the listening line, or what it printed instead ("" if nothing).
  const std::string& FirstLine() const { return first_line_; }
  // Ends it as ChildProcess::Stop does; sqlstandin ends with status 0 on SIGTERM.
  int Stop() { return process_.Stop(); }

 private:
  ChildProcess process_;
  std::string first_line_;
  int port_ = 0;
};

}  // namespace vrektest
