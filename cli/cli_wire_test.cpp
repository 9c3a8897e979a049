// upvrek-cli as administrators run it: the program itself, its settings file and data source,
// unixODBC and FreeTDS, TCP to the TDS listener. The listener's log is the record of what the run
// sent; the plan made just before must list exactly those batches.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "files.h"
#include "foresight.h"
#include "json_text.h"
#include "listener_log.h"
#include "process.h"
#include "settings.h"
#include "upgrade_fixture.h"

namespace {

using vrektest::DigitCoded;
using vrektest::Lines;
using vrektest::PlannedBatches;
using vrektest::ProgramRun;
using vrektest::TempDir;
using namespace std::chrono_literals;

const std::string kPassword = "Wire'Pass 42";

class CliWire : public testing::Test {
 protected:
  // Serves the fixture (and the extra batches) with a password login; writes the data source
  // VrekODBC and the settings file the program reads.
  void Start(const std::string& fixture, const std::string& extra = "") {
    std::vector<std::string> options = {
        "--login", "sa:" + kPassword, "--load", FixturePath(fixture), "--log", LogPath()};
    if (!extra.empty())
      options.insert(options.end(), {"--load", dir_.Write("extra.sql", extra + "\n")});
    server_ = std::make_unique<vrektest::Standin>(options);
    ASSERT_TRUE(server_->Started()) << server_->FirstLine();
    vrektest::WriteDataSources(
        dir_.Path(),
        vrektest::FreeTdsSource("VrekODBC", VREK_TDS_ODBC_DRIVER, server_->PortText()));
    Settings(kPassword);
  }

  // The credentials in odd digits: another spelling of the same text, which decodes alike.
  void Settings(const std::string& password) {
    dir_.Write("vrek.reg",
               vrektest::SettingsText("VrekODBC", DigitCoded("sa", 1), DigitCoded(password, 1)));
  }

  // `input` is the program's standard input.
  ProgramRun Program(const std::string& args, const std::string& input = "") {
    const std::string& d = dir_.Path();
    std::vector<std::string> argv = {VREK_UPVREK_CLI};
    std::istringstream words(args);
    for (std::string w; words >> w;) argv.push_back(w);
    vrektest::RunOptions options;
    options.env = {"ODBCINI=" + d + "/odbc.ini", "ODBCSYSINI=" + d,
                   "VREK_REGISTRY=" + d + "/vrek.reg"};
    options.limit = 60s;
    options.input = input;
    const ProgramRun r = vrektest::RunProgram(argv, options);
    all_output_ += r.out + r.err;
    return r;
  }

  std::string LogPath() const { return dir_.Path() + "/log.jsonl"; }
  std::vector<std::string> Log() { return vrektest::ReadLoggedBatches(LogPath()); }

  // A plan, then a run: the plan sends only selects, and its batches are the run's, in the
  // listener's log and in the run's own output. Returns the run.
  ProgramRun PlanThenRunAgree() {
    const std::size_t before = Log().size();
    const ProgramRun plan = Program("plan --batches");
    const std::vector<std::string> planned_log = Log();
    for (std::size_t i = before; i < planned_log.size(); ++i)
      EXPECT_EQ(planned_log[i].rfind("select ", 0), 0u) << planned_log[i];

    const ProgramRun run = Program("run");
    const std::vector<std::string> log = Log();
    EXPECT_GT(log.size(), planned_log.size());
    const std::vector<std::string> sent(log.begin() + static_cast<long>(planned_log.size()),
                                        log.end());
    std::string echo;
    for (std::size_t i = 0; i < sent.size(); ++i)
      echo += "-- 批 " + std::to_string(i + 1) + "\n" + sent[i] + "\n";
    // A plan that changes the database leaves out the reads of the check before the end, which
    // on these registers are the check of an upgraded one.
    const std::vector<std::string> planned = PlannedBatches(plan.out);
    const bool changes = std::any_of(planned.begin(), planned.end(),
                                     [](const std::string& b) { return !ChangesNothing(b); });
    const bool reached_end =
        run.status == 0 || run.err.find("请运行 upvrek-cli repair") != std::string::npos;
    EXPECT_EQ(changes && reached_end ? planned + CheckOnUpgraded() : planned, sent);
    EXPECT_EQ(plan.status, run.status);
    EXPECT_EQ(plan.err, run.err);
    EXPECT_EQ(run.out.substr(0, echo.size()), echo);
    EXPECT_EQ(run.out.find(kPassword), std::string::npos);
    return run;
  }

  void TearDown() override { EXPECT_EQ(all_output_.find(kPassword), std::string::npos); }

