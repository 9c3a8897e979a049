// upvrek-cli repair as administrators run it, over unixODBC, FreeTDS and TCP to the TDS listener:
// a first run that loses its connection in the middle of the person copy, then repair and run,
// leave the database that a clean run leaves. The listener's log is the record of what was sent.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
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
  Server(const TempDir& dir, const std::string& name, const std::vector<std::string>& extra)
      : dir_(dir.path()), name_(name) {
    std::vector<std::string> options = {"--load", vrektest::FixturePath("old_register.sql"),
                                        "--log",  LogPath(),
                                        "--save", SavePath()};
    options.insert(options.end(), extra.begin(), extra.end());
    process_ = std::make_unique<vrektest::Standin>(options);
    dir.Write(name_ + ".ini",
              vrektest::FreeTdsSource("VrekODBC", VREK_TDS_ODBC_DRIVER, process_->port_text()));
    dir.Write("odbcinst.ini", "");
    dir.Write("vrek.reg", vrektest::SettingsText("VrekODBC", vrektest::DigitCoded("sa"), ""));
  }
  bool Ready() const { return process_->started(); }

  ProgramRun Program(const std::string& args) const {
    std::vector<std::string> argv = {VREK_UPVREK_CLI};
    std::istringstream words(args);
    for (std::string w; words >> w;) argv.push_back(w);
    vrektest::RunOptions options;
    options.env = {"ODBCINI=" + dir_ + "/" + name_ + ".ini", "ODBCSYSINI=" + dir_,
                   "VREK_REGISTRY=" + dir_ + "/vrek.reg"};
    options.limit = 60s;
    return vrektest::RunProgram(argv, options);
  }
  std::vector<std::string> Log() const { return vrektest::ReadLoggedBatches(LogPath()); }
  // Ends the listener, which saves its database, and returns the saved script.
  std::string Stop() {
    process_->Stop();
    return vrektest::ReadFile(SavePath());
  }

 private:
  std::string LogPath() const { return dir_ + "/" + name_ + ".jsonl"; }
  std::string SavePath() const { return dir_ + "/" + name_ + ".sql"; }
  std::string dir_, name_;
  std::unique_ptr<vrektest::Standin> process_;
};

TEST(RepairWire, AConnectionLostInThePersonCopyIsRepairedToTheCleanUpgrade) {
  TempDir dir;
  Server clean_server(dir, "clean", {});
  ASSERT_TRUE(clean_server.Ready());
  ASSERT_EQ(clean_server.Program("run").status, 0);
  const std::string clean = clean_server.Stop();
  ASSERT_NE(clean, "");

  // Batch 61 is the fifth person's insert into lib_peopletmp (after the check's three reads and
  // 53 batches of the steps): it never runs.
  Server server(dir, "broken", {"--drop", "61"});
  ASSERT_TRUE(server.Ready());
  const ProgramRun broken = server.Program("run");
  EXPECT_EQ(broken.status, 1);
  const std::vector<std::string> broken_log = server.Log();
  ASSERT_EQ(broken_log.size(), 61u);
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
    EXPECT_EQ(last[i].rfind("select ", 0), 0u) << last[i];

  EXPECT_EQ(vrektest::Normalized(server.Stop()), vrektest::Normalized(clean));
}

}  // namespace
