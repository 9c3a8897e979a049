// UpVrek.exe: the upgrade program over the Win32 GUI, the machine's ODBC data sources and the
// registry. No command line is read.
#include <windows.h>

#include <memory>

#include "UpVrek.h"
#include "platform/odbc_driver.h"
#include "platform/registry.h"
#include "platform/win32_gui.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Sizes are 96-dpi pixels that the GUI scales itself; the system must not stretch them again.
  SetProcessDPIAware();
  platform::Win32Gui gui(instance);
  // The ODBC environment is allocated inside the entry's guard: a driver manager that refuses
  // it ends in the connection-failure box.
  return UpVrek(
      gui, [] { return std::make_unique<platform::OdbcDriver>(); },
      [] { return platform::CreateRegistry(); });
}
