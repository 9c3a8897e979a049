// upvrek-cli repair over the in-process stand-in engine: a first run of the old register broken
// at each of its batches, by a server error or a dropped connection, then repair and run, must
// leave the database a clean run leaves; no person is lost at any moment; the plan of a repair is
// the repair; what cannot be completed safely is refused and left as it is.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli.h"
#include "dump_compare.h"
#include "files.h"
#include "halfdone.h"
#include "json_text.h"
#include "platform/standin_driver.h"
#include "standin/engine.h"
#include "transcripts.h"

namespace {

using vrektest::Normalized;
using vrektest::ReadFixture;
using vrektest::Section;

// The persons of the old register, by the name each is stored with.
const std::vector<std::string> kPersonNames = {"'张三",     "'李明",     "'王秀英", "'赵刚",
                                               "'欧阳小芳", "'O''Brien", "'陈",     "'admin",
                                               "'刘洋",     "'孙丽"};

// The persons of the old register that neither lib_people nor lib_peopletmp holds.
std::vector<std::string> LostPersons(const standin::Database& db) {
  const std::string dump = db.DumpScript();
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
  // Only a batch that names lib_people or lib_peopletmp can take persons out of them, so only
  // after those is the whole database dumped and searched.
  void Watch(std::string_view batch) {
    if (!watch || batch.find("lib_people") == std::string_view::npos) return;
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

constexpr const char* kDone = "升级已经完成，请更新所有的客户端程序Vrek.exe！\n";

// A repair's output without the findings it prints after its selects, and those findings.
std::pair<std::string, std::string> SplitFindings(const std::string& out) {
  for (const char* head : {"\n上次升级未完成：\n", "\n没有未完成的升级。\n"}) {
    const std::size_t at = out.find(head);
    if (at == std::string::npos) continue;
    const std::size_t end = std::min(out.find("-- 批 ", at), out.size());
    return {out.substr(0, at + 1) + out.substr(end), out.substr(at + 1, end - at - 1)};
  }
  return {out, ""};
}

struct CliRun {
  int status = -1;
  std::string out, err;
};

class Repair : public testing::Test {
 protected:
  void SetUp() override {
    // A parameterised test's name holds a '/', which must not become a directory.
    std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(name.begin(), name.end(), '/', '_');
    settings_ =
        testing::TempDir() + "repair_test_" + std::to_string(getpid()) + "_" + name + ".reg";
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
    db_->LoadScript(ReadFixture("old_register.sql"));
  }
  void Exec(const std::string& sql) {
    standin::Session s(*db_);
    const standin::BatchOutcome out = s.Execute(sql);
    ASSERT_FALSE(out.Failed()) << sql << ": " << out.FirstError()->text;
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
    for (const auto& e : db_->Log()) texts.push_back(e.text);
    return texts;
  }
  // repair --plan and --plan --batches change nothing and send only selects; then repair sends
  // exactly the planned batches and prints exactly the planned listing. Returns the repair.
  CliRun PlanThenRepairAgree() {
    const std::string before = db_->DumpScript();
    db_->ClearLog();
    const CliRun json = Invoke({"repair", "--plan", "--batches"});
    const CliRun listing = Invoke({"repair", "--plan"});
    for (const std::string& text : Logged())
      EXPECT_EQ(text.rfind("select ", 0), 0u) << "the plan sent " << text;
    EXPECT_EQ(db_->DumpScript(), before) << "the plan changed the database";

    db_->ClearLog();
    const CliRun repair = Invoke({"repair"}, watch_repair_);
    const std::vector<std::string> sent = Logged();
    // A plan that changes the database cannot read what the check before the end reads; it says
    // so and leaves out those reads, which begin with the last read of sysobjects.
    std::size_t planned = sent.size();
    if (listing.out.find("不在下列语句中") != std::string::npos) {
      const auto last = std::find(sent.rbegin(), sent.rend(), CheckOnUpgraded().front());
      EXPECT_NE(last, sent.rend());
      if (last != sent.rend()) planned = static_cast<std::size_t>(sent.rend() - last) - 1;
      EXPECT_GT(planned, 0u);
      for (std::size_t i = planned; i < sent.size(); ++i)
        EXPECT_EQ(sent[i].rfind("select ", 0), 0u) << sent[i];
      if (repair.status == 0) {
        EXPECT_EQ(Transcript(sent.begin() + static_cast<long>(planned), sent.end()),
                  CheckOnUpgraded());
      }
    }
    std::string expected_json, expected_listing, expected_batches;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      const std::string echo = "-- 批 " + std::to_string(i + 1) + "\n" + sent[i] + "\n";
      if (i < planned) expected_json += vrekcli::JsonBatchLine(sent[i]) + "\n";
      if (i < planned) expected_listing += echo;
      expected_batches += echo;
    }
    EXPECT_EQ(json.out, expected_json);
    EXPECT_EQ(json.status, repair.status);
    EXPECT_EQ(listing.status, repair.status);
    EXPECT_EQ(json.err, repair.err);
    const std::string head = "修复将发送以下 " + std::to_string(planned) + " 批：\n";
    const std::size_t list_at = listing.out.find(head);
    EXPECT_NE(list_at, std::string::npos) << listing.out;
    if (list_at != std::string::npos) {
      EXPECT_EQ(listing.out.substr(list_at + head.size()), expected_listing);
    }
    last_listing_ = listing.out.substr(0, list_at == std::string::npos ? 0 : list_at);
    const std::size_t end_note = last_listing_.find("修复结束前将再次检查");
    if (end_note != std::string::npos) last_listing_.erase(end_note);
    const auto [echoed, findings] = SplitFindings(repair.out);
    EXPECT_EQ(echoed, expected_batches + (repair.status == 0 ? kDone : ""));
    EXPECT_EQ("修复计划（只读取，不改变数据库）：\n" + findings, last_listing_);
    return repair;
  }

  std::unique_ptr<standin::Database> db_;
  std::string settings_;
  std::vector<std::string> lost_;
  std::string last_listing_;
  bool watch_repair_ = true;  // look for the persons after each batch of the repair
};

struct Break {
  const char* name;
  bool dropped;  // the connection is lost: this batch and every later one fail unexecuted
};
void PrintTo(const Break& b, std::ostream* os) { *os << b.name; }

class BreakAtEveryBatch : public Repair, public testing::WithParamInterface<Break> {};

INSTANTIATE_TEST_SUITE_P(Repair, BreakAtEveryBatch,
                         testing::Values(Break{"ServerError", false},
                                         Break{"DroppedConnection", true}),
                         [](const testing::TestParamInfo<Break>& info) {
                           return std::string(info.param.name);
                         });

// For a break at every batch of a first run: repair, then run, give the clean upgrade's database.
TEST_P(BreakAtEveryBatch, RepairThenRunGiveTheCleanUpgrade) {
  const Break mode = GetParam();
  Fresh();
  ASSERT_EQ(Invoke({"run"}).status, 0);
  const std::string clean = Normalized(db_->DumpScript());
  const std::size_t batches = Logged().size();
  ASSERT_GT(batches, 100u);

  std::size_t positions = 0, equal = 0, half_done = 0, unfinished = 0, advised = 0;
  for (std::size_t k = 1; k <= batches; ++k) {
    SCOPED_TRACE(std::string(mode.name) + " at batch " + std::to_string(k));
    Fresh();
    if (mode.dropped)
      db_->FailWhen([k](std::size_t seq, std::string_view) { return seq >= k; }, 20017,
                    "Unexpected EOF from the server");
    else
      db_->FailBatch(k, 50000, "Injected fault.");
    lost_.clear();
    const CliRun broken = Invoke({"run"}, true);
    db_->ClearFaults();
    EXPECT_EQ(lost_, std::vector<std::string>{});

    // Run alone never reports a database short of the clean upgrade's as upgraded: it ends with
    // exit 1, advising repair, or with the error that stops it.
    const CliRun alone = Invoke({"run"}, true);
    EXPECT_EQ(lost_, std::vector<std::string>{});
    if (alone.status == 0) {
      EXPECT_EQ(Normalized(db_->DumpScript()), clean);
    } else {
      ++unfinished;
      EXPECT_EQ(alone.status, 1);
      EXPECT_EQ(alone.out.find(kDone), std::string::npos);
      const std::string advice = "数据库未升级完成，请运行 upvrek-cli repair 修复。\n";
      if (alone.err.size() >= advice.size() &&
          alone.err.compare(alone.err.size() - advice.size(), advice.size(), advice) == 0)
        ++advised;
    }

    const CliRun repair = PlanThenRepairAgree();
    if (last_listing_.find("上次升级未完成：") != std::string::npos) ++half_done;
    EXPECT_EQ(repair.status, 0) << repair.err << repair.out;
    EXPECT_EQ(repair.err, "");
    EXPECT_EQ(lost_, std::vector<std::string>{});
    const CliRun run = Invoke({"run"}, true);
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(lost_, std::vector<std::string>{});
    const std::string repaired = db_->DumpScript();
    ++positions;
    if (Normalized(repaired) == clean) ++equal;
    EXPECT_EQ(Normalized(repaired), clean) << broken.err;

    // A second repair finds nothing: only selects, and the database as it was.
    db_->ClearLog();
    const CliRun again = Invoke({"repair"});
    EXPECT_EQ(again.status, 0) << again.err;
    EXPECT_NE(again.out.find("没有未完成的升级。\n"), std::string::npos) << again.out;
    for (const std::string& text : Logged()) EXPECT_TRUE(ChangesNothing(text)) << text;
    EXPECT_EQ(db_->DumpScript(), repaired);
    if (HasFatalFailure()) return;
  }
  std::cout << "[ figures  ] " << mode.name << " at each of the " << positions
            << " batches of a first run: run alone then ends unfinished after " << unfinished
            << " (advising repair after " << advised << "), half-done work found after "
            << half_done << ", the clean upgrade's database after repair and run: " << equal
            << "\n";
  EXPECT_GT(half_done, batches / 2);
  EXPECT_GT(advised, batches / 2);
}

// A register upgraded by a clean run and then used: nothing is half-done, repair only reads.
TEST_F(Repair, ACleanUpgradeChangedAsTheClientWouldIsNotFlagged) {
  Fresh();
  ASSERT_EQ(Invoke({"run"}).status, 0);
  for (const char* sql : {
           "insert into lib_unit(un_unit,un_unitpy,un_order) values ('吨','d',80)",
           "delete from lib_unit where un_unit='盏'",
           "insert into lib_vrek_name values('测温枪','cwq')",
           "insert into lib_vrek (vr_id, vr_name) values ('2012000001', '投影仪')",
           "insert into lib_lsout (lo_barcode, lo_useno) values ('6901234567899', 35)",
           "insert into lib_people (pe_no, pe_name) values ('T0042', '周杰')",
           "update lib_prtblank set pb_top=15, pb_left=20",
           "update lib_check_field set ct_check=1 where cf_field='vr_type'",
           "update lib_curtermno set ct_termno='T01', ct_date='2012-11-06'",
           "insert into lib_vrekpandian (pd_barcode) values ('2003000001')",
       })
    Exec(sql);
  const std::string before = db_->DumpScript();
  const CliRun repair = PlanThenRepairAgree();
  EXPECT_EQ(last_listing_, "修复计划（只读取，不改变数据库）：\n没有未完成的升级。\n");
  EXPECT_EQ(repair.status, 0);
  EXPECT_EQ(repair.err, "");
  for (const std::string& text : Logged()) EXPECT_TRUE(ChangesNothing(text)) << text;
  EXPECT_EQ(db_->DumpScript(), before);
}

// A repair broken at each of its batches leaves what the next repair completes: the breaks of a
// repair are half-done states like those of a run.
struct RepairBreak {
  const char* name;
  const char* first_break;  // the first run breaks at the n-th batch beginning so
  int occurrence;
};
void PrintTo(const RepairBreak& b, std::ostream* os) { *os << b.name; }

class BrokenRepair : public Repair, public testing::WithParamInterface<RepairBreak> {
 protected:
  // Breaks the batch that begins so, the n-th time one does.
  void BreakAt(const std::string& prefix, int occurrence) {
    db_->FailWhen(
        [prefix, left = occurrence](std::size_t, std::string_view text) mutable {
          return text.rfind(prefix, 0) == 0 && --left == 0;
        },
        50000, "Injected fault.");
  }
  // Breaks the n-th batch from now on.
  void BreakBatch(std::size_t n) {
    db_->FailWhen([left = n](std::size_t, std::string_view) mutable { return --left == 0; }, 50000,
                  "Injected fault.");
  }
};

INSTANTIATE_TEST_SUITE_P(
    Repair, BrokenRepair,
    testing::Values(RepairBreak{"InTheUnits", "insert into lib_unit(", 5},
                    RepairBreak{"InThePersonCopy", "insert into lib_peopletmp values(", 5},
                    RepairBreak{"InTheCompanyColumns", "alter table lib_vrek add vr_company", 1},
                    RepairBreak{"InTheNames", "insert into lib_vrek_name values(", 10}),
    [](const testing::TestParamInfo<RepairBreak>& info) { return std::string(info.param.name); });

TEST_P(BrokenRepair, AtEachOfItsBatchesThenRepairedByTheNext) {
  const RepairBreak& c = GetParam();
  Fresh();
  ASSERT_EQ(Invoke({"run"}).status, 0);
  const std::string clean = Normalized(db_->DumpScript());

  auto broken_first_run = [&] {
    Fresh();
    BreakAt(c.first_break, c.occurrence);
    EXPECT_EQ(Invoke({"run"}).status, 1);
    db_->ClearFaults();
  };
  broken_first_run();
  db_->ClearLog();
  ASSERT_EQ(Invoke({"repair"}).status, 0);
  const std::size_t batches = Logged().size();

  for (std::size_t j = 1; j <= batches; ++j) {
    SCOPED_TRACE("repair broken at its batch " + std::to_string(j));
    broken_first_run();
    BreakBatch(j);
    lost_.clear();
    Invoke({"repair"}, true);
    db_->ClearFaults();
    const CliRun repair = PlanThenRepairAgree();
    EXPECT_EQ(repair.status, 0) << repair.err;
    EXPECT_EQ(lost_, std::vector<std::string>{});
    EXPECT_EQ(Normalized(db_->DumpScript()), clean);
    if (HasFailure()) return;
  }
  std::cout << "[ figures  ] a repair of " << batches << " batches broken at each of them\n";
}

// The half-done check reads each table's columns from the create statements of the upgrade's
// table: after a clean run, every table created holds exactly those columns and types.
TEST_F(Repair, TheColumnsReadFromEachCreateAreTheColumnsTheServerCreated) {
  Fresh();
  ASSERT_EQ(Invoke({"run"}).status, 0);
  const std::string dump = db_->DumpScript();
  std::vector<const upgrade::Block*> blocks = {&upgrade::LedgerBlock()};
  for (const upgrade::Step* step : upgrade::Steps())
    for (const upgrade::Block& b : step->blocks) blocks.push_back(&b);
  std::size_t tables = 0;
  for (const upgrade::Block* b : blocks)
    for (const upgrade::Statement& s : b->statements)
      for (const upgrade::Change& c : s.changes) {
        if (c.kind != upgrade::Change::Kind::CreateTable || c.table == "lib_peopletmp") continue;
        SCOPED_TRACE(c.table);
        ++tables;
        std::string declared;
        for (const upgrade::ColumnDef& col : upgrade::CreatedColumns(s))
          declared += col.name + " " + col.type + "\n";
        std::string created;
        std::istringstream section(Section(dump, c.table));
        std::string line;
        std::getline(section, line);
        while (std::getline(section, line) && line.rfind('\t', 0) == 0) {
          std::istringstream words(line);
          std::string name, type;
          words >> name >> type;
          created += name + " " + type + "\n";
        }
        EXPECT_NE(declared, "");
        EXPECT_EQ(declared, created);
      }
  EXPECT_EQ(tables, 11u);
}

// An asset name that lib_vrek holds and lib_vrek_name lacks is completed whoever wrote it: the
// step's own read, narrowed to the missing names, and one insert with its initials.
TEST_F(Repair, ANewAssetNameIsAddedToTheNameTable) {
  Fresh();
  ASSERT_EQ(Invoke({"run"}).status, 0);
  Exec("insert into lib_vrek (vr_id, vr_name) values ('2012000001', '测温枪')");
  Exec("insert into lib_vrek (vr_id, vr_name) values ('2012000002', '投影仪')");
  const CliRun repair = PlanThenRepairAgree();
  EXPECT_EQ(repair.status, 0) << repair.err;
  EXPECT_EQ(last_listing_,
            "修复计划（只读取，不改变数据库）：\n上次升级未完成：\n  步骤 "
            "20121106（资产名称拼音首字母）：表 lib_vrek_name 缺少 1 个资产名称\n");
  const std::vector<std::string> sent = Logged();
  std::vector<std::string> changes;
  for (const std::string& text : sent)
    if (!ChangesNothing(text)) changes.push_back(text);
  ASSERT_EQ(changes.size(), 1u);
  EXPECT_EQ(changes[0].rfind("insert into lib_vrek_name values('测温枪','", 0), 0u) << changes[0];
  EXPECT_NE(std::find(sent.begin(), sent.end(),
                      "select vr_name from lib_vrek where isnull(vr_name,'') not in (select "
                      "gn_name from lib_vrek_name) group by vr_name order by vr_name"),
            sent.end());
  db_->ClearLog();
  const CliRun again = Invoke({"repair"});
  EXPECT_EQ(again.status, 0);
  for (const std::string& text : Logged()) EXPECT_TRUE(ChangesNothing(text)) << text;
}

// The register left part-way by an older run: a company column NULL in one row, an empty
// terminal table. Repair fills and inserts only those, and its plan is what it sends.
TEST_F(Repair, PartlyUpgradedRegister) {
  db_ = std::make_unique<standin::Database>();
  db_->LoadScript(ReadFixture("partly_upgraded.sql"));
  const CliRun repair = PlanThenRepairAgree();
  EXPECT_EQ(
      last_listing_,
      "修复计划（只读取，不改变数据库）：\n"
      "上次升级未完成：\n"
      "  终端号表块：表 lib_curtermno 没有初始数据（应有 1 行）\n"
      "  步骤 20110520（公司列）：列 lib_vrek.vr_company 有 1 行为 NULL：填充它的更新未执行\n");
  EXPECT_EQ(repair.status, 0) << repair.err;
  std::vector<std::string> changes;
  for (const std::string& text : Logged())
    if (!ChangesNothing(text)) changes.push_back(text);
  ASSERT_GE(changes.size(), 2u);
  EXPECT_EQ(
      std::vector<std::string>(changes.begin(), changes.begin() + 2),
      (std::vector<std::string>{"insert into lib_curtermno values('','') ",
                                "update lib_vrek set vr_company=0 where vr_company is null"}));
  db_->ClearLog();
  EXPECT_EQ(Invoke({"repair"}).status, 0);
  for (const std::string& text : Logged()) EXPECT_TRUE(ChangesNothing(text)) << text;
}

// What cannot be completed safely: named with the reason, left as it is, exit 1. The rest is
// repaired and the steps run.
struct Refusal {
  const char* name;
  const char* before_run;  // the client's doing before the broken run, or ""
  const char* break_at;    // the run breaks at the n-th batch beginning so (n = occurrence)
  int occurrence;
  const char* after_break;        // the client's doing after it, or ""
  std::vector<std::string> kept;  // tables whose content repair must leave as it is
  const char* block;
  const char* reason;
};
void PrintTo(const Refusal& r, std::ostream* os) { *os << r.name; }

class Refused : public Repair, public testing::WithParamInterface<Refusal> {};

const char kRefusedHead[] = "以下未完成的部分不能安全修复，未作改动，数据库仍未升级完成：\n";

INSTANTIATE_TEST_SUITE_P(
    Repair, Refused,
    testing::Values(
        Refusal{"ACheckedFieldTableThisProgramDidNotCreate",
                "",
                "create table lib_check_field",
                1,
                "create table lib_check_field (cf_table char(32), note varchar(20))",
                {"lib_check_field"},
                "步骤 20110623（检查字段字典）",
                "名为 lib_check_field 的对象不是本程序创建的（它的列是 cf_table char(32), note "
                "varchar(20)），不能向其中写入"},
        Refusal{"PersonsDifferingAfterTheCopy",
                "",
                "drop table lib_peopletmp",
                1,
                "update lib_people set pe_card='NEW7' where pe_no='7'",
                {"lib_people", "lib_peopletmp"},
                "打印边距与人员编号块",
                "表 lib_people 与 lib_peopletmp 中的人员不同；人员编号 7 在两个表中不同"},
        Refusal{"APersonOnlyInTheWorkTable",
                "",
                "insert into lib_peopletmp values(",
                5,
                "delete from lib_people where pe_no=2",
                {"lib_people", "lib_peopletmp"},
                "打印边距与人员编号块",
                "表 lib_peopletmp 中的人员与 lib_people 不一致；人员编号 2 只在 lib_peopletmp 中"},
        Refusal{"APersonTheReKeyingCannotCarry",
                "",
                "create table lib_peopletmp",
                1,
                "update lib_people set pe_dept=NULL where pe_no=7",
                {"lib_people"},
                "打印边距与人员编号块",
                "人员无法转换为新的人员编号；人员编号 7：部门为空"}),
    [](const testing::TestParamInfo<Refusal>& info) { return std::string(info.param.name); });

TEST_P(Refused, NamedLeftAsItIsAndExitOne) {
  const Refusal& c = GetParam();
  Fresh();
  if (*c.before_run) Exec(c.before_run);
  if (*c.break_at) {
    const std::string prefix = c.break_at;
    db_->FailWhen(
        [prefix, left = c.occurrence](std::size_t, std::string_view text) mutable {
          return text.rfind(prefix, 0) == 0 && --left == 0;
        },
        50000, "Injected fault.");
  }
  ASSERT_EQ(Invoke({"run"}).status, 1);
  db_->ClearFaults();
  if (*c.after_break) Exec(c.after_break);
  const std::string before = db_->DumpScript();

  const CliRun repair = PlanThenRepairAgree();
  EXPECT_EQ(repair.status, 1);
  EXPECT_EQ(repair.err, kRefusedHead + std::string("  ") + c.block + "：" + c.reason + "\n");
  EXPECT_FALSE(repair.out.ends_with(kDone)) << repair.out;
  EXPECT_EQ(last_listing_, std::string("修复计划（只读取，不改变数据库）：\n上次升级未完成：\n  ") +
                               c.block + "：无法修复：" + c.reason + "\n");
  const std::string after = db_->DumpScript();
  for (const std::string& table : c.kept) {
    EXPECT_NE(Section(before, table), "") << table;
    EXPECT_EQ(Section(after, table), Section(before, table)) << table;
  }
  EXPECT_EQ(LostPersons(*db_), std::vector<std::string>{});
  // The rest went through: the last step has run.
  EXPECT_NE(Section(after, "lib_vrek_name"), "");

  // Nothing changes on a second attempt, which refuses alike.
  db_->ClearLog();
  const CliRun again = Invoke({"repair"});
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err, repair.err);
  for (const std::string& text : Logged()) EXPECT_TRUE(ChangesNothing(text)) << text;
  EXPECT_EQ(db_->DumpScript(), after);
}

// A register with thousands of persons, its connection lost at points of the person copy, as
// when the program is killed there: repair and run give the clean upgrade's database, and every
// person is in lib_people or lib_peopletmp after each program.
struct CopyBreak {
  const char* name;
  const char* batch;  // the connection is lost at the n-th batch beginning so
  int occurrence;
};
void PrintTo(const CopyBreak& b, std::ostream* os) { *os << b.name; }

class LargeRegister : public Repair, public testing::WithParamInterface<CopyBreak> {
 protected:
  static constexpr int kPersons = 3000;
  void FreshLarge() {
    Fresh();
    for (int from = 0; from < kPersons; from += 500) {
      std::string sql = "insert into lib_people values ";
      for (int i = from; i < from + 500; ++i)
        sql += std::string(i == from ? "" : ",") + "(" + std::to_string(100000 + i) + ", '1', 'P" +
               std::to_string(i) + "', '女', '19800101', '', 'C" + std::to_string(i) + "', " +
               std::to_string(i % 10) + ", '')";
      Exec(sql);
    }
  }
  // How many of the added persons neither lib_people nor lib_peopletmp holds.
  int Missing() {
    std::set<std::string> numbers;
    standin::Session s(*db_);
    for (const char* table : {"lib_people", "lib_peopletmp"}) {
      const standin::BatchOutcome out = s.Execute(std::string("select pe_no from ") + table);
      if (out.Failed()) continue;
      for (const auto& row : out.statements.back().rows) {
        std::string n = row[0].Text();
        while (!n.empty() && n.back() == ' ') n.pop_back();
        numbers.insert(n);
      }
    }
    int missing = 0;
    for (int i = 0; i < kPersons; ++i) missing += !numbers.count(std::to_string(100000 + i));
    return missing;
  }
};

INSTANTIATE_TEST_SUITE_P(
    Repair, LargeRegister,
    testing::Values(CopyBreak{"FirstCopy", "insert into lib_peopletmp values(", 1},
                    CopyBreak{"MiddleCopy", "insert into lib_peopletmp values(", 1700},
                    CopyBreak{"LastCopy", "insert into lib_peopletmp values(", 3010},
                    CopyBreak{"DropOfTheOldTable", "drop table lib_people", 1},
                    CopyBreak{"NewTable", "create table lib_people(", 1},
                    CopyBreak{"CopyBack", "insert into lib_people select", 1},
                    CopyBreak{"DropOfTheWorkTable", "drop table lib_peopletmp", 1}),
    [](const testing::TestParamInfo<CopyBreak>& info) { return std::string(info.param.name); });

TEST_P(LargeRegister, ConnectionLostInThePersonCopy) {
  const CopyBreak& c = GetParam();
  watch_repair_ = false;  // a dump per batch of thousands: the persons are counted after it
  FreshLarge();
  ASSERT_EQ(Invoke({"run"}).status, 0);
  const std::string clean = Normalized(db_->DumpScript());

  FreshLarge();
  const std::string prefix = c.batch;
  db_->FailWhen(
      [prefix, left = c.occurrence](std::size_t, std::string_view text) mutable {
        if (left > 0 && text.rfind(prefix, 0) == 0) --left;
        return left == 0;
      },
      20017, "Unexpected EOF from the server");
  EXPECT_EQ(Invoke({"run"}).status, 1);
  db_->ClearFaults();
  EXPECT_EQ(Missing(), 0);
  const CliRun repair = PlanThenRepairAgree();
  EXPECT_EQ(repair.status, 0) << repair.err;
  EXPECT_NE(last_listing_.find("上次升级未完成：\n  打印边距与人员编号块："), std::string::npos)
      << last_listing_;
  EXPECT_EQ(Missing(), 0);
  EXPECT_EQ(Invoke({"run"}).status, 0);
  EXPECT_EQ(Normalized(db_->DumpScript()), clean);
}

}  // namespace
