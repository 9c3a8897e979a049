// upvrek-cli repair over the in-process stand-in engine: a first run of the old register broken
// at each of its batches, by a server error or a dropped connection, then repair and run, must
// leave the database a clean run leaves; no person is lost at any moment; the plan of a repair is
// the repair; what cannot be completed safely is refused and left as it is.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "json_text.h"
#include "platform/standin_driver.h"
#include "standin/engine.h"

namespace {

std::string ReadFixture(const std::string& name) {
  std::ifstream in(std::string(VREK_FIXTURE_DIR) + "/" + name, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

// The persons of the old register, by the name each is stored with.
const std::vector<std::string> kPersonNames = {"'张三",  "'李明", "'王秀英", "'赵刚",  "'欧阳小芳",
                                               "'O''Brien", "'陈",   "'admin",  "'刘洋", "'孙丽"};

// The dump's sections, one per table, in name order, with the server-named defaults' object ids
// masked: a database equals another whatever the order its tables were created in.
std::string Normalized(const std::string& dump) {
  static const std::regex kDefaultName("(DF__[A-Za-z0-9_]*__)[0-9A-F]{8}");
  const std::string masked = std::regex_replace(dump, kDefaultName, "$1########");
  std::vector<std::string> sections;
  std::size_t at = 0;
  while (at < masked.size()) {
    std::size_t next = masked.find("\ncreate table ", at);
    next = next == std::string::npos ? masked.size() : next + 1;
    sections.push_back(masked.substr(at, next - at));
    at = next;
  }
  std::sort(sections.begin(), sections.end());
  std::string out;
  for (const std::string& s : sections) out += s;
  return out;
}

// The section of one table in a dump, empty when the table is not there.
std::string Section(const std::string& dump, const std::string& table) {
  const std::string head = "create table " + table + " (\n";
  std::size_t at = dump.rfind(head, 0) == 0 ? 0 : dump.find("\n" + head);
  if (at == std::string::npos) return "";
  if (at) ++at;
  std::size_t end = dump.find("\ncreate table ", at);
  return dump.substr(at, end == std::string::npos ? std::string::npos : end + 1 - at);
}

// The persons of the old register that neither lib_people nor lib_peopletmp holds.
std::vector<std::string> LostPersons(const standin::Database& db) {
  const std::string dump = db.dump_script();
  const std::string people = Section(dump, "lib_people") + Section(dump, "lib_peopletmp");
  std::vector<std::string> lost;
  for (const std::string& name : kPersonNames)
    if (people.find(name) == std::string::npos) lost.push_back(name);
  return lost;
}

// Each batch goes through to the engine; after each, the persons are looked for.
class WatchingDriver : public platform::Driver {
 public:
  WatchingDriver(standin::Database& db, std::vector<std::string>& lost) : db_(db), lost_(lost) {}
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override {
    return std::make_unique<Conn>(*this, inner_.Connect(alias, user, password));
  }

 private:
  class Conn : public platform::Connection {
   public:
    Conn(WatchingDriver& owner, std::unique_ptr<platform::Connection> inner)
        : owner_(owner), inner_(std::move(inner)) {}
    void Execute(std::string_view batch) override {
      try {
        inner_->Execute(batch);
      } catch (...) {
        owner_.Watch(batch);
        throw;
      }
      owner_.Watch(batch);
    }
    platform::ResultSet Open(std::string_view batch) override { return inner_->Open(batch); }

   private:
    WatchingDriver& owner_;
    std::unique_ptr<platform::Connection> inner_;
  };
  void Watch(std::string_view batch) {
    if (!watch) return;
    for (const std::string& name : LostPersons(db_))
      lost_.push_back(name + " after: " + std::string(batch.substr(0, 60)));
  }

 public:
  bool watch = false;

 private:
  standin::Database& db_;
  platform::StandinDriver inner_{db_};
  std::vector<std::string>& lost_;
};

struct CliRun {
  int status = -1;
  std::string out, err;
};

class Repair : public testing::Test {
 protected:
  void SetUp() override {
    settings_ = testing::TempDir() + "repair_test_" + std::to_string(getpid()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name() + ".reg";
    // User sa ("26062402": each byte as its four base-4 digits, doubled), no password.
    std::ofstream(settings_, std::ios::binary)
        << "Windows Registry Editor Version 5.00\r\n\r\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n"
           "\"ODBCNAME\"=\"VrekTest\"\r\n"
           "\"USERNAME\"=\"26062402\"\r\n"
           "\"PASSWORD\"=\"\"\r\n";
    setenv("VREK_REGISTRY", settings_.c_str(), 1);
  }
  void TearDown() override {
    unsetenv("VREK_REGISTRY");
    std::remove(settings_.c_str());
  }

  void Fresh() {
    db_ = std::make_unique<standin::Database>();
    db_->load_script(ReadFixture("old_register.sql"));
  }
  void Exec(const std::string& sql) {
    standin::Session s(*db_);
    const standin::BatchOutcome out = s.execute(sql);
    ASSERT_FALSE(out.failed()) << sql << ": " << out.first_error()->text;
  }
  CliRun Invoke(const std::vector<std::string>& args, bool watch = false) {
    std::ostringstream out, err;
    CliRun r;
    r.status = vrekcli::RunCli(
        args,
        [this, watch] {
          auto d = std::make_unique<WatchingDriver>(*db_, lost_);
          d->watch = watch;
          return d;
        },
        out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }
  std::vector<std::string> Logged() const {
    std::vector<std::string> texts;
    for (const auto& e : db_->log()) texts.push_back(e.text);
    return texts;
  }
  // repair --plan and --plan --batches change nothing and send only selects; then repair sends
  // exactly the planned batches and prints exactly the planned listing. Returns the repair.
  CliRun PlanThenRepairAgree() {
    const std::string before = db_->dump_script();
    db_->clear_log();
    const CliRun json = Invoke({"repair", "--plan", "--batches"});
    const CliRun listing = Invoke({"repair", "--plan"});
    for (const std::string& text : Logged())
      EXPECT_EQ(text.rfind("select ", 0), 0u) << "the plan sent " << text;
    EXPECT_EQ(db_->dump_script(), before) << "the plan changed the database";

    db_->clear_log();
    const CliRun repair = Invoke({"repair"}, true);
    const std::vector<std::string> sent = Logged();
    std::string expected_json, expected_batches;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      expected_json += vrekcli::JsonBatchLine(sent[i]) + "\n";
      expected_batches += "-- 批 " + std::to_string(i + 1) + "\n" + sent[i] + "\n";
    }
    EXPECT_EQ(json.out, expected_json);
    EXPECT_EQ(json.status, repair.status);
    EXPECT_EQ(listing.status, repair.status);
    EXPECT_EQ(json.err, repair.err);
    const std::string head = "修复将发送以下 " + std::to_string(sent.size()) + " 批：\n";
    const std::size_t list_at = listing.out.find(head);
    EXPECT_NE(list_at, std::string::npos) << listing.out;
    if (list_at != std::string::npos)
      EXPECT_EQ(listing.out.substr(list_at + head.size()), expected_batches);
    last_listing_ = listing.out.substr(0, list_at == std::string::npos ? 0 : list_at);
    return repair;
  }

  std::unique_ptr<standin::Database> db_;
  std::string settings_;
  std::vector<std::string> lost_;
  std::string last_listing_;
};

constexpr const char* kDone = "升级已经完成，请更新所有的客户端程序Vrek.exe！\n";

struct Break {
  const char* name;
  bool dropped;  // the connection is lost: this batch and every later one fail unexecuted
};

// For a break at every batch of a first run: repair, then run, give the clean upgrade's database.
TEST_F(Repair, ABreakAtEveryBatchOfAFirstRunIsRepairedToTheCleanUpgrade) {
  Fresh();
  ASSERT_EQ(Invoke({"run"}).status, 0);
  const std::string clean = Normalized(db_->dump_script());
  const std::size_t batches = Logged().size();
  ASSERT_GT(batches, 100u);

  std::size_t positions = 0, equal = 0;
  for (const Break mode : {Break{"server error", false}, Break{"dropped connection", true}}) {
    for (std::size_t k = 1; k <= batches; ++k) {
      SCOPED_TRACE(std::string(mode.name) + " at batch " + std::to_string(k));
      Fresh();
      if (mode.dropped)
        db_->fail_when([k](std::size_t seq, std::string_view) { return seq >= k; }, 20017,
                       "Unexpected EOF from the server");
      else
        db_->fail_batch(k, 50000, "Injected fault.");
      lost_.clear();
      const CliRun broken = Invoke({"run"}, true);
      db_->clear_faults();
      EXPECT_TRUE(lost_.empty()) << lost_.front();

      const CliRun repair = PlanThenRepairAgree();
      EXPECT_EQ(repair.status, 0) << repair.err << repair.out;
      EXPECT_EQ(repair.err, "");
      EXPECT_TRUE(lost_.empty()) << lost_.front();
      const CliRun run = Invoke({"run"}, true);
      EXPECT_EQ(run.status, 0) << run.err;
      EXPECT_TRUE(lost_.empty()) << lost_.front();
      const std::string repaired = db_->dump_script();
      ++positions;
      if (Normalized(repaired) == clean) ++equal;
      EXPECT_EQ(Normalized(repaired), clean) << broken.err;

      // A second repair finds nothing: only selects, and the database as it was.
      db_->clear_log();
      const CliRun again = Invoke({"repair"});
      EXPECT_EQ(again.status, 0) << again.err;
      EXPECT_NE(again.out.find("没有未完成的升级。\n"), std::string::npos) << again.out;
      for (const std::string& text : Logged()) EXPECT_EQ(text.rfind("select ", 0), 0u) << text;
      EXPECT_EQ(db_->dump_script(), repaired);
      if (HasFatalFailure()) return;
    }
  }
  std::cout << "[ figures  ] " << positions << " breaks of a " << batches
            << "-batch first run, repaired to the clean upgrade: " << equal << "\n";
}

}  // namespace
