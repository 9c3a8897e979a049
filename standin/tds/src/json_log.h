// The batch log: one JSON object per line, flushed after each line.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "standin/engine.h"

namespace standin::tds {

// `text` as a JSON string literal, quotes included: `"` `\` and control characters escaped
// (\n \r \t or \u00XX), everything else, non-ASCII UTF-8 included, kept as is.
std::string json_string(std::string_view text);

// {"seq": N, "text": "...", "error": null} or with "error": {"number": N, "message": "..."}.
std::string json_log_line(std::size_t seq, std::string_view text, const standin::Message* error);

class JsonLog {
 public:
  // Opens (truncates) the file; throws std::runtime_error when it cannot.
  explicit JsonLog(const std::string& path);
  ~JsonLog();
  JsonLog(const JsonLog&) = delete;
  JsonLog& operator=(const JsonLog&) = delete;

  void write(std::size_t seq, std::string_view text, const standin::Message* error);

 private:
  std::mutex mutex_;
  std::FILE* file_;
};

}  // namespace standin::tds
