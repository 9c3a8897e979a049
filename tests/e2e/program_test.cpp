// The real program, as a person runs it: UpVrek on a virtual X display, its settings in a
// settings file, its data source reaching the TDS listener through unixODBC and FreeTDS. The
// test clicks where a person clicks (xdotool) and reads what the windows showed from the
// program's window log (VREK_GUI_LOG).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "files.h"
#include "listener_log.h"
#include "process.h"
#include "settings.h"
#include "upgrade_fixture.h"

namespace {

using vrektest::ChildProcess;
using vrektest::DigitCoded;
using vrektest::Lines;
using vrektest::ReadFile;
using vrektest::TempDir;
using namespace std::chrono_literals;

const char kCaption[] = "固定资产升级程序     2012.11";
const std::string kSplash = "系统正在连接数据库，请稍候... | Brantel软件";
const std::string kWindowTexts =
    "此次升级，修改了人员的代码类型，可以上包含字符。 | "
    "并解决Win2000中的打印问题。增加盘点功能！ | "
    "增加固定资产查询中快速定位中拼音首字母快速查询。 | 开始升级 | 退出";
const std::string kDoneLine = "box 提示信息: 升级已经完成，请更新所有的客户端程序Vrek.exe！";
const std::string kFailureLine = "box 错误信息: 数据库连接失败，请检查通信参数或服务器状态！";

// The output of a shell command run with a time limit, its last line break removed.
std::string Shell(const std::string& command) {
  vrektest::RunOptions options;
  options.limit = 20s;
  options.merge_stderr = true;
  std::string out = vrektest::RunShell(command, options).out;
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// One virtual display for the whole suite, at 96 dots per inch so that designed pixels are
// screen pixels.
class Display {
 public:
  Display()
      : xvfb_({VREK_XVFB, "-displayfd", "1", "-screen", "0", "1024x768x24", "-dpi", "96",
               "-nolisten", "tcp"}) {
    number_ = xvfb_.ReadLine(20s);
  }
  const std::string& Number() const { return number_; }

 private:
  ChildProcess xvfb_;
  std::string number_;
};

class UpVrekProgram : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    display_ = new Display;
    setenv("DISPLAY", (":" + display_->Number()).c_str(), 1);
    setenv("QT_QPA_PLATFORM", "xcb", 1);
    // Seen only in sanitized builds: what system libraries keep at exit is not ours to free.
    setenv("LSAN_OPTIONS", "suppressions=" VREK_LSAN_SUPPRESSIONS, 1);
  }
  static void TearDownTestSuite() {
    delete display_;
    display_ = nullptr;
  }

  void SetUp() override {
    ASSERT_FALSE(display_->Number().empty()) << "Xvfb did not start";
    setenv("ODBCINI", (dir_.Path() + "/odbc.ini").c_str(), 1);
    setenv("ODBCSYSINI", dir_.Path().c_str(), 1);
    setenv("VREK_REGISTRY", (dir_.Path() + "/vrek.reg").c_str(), 1);
    setenv("VREK_GUI_LOG", gui_log_.c_str(), 1);
    // The driver stays loaded until the program ends: unloading it once it has left thread-local
    // data behind crashes the leak checker of sanitized builds at exit.
    dir_.Write("odbcinst.ini", "[FreeTDS]\nDriver = " VREK_TDS_ODBC_DRIVER "\nDontDLClose = 1\n");
  }

  // Starts the listener on the old register; the data source VrekODBC reaches it.
  void StartServer(const std::vector<std::string>& options = {}) {
    server_ = StartListener(server_log_, options);
    ASSERT_TRUE(server_->Started()) << server_->FirstLine();
    WriteDataSource(server_->PortText());
  }

  void WriteDataSource(const std::string& port) {
    dir_.Write("odbc.ini", vrektest::FreeTdsSource("VrekODBC", "FreeTDS", port));
  }

  void WriteSettings(const std::string& alias, const std::string& user,
                     const std::string& password) {
    dir_.Write("vrek.reg", vrektest::SettingsText(alias, user, password));
  }

