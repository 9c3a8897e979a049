#include "json_log.h"

#include <nlohmann/json.hpp>
#include <stdexcept>

namespace standin::tds {

std::string JsonLogLine(std::size_t seq, std::string_view text, const standin::Message* error,
                        bool cancelled) {
  // Keys in the order written; a byte that is not UTF-8 becomes U+FFFD instead of ending the
  // session with an exception.
  nlohmann::ordered_json line = {{"seq", seq}, {"text", text}, {"error", nullptr}};
  if (error != nullptr) line["error"] = {{"number", error->number}, {"message", error->text}};
  if (cancelled) line["cancelled"] = true;
  return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

JsonLog::JsonLog(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {
  if (file_ == nullptr) throw std::runtime_error("cannot open log file " + path);
}

JsonLog::~JsonLog() { std::fclose(file_); }

void JsonLog::Write(std::size_t seq, std::string_view text, const standin::Message* error,
                    bool cancelled) {
  const std::string line = JsonLogLine(seq, text, error, cancelled);
  std::lock_guard lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace standin::tds
