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
//
// Exit status: 0 done; 1 the upgrade stopped (or would stop) on an error, whose text goes to
// standard error, or it ended with half-done work left (listed on standard error with the advice
// to run `repair`), or another upgrade holds the database's upgrade lock (upgrade_lock.h) (for
// encode: no text, or one it cannot code); 2 the connection failed; 64 a
// command line it does not understand.
// Passwords never reach any output: a failed connection is reported by the fixed message only.
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

int RunCli(const std::vector<std::string>& args, const DriverFactory& make_driver,
           std::ostream& out, std::ostream& err);

}  // namespace vrekcli
