// upvrek-cli as administrators run it: the program itself, its settings file and data source,
// unixODBC and FreeTDS, TCP to the TDS listener. The listener's log is the record of what the run
// sent; the plan made just before must list exactly those batches.
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "json_text.h"
#include "odbc_test_env.h"

namespace {

using platform::odbc_test::ChildProcess;
using platform::odbc_test::ReadFile;
using platform::odbc_test::TempDir;

const std::string kPassword = "Wire'Pass 42";

std::string Coded(const std::string& clear) {
  std::string coded;
  for (unsigned char b : clear)
    for (int shift = 6; shift >= 0; shift -= 2)
      coded += static_cast<char>('0' + 2 * ((b >> shift) & 3) + (shift == 2 ? 1 : 0));
  return coded;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t at = 0;
  for (std::size_t nl; (nl = text.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(text.substr(at, nl - at));
  if (at < text.size()) lines.push_back(text.substr(at));
  return lines;
}

// A JSON string literal's content, for the escapes the log uses.
std::string Unescape(const std::string& literal) {
  std::string text;
  for (std::size_t i = 1; i + 1 < literal.size(); ++i) {
    if (literal[i] != '\\') {
      text += literal[i];
      continue;
    }
    const char e = literal[++i];
    if (e == 'n')
      text += '\n';
    else if (e == 'r')
      text += '\r';
    else if (e == 't')
      text += '\t';
    else if (e == 'u') {
      text += static_cast<char>(std::stoi(literal.substr(i + 1, 4), nullptr, 16));
      i += 4;
    } else
      text += e;
  }
  return text;
}

// The "text" member of a listener log line, as a JSON literal. Inside the literal every quote is
// escaped, so the first `, "error": ` ends it.
std::string TextLiteral(const std::string& log_line) {
  const std::string key = "\"text\": ";
  const std::size_t from = log_line.find(key) + key.size();
  return log_line.substr(from, log_line.find(", \"error\": ", from) - from);
}

struct ProgramRun {
  int status = -1;
  std::string out, err;
};

class CliWire : public testing::Test {
 protected:
  // Serves the fixture (and the extra batches) with a password login; writes the data source
  // VrekODBC and the settings file the program reads.
  void Start(const std::string& fixture, const std::string& extra = "") {
    std::vector<std::string> argv = {VREK_SQLSTANDIN,
                                     "--port",
                                     "0",
                                     "--login",
                                     "sa:" + kPassword,
                                     "--load",
                                     std::string(VREK_FIXTURE_DIR) + "/" + fixture,
                                     "--log",
                                     dir_.path() + "/log.jsonl"};
    if (!extra.empty()) {
      std::ofstream(dir_.path() + "/extra.sql") << extra << "\n";
      argv.insert(argv.end(), {"--load", dir_.path() + "/extra.sql"});
    }
    server_ = std::make_unique<ChildProcess>(argv);
    const std::string ready = server_->ReadLine(20000);
    const std::string prefix = "listening on 127.0.0.1:";
    ASSERT_EQ(ready.rfind(prefix, 0), 0u) << ready;
    std::ofstream(dir_.path() + "/odbc.ini")
        << "[VrekODBC]\nDriver = " VREK_TDS_ODBC_DRIVER "\nServer = 127.0.0.1\nPort = "
        << ready.substr(prefix.size()) << "\nTDS_Version = 7.4\nClientCharset = UTF-8\n";
    std::ofstream(dir_.path() + "/odbcinst.ini");
    Settings(kPassword);
  }

  void Settings(const std::string& password) {
    std::ofstream(dir_.path() + "/vrek.reg", std::ios::binary)
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n"
           "\"ODBCNAME\"=\"VrekODBC\"\r\n\"USERNAME\"=\"" +
               Coded("sa") +
               "\"\r\n"
               "\"PASSWORD\"=\"" +
               Coded(password) + "\"\r\n";
  }

  ProgramRun Program(const std::string& args) {
    const std::string& d = dir_.path();
    const std::string command =
        "ODBCINI=" + d + "/odbc.ini ODBCSYSINI=" + d + " VREK_REGISTRY=" + d +
        "/vrek.reg timeout 60 " VREK_UPVREK_CLI " " + args + " >" + d + "/out 2>" + d + "/err";
    ProgramRun r;
    const int w = std::system(command.c_str());
    r.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
    r.out = ReadFile(d + "/out");
    r.err = ReadFile(d + "/err");
    all_output_ += r.out + r.err;
    return r;
  }

  std::vector<std::string> Log() { return Lines(ReadFile(dir_.path() + "/log.jsonl")); }

  // A plan, then a run: the plan sends only selects, and its batches are the run's, in the
  // listener's log and in the run's own output. Returns the run.
  ProgramRun PlanThenRunAgree() {
    const std::size_t before = Log().size();
    const ProgramRun plan = Program("plan --batches");
    const std::vector<std::string> planned_log = Log();
    for (std::size_t i = before; i < planned_log.size(); ++i)
      EXPECT_EQ(Unescape(TextLiteral(planned_log[i])).rfind("select ", 0), 0u) << planned_log[i];

    const ProgramRun run = Program("run");
    const std::vector<std::string> log = Log();
    std::string from_log, echo;
    for (std::size_t i = planned_log.size(); i < log.size(); ++i) {
      from_log += "{\"text\": " + TextLiteral(log[i]) + "}\n";
      echo += "-- 批 " + std::to_string(i - planned_log.size() + 1) + "\n" +
              Unescape(TextLiteral(log[i])) + "\n";
    }
    EXPECT_GT(log.size(), planned_log.size());
    EXPECT_EQ(plan.out, from_log);
    EXPECT_EQ(plan.status, run.status);
    EXPECT_EQ(plan.err, run.err);
    EXPECT_EQ(run.out.substr(0, echo.size()), echo);
    EXPECT_EQ(run.out.find(kPassword), std::string::npos);
    return run;
  }

  void TearDown() override { EXPECT_EQ(all_output_.find(kPassword), std::string::npos); }

  static constexpr const char* kDone = "升级已经完成，请更新所有的客户端程序Vrek.exe！\n";
  TempDir dir_;
  std::unique_ptr<ChildProcess> server_;
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
  ProgramRun second = PlanThenRunAgree();
  EXPECT_EQ(second.status, 0);
  std::size_t headers = 0;
  for (const std::string& line : Lines(second.out)) headers += line.rfind("-- 批 ", 0) == 0;
  EXPECT_EQ(headers, 12u) << "an upgraded register gets nine probes and three mark lookups";
}

TEST_F(CliWire, PartlyUpgraded) {
  Start("partly_upgraded.sql");
  ProgramRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Tail(run.out, std::string(kDone).size()), kDone);
}

TEST_F(CliWire, RefusedPersons) {
  Start("old_register.sql", "update lib_people set pe_dept=NULL where pe_no=7");
  ProgramRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err,
            "人员数据无法转换为新的人员编号格式，升级已停止，人员数据未作任何改动。"
            "请修正以下人员后重新升级：\n人员编号 7：部门为空\n");
  EXPECT_EQ(Unescape(TextLiteral(Log().back())), "select * from lib_people");
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

TEST_F(CliWire, Version) {
  const ProgramRun r = Program("--version");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "6.2012.7.18\n");
}

// The settings written with the program's own coding of the credentials log in.
TEST_F(CliWire, EncodedCredentialsLogIn) {
  Start("old_register.sql");
  const std::string& d = dir_.path();
  std::ofstream(d + "/user") << "sa\n";
  std::ofstream(d + "/password") << kPassword << "\n";
  const ProgramRun user = Program("encode <" + d + "/user");
  const ProgramRun password = Program("encode <" + d + "/password");
  ASSERT_EQ(user.status, 0) << user.err;
  ASSERT_EQ(password.status, 0) << password.err;
  EXPECT_EQ(user.out, "26062402\n");
  EXPECT_EQ(user.err + password.err, "");
  ASSERT_EQ(password.out.back(), '\n');
  std::ofstream(d + "/vrek.reg", std::ios::binary)
      << "Windows Registry Editor Version 5.00\r\n\r\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n"
         "\"ODBCNAME\"=\"VrekODBC\"\r\n\"USERNAME\"=\""
      << user.out.substr(0, user.out.size() - 1) << "\"\r\n\"PASSWORD\"=\""
      << password.out.substr(0, password.out.size() - 1) << "\"\r\n";
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
