// upvrek-cli repair: completes what a broken run left half-done, then runs the upgrade.
//
//   repair                      finds the half-done blocks and steps (selects only), sends what
//                               completes each of them, then the ledger and the steps as `run`
//                               does; every batch is printed as it is sent
//   repair --plan               changes nothing: what is half-done and why, then the batches
//                               `repair` would send now
//   repair --plan --batches     only those batches, one JSON object a line
//
// A block that cannot be completed safely is named with the reason and left as it is; the rest
// is repaired and the steps run, and the exit status is 1. Exit status otherwise as for `run`.
#pragma once

#include <ostream>

#include "batch_decorators.h"
#include "platform/database.h"

namespace vrekcli {

// A stop or a timed-out batch (`limits`) ends it as GuardDriver says, with its exit status.
int Repair(platform::Driver& driver, bool plan, bool batches_only, std::ostream& out,
           std::ostream& err, const RunLimits& limits = {});

}  // namespace vrekcli
