// UpVrek.exe: the upgrade program over the Win32 GUI, the machine's ODBC data sources and the
// registry. No command line is read.
#include <windows.h>

#include <memory>

#include "UpVrek.h"
#include "platform/odbc_driver.h"
#include "platform/registry.h"
#include "platform/win32_gui.h"

namespace {

// Allocates the ODBC environment at the first connection, inside the entry routine's guard, so
// that a driver manager that refuses it ends in the connection-failure box like any other
// connection error.
class DeferredOdbcDriver : public platform::Driver {
 public:
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override {
    if (!driver_) driver_ = std::make_unique<platform::OdbcDriver>();
    return driver_->Connect(alias, user, password);
  }

 private:
  std::unique_ptr<platform::OdbcDriver> driver_;
};

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  // Sizes are 96-dpi pixels that the GUI scales itself; the system must not stretch them again.
  SetProcessDPIAware();
  platform::Win32Gui gui(instance);
  DeferredOdbcDriver driver;
  return UpVrek(gui, driver, [] { return platform::CreateRegistry(); });
}
