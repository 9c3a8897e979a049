// The program's entry without a screen: what the settings turn into at the driver, and the
// windows and boxes of a successful and of a failed start, in the order they happen.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "UpVrek.h"
#include "fake_driver.h"
#include "frmUpVrekMain.h"
#include "platform/headless_gui.h"
#include "unTools.h"

namespace {

// One key of settings held in memory; a value of a type other than a string is given as
// nullopt and raises the read error, as a DWORD would.
class MemoryRegistry : public platform::TRegistry {
 public:
  MemoryRegistry(bool has_key, std::map<std::string, std::optional<std::string>> values)
      : has_key_(has_key), values_(std::move(values)) {}
  bool KeyExists(std::string_view key) override {
    return has_key_ && key == "SOFTWARE\\Brantelvoss\\Vrek";
  }
  bool OpenKeyReadOnly(std::string_view key) override { return KeyExists(key); }
  std::string ReadString(std::string_view name) override {
    auto it = values_.find(std::string(name));
    if (it == values_.end()) return "";
    if (!it->second)
      throw platform::ERegistryException("Invalid data type for '" + std::string(name) + "'");
    return *it->second;
  }
  void CloseKey() override {}

 private:
  bool has_key_;
  std::map<std::string, std::optional<std::string>> values_;
};

// Notes each connection attempt in the event record, then connects or refuses.
class RecordingDriver : public platform::Driver {
 public:
  explicit RecordingDriver(platform::HeadlessGui& gui) : gui_(gui) {}
  std::optional<std::string> refuse;  // the driver's error text, when set

  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override {
    gui_.Note("connect alias=[" + alias + "] user=[" + user + "] password=[" + password + "]");
    if (refuse) throw platform::EDatabaseError(*refuse);
    return inner.Connect(alias, user, password);
  }
  FakeDriver inner;

 private:
  platform::HeadlessGui& gui_;
};

using MemoryValues = std::map<std::string, std::optional<std::string>>;

struct Startup : ::testing::Test {
  platform::HeadlessGui gui;
  RecordingDriver driver{gui};
  void SetUp() override { ConnectMessage.clear(); }

