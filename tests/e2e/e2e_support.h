// The listener the end-to-end tests run against, and what they compare: the batches the listener
// logged, and the batches the same runs send in-process.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "odbc_test_env.h"
#include "transcripts.h"

// The text members of a sqlstandin log (one JSON object a line), JSON escapes undone.
std::vector<std::string> LoggedBatches(const std::string& log);

// The batches of that many upgrade runs of the old-register fixture in-process, with the real
// pinyin library; when failing_batch is given, that batch (counted over all runs) fails without
// executing, as the listener's --fail and --drop make it.
Transcript InProcess(int runs, std::size_t failing_batch = 0);

// sqlstandin serving the old-register fixture on a free port of 127.0.0.1, logging every batch to
// log_path, with the extra options given. port is empty when it did not become ready; first_line
// then says what it printed instead.
struct Listener {
  std::unique_ptr<platform::odbc_test::ChildProcess> process;
  std::string port;
  std::string first_line;
};
Listener StartListener(const std::string& log_path, const std::vector<std::string>& options);
