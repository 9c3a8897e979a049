// upvrek-cli: the upgrade of "开始升级" without windows, and a plan of it that changes nothing.
//
//   upvrek-cli run              runs the upgrade; each batch is printed as it is sent
//   upvrek-cli plan             says which blocks and steps would run and why, then lists the
//                               batches a run would send now
//   upvrek-cli plan --batches   only those batches, one JSON object a line: {"text": "..."}
//   upvrek-cli encode           the digit code of a line read from standard input (encode.h)
//   upvrek-cli repair [--plan [--batches]]
//                               completes what a broken run left half-done, then runs the
//                               upgrade; with --plan, changes nothing (repair.h)
//   upvrek-cli --version
// run, plan and repair also take --timeout SECONDS (anywhere after the command): a batch the
// server has not finished after that long is cancelled and the program stops, saying which batch
// it was and, for run and repair, that `repair` completes what is half-done.
//
// Exit status: 0 done; 1 the upgrade stopped (or would stop) on an error, whose text goes to
// standard error, or it ended with half-done work left (listed on standard error with the advice
// to run `repair`), or another upgrade holds the database's upgrade lock (upgrade_lock.h) (for
// encode: no text, or one it cannot code); 2 the connection failed; 64 a command line it does not
// understand; 128 + the signal (130 SIGINT, 143 SIGTERM) when a signal stopped the run before one
// of its batches (the batch being sent when it came is completed).
// A settings file that cannot be used is explained on a line of standard error before the fixed
// message of a failed connection; a missing one is a warning line, and the command goes on with
// the default settings (headless_upgrade.h). Passwords never reach any output: the driver's
// reasons for a failed connection, which may quote the login, are not told.
#pragma once

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "platform/database.h"

namespace vrekcli {

// Makes the driver the connection goes through; called only by commands that connect.
using DriverFactory = std::function<std::unique_ptr<platform::Driver>()>;

// `stop_signal` is asked before every batch: the signal that asked the program to stop, 0 while
// none did (see stop_signals.h); null never stops.
int RunCli(std::vector<std::string> args, const DriverFactory& make_driver, std::ostream& out,
           std::ostream& err, const std::function<int()>& stop_signal = nullptr);

}  // namespace vrekcli
