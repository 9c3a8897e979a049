// The batch log: one JSON object per line, flushed after each line.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include "standin/engine.h"

namespace standin::tds {

// {"seq":N,"text":"...","error":null} or with "error":{"number":N,"message":"..."}, then
// ,"cancelled":true for a batch its client cancelled, and a line break. Strings are escaped as
// JSON requires, UTF-8 kept as is.
std::string JsonLogLine(std::size_t seq, std::string_view text, const standin::Message* error,
                        bool cancelled = false);

class JsonLog {
 public:
  // Opens (truncates) the file; throws std::runtime_error when it cannot.
  explicit JsonLog(const std::string& path);
  ~JsonLog();
  JsonLog(const JsonLog&) = delete;
  JsonLog& operator=(const JsonLog&) = delete;

  void Write(std::size_t seq, std::string_view text, const standin::Message* error,
             bool cancelled = false);

 private:
  std::mutex mutex_;
  std::FILE* file_;
};

}  // namespace standin::tds