  static constexpr const char* kDone = "升级已经完成，请更新所有的客户端程序Vrek.exe！\n";
  TempDir dir_;
  std::unique_ptr<vrektest::Standin> server_;
  std::string all_output_;
};

std::string Tail(const std::string& s, std::size_t n) {
  return s.size() < n ? s : s.substr(s.size() - n);
}

TEST_F(CliWire, OldRegisterThenUpgraded) {
  Start("old_register.sql");
  ProgramRun first = PlanThenRunAgree();
  EXPECT_EQ(first.status, 0);
  EXPECT_EQ(first.err, "");
  EXPECT_EQ(Tail(first.out, std::string(kDone).size()), kDone);
  const std::size_t before = Log().size();
  ProgramRun second = PlanThenRunAgree();
  EXPECT_EQ(second.status, 0);
  const std::vector<std::string> log = Log();
  ASSERT_GE(log.size(), before + CliUpgradedRun().size());
  EXPECT_EQ(
      std::vector<std::string>(log.end() - static_cast<long>(CliUpgradedRun().size()), log.end()),
      CliUpgradedRun())
      << "an upgraded register gets the check, nine probes, three mark lookups, the check";
}

// Half-done work the steps leave as it is: the run ends unfinished and advises repair.
TEST_F(CliWire, PartlyUpgraded) {
  Start("partly_upgraded.sql");
  ProgramRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, kPartlyUpgradedRunErr);
  EXPECT_EQ(run.out.find(kDone), std::string::npos);
}

TEST_F(CliWire, RefusedPersons) {
  Start("old_register.sql", "update lib_people set pe_dept=NULL where pe_no=7");
  ProgramRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "人员数据无法转换为新的人员编号格式，升级已停止，人员数据未作任何改动。"
            "请修正以下人员后重新升级：\n人员编号 7：部门为空\n");
  const std::vector<std::string> log = Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back(), "select * from lib_people");
}

// Registers a run cannot finish, over ODBC and the listener: the plan lists the batches the run
// sends, up to the one where it stops, and marks that one with the error the listener logs for it
// (0 and the program's message for a stop the program makes after a read); both exit 1.
TEST_F(CliWire, ThePlanForeseesWhereTheRunStops) {
  const struct {
    const char* name;
    const char* extra;
    int number;
  } cases[] = {
      {"no unit dictionary", "drop table lib_unit", 3701},
      {"no consumables ledger", "drop table lib_liushui", 1088},
      {"a version ledger without its column", "create table ver_manage (note char(40))", 207},
      {"a person number too wide for text",
       "insert into lib_lsoutls values (4, 'x', 1234567890, 1.00, NULL, '')", 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Start("old_register.sql", c.extra);
    const ProgramRun plan = Program("plan --batches");
    const std::size_t planned_at = Log().size();
    const ProgramRun run = Program("run");
    EXPECT_EQ(plan.status, 1);
    EXPECT_EQ(run.status, 1);
    const std::vector<vrektest::LoggedBatch> log =
        vrektest::ParseListenerLog(vrektest::ReadFile(LogPath()));
    ASSERT_GT(log.size(), planned_at);
    const std::vector<std::string> lines = vrektest::Lines(plan.out);
    ASSERT_EQ(lines.size(), log.size() - planned_at) << plan.out;
    for (std::size_t i = 0; i + 1 < lines.size(); ++i)
      EXPECT_EQ(lines[i], vrekcli::JsonBatchLine(log[planned_at + i].text));
    const vrektest::LoggedBatch& stop = log.back();
    const vrekcli::ForeseenError expected =
        stop.error ? vrekcli::ForeseenError{stop.error->number, stop.error->message}
                   : vrekcli::ForeseenError{0, run.err.substr(0, run.err.size() - 1)};
    EXPECT_EQ(expected.number, c.number);
    EXPECT_EQ(lines.back(), vrekcli::JsonBatchLine(stop.text, &expected));
  }
}

TEST_F(CliWire, WrongPasswordIsAFailedConnection) {
  Start("old_register.sql");
  const std::string wrong = kPassword + "x";
  Settings(wrong);
  for (const char* args : {"run", "plan", "plan --batches"}) {
    const ProgramRun r = Program(args);
    EXPECT_EQ(r.status, 2) << args;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "数据库连接失败，请检查通信参数或服务器状态！\n");
    EXPECT_EQ((r.out + r.err).find(wrong), std::string::npos);
  }
  EXPECT_TRUE(Log().empty());
}

