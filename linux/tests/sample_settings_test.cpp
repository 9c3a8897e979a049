// The sample settings file that is installed for administrators: read by the program's own
// data module, it makes the stored connection (alias VrekODBC, user sa, empty password).
#include <gtest/gtest.h>

#include <string>

#include "dmToolsData.h"
#include "platform/headless_gui.h"
#include "platform/regfile.h"

namespace {

class RefusingDriver : public platform::Driver {
 public:
  std::string seen;
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override {
    seen = "alias=[" + alias + "] user=[" + user + "] password=[" + password + "]";
    throw platform::EDatabaseError("refused");
  }
};

TEST(SampleSettings, ConnectAsTheStoredDefaults) {
  platform::HeadlessGui gui;
  platform::TApplication app(gui);
  RefusingDriver driver;
  EXPECT_THROW(TdbToolsMain(app, driver,
                            [] { return std::make_unique<platform::TRegistryFile>(VREK_SAMPLE); }),
               platform::EDatabaseError);
  EXPECT_EQ(driver.seen, "alias=[VrekODBC] user=[sa] password=[]");
  platform::TRegistryFile file(VREK_SAMPLE);
  EXPECT_TRUE(file.KeyExists("SOFTWARE\\Brantelvoss\\Vrek"));
}

}  // namespace
