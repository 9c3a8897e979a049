#include "files.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace vrektest {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "vrek-test-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create " + templ);
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::Write(const std::string& name, const std::string& content) const {
  const std::string path = path_ + "/" + name;
  std::ofstream out(path, std::ios::binary);
  out << content;
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(text.substr(at, nl - at));
  if (at < text.size()) lines.push_back(text.substr(at));
  return lines;
}

std::string FixturePath(const std::string& name) {
  return std::string(VREK_FIXTURE_DIR) + "/" + name;
}

std::string ReadFixture(const std::string& name) {
  std::ifstream in(FixturePath(name), std::ios::binary);
  if (!in) throw std::runtime_error("no fixture " + name);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace vrektest