// The program itself over settings it cannot use: one line says why, then the fixed message. A
// missing file is a warning; the defaults then fail to log in, as the listener wants a password.
// Standard error is compared whole; the password, clear or coded, is in no output.
TEST_F(CliWire, SettingsProblemsAreExplained) {
  Start("old_register.sql");
  const std::string path = dir_.Path() + "/vrek.reg";
  const std::string coded = DigitCoded(kPassword, 1);
  const std::string good = vrektest::SettingsText("VrekODBC", DigitCoded("sa", 1), coded);
  const std::string failed = "数据库连接失败，请检查通信参数或服务器状态！\n";
  std::string letter = good;
  letter[letter.find(coded) + 9] = ' ';
  struct Case {
    const char* name;
    std::string file;  // empty: no file
    std::string err;
  };
  const std::vector<Case> cases = {
      {"unterminated password", good.substr(0, good.size() - 3) + "\r\n",
       "读取设置失败：设置文件 " + path + " 第 6 行：字符串值缺少结束的双引号。\n" + failed},
      {"dword alias", std::string(good).replace(good.find("\"VrekODBC\""), 10, "dword:00000007"),
       "读取设置失败：设置文件 " + path + " 第 4 行的 ODBCNAME：类型为 dword，应为字符串。\n" +
           failed},
      {"blank in the coded password", letter,
       "读取设置失败：设置文件 " + path + " 第 6 行的 PASSWORD：数字编码含有数字以外的字符。\n" +
           failed},
      {"no file", "",
       "警告：设置文件 " + path + " 不存在，使用默认设置：数据源 VrekODBC，用户 sa，空密码。\n" +
           failed},
  };
  for (const Case& c : cases) {
    std::remove(path.c_str());
    if (!c.file.empty()) dir_.Write("vrek.reg", c.file);
    for (const char* args : {"plan", "run"}) {
      const ProgramRun r = Program(args);
      EXPECT_EQ(r.status, 2) << c.name << ", " << args;
      EXPECT_EQ(r.out, "") << c.name;
      EXPECT_EQ(r.err, c.err) << c.name << ", " << args;
      EXPECT_EQ((r.out + r.err).find(coded), std::string::npos) << c.name;
    }
  }
  EXPECT_TRUE(Log().empty());
}

TEST_F(CliWire, Version) {
  const ProgramRun r = Program("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "6.2012.7.18\n");
}

// The settings written with the program's own coding of the credentials log in.
TEST_F(CliWire, EncodedCredentialsLogIn) {
  Start("old_register.sql");
  const ProgramRun user = Program("encode", "sa\n");
  const ProgramRun password = Program("encode", kPassword + "\n");
  ASSERT_EQ(user.status, 0) << user.err;
  ASSERT_EQ(password.status, 0) << password.err;
  EXPECT_EQ(user.out, "26062402\n");
  EXPECT_EQ(user.err + password.err, "");
  ASSERT_EQ(password.out.back(), '\n');
  dir_.Write("vrek.reg", vrektest::SettingsText("VrekODBC", user.out.substr(0, user.out.size() - 1),
                                                password.out.substr(0, password.out.size() - 1)));
  const ProgramRun plan = Program("plan --batches");
  EXPECT_EQ(plan.status, 0) << plan.err;
  EXPECT_EQ(plan.err, "");
  EXPECT_FALSE(Log().empty());
}

// On a terminal: the prompt, then the typed text is not echoed (only the line break is), then
// the code. The whole transcript of the terminal is compared.
TEST(CliTerminal, EncodeDoesNotEchoTheTypedText) {
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    execl(VREK_UPVREK_CLI, VREK_UPVREK_CLI, "encode", static_cast<char*>(nullptr));
    _exit(127);
  }
  const std::string prompt = "请输入要编码的文字（输入的内容不会显示），按回车结束：";
  std::string transcript;
  bool typed = false;
  for (int waited = 0; waited < 200; ++waited) {  // at most 20 s
    pollfd p{master, POLLIN, 0};
    if (poll(&p, 1, 100) > 0) {
      char buf[256];
      const ssize_t n = read(master, buf, sizeof buf);
      if (n <= 0) break;  // the program ended and closed the terminal
      transcript.append(buf, static_cast<std::size_t>(n));
    }
    // Typed only once the prompt is there, so echo is off by then.
    if (!typed && transcript == prompt) {
      ASSERT_EQ(write(master, "sa\n", 3), 3);
      typed = true;
    }
  }
  close(master);
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
  EXPECT_EQ(transcript, prompt + "\r\n26062402\r\n");
}

}  // namespace
