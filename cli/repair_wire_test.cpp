// upvrek-cli repair as administrators run it, over unixODBC, FreeTDS and TCP to the TDS listener:
// a first run that loses its connection, is killed, is stopped by a signal or waits too long in
// the middle of the person copy, then repair and run, leave the database that a clean run leaves.
// The listener's log is the record of what was sent.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dump_compare.h"
#include "files.h"
#include "listener_log.h"
#include "process.h"
#include "settings.h"
#include "transcripts.h"

namespace {

using vrektest::ProgramRun;
using vrektest::TempDir;
using namespace std::chrono_literals;

// One listener over the old register, saving its database when it ends; the program's data
// source and settings point at it.
class Server {
 public:
  // Over the script `load`, the old register unless given.
  Server(const TempDir& dir, const std::string& name, const std::vector<std::string>& extra,
         const std::string& load = vrektest::FixturePath("old_register.sql"))
      : dir_(dir.Path()), name_(name) {
    std::vector<std::string> options = {"--load", load, "--log", LogPath(), "--save", SavePath()};
    options.insert(options.end(), extra.begin(), extra.end());
    process_ = std::make_unique<vrektest::Standin>(options);
    dir.Write(name_ + ".ini",
              vrektest::FreeTdsSource("VrekODBC", VREK_TDS_ODBC_DRIVER, process_->PortText()));
    dir.Write("odbcinst.ini", "");
    dir.Write("vrek.reg", vrektest::SettingsText("VrekODBC", vrektest::DigitCoded("sa"), ""));
  }
  bool Ready() const { return process_->Started(); }

  ProgramRun Program(const std::string& args) const {
    std::vector<std::string> argv = {VREK_UPVREK_CLI};
    std::istringstream words(args);
    for (std::string w; words >> w;) argv.push_back(w);
    vrektest::RunOptions options;
    options.env = Env();
    options.limit = 120s;
    return vrektest::RunProgram(argv, options);
  }
  // `upvrek-cli run` left running, its output in files (OutPath, ErrPath).
  std::unique_ptr<vrektest::ChildProcess> StartRun() const {
    vrektest::ChildProcess::Options options;
    options.env = Env();
    options.stdout_path = OutPath();
    options.stderr_path = ErrPath();
    return std::make_unique<vrektest::ChildProcess>(
        std::vector<std::string>{VREK_UPVREK_CLI, "run"}, options);
  }
  std::string OutPath() const { return dir_ + "/" + name_ + ".out"; }
  std::string ErrPath() const { return dir_ + "/" + name_ + ".err"; }
  // A shell command line run to its end with the program's settings, for pipelines.
  ProgramRun Shell(const std::string& command) const {
    vrektest::RunOptions options;
    options.env = Env();
    options.limit = 120s;
    return vrektest::RunShell(command, options);
  }
  // The listener's log as it stands, unparsed.
  std::string RawLog() const { return vrektest::ReadFile(LogPath()); }
  std::vector<std::string> Log() const { return vrektest::ReadLoggedBatches(LogPath()); }
  // Ends the listener, which saves its database, and returns the saved script.
  std::string Stop() {
    process_->Stop();
    return vrektest::ReadFile(SavePath());
  }

