#include "listener_log.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

#include "files.h"

namespace vrektest {

std::vector<LoggedBatch> ParseListenerLog(const std::string& log) {
  std::vector<LoggedBatch> batches;
  for (const std::string& line : Lines(log)) {
    try {
      const nlohmann::json j = nlohmann::json::parse(line);
      const bool cancelled = j.is_object() && j.contains("cancelled");
      if (!j.is_object() || j.size() != (cancelled ? 4u : 3u) ||
          (cancelled && j.at("cancelled") != true))
        throw std::runtime_error("not a batch object");
      LoggedBatch b;
      b.seq = j.at("seq").get<std::size_t>();
      b.text = j.at("text").get<std::string>();
      b.cancelled = cancelled;
      const nlohmann::json& e = j.at("error");
      if (!e.is_null())
        b.error = LoggedError{e.at("number").get<int>(), e.at("message").get<std::string>()};
      batches.push_back(std::move(b));
    } catch (const std::exception& e) {
      throw std::runtime_error("not a batch log line (" + std::string(e.what()) + "): " + line);
    }
  }
  return batches;
}

std::vector<std::string> LoggedBatches(const std::string& log) {
  std::vector<std::string> texts;
  for (LoggedBatch& b : ParseListenerLog(log)) texts.push_back(std::move(b.text));
  return texts;
}

std::vector<std::string> ReadLoggedBatches(const std::string& path) {
  return LoggedBatches(ReadFile(path));
}

std::vector<std::string> PlannedBatches(const std::string& out) {
  std::vector<std::string> texts;
  const std::vector<std::string> lines = Lines(out);
  for (const std::string& line : lines) {
    const nlohmann::json j = nlohmann::json::parse(line);
    // The batch where the run would stop also carries its error, as the listener logs it.
    const bool with_error = j.is_object() && j.size() == 2 && j.contains("error") &&
                            j.at("error").is_object() && &line == &lines.back();
    if (!j.is_object() || (j.size() != 1 && !with_error) || !j.contains("text") ||
        !j.at("text").is_string())
      throw std::runtime_error("not a plan line: " + line);
    texts.push_back(j.at("text").get<std::string>());
  }
  return texts;
}

}  // namespace vrektest