  // The program, its output in a file; killed when the object dies.
  std::unique_ptr<ChildProcess> Launch() {
    std::remove(gui_log_.c_str());
    ChildProcess::Options options;
    options.stdout_path = dir_.Path() + "/program.out";
    options.stderr_to_stdout = true;
    return std::make_unique<ChildProcess>(std::vector<std::string>{VREK_UPVREK}, options);
  }

  // The program ends by itself, successfully; else its output tells why.
  void ExpectCleanExit(ChildProcess& program) {
    EXPECT_EQ(program.Wait(20s), 0) << ReadFile(dir_.Path() + "/program.out");
  }

  // The window log once it holds `line`, or as it is when the time is up.
  std::vector<std::string> WaitForLine(const std::string& line) {
    const auto end = std::chrono::steady_clock::now() + 30s;
    for (;;) {
      std::vector<std::string> lines = Lines(ReadFile(gui_log_));
      for (const std::string& l : lines)
        if (l == line) return lines;
      if (std::chrono::steady_clock::now() > end) return lines;
      std::this_thread::sleep_for(50ms);
    }
  }

  // The X window whose name is exactly `name`; "" when none appears within the time.
  static std::string FindWindow(const std::string& name) {
    return Shell("xdotool search --sync --onlyvisible --name '^" + name + "$' | head -n 1");
  }

  static void ClickAt(const std::string& window, int x, int y) {
    Shell("xdotool mousemove --window " + window + " " + std::to_string(x) + " " +
          std::to_string(y) + " click 1");
  }

  // Answers the message box named `caption` with its default button, as a person pressing
  // Enter does.
  static void PressEnterIn(const std::string& caption) {
    const std::string box = FindWindow(caption);
    ASSERT_FALSE(box.empty()) << "no window named " << caption;
    Shell("xdotool windowfocus --sync " + box + " key --clearmodifiers Return");
  }

  static void Screenshot(const std::string& name) {
    Shell(std::string(VREK_XGRAB) + " " + VREK_ARTEFACT_DIR + "/" + name);
  }

  std::vector<std::string> ServerLog() { return vrektest::ReadLoggedBatches(server_log_); }

  static Display* display_;
  TempDir dir_;
  std::string gui_log_ = dir_.Path() + "/gui.log";
  std::string server_log_ = dir_.Path() + "/batches.jsonl";
  std::unique_ptr<vrektest::Standin> server_;
};

Display* UpVrekProgram::display_ = nullptr;

// Start-up up to the upgrade window: the splash while connecting, then the window.
const std::vector<std::string> kStarted = {"show FlashTools: " + kSplash,
                                           "repaint FlashTools: " + kSplash, "destroy FlashTools",
                                           "show UpVrekMain: " + kWindowTexts, "loop UpVrekMain"};

// Starts the program, clicks "开始升级" and waits for the box `box_line`; returns the window.
#define RUN_TO_BOX(program, box_line, window)          \
  auto program = Launch();                             \
  ASSERT_EQ(WaitForLine("loop UpVrekMain"), kStarted); \
  const std::string window = FindWindow(kCaption);     \
  ASSERT_FALSE(window.empty());                        \
  ClickAt(window, 24 + 37, 80 + 12);                   \
  WaitForLine(box_line)

TEST_F(UpVrekProgram, UpgradesOnAClickAndASecondRunChangesNothing) {
  StartServer();
  WriteSettings("VrekODBC", DigitCoded("sa"), "");
  {
    RUN_TO_BOX(program, kDoneLine, window);
    EXPECT_EQ(Shell("xdotool getwindowname " + window), kCaption);
    Screenshot("upgrade-done.png");
    PressEnterIn("提示信息");
    ClickAt(window, 248 + 37, 80 + 12);  // 退出
    ExpectCleanExit(*program);
    std::vector<std::string> expected = kStarted;
    expected.insert(expected.end(), {kDoneLine, "close UpVrekMain", "destroy UpVrekMain"});
    EXPECT_EQ(Lines(ReadFile(gui_log_)), expected);
  }
  EXPECT_EQ(ServerLog(), InProcess(1));
  {
    RUN_TO_BOX(program, kDoneLine, window);
    PressEnterIn("提示信息");
    ClickAt(window, 248 + 37, 80 + 12);
    ExpectCleanExit(*program);
  }
  EXPECT_EQ(ServerLog(), InProcess(2));
}