 private:
  std::vector<std::string> Env() const {
    return {"ODBCINI=" + dir_ + "/" + name_ + ".ini", "ODBCSYSINI=" + dir_,
            "VREK_REGISTRY=" + dir_ + "/vrek.reg"};
  }
  std::string LogPath() const { return dir_ + "/" + name_ + ".jsonl"; }
  std::string SavePath() const { return dir_ + "/" + name_ + ".sql"; }
  std::string dir_, name_;
  std::unique_ptr<vrektest::Standin> process_;
};

// What a clean `upvrek-cli run` over the script `load` sends and leaves: the listener's log and
// its saved database. Both are empty, with the failure recorded, when the clean run could not
// be made.
struct CleanUpgrade {
  std::vector<std::string> log;
  std::string dump;
};

CleanUpgrade RunCleanUpgrade(const TempDir& dir, const std::string& name,
                             const std::string& load = vrektest::FixturePath("old_register.sql")) {
  Server server(dir, name, {}, load);
  if (!server.Ready()) {
    ADD_FAILURE() << "the listener for the clean run did not start";
    return {};
  }
  const ProgramRun run = server.Program("run");
  if (run.status != 0) {
    ADD_FAILURE() << "the clean run ended with status " << run.status << ": " << run.err;
    return {};
  }
  CleanUpgrade clean{server.Log(), {}};
  clean.dump = server.Stop();
  return clean;
}

TEST(RepairWire, AConnectionLostInThePersonCopyIsRepairedToTheCleanUpgrade) {
  TempDir dir;
  const std::string clean = RunCleanUpgrade(dir, "clean").dump;
  ASSERT_NE(clean, "");

  // Batch 75 is the fifth person's insert into lib_peopletmp (after the lock, the select of the
  // other connections, the check's three reads and 65 batches of the steps): it never runs.
  Server server(dir, "broken", {"--drop", "75"});
  ASSERT_TRUE(server.Ready());
  const ProgramRun broken = server.Program("run");
  EXPECT_EQ(broken.status, 1);
  const std::vector<std::string> broken_log = server.Log();
  ASSERT_EQ(broken_log.size(), 75u);
  EXPECT_EQ(broken_log.back().rfind("insert into lib_peopletmp values(", 0), 0u);

  const ProgramRun plan = server.Program("repair --plan --batches");
  const std::vector<std::string> planned_log = server.Log();
  for (std::size_t i = broken_log.size(); i < planned_log.size(); ++i)
    EXPECT_EQ(planned_log[i].rfind("select ", 0), 0u) << planned_log[i];

  const ProgramRun repair = server.Program("repair");
  EXPECT_EQ(repair.status, 0) << repair.err;
  const std::vector<std::string> log = server.Log();
  // The plan leaves out the reads of the check before the end, which it cannot foresee.
  EXPECT_EQ(
      vrektest::PlannedBatches(plan.out) + CheckOnUpgraded(),
      std::vector<std::string>(log.begin() + static_cast<long>(planned_log.size()), log.end()));
  EXPECT_EQ(plan.status, 0);
  const std::size_t found = repair.out.find("上次升级未完成：");
  ASSERT_NE(found, std::string::npos) << repair.out;
  EXPECT_EQ(repair.out.substr(found, repair.out.find("-- 批 ", found) - found),
            "上次升级未完成：\n  打印边距与人员编号块：人员复制未完成：lib_peopletmp 有 4 名人员，"
            "lib_people 有 10 名，仍是旧的形式\n");

  const ProgramRun again = server.Program("repair");
  EXPECT_EQ(again.status, 0);
  const std::vector<std::string> last = server.Log();
  for (std::size_t i = log.size(); i < last.size(); ++i)
    EXPECT_TRUE(ChangesNothing(last[i])) << last[i];

  EXPECT_EQ(vrektest::Normalized(server.Stop()), vrektest::Normalized(clean));
}

// The old register with thousands of persons more: a person copy long enough to be killed in.
std::string LargeRegister(const TempDir& dir, int persons) {
  std::string script = vrektest::ReadFile(vrektest::FixturePath("old_register.sql"));
  for (int from = 0; from < persons; from += 500) {
    script += "\nGO\ninsert into lib_people values ";
    for (int i = from; i < from + 500 && i < persons; ++i)
      script += std::string(i == from ? "" : ",") + "(" + std::to_string(100000 + i) + ", '1', 'P" +
                std::to_string(i) + "', '女', '19800101', '', 'C" + std::to_string(i) + "', " +
                std::to_string(i % 10) + ", '')";
  }
  script += "\nGO\n";
  dir.Write("large.sql", script);
  return dir.Path() + "/large.sql";
}

std::size_t Count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

// `upvrek-cli run` killed (SIGKILL) at several points of the person copy of 3000 persons; then
// repair and run leave the clean upgrade's database, every person in it.
TEST(RepairWire, ARunKilledInThePersonCopyIsRepairedToTheCleanUpgrade) {
  TempDir dir;
  const std::string large = LargeRegister(dir, 3000);
  const std::string clean = vrektest::Normalized(RunCleanUpgrade(dir, "clean-large", large).dump);
  ASSERT_NE(clean, "");
  ASSERT_EQ(Count(clean, "'P2999"), 1u) << "the last added person after a clean run";

  const std::string copy = "insert into lib_peopletmp values(";
  for (const std::size_t copied : {1u, 1500u, 2500u}) {
    SCOPED_TRACE("killed after " + std::to_string(copied) + " persons copied");
    const std::string name = "killed-" + std::to_string(copied);
    Server server(dir, name, {}, large);
    ASSERT_TRUE(server.Ready());
    std::unique_ptr<vrektest::ChildProcess> run = server.StartRun();
    const auto until = std::chrono::steady_clock::now() + 120s;
    while (Count(server.RawLog(), copy) < copied && std::chrono::steady_clock::now() < until &&
           !run->Wait(0ms))
      std::this_thread::sleep_for(5ms);
    EXPECT_EQ(run->Kill(), 128 + 9) << "the run ended before it was killed";
    const std::size_t sent = Count(server.RawLog(), copy);
    EXPECT_GE(sent, copied);
    EXPECT_LT(sent, 3010u) << "the copy was over when the run was killed";
    std::cout << "[ figures  ] killed with " << sent << " of 3010 persons copied\n";

    const ProgramRun repair = server.Program("repair");
    EXPECT_EQ(repair.status, 0) << repair.err;
    EXPECT_NE(repair.out.find("上次升级未完成：\n  打印边距与人员编号块："), std::string::npos)
        << repair.out.substr(0, 2000);
    const ProgramRun again = server.Program("run");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(vrektest::Normalized(server.Stop()), clean);
  }
}

// The first line of a batch, as the program names a batch that ran out of time.
std::string FirstLine(const std::string& batch) { return batch.substr(0, batch.find('\n')); }

const char kRepairAdvice[] = "数据库未升级完成，请运行 upvrek-cli repair 修复。\n";

// A server frozen at the fifth person's copy: `run --timeout 2` cancels that batch and ends
// within a bounded time, naming it; the listener goes on serving, and repair then run leave the
// clean upgrade's database.
TEST(RepairWire, ABatchOverTheTimeoutIsCancelledAndRepairCompletesTheRun) {
  TempDir dir;
  const auto [clean_log, clean] = RunCleanUpgrade(dir, "clean");
  ASSERT_NE(clean, "");
  std::size_t held = 0;
  for (std::size_t i = 0, copies = 0; i < clean_log.size() && held == 0; ++i)
    if (clean_log[i].rfind("insert into lib_peopletmp values(", 0) == 0 && ++copies == 5)
      held = i + 1;
  ASSERT_NE(held, 0u);

  Server server(dir, "frozen", {"--hold", std::to_string(held)});
  ASSERT_TRUE(server.Ready());
  const auto start = std::chrono::steady_clock::now();
  const ProgramRun frozen = server.Program("run --timeout 2");
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(frozen.status, 1);
  EXPECT_GE(waited, 2s);
  EXPECT_LT(waited, 30s);
  EXPECT_EQ(frozen.err, "第 " + std::to_string(held) + " 批等待服务器超过 2 秒，已取消：\n  " +
                            FirstLine(clean_log[held - 1]) + "\n" + kRepairAdvice);
  const std::string echoed = "-- 批 " + std::to_string(held) + "\n" + clean_log[held - 1] + "\n";
  ASSERT_GE(frozen.out.size(), echoed.size());
  EXPECT_EQ(frozen.out.substr(frozen.out.size() - echoed.size()), echoed);
  const std::vector<vrektest::LoggedBatch> log = vrektest::ParseListenerLog(server.RawLog());
  ASSERT_EQ(log.size(), held);
  EXPECT_EQ(log.back(), (vrektest::LoggedBatch{held, clean_log[held - 1], std::nullopt, true}));

  const ProgramRun repair = server.Program("repair --timeout 2");
  EXPECT_EQ(repair.status, 0) << repair.err;
  const ProgramRun again = server.Program("run");
  EXPECT_EQ(again.status, 0) << again.err;
  EXPECT_EQ(vrektest::Normalized(server.Stop()), vrektest::Normalized(clean));
}

// SIGINT or SIGTERM in the middle of the person copy of 3000 persons: the batch being sent
// completes, the run stops before the next one, says where and exits 128 + the signal; repair
// and run then leave the clean upgrade's database.
TEST(RepairWire, ASignalInThePersonCopyStopsTheRunBeforeItsNextBatch) {
  TempDir dir;
  const std::string large = LargeRegister(dir, 3000);
  const std::string clean = vrektest::Normalized(RunCleanUpgrade(dir, "clean-large", large).dump);
  ASSERT_NE(clean, "");

  const std::string copy = "insert into lib_peopletmp values(";
  const struct {
    int signal;
    const char* name;
    int status;
  } cases[] = {{SIGINT, "SIGINT", 130}, {SIGTERM, "SIGTERM", 143}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Server server(dir, std::string("stopped-") + c.name, {}, large);
    ASSERT_TRUE(server.Ready());
    std::unique_ptr<vrektest::ChildProcess> run = server.StartRun();
    const auto until = std::chrono::steady_clock::now() + 120s;
    while (Count(server.RawLog(), copy) < 1500 && std::chrono::steady_clock::now() < until &&
           !run->Wait(0ms))
      std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(run->Signal(c.signal)) << "the run ended before the signal";
    const std::optional<int> status = run->Wait(60s);
    ASSERT_TRUE(status.has_value()) << "the run did not stop";
    EXPECT_EQ(*status, c.status);
    const std::vector<std::string> sent = server.Log();
    ASSERT_FALSE(sent.empty());
    EXPECT_LT(Count(server.RawLog(), copy), 3010u) << "the copy was over when the run stopped";
    std::cout << "[ figures  ] " << c.name << " after " << Count(server.RawLog(), copy)
              << " of 3010 persons copied\n";
    const std::string n = std::to_string(sent.size());
    EXPECT_EQ(vrektest::ReadFile(server.ErrPath()),
              std::string("收到 ") + c.name + "，当前一批完成后停止（再次收到则立即结束）。\n" +
                  "收到 " + c.name + "，已在第 " + n + " 批之后停止，其余各批未发送。\n" +
                  kRepairAdvice);
    const std::string out = vrektest::ReadFile(server.OutPath());
    EXPECT_EQ(out.substr(out.rfind("-- 批 ")), "-- 批 " + n + "\n" + sent.back() + "\n");

    const ProgramRun repair = server.Program("repair");
    EXPECT_EQ(repair.status, 0) << repair.err;
    const ProgramRun again = server.Program("run");
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(vrektest::Normalized(server.Stop()), clean);
  }
}

// `upvrek-cli run | head -1`: standard output closes after the first line, and the upgrade goes
// on to its end with exit status 0: the batches and the database are those of a clean run.
TEST(RepairWire, AClosedStandardOutputDoesNotStopTheUpgrade) {
  TempDir dir;
  const auto [clean_log, clean] = RunCleanUpgrade(dir, "clean");
  ASSERT_NE(clean, "");

  Server server(dir, "piped", {});
  ASSERT_TRUE(server.Ready());
  const ProgramRun piped = server.Shell(std::string("{ '") + VREK_UPVREK_CLI +
                                        "' run; echo \"status $?\" >&2; } | head -1");
  EXPECT_EQ(piped.status, 0);
  EXPECT_EQ(piped.out, "-- 批 1\n");
  EXPECT_EQ(piped.err, "status 0\n");
  EXPECT_EQ(server.Log(), clean_log);
  EXPECT_EQ(vrektest::Normalized(server.Stop()), vrektest::Normalized(clean));
}

std::string HostName() {
  char name[256] = {0};
  gethostname(name, sizeof name - 1);
  return name;
}

// Two `upvrek-cli run` at once on a register of 3000 persons more: the second, started while the
// first copies persons (paused there), stops at once with the lock's message, having sent nothing
// but the lock's batch; a plan then says the lock is held and by whom; the first ends as a clean
// upgrade.
TEST(RepairWire, OneUpgradeAtATime) {
  TempDir dir;
  const std::string large = LargeRegister(dir, 3000);
  const std::string clean = vrektest::Normalized(RunCleanUpgrade(dir, "clean-once", large).dump);
  ASSERT_NE(clean, "");

  Server server(dir, "twice", {}, large);
  ASSERT_TRUE(server.Ready());
  std::unique_ptr<vrektest::ChildProcess> first = server.StartRun();
  const std::string copy = "insert into lib_peopletmp values(";
  const auto until = std::chrono::steady_clock::now() + 120s;
  while (Count(server.RawLog(), copy) < 1 && std::chrono::steady_clock::now() < until &&
         !first->Wait(0ms))
    std::this_thread::sleep_for(5ms);
  // Held in the middle of its copy, so that it surely runs while the others try.
  first->Pause();
  ASSERT_GE(Count(server.RawLog(), copy), 1u);
  ASSERT_EQ(first->Wait(0ms), std::nullopt) << "the first run ended before the second began";

  const ProgramRun second = server.Program("run");
  const std::vector<std::string> lock = Lock();
  EXPECT_EQ(second.status, 1);
  EXPECT_EQ(second.err, "另一个升级程序正在升级此数据库，请等它结束后再运行。\n");
  EXPECT_EQ(second.out, "-- 批 1\n" + lock[0] + "\n");

  const ProgramRun plan = server.Program("plan");
  EXPECT_EQ(plan.status, 1);
  EXPECT_EQ(plan.out,
            "升级计划（只读取，不改变数据库）：\n"
            "  升级锁：已被占用。另一个升级程序正在升级此数据库，请等它结束后再运行。\n"
            "  注意：另有 1 个连接正在使用此数据库：\n"
            "    主机 " +
                HostName() +
                "，程序 （未提供）\n"
                "  升级将在第 1 批之后停止：\n"
                "另一个升级程序正在升级此数据库，请等它结束后再运行。\n"
                "  其后的部分这次都不会执行\n"
                "开始升级将发送以下 1 批：\n-- 批 1\n" +
                lock[0] + "\n");
  first->Resume();
  EXPECT_EQ(first->Wait(120s), std::optional<int>(0));
  // The lock's batch twice, from each run; the plan never sent it. (The log is read whole once
  // the first run is over: it is being written till then.)
  const std::vector<std::string> log = server.Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), lock[0]), 2);
  EXPECT_EQ(vrektest::Normalized(server.Stop()), clean);
}

}  // namespace
