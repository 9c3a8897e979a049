#include "odbc_test_env.h"

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace platform::odbc_test {

TempDir::TempDir() {
  std::string templ = (std::filesystem::temp_directory_path() / "vrek-odbc-XXXXXX").string();
  if (!mkdtemp(templ.data())) throw std::runtime_error("cannot create " + templ);
  path_ = templ;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

void UseDataSources(const std::string& dir, const std::string& odbc_ini) {
  std::ofstream(dir + "/odbcinst.ini") << "";
  std::ofstream(dir + "/odbc.ini") << odbc_ini;
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

}  // namespace platform::odbc_test
