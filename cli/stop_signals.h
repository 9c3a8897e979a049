// How upvrek-cli is asked to stop: Ctrl-C, a termination request, a closed standard output.
//
// A run never stops in the middle of a batch on its own account: a request to stop is noted and
// granted before the next batch (GuardDriver), so the administrator learns where the run stopped
// and `upvrek-cli repair` finds the rest. A second request ends the program at once, as if no
// handler were installed.
#pragma once

namespace vrekcli {

// Installs the handlers, once, first thing in main.
//   Linux: SIGINT and SIGTERM are noted, with a line on standard error saying that the run
//   stops after the current batch; SIGPIPE is ignored, so that a closed standard output
//   (`upvrek-cli run | head -1`) only makes writes to it fail and the upgrade goes on.
//   Windows: Ctrl-C and Ctrl-Break (SetConsoleCtrlHandler) are noted as SIGINT.
void InstallStopHandlers();

// The signal that asked the program to stop (SIGINT or SIGTERM), 0 while none did.
int StopSignal();

}  // namespace vrekcli
