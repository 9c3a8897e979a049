// upvrek-cli over ODBC; everything else is in cli.cpp.
#include <iostream>

#include "cli.h"
#include "platform/odbc_driver.h"
#include "stop_signals.h"
#ifdef _WIN32
#include "console_win32.h"
#endif

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
#ifdef _WIN32
  vrekcli::UseWindowsConsole();
#endif
  vrekcli::InstallStopHandlers();
  const std::vector<std::string> args(argv + 1, argv + argc);
  const int status = vrekcli::RunCli(
      args, [] { return std::make_unique<platform::OdbcDriver>(); }, std::cout, std::cerr,
      vrekcli::StopSignal);
  std::cout.flush();
  return status;
}
