// What a planned run would do and why, in words, derived only from the selects the plan made
// (catalog probes, mark lookups, reads) and what they returned.
#pragma once

#include <string>
#include <vector>

#include "batch_decorators.h"

namespace vrekcli {

// One line per select of the plan, in order, as "表 lib_prtblank 不存在：将执行打印边距与人员
// 编号块". Guards of the upgrade's blocks and steps are named by what they guard; other probes
// and reads are described by their object and row count alone.
std::vector<std::string> ExplainPlan(const std::vector<PlannedBatch>& batches);

// For a plan whose run stops at its last batch with `stop`: what the stop leaves undone for good
// (a recorded mark or a created guard object keeps later runs from the rest of its block), what
// it leaves for the next run, and what to fix first.
std::vector<std::string> ExplainStop(const std::vector<PlannedBatch>& batches,
                                     const ForeseenError& stop);

}  // namespace vrekcli
