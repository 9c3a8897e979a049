// Comparing stand-in dumps of whole databases, for the repair tests.
#pragma once

#include <algorithm>
#include <regex>
#include <string>
#include <vector>

namespace vrektest {

// The dump's sections, one per table, in name order, with the server-named defaults' object ids
// masked: a database equals another whatever the order its tables were created in.
inline std::string Normalized(const std::string& dump) {
  static const std::regex kDefaultName("(DF__[A-Za-z0-9_]*__)[0-9A-F]{8}");
  const std::string masked = std::regex_replace(dump, kDefaultName, "$1########");
  std::vector<std::string> sections;
  std::size_t at = 0;
  while (at < masked.size()) {
    std::size_t next = masked.find("\ncreate table ", at);
    next = next == std::string::npos ? masked.size() : next + 1;
    sections.push_back(masked.substr(at, next - at));
    at = next;
  }
  std::sort(sections.begin(), sections.end());
  std::string out;
  for (const std::string& s : sections) out += s;
  return out;
}

// The section of one table in a dump, empty when the table is not there.
inline std::string Section(const std::string& dump, const std::string& table) {
  const std::string head = "create table " + table + " (\n";
  std::size_t at = dump.rfind(head, 0) == 0 ? 0 : dump.find("\n" + head);
  if (at == std::string::npos) return "";
  if (at) ++at;
  std::size_t end = dump.find("\ncreate table ", at);
  return dump.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at);
}

}  // namespace vrektest
