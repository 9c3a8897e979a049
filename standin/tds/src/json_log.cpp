#include "json_log.h"

#include <stdexcept>

namespace standin::tds {

std::string json_string(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (u < 0x20) {
          static const char hex[] = "0123456789abcdef";
          out += "\\u00";
          out += hex[u >> 4];
          out += hex[u & 0x0F];
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string json_log_line(std::size_t seq, std::string_view text, const standin::Message* error) {
  std::string line = "{\"seq\": " + std::to_string(seq) + ", \"text\": " + json_string(text) +
                     ", \"error\": ";
  if (error == nullptr) {
    line += "null";
  } else {
    line += "{\"number\": " + std::to_string(error->number) +
            ", \"message\": " + json_string(error->text) + "}";
  }
  line += "}\n";
  return line;
}

JsonLog::JsonLog(const std::string& path) : file_(std::fopen(path.c_str(), "w")) {
  if (file_ == nullptr) throw std::runtime_error("cannot open log file " + path);
}

JsonLog::~JsonLog() { std::fclose(file_); }

void JsonLog::write(std::size_t seq, std::string_view text, const standin::Message* error) {
  const std::string line = json_log_line(seq, text, error);
  std::lock_guard lock(mutex_);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace standin::tds
