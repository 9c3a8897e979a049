#include "settings.h"

#include <stdlib.h>

#include <fstream>

namespace vrektest {

std::string DigitCoded(std::string_view clear, int odd) {
  std::string coded;
  for (const unsigned char b : clear)
    for (const int shift : {6, 4, 2, 0})
      coded += static_cast<char>('0' + 2 * ((b >> shift) & 3) + odd);
  return coded;
}

std::string SettingsText(const std::string& alias, const std::string& coded_user,
                         const std::string& coded_password) {
  return "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n"
         "\"ODBCNAME\"=\"" +
         alias + "\"\r\n\"USERNAME\"=\"" + coded_user + "\"\r\n\"PASSWORD\"=\"" + coded_password +
         "\"\r\n";
}

std::string FreeTdsSource(const std::string& name, const std::string& driver,
                          const std::string& port) {
  return "[" + name + "]\nDriver = " + driver + "\nServer = 127.0.0.1\nPort = " + port +
         "\nTDS_Version = 7.4\nClientCharset = UTF-8\n";
}

void WriteDataSources(const std::string& dir, const std::string& odbc_ini,
                      const std::string& odbcinst_ini) {
  std::ofstream(dir + "/odbcinst.ini") << odbcinst_ini;
  std::ofstream(dir + "/odbc.ini") << odbc_ini;
}

void UseDataSources(const std::string& dir, const std::string& odbc_ini,
                    const std::string& odbcinst_ini) {
  WriteDataSources(dir, odbc_ini, odbcinst_ini);
  setenv("ODBCSYSINI", dir.c_str(), 1);
  setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
}

}  // namespace vrektest

// Under LeakSanitizer, for the tests that reach an ODBC driver through the data sources written
// here: the drivers keep allocations made while connecting after the driver manager has unloaded
// them; their stacks name the driver only when unwound fully. Leaks of our own handles are still
// reported, their stacks go through the driver manager.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libsqlite3odbc.so\nleak:libtdsodbc.so\n";
}