  int Run(bool has_key, std::map<std::string, std::optional<std::string>> values) {
    return UpVrek(gui, driver, [=] { return std::make_unique<MemoryRegistry>(has_key, values); });
  }
};

const std::string kSplashShown = "show FlashTools: 系统正在连接数据库，请稍候... | Brantel软件";
const std::string kSplashDrawn = "repaint FlashTools: 系统正在连接数据库，请稍候... | Brantel软件";
const std::string kWindowShown =
    "show UpVrekMain: 此次升级，修改了人员的代码类型，可以上包含字符。 | "
    "并解决Win2000中的打印问题。增加盘点功能！ | "
    "增加固定资产查询中快速定位中拼音首字母快速查询。 | 开始升级 | 退出";
const std::string kFailureBox = "box 错误信息: 数据库连接失败，请检查通信参数或服务器状态！";

TEST_F(Startup, SuccessShowsTheSplashWhileConnectingThenTheUpgradeWindow) {
  gui.User = [](platform::TForm& main, platform::TApplication& app) {
    auto& window = dynamic_cast<TUpVrekMain&>(main);
    app.Click(window.btExit);
  };
  EXPECT_EQ(Run(true, {{"ODBCNAME", " VrekODBC \t"},
                       {"USERNAME", "240224042406"},
                       {"PASSWORD", " 350335053507\r"}}),
            0);
  EXPECT_EQ(gui.Events(), (std::vector<std::string>{
                              kSplashShown,
                              kSplashDrawn,
                              "connect alias=[VrekODBC] user=[abc] password=[abc]",
                              "destroy FlashTools",
                              kWindowShown,
                              "loop UpVrekMain",
                              "close UpVrekMain",
                              "destroy UpVrekMain",
                          }));
  EXPECT_EQ(ConnectMessage, "OK");
  EXPECT_TRUE(driver.inner.batches.empty()) << "leaving touched the database";
}

TEST_F(Startup, UpgradeRunFromTheWindowEndsWithTheCompletionBox) {
  driver.inner.answer = [](const std::string&) { return Rows(1); };  // upgraded already
  gui.User = [](platform::TForm& main, platform::TApplication& app) {
    auto& window = dynamic_cast<TUpVrekMain&>(main);
    // The fake answers no catalog; the half-done check is tested against the stand-in.
    window.FindHalfDone = [](platform::TQuery&, bool) {
      return std::vector<upgrade::HalfDoneBlock>{};
    };
    window.UpgradeLockHeld = true;  // nor the lock's batch: tested against the stand-in
    app.Click(window.btUp);
    EXPECT_TRUE(window.btUp.Enabled);
  };
  Run(false, {});
  ASSERT_GE(gui.Events().size(), 2u);
  EXPECT_EQ(gui.Events()[gui.Events().size() - 2],
            "box 提示信息: 升级已经完成，请更新所有的客户端程序Vrek.exe！");
  EXPECT_EQ(gui.Events().back(), "destroy UpVrekMain");
  EXPECT_FALSE(driver.inner.batches.empty());
}

TEST_F(Startup, RefusedConnectionTakesTheSplashDownBeforeTheFailureBoxAndEnds) {
  driver.refuse = "[FreeTDS][SQL Server]Unable to connect to data source";
  EXPECT_EQ(Run(false, {}), 0);
  EXPECT_EQ(gui.Events(), (std::vector<std::string>{
                              kSplashShown,
                              kSplashDrawn,
                              "connect alias=[VrekODBC] user=[sa] password=[]",
                              "destroy FlashTools",
                              kFailureBox,
                          }));
  ASSERT_EQ(gui.Shown().size(), 1u);
  EXPECT_EQ(gui.Shown()[0].icon, platform::MsgIcon::None);
  EXPECT_EQ(gui.Shown()[0].buttons, platform::MsgButtons::Ok);
}

// The programs hand over a factory: the driver is made once, when the data module connects, so
// that a driver that cannot be made (an ODBC environment the driver manager refuses) ends in the
// failure box like a refused connection, never in std::terminate.
TEST_F(Startup, DriverIsMadeAtTheConnectionInsideTheGuard) {
  int made = 0;
  gui.User = [](platform::TForm& main, platform::TApplication& app) {
    app.Click(dynamic_cast<TUpVrekMain&>(main).btExit);
  };
  EXPECT_EQ(UpVrek(
                gui,
                [&] {
                  gui.Note("make driver");
                  ++made;
                  return std::make_unique<RecordingDriver>(gui);
                },
                [] { return std::make_unique<MemoryRegistry>(false, MemoryValues{}); }),
            0);
  EXPECT_EQ(made, 1);
  EXPECT_EQ(gui.Events(), (std::vector<std::string>{
                              kSplashShown,
                              kSplashDrawn,
                              "make driver",
                              "connect alias=[VrekODBC] user=[sa] password=[]",
                              "destroy FlashTools",
                              kWindowShown,
                              "loop UpVrekMain",
                              "close UpVrekMain",
                              "destroy UpVrekMain",
                          }));
}

TEST_F(Startup, DriverThatCannotBeMadeEndsInTheFailureBox) {
  int made = 0;
  EXPECT_EQ(UpVrek(
                gui,
                [&]() -> std::unique_ptr<platform::Driver> {
                  ++made;
                  throw platform::EDatabaseError(
                      "[unixODBC][Driver Manager]Driver's SQLAllocHandle on SQL_HANDLE_ENV failed");
                },
                [] { return std::make_unique<MemoryRegistry>(false, MemoryValues{}); }),
            0);
  EXPECT_EQ(made, 1);
  EXPECT_EQ(gui.Events(), (std::vector<std::string>{
                              kSplashShown,
                              kSplashDrawn,
                              "destroy FlashTools",
                              kFailureBox,
                          }));
  ASSERT_EQ(gui.Shown().size(), 1u);
  EXPECT_EQ(gui.Shown()[0].icon, platform::MsgIcon::None);
  EXPECT_EQ(gui.Shown()[0].buttons, platform::MsgButtons::Ok);
  EXPECT_EQ(ConnectMessage, "系统正在连接数据库，请稍候...");
}

// What the settings become at the driver; an empty `connect` means the failure box, with no
// connection attempted.
struct SettingsCase {
  const char* name;
  bool has_key;
  std::map<std::string, std::optional<std::string>> values;
  std::string connect;
};

void PrintTo(const SettingsCase& c, std::ostream* os) { *os << c.name; }

class Settings : public Startup, public ::testing::WithParamInterface<SettingsCase> {};

TEST_P(Settings, BecomeTheConnectionParameters) {
  const SettingsCase& c = GetParam();
  Run(c.has_key, c.values);
  std::vector<std::string> expected;
  if (c.connect.empty()) {
    expected = {kFailureBox};
  } else {
    expected = {kSplashShown, kSplashDrawn,      c.connect,           "destroy FlashTools",
                kWindowShown, "loop UpVrekMain", "destroy UpVrekMain"};
  }
  EXPECT_EQ(gui.Events(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Table, Settings,
    ::testing::Values(
        SettingsCase{"key_missing",
                     false,
                     {{"ODBCNAME", "Other"}},
                     "connect alias=[VrekODBC] user=[sa] password=[]"},
        SettingsCase{"values_missing", true, {}, "connect alias=[] user=[] password=[]"},
        SettingsCase{"five_digit_password",
                     true,
                     {{"ODBCNAME", "A"}, {"USERNAME", "2402"}, {"PASSWORD", "24022"}},
                     "connect alias=[A] user=[a] password=[]"},
        SettingsCase{"letter_in_seven_characters",
                     true,
                     {{"ODBCNAME", "A"}, {"USERNAME", "2402a40"}},
                     "connect alias=[A] user=[] password=[]"},
        SettingsCase{
            "letter_in_eight_characters", true, {{"ODBCNAME", "A"}, {"USERNAME", "2402a402"}}, ""},
        SettingsCase{
            "byte_zero_and_high_bytes",
            true,
            {{"ODBCNAME", "A"}, {"USERNAME", "00012402"}, {"PASSWORD", "99999999"}},
            std::string("connect alias=[A] user=[") + std::string(1, '\0') + "a] password=[TT]"},
        SettingsCase{"letter_in_the_coded_password",
                     true,
                     {{"ODBCNAME", "A"}, {"USERNAME", "2402"}, {"PASSWORD", "24022x02"}},
                     ""},
        SettingsCase{"password_of_another_type",
                     true,
                     {{"ODBCNAME", "A"}, {"USERNAME", "2402"}, {"PASSWORD", std::nullopt}},
                     ""}),
    [](const ::testing::TestParamInfo<SettingsCase>& info) { return info.param.name; });

TEST(StartAndRun, ConnectMessageOtherThanOkMeansFailureEvenWithoutAnError) {
  platform::HeadlessGui gui;
  platform::TApplication app{gui};
  StartAndRun(app, [] { ConnectMessage = "系统正在连接数据库，请稍候..."; });
  EXPECT_EQ(gui.Events(), std::vector<std::string>{kFailureBox});
  EXPECT_EQ(app.MainForm, nullptr);
}

}  // namespace