// A server-side failure in the middle of a run: the error box under the application's title,
// the start button disabled (a second click sends nothing), and a later run resumes.
struct Fault {
  const char* name;
  std::vector<std::string> server_options;
  std::string box_line;
};

class Faults : public UpVrekProgram, public testing::WithParamInterface<Fault> {};

void PrintTo(const Fault& f, std::ostream* os) { *os << f.name; }

TEST_P(Faults, ShowTheErrorKeepTheButtonDisabledAndTheNextRunResumes) {
  const Fault& f = GetParam();
  StartServer(f.server_options);
  WriteSettings("VrekODBC", DigitCoded("sa"), "");
  {
    RUN_TO_BOX(program, f.box_line, window);
    std::vector<std::string> expected = kStarted;
    expected.push_back(f.box_line);
    EXPECT_EQ(Lines(ReadFile(gui_log_)), expected);
    PressEnterIn("Brantel资产管理系统");
    const std::size_t sent = ServerLog().size();
    ClickAt(window, 24 + 37, 80 + 12);
    std::this_thread::sleep_for(1s);
    EXPECT_EQ(ServerLog().size(), sent) << "the start button still ran the upgrade";
    ClickAt(window, 248 + 37, 80 + 12);
    ExpectCleanExit(*program);
  }
  {
    RUN_TO_BOX(program, kDoneLine, window);
    PressEnterIn("提示信息");
    ClickAt(window, 248 + 37, 80 + 12);
    ExpectCleanExit(*program);
  }
  EXPECT_EQ(ServerLog(), InProcess(2, 41));
}

INSTANTIATE_TEST_SUITE_P(
    AtBatch41, Faults,
    testing::Values(
        Fault{"statement_fails",
              {"--fail", "41:2627"},
              "box Brantel资产管理系统: [FreeTDS][SQL Server]Batch 41 failed: error injected "
              "by the stand-in."},
        Fault{"connection_dropped",
              {"--drop", "41"},
              "box Brantel资产管理系统: [FreeTDS][SQL Server]Unexpected EOF from the server"}),
    [](const testing::TestParamInfo<Fault>& info) { return std::string(info.param.name); });

// Connections that cannot be made: the failure box, then the program ends with no window.
struct Refusal {
  const char* name;
  std::vector<std::string> server_options;  // empty: nothing listens
  std::string alias, user;
  bool splash;  // the settings were read and a connection attempted
};

class Refusals : public UpVrekProgram, public testing::WithParamInterface<Refusal> {};

void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

TEST_P(Refusals, EndInTheConnectionFailureBox) {
  const Refusal& r = GetParam();
  if (r.server_options.empty()) {
    // A port that was free a moment ago: nothing answers there.
    int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len);
    close(s);
    WriteDataSource(std::to_string(ntohs(addr.sin_port)));
  } else {
    StartServer(r.server_options);
  }
  WriteSettings(r.alias, r.user, "");
  auto program = Launch();
  std::vector<std::string> expected;
  if (r.splash)
    expected = {"show FlashTools: " + kSplash, "repaint FlashTools: " + kSplash,
                "destroy FlashTools"};
  expected.push_back(kFailureLine);
  EXPECT_EQ(WaitForLine(kFailureLine), expected);
  PressEnterIn("错误信息");
  ExpectCleanExit(*program);
  if (server_) {
    EXPECT_EQ(ServerLog(), std::vector<std::string>{});
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, Refusals,
    testing::Values(
        Refusal{"nothing_listening", {}, "VrekODBC", DigitCoded("sa"), true},
        Refusal{"wrong_password", {"--login", "sa:secret"}, "VrekODBC", DigitCoded("sa"), true},
        Refusal{"unknown_data_source", {"--login", "sa:"}, "NoSuchSource", DigitCoded("sa"), true},
        Refusal{"letter_in_coded_user_name", {"--login", "sa:"}, "VrekODBC", "2402240a", false}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

}  // namespace
