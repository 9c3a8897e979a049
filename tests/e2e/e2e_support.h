// What the end-to-end tests compare: the batches the listener logged, and the batches the same
// runs send in-process.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "transcripts.h"

// The text members of a sqlstandin log (one JSON object a line), JSON escapes undone.
std::vector<std::string> LoggedBatches(const std::string& log);

// The batches of that many upgrade runs of the old-register fixture in-process, with the real
// pinyin library; when failing_batch is given, that batch (counted over all runs) fails without
// executing, as the listener's --fail and --drop make it.
Transcript InProcess(int runs, std::size_t failing_batch = 0);
