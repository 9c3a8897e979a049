#include "UpVrek.h"

#include <exception>

#include "frmUpVrekMain.h"
#include "unTools.h"

namespace {

// Creates the driver at the first connection, so that its creation happens where the
// connection does: inside the guard, after the splash is up.
class DeferredDriver : public platform::Driver {
 public:
  explicit DeferredDriver(DriverFactory make) : make_(std::move(make)) {}
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override {
    if (!driver_) driver_ = make_();
    return driver_->Connect(alias, user, password);
  }

 private:
  DriverFactory make_;
  std::unique_ptr<platform::Driver> driver_;
};

}  // namespace

void StartAndRun(platform::TApplication& Application,
                 const std::function<void()>& create_data_module) {
  auto fail = [&Application] {
    Application.MessageBox(kConnectFailed, "错误信息", platform::MsgIcon::None,
                           platform::MsgButtons::Ok);
  };
  try {
    create_data_module();
    if (ConnectMessage != "OK")
      fail();
    else
      Application.CreateForm<TUpVrekMain>(Application);
  } catch (const std::exception&) {
    fail();
  }
  Application.Run();
}

int UpVrek(platform::GuiBackend& gui, platform::Driver& driver, RegistryFactory registry) {
  platform::TApplication Application(gui);
  Application.Title = kApplicationTitle;
  StartAndRun(Application, [&] {
    Application.CreateForm<TdbToolsMain>(Application, driver, std::move(registry));
  });
  return 0;
}

int UpVrek(platform::GuiBackend& gui, DriverFactory make_driver, RegistryFactory registry) {
  DeferredDriver driver(std::move(make_driver));
  return UpVrek(gui, driver, std::move(registry));
}
