// Files of a test: a temporary directory of its own and whole-file reading.
#pragma once

#include <string>
#include <vector>

namespace vrektest {

// A fresh directory under the system's temporary directory, removed with its content when the
// object dies. Throws std::runtime_error when it cannot be created.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return path_; }
  // Writes content (bytes as given) to the file `name` in the directory; returns its path.
  std::string Write(const std::string& name, const std::string& content) const;

 private:
  std::string path_;
};

// The whole content of a file, "" when it cannot be read.
std::string ReadFile(const std::string& path);

// The lines of a text without their line breaks; a last line without a break counts.
std::vector<std::string> Lines(const std::string& text);

// A script of standin/fixtures: its path, and its text (throws when there is none).
std::string FixturePath(const std::string& name);
std::string ReadFixture(const std::string& name);

}  // namespace vrektest
