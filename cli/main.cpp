// upvrek-cli over ODBC; everything else is in cli.cpp.
#include <iostream>

#include "cli.h"
#include "platform/odbc_driver.h"

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  const std::vector<std::string> args(argv + 1, argv + argc);
  return vrekcli::RunCli(
      args, [] { return std::make_unique<platform::OdbcDriver>(); }, std::cout, std::cerr);
}
