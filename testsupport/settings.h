// What the programs under test read before they connect: their settings file, with the
// credentials in the digit code, and the ODBC data sources.
#pragma once

#include <string>
#include <string_view>

namespace vrektest {

// The digit code of the settings store: four digits a byte, one for each base-4 digit of it
// (most significant first), digit d written as 2d + odd. Decoding halves each digit, so odd = 1
// gives another spelling of the same text.
std::string DigitCoded(std::string_view clear, int odd = 0);

// The settings file as an administrator exports it from a Windows machine (registry editor
// version 5, CRLF line ends): the data source name and the coded user name and password, written
// as given.
std::string SettingsText(const std::string& alias, const std::string& coded_user,
                         const std::string& coded_password);

// A data source of FreeTDS reaching the TDS listener on 127.0.0.1:port, as odbc.ini text.
// `driver` is a driver's path or the name of an odbcinst.ini section.
std::string FreeTdsSource(const std::string& name, const std::string& driver,
                          const std::string& port);

// Writes odbc_ini and odbcinst_ini as odbc.ini and odbcinst.ini into dir.
void WriteDataSources(const std::string& dir, const std::string& odbc_ini,
                      const std::string& odbcinst_ini = "");
// The same, and points this process's driver manager at them, so that no data source of the
// machine is seen. Call before the process's first ODBC call: the driver manager reads these
// locations once.
void UseDataSources(const std::string& dir, const std::string& odbc_ini,
                    const std::string& odbcinst_ini = "");

}  // namespace vrektest
