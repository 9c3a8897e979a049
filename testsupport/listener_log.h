// The batch log of sqlstandin (--log): one JSON object a line,
// {"seq": N, "text": "...", "error": null or {"number": N, "message": "..."}}, with
// "cancelled": true last for a batch its client cancelled.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace vrektest {

struct LoggedError {
  int number = 0;
  std::string message;
  bool operator==(const LoggedError&) const = default;
};

struct LoggedBatch {
  std::size_t seq = 0;
  std::string text;
  std::optional<LoggedError> error;
  bool cancelled = false;
  bool operator==(const LoggedBatch&) const = default;
};

// Every line of a log's text. Throws std::runtime_error on a line that is not such an object.
std::vector<LoggedBatch> ParseListenerLog(const std::string& log);
// Only the batch texts, in order.
std::vector<std::string> LoggedBatches(const std::string& log);
// The batch texts of a log file.
std::vector<std::string> ReadLoggedBatches(const std::string& path);

// The batch texts of upvrek-cli's `--batches` output: one object a line, its only member "text".
// Throws std::runtime_error on a line of another form.
std::vector<std::string> PlannedBatches(const std::string& out);

}  // namespace vrektest
