#include "stop_signals.h"

#include <csignal>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace vrekcli {

namespace {

volatile std::sig_atomic_t stop_signal = 0;

#ifdef _WIN32

// Runs on a thread of its own. TRUE: handled, the program goes on; FALSE: the default handler
// ends the program.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
  if (stop_signal != 0) return FALSE;
  stop_signal = SIGINT;
  return TRUE;
}

#else

void Say(const char* text, std::size_t size) {
  // The return value does not matter: standard error may be closed.
  if (::write(STDERR_FILENO, text, size) < 0) return;
}

void OnSignal(int signal) {
  // Only async-signal-safe calls here: the flag and one write(2).
  stop_signal = signal;
  if (signal == SIGINT) {
    static const char kText[] = "收到 SIGINT，当前一批完成后停止（再次收到则立即结束）。\n";
    Say(kText, sizeof kText - 1);
  } else {
    static const char kText[] = "收到 SIGTERM，当前一批完成后停止（再次收到则立即结束）。\n";
    Say(kText, sizeof kText - 1);
  }
}

#endif

}  // namespace

void InstallStopHandlers() {
#ifdef _WIN32
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
#else
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  // SA_RESETHAND: the second signal of a kind ends the program. SA_RESTART: system calls the
  // signal interrupts go on (FreeTDS retries its poll(2) on EINTR in any case, src/tds/net.c).
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);
#endif
}

int StopSignal() { return stop_signal; }

}  // namespace vrekcli
