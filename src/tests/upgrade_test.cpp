// Whole upgrade runs against the stand-in engine, compared batch by batch, and what the database
// holds afterwards.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <regex>

#include "dump_compare.h"
#include "pinyin_spy.h"
#include "sqltext.h"
#include "upgrade_fixture.h"

namespace {

// The persons of the old register as the re-keying sends them, in the order the table holds them.
Transcript OldRegisterPersons() {
  return {
      PersonInsert({"1", "1", "张三", "男", "19750303", "", "A001", "5"}),
      PersonInsert({"2", "1", "李明", "男", "19681120", "123", "A002", "3"}),
      PersonInsert({"3", "1", "王秀英", "女", "19800715", "abc", "B0103", "1"}),
      PersonInsert({"4", "0", "赵刚", "男", "19720102", "", "", "2"}),
      PersonInsert({"7", "1", "欧阳小芳", "女", "19851231", "pw7", "C7", "5"}),
      PersonInsert({"12", "1", "O''Brien", "男", "19700501", "", "EX12", "9"}),
      PersonInsert({"35", "1", "陈", "女", "19900228", "", "", "8"}),
      PersonInsert({"108", "1", "admin", "男", "19000101", "admin", "", "0"}),
      PersonInsert({"2005", "1", "刘洋", "男", "19790909", "", "D2005", "4"}),
      PersonInsert({"123456789", "1", "孙丽", "女", "19820418", "", "E123456789", "7"}),
  };
}

const Table kOldRegisterPeople = {
    {"1", "1", "张三", "男", "1975-03-03 00:00:00.000", "", "A001", "5"},
    {"2", "1", "李明", "男", "1968-11-20 00:00:00.000", "123", "A002", "3"},
    {"3", "1", "王秀英", "女", "1980-07-15 00:00:00.000", "abc", "B0103", "1"},
    {"4", "0", "赵刚", "男", "1972-01-02 00:00:00.000", "", "", "2"},
    {"7", "1", "欧阳小芳", "女", "1985-12-31 00:00:00.000", "pw7", "C7", "5"},
    {"12", "1", "O'Brien", "男", "1970-05-01 00:00:00.000", "", "EX12", "9"},
    {"35", "1", "陈", "女", "1990-02-28 00:00:00.000", "", "", "8"},
    {"108", "1", "admin", "男", "1900-01-01 00:00:00.000", "admin", "", "0"},
    {"2005", "1", "刘洋", "男", "1979-09-09 00:00:00.000", "", "D2005", "4"},
    {"123456789", "1", "孙丽", "女", "1982-04-18 00:00:00.000", "", "E123456789", "7"},
};

// The inserts of the initials for these names, the spy's results numbered from 1.
Transcript NameInserts(const std::vector<std::string>& names) {
  Transcript t;
  for (size_t i = 0; i < names.size(); ++i)
    t.push_back(NameInsert(QuoteBody(names[i]), QuoteBody(PinYinSpy::ResultOf(i + 1))));
  return t;
}

// The blocks and dated steps of a first run, each with the position (inside its full transcript)
// of the statement whose success makes later runs skip it.
struct Block {
  Transcript full;
  size_t guard_made_by;
  size_t probes;  // how many leading batches a skipped block still sends
};

// Where in the transcript the batch that begins with `head` is sent.
size_t PositionOf(const Transcript& t, const std::string& head) {
  for (size_t i = 0; i < t.size(); ++i)
    if (t[i].rfind(head, 0) == 0) return i;
  ADD_FAILURE() << "no batch begins with " << head;
  return t.size();
}

std::vector<Block> FirstRunBlocks(const std::vector<std::string>& names) {
  Transcript people = PeopleHead() + OldRegisterPersons() + PeopleTail();
  Transcript stock = StockTaking();
  Transcript names_step = AssetNamesHead() + NameInserts(names);
  return {
      {Ledger(), 1, 1},
      {ScrapReason(), 1, 1},
      {Units(), 2, 1},
      {people, PositionOf(people, "create table lib_prtblank"), 1},
      {Transcript(stock.begin(), stock.begin() + 3), 1, 1},
      {Transcript(stock.begin() + 3, stock.begin() + 6), 1, 1},
      {Transcript(stock.begin() + 6, stock.begin() + 10), 1, 1},
      {Transcript(stock.begin() + 10, stock.begin() + 12), 1, 1},
      {Transcript(stock.begin() + 12, stock.end()), 1, 1},
      {Company(), PositionOf(Company(), MarkInsert("ZZ20110520.DEPT")), 1},
      {CheckedFields(), PositionOf(CheckedFields(), MarkInsert("ZZ20110623.CHECK")), 1},
      {names_step, PositionOf(names_step, MarkInsert("ZZ20121106.CHECK")), 1},
  };
}

Transcript Join(const std::vector<Block>& blocks) {
  Transcript t;
  for (const Block& b : blocks) t += b.full;
  return t;
}

class OldRegister : public ::testing::Test {
 protected:
  void SetUp() override { PinYinSpy::Reset(); }
  Upgrade up{ReadFixture("old_register.sql")};
};

TEST_F(OldRegister, FirstRunThenSecondRun) {
  const std::vector<std::string> names = up.AssetNames();
  const RunResult first = up.Run();
  EXPECT_EQ(first.sent,
            Lock() + CheckOnOldRegister() + Join(FirstRunBlocks(names)) + CheckOnUpgraded());
  EXPECT_EQ(first.shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  EXPECT_TRUE(first.start_enabled);
  EXPECT_EQ(PinYinSpy::live, 0);

  // The unit dictionary: exactly the 27 standard rows, numbered 1 to 27.
  Table units =
      up.Select("select un_id, un_unit, un_unitpy, un_order from lib_unit order by un_id");
  Table seeds = UnitSeedRows();
  for (size_t i = 0; i < seeds.size(); ++i)
    seeds[i].insert(seeds[i].begin(), std::to_string(i + 1));
  EXPECT_EQ(units, seeds);

  // Persons with text keys and their fields as they were (birth dates at midnight), the ninth
  // column gone, and the work table dropped.
  EXPECT_EQ(up.Select("select * from lib_people"), kOldRegisterPeople);
  EXPECT_FALSE(up.Exists("lib_peopletmp"));
  EXPECT_EQ(up.Select("select name from syscolumns where id in (select id from sysobjects where "
                      "name = 'lib_people')")
                .size(),
            8u);

  // Text copies of the person numbers.
  for (const char* sql :
       {"select lo_useno, lo_usenos from lib_lsout", "select lo_useno, lo_usenos from lib_lsoutls",
        "select sq_sno, sq_snos from lib_shenqing", "select pf_sno, pf_snos from lib_pifu"}) {
    SCOPED_TRACE(sql);
    Table rows = up.Select(sql);
    ASSERT_FALSE(rows.empty());
    for (const auto& row : rows) EXPECT_EQ(row[1], row[0]);
  }
  EXPECT_TRUE(up.Select("select * from lib_lsoutorder").empty());
  EXPECT_EQ(up.Select("select * from lib_prtblank"), (Table{{"1", "0", "10", "10", "10", "10"}}));
  EXPECT_EQ(up.Select("select * from lib_curtermno"), (Table{{"", ""}}));
  EXPECT_TRUE(up.Select("select vr_id from lib_vrek where vr_dwhy <> '' or vr_dwhy is null or "
                        "vr_company <> 0 or vr_company is null")
                  .empty());

  EXPECT_EQ(up.Select("select cf_table, cf_field, cf_name, ct_check from lib_check_field"),
            CheckedFieldRows());

  // One row per distinct name, the NULL one stored as the empty text; the quoted one intact.
  Table stored = up.Select("select gn_name, gn_pinyin from lib_vrek_name");
  ASSERT_EQ(stored.size(), names.size());
  for (size_t i = 0; i < names.size(); ++i) {
    std::string name = names[i];
    while (!name.empty() && name.back() == ' ') name.pop_back();
    EXPECT_EQ(stored[i], (std::vector<std::string>{name, PinYinSpy::ResultOf(i + 1)}));
  }
  EXPECT_NE(std::find(names.begin(), names.end(), "19' 机柜"), names.end());
  ASSERT_FALSE(names.empty());
  EXPECT_EQ(names.front(), "");

  EXPECT_EQ(up.Select("select vm_mess from ver_manage"),
            (Table{{"ZZ20110520.DEPT"}, {"ZZ20110623.CHECK"}, {"ZZ20121106.CHECK"}}));

  // The second run changes nothing.
  const std::string after_first = up.db.DumpScript();
  PinYinSpy::Reset();
  const RunResult second = up.Run();
  EXPECT_EQ(second.sent, CheckedUpgradedRun());
  EXPECT_EQ(second.shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  EXPECT_TRUE(PinYinSpy::arguments.empty());
  EXPECT_EQ(up.db.DumpScript(), after_first);
}

TEST_F(OldRegister, DatesAreReadAlikeUnderEveryDateFormat) {
  up.session_setup = {"set dateformat dmy"};
  const RunResult r = up.Run();
  EXPECT_EQ(r.shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  EXPECT_EQ(up.Select("select * from lib_people"), kOldRegisterPeople);
}

TEST_F(OldRegister, NullTextFieldsOfAPersonAreTakenAsEmpty) {
  up.Exec(
      "update lib_people set pe_sign = NULL, pe_name = NULL, pe_sex = NULL, pe_pass = NULL, "
      "pe_card = NULL where pe_no = 35");
  const RunResult r = up.Run();
  EXPECT_EQ(r.shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  EXPECT_EQ(up.Select("select * from lib_people where pe_no = '35'"),
            (Table{{"35", "", "", "", "1990-02-28 00:00:00.000", "", "", "8"}}));
}

TEST_F(OldRegister, PersonsThatCannotBeCarriedStopTheRunUntilFixed) {
  // An old person table wider than the new one, without a key. Separate batches: an insert is
  // compiled against the table that exists when its batch arrives.
  up.Exec("drop table lib_people");
  up.Exec(
      "create table lib_people (pe_no int null, pe_sign char(1) null, pe_name varchar(20) null, "
      "pe_sex char(2) null, pe_bdate datetime null, pe_pass char(9) null, pe_card char(20) null, "
      "pe_dept int null)");
  up.Exec(
      "insert into lib_people values (1, '1', '张三', '男', '19750303', '', 'A001', 5)\n"
      "insert into lib_people values (7, '1', '欧阳小芳芳', '女', '19851231', 'pw7', 'C7', 5)\n"
      "insert into lib_people values (2005, '1', '刘洋', '男', '19790909', '', 'D2005', NULL)\n"
      "insert into lib_people values (1, '1', '孙', '女', '19820418', '', '', 7)");
  const Transcript check = up.CheckReads();
  const RunResult refused = up.Run();
  const Transcript head = PeopleHead();
  const Transcript until_check =
      Lock() + check + Ledger() + ScrapReason() + Units() +
      Transcript(
          head.begin(),
          head.begin() + static_cast<long>(PositionOf(head, "select * from lib_people")) + 1);
  EXPECT_EQ(refused.sent, until_check);
  EXPECT_EQ(refused.shown,
            std::vector<platform::ShownMessageBox>{ErrorBox(
                "人员数据无法转换为新的人员编号格式，升级已停止，人员数据未作任何改动。请修正以下人"
                "员后重新升级：\n人员编号 7：姓名超过8个字节\n人员编号 2005：部门为空\n人员编号 "
                "1：人员编号与1重复")});
  EXPECT_FALSE(refused.start_enabled);
  EXPECT_FALSE(up.Exists("lib_prtblank"));
  EXPECT_FALSE(up.Exists("lib_peopletmp"));
  EXPECT_FALSE(up.Exists("lib_curtermno"));

  // Fixed, the next run carries out the whole block.
  up.Exec("update lib_people set pe_name = '欧阳小芳' where pe_no = 7");
  up.Exec("update lib_people set pe_dept = 4 where pe_no = 2005");
  up.Exec("delete from lib_people where pe_name = '孙'");
  PinYinSpy::Reset();
  const Transcript check_fixed = up.CheckReads();
  const RunResult fixed = up.Run();
  EXPECT_EQ(fixed.shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  const std::vector<std::string> names = up.AssetNames();
  const Transcript expected =
      Lock() + check_fixed + UpgradedSlice(0, 3) + PeopleHead() +
      Transcript{PersonInsert({"1", "1", "张三", "男", "19750303", "", "A001", "5"}),
                 PersonInsert({"7", "1", "欧阳小芳", "女", "19851231", "pw7", "C7", "5"}),
                 PersonInsert({"2005", "1", "刘洋", "男", "19790909", "", "D2005", "4"})} +
      PeopleTail() + StockTaking() + Company() + CheckedFields() + AssetNamesHead() +
      NameInserts(names) + CheckOnUpgraded();
  EXPECT_EQ(fixed.sent, expected);
  EXPECT_EQ(up.Select("select * from lib_people"),
            (Table{{"1", "1", "张三", "男", "1975-03-03 00:00:00.000", "", "A001", "5"},
                   {"7", "1", "欧阳小芳", "女", "1985-12-31 00:00:00.000", "pw7", "C7", "5"},
                   {"2005", "1", "刘洋", "男", "1979-09-09 00:00:00.000", "", "D2005", "4"}}));
}

// A dump to compare with another: vrektest::Normalized, and the spy's initials, which number its
// calls (differing from run to run), without their numbers and the blanks that pad them.
std::string Comparable(const std::string& dump) {
  static const std::regex kSpyInitials("i''[0-9]+ *");
  return std::regex_replace(vrektest::Normalized(dump), kSpyInitials, "i''#");
}

// The box a run ends with when nothing stopped it: the completion message for a database found
// finished, else the offer of a repair ("升级未完成：").
void ExpectEndBox(const RunResult& r) {
  ASSERT_FALSE(r.shown.empty());
  if (r.half_done_at_end.empty()) {
    EXPECT_EQ(r.shown.back(), kDoneBox);
  } else {
    EXPECT_EQ(r.shown.back().text.rfind("升级未完成：\n", 0), 0u) << r.shown.back();
    EXPECT_EQ(r.shown.back().icon, platform::MsgIcon::Question);
  }
}

// Inject a fault at each batch of a first run's steps in turn; then run without faults, the offers
// of a repair declined, and once more; then a run that accepts the offer.
TEST_F(OldRegister, AFaultAtEachBatchThenRunsWithoutFaults) {
  const std::string script = ReadFixture("old_register.sql");
  const std::vector<std::string> names = up.AssetNames();
  const std::vector<Block> blocks = FirstRunBlocks(names);
  const Transcript first = Join(blocks);
  const Table people_numbers = up.Select("select pe_no from lib_people");
  const std::size_t check = CheckOnOldRegister().size();
  up.Run();
  const std::string clean = Comparable(up.db.DumpScript());

  for (size_t k = 0; k < first.size(); ++k) {
    SCOPED_TRACE("fault at batch " + std::to_string(k + 1) + ": " + first[k]);
    PinYinSpy::Reset();
    Upgrade u(script);
    // Nothing has been sent to the fresh database: the run's batches are numbered from 1, the
    // lock and the check's reads first.
    u.db.FailBatch(Lock().size() + check + k + 1, 50000, "Injected fault.");
    const RunResult faulty = u.Run();
    u.db.ClearFaults();
    EXPECT_EQ(PinYinSpy::live, 0);
    EXPECT_FALSE(faulty.start_enabled);
    ASSERT_EQ(faulty.shown.size(), 1u);
    EXPECT_EQ(faulty.shown[0].caption, "Brantel资产管理系统");
    EXPECT_EQ(faulty.shown[0].icon, platform::MsgIcon::Error);

    // The failed drop of lib_lsoutorder is ignored; the create after it then finds the old table.
    const bool drop_skipped = first[k] == "drop table lib_lsoutorder";
    const size_t stop = drop_skipped ? k + 1 : k;
    EXPECT_EQ(faulty.sent,
              Lock() + CheckOnOldRegister() +
                  Transcript(first.begin(), first.begin() + static_cast<long>(stop) + 1));
    if (!drop_skipped) {
      EXPECT_EQ(faulty.shown[0].text, "Injected fault.");
    }

    // What the rules promise for the next runs.
    Transcript expected_next;
    size_t at = 0;
    bool stuck = false;
    for (const Block& b : blocks) {
      const size_t made_by = at + b.guard_made_by;
      if (made_by < stop) {
        expected_next += Transcript(b.full.begin(), b.full.begin() + static_cast<long>(b.probes));
      } else if (&b == &blocks[2] && at + 1 < stop) {
        // The old unit dictionary was dropped and the new one never created: every later run
        // stops at the drop.
        expected_next += Transcript(b.full.begin(), b.full.begin() + 2);
        stuck = true;
        break;
      } else {
        expected_next += b.full;
      }
      at += b.full.size();
    }

    // Declined, the offers of a repair leave the steps as the rules make them; the completion
    // message only for a database equal to the clean upgrade's.
    PinYinSpy::Reset();
    u.answer = DeclineRepair;
    const Transcript check_before = u.CheckReads();
    const RunResult next = u.Run();
    const Transcript check_after = stuck ? Transcript{} : u.CheckReads();
    EXPECT_EQ(next.sent, Lock() + check_before + expected_next + check_after);
    ASSERT_FALSE(next.shown.empty());
    if (stuck) {
      EXPECT_EQ(next.shown.back().icon, platform::MsgIcon::Error);
    } else {
      ExpectEndBox(next);
      if (next.shown.back() == kDoneBox) {
        EXPECT_EQ(Comparable(u.db.DumpScript()), clean);
      }
    }

    // No person is ever lost.
    Table kept;
    for (const char* table : {"lib_people", "lib_peopletmp"})
      if (u.Exists(table)) {
        Table rows = u.Select(std::string("select pe_no from ") + table);
        kept.insert(kept.end(), rows.begin(), rows.end());
      }
    for (const auto& person : people_numbers)
      EXPECT_NE(std::find(kept.begin(), kept.end(), person), kept.end()) << person[0];

    // A mark is recorded at most once.
    Table marks = u.Select("select vm_mess from ver_manage");
    std::map<std::string, int> count;
    for (const auto& m : marks) EXPECT_EQ(++count[m[0]], 1) << m[0];

    const Transcript check_third = u.CheckReads();
    const RunResult third = u.Run();
    EXPECT_EQ(third.sent, stuck ? Lock() + check_third + expected_next
                                : Lock() + check_third + UpgradedRun() + check_third);

    // Accepted, the offer completes the database as a clean upgrade leaves it.
    u.answer = nullptr;
    const RunResult repaired = u.Run();
    EXPECT_EQ(repaired.shown.back(), kDoneBox);
    EXPECT_EQ(Comparable(u.db.DumpScript()), clean);
  }
}

// Another connection holds the upgrade lock: the run stops at once in the failure box, having
// sent only the lock's batch and changed nothing; once that connection is gone, a run goes through.
TEST_F(OldRegister, AnotherUpgradeHoldingTheLockStopsTheRunAtOnce) {
  const std::string before = up.db.DumpScript();
  auto other = std::make_unique<standin::Session>(up.db);
  ASSERT_FALSE(other->Execute(Lock().front()).Failed());
  const RunResult refused = up.Run();
  EXPECT_EQ(refused.sent, Lock());
  EXPECT_EQ(refused.shown, std::vector<platform::ShownMessageBox>{
                               ErrorBox("另一个升级程序正在升级此数据库，请等它结束后再运行。")});
  EXPECT_FALSE(refused.start_enabled);
  EXPECT_EQ(up.db.DumpScript(), before);

  other.reset();
  EXPECT_EQ(up.Run().shown, std::vector<platform::ShownMessageBox>{kDoneBox});
}

// The keys and defaults the client relies on, after a first run.
TEST_F(OldRegister, NewTablesKeysAndDefaults) {
  ASSERT_EQ(up.Run().shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  up.Exec("insert into lib_vrekpandian (pd_barcode) values ('B1')");
  EXPECT_THROW(up.Exec("insert into lib_vrekpandian (pd_barcode) values ('B1')"),
               std::runtime_error);
  up.Exec("insert into lib_yhppandian (pd_id, pd_barcode) values (1, 'B1')");
  up.Exec("insert into lib_yhppandian (pd_id, pd_barcode) values (2, 'B1')");
  EXPECT_THROW(up.Exec("insert into lib_yhppandian (pd_id, pd_barcode) values (2, 'B2')"),
               std::runtime_error);
  up.Exec("insert into lib_vrektmp (vr_id) values ('N1')");
  EXPECT_EQ(up.Select("select vr_company from lib_vrektmp where vr_id = 'N1'"), (Table{{"0"}}));
  up.Exec("insert into lib_people (pe_no) values ('A-7')");
  EXPECT_THROW(up.Exec("insert into lib_people (pe_no) values ('a-7 ')"), std::runtime_error);
  EXPECT_THROW(up.Exec("insert into lib_people (pe_name) values ('x')"), std::runtime_error);
}

TEST(PartlyUpgraded, FinishesWhatItsProbesFindMissing) {
  PinYinSpy::Reset();
  Upgrade up(ReadFixture("partly_upgraded.sql"));
  up.answer = DeclineRepair;
  const std::vector<std::string> names = up.AssetNames();
  const Transcript stock = StockTaking();
  const Transcript check = up.CheckReads();
  const Transcript expected = Lock() + check + UpgradedSlice(0, 2) + Units() + UpgradedSlice(3, 6) +
                              Transcript(stock.begin() + 6, stock.begin() + 10) +
                              UpgradedSlice(7, 8) + Transcript(stock.begin() + 12, stock.end()) +
                              UpgradedSlice(9, 10) + CheckedFields() + AssetNamesHead() +
                              NameInserts(names) + CheckOnUpgraded();
  const RunResult r = up.Run();
  EXPECT_EQ(r.sent, expected);
  // Two things the probes cannot see are half-done: offered at the start and before the end.
  const std::string found =
      "\n终端号表块：表 lib_curtermno 没有初始数据（应有 1 行）"
      "\n步骤 20110520（公司列）：列 lib_vrek.vr_company 有 1 行为 NULL：填充它的更新未执行"
      "\n是否立即修复？";
  const auto offer = [](const std::string& text) {
    return platform::ShownMessageBox{text, "提示信息", platform::MsgIcon::Question,
                                     platform::MsgButtons::YesNo};
  };
  EXPECT_EQ(r.shown, (std::vector<platform::ShownMessageBox>{offer("上次升级未完成：" + found),
                                                             offer("升级未完成：" + found)}));
  // Declined, the steps leave lib_curtermno as it is, even when empty.
  EXPECT_TRUE(up.Select("select * from lib_curtermno").empty());
  EXPECT_EQ(up.Run().sent, CheckedUpgradedRun());
  // Accepted, the repair completes both.
  up.answer = nullptr;
  EXPECT_EQ(up.Run().shown,
            (std::vector<platform::ShownMessageBox>{offer("上次升级未完成：" + found), kDoneBox}));
  EXPECT_EQ(up.Select("select * from lib_curtermno"), (Table{{"", ""}}));
}

}  // namespace

namespace {

enum BlockIndex : size_t {
  kLedger,
  kScrap,
  kUnits,
  kPeople,
  kTermNo,
  kVrekPd,
  kYhpPd,
  kYhpTmp,
  kLsIndex,
  kCompany,
  kChecked,
  kNames,
  kNoBlock
};

// The first-run blocks, those in `probe_only` cut to their first batch, and the run ending with
// batch `count` of block `last` when given.
Transcript Shape(const std::vector<Block>& blocks, std::initializer_list<size_t> probe_only,
                 size_t last = kNoBlock, size_t count = 0) {
  Transcript t;
  for (size_t i = 0; i < blocks.size(); ++i) {
    const Transcript& full = blocks[i].full;
    const bool probe = std::find(probe_only.begin(), probe_only.end(), i) != probe_only.end();
    if (i == last) return t + Transcript(full.begin(), full.begin() + static_cast<long>(count));
    t += probe ? Transcript(full.begin(), full.begin() + 1) : full;
  }
  return t;
}

using Shaper = std::function<Transcript(const std::vector<Block>&)>;

struct EdgeCase {
  const char* what;
  const char* setup;  // run against the old register before the upgrade
  Shaper first;
  bool first_completes;
  const char* first_error;  // the error box's text when the first run fails; nullptr: any text
  Shaper second;
  bool second_completes;
};

const Shaper kUpgraded = [](const std::vector<Block>&) { return UpgradedRun(); };

TEST(EdgeCases, OnTheOldRegister) {
  const EdgeCase cases[] = {
      {"vr_dwhy of another table does not count",
       "alter table lib_vrektmp add vr_dwhy char(40) default('')",
       [](auto& b) { return Shape(b, {}); }, true, nullptr, kUpgraded, true},
      {"the ledger index name on another table skips the index",
       "create index PK_lib_liushui_barcode on lib_liushuils(ls_barcode)",
       [](auto& b) { return Shape(b, {kLsIndex}); }, true, nullptr, kUpgraded, true},
      {"no unit dictionary stops every run at its drop", "drop table lib_unit",
       [](auto& b) { return Shape(b, {}, kUnits, 2); }, false,
       "Cannot drop the table 'lib_unit', because it does not exist or you do not have "
       "permission.",
       [](auto&) { return UpgradedSlice(0, 3) + Transcript{"drop table lib_unit"}; }, false},
      {"no persons: no insert", "delete from lib_people",
       [](auto& b) {
         std::vector<Block> c = b;
         c[kPeople].full = PeopleHead() + PeopleTail();
         return Shape(c, {});
       },
       true, nullptr, kUpgraded, true},
      {"no lib_lsoutorder: the failed drop goes unnoticed", "drop table lib_lsoutorder",
       [](auto& b) { return Shape(b, {}); }, true, nullptr, kUpgraded, true},
      {"no lib_liushui fails at its index on every run", "drop table lib_liushui",
       [](auto& b) { return Shape(b, {}, kLsIndex, 2); }, false, nullptr,
       [](auto&) { return UpgradedSlice(0, 9) + Transcript{StockTaking().back()}; }, false},
      {"a mark recorded twice, padded by char(40)",
       "create table ver_manage (vm_mess char(40) default(''))\n"
       "insert into ver_manage(vm_mess) values('ZZ20110520.DEPT')\n"
       "insert into ver_manage(vm_mess) values('ZZ20110520.DEPT')",
       [](auto& b) {
         return Shape(b, {kLedger, kCompany});
       },
       true, nullptr, kUpgraded, true},
      {"an existing lib_prtblank skips the whole block, numbers still numeric",
       "create table lib_prtblank (pb_no int null)", [](auto& b) { return Shape(b, {kPeople}); },
       true, nullptr, kUpgraded, true},
      {"an object of another type named ver_manage counts as the ledger",
       "create table lib_x (a int constraint ver_manage default(0))",
       [](auto& b) { return Shape(b, {kLedger}, kCompany, 1); }, false,
       "Invalid object name 'ver_manage'.", [](auto&) { return UpgradedSlice(0, 10); }, false},
      {"no assets: no initials", "delete from lib_vrek", [](auto& b) { return Shape(b, {}); }, true,
       nullptr, kUpgraded, true},
      // Found before the mark is recorded: the step changes nothing until the name is free.
      {"an existing lib_check_field stops its step before its mark",
       "create table lib_check_field (cf_table char(32) not null)",
       [](auto& b) { return Shape(b, {}, kChecked, 2); }, false,
       "步骤 20110623（检查字段字典）无法执行，升级已停止，版本标记 ZZ20110623.CHECK "
       "未记录，这一部分未作任何改动。请先修正以下问题，然后重新升级：\n"
       "已有名为 lib_check_field 的对象（此部分要新建它）",
       [](auto& b) {
         return Shape(b,
                      {kLedger, kScrap, kUnits, kPeople, kTermNo, kVrekPd, kYhpPd, kYhpTmp,
                       kLsIndex, kCompany},
                      kChecked, 2);
       },
       false},
      {"an existing lib_vrek_name stops its step before its mark",
       "create table lib_vrek_name (gn_name char(40) not null)",
       [](auto& b) { return Shape(b, {}, kNames, 4); }, false,
       "步骤 20121106（资产名称拼音首字母）无法执行，升级已停止，版本标记 ZZ20121106.CHECK "
       "未记录，这一部分未作任何改动。请先修正以下问题，然后重新升级：\n"
       "已有名为 lib_vrek_name 的对象（此部分要新建它）",
       [](auto& b) {
         return Shape(b,
                      {kLedger, kScrap, kUnits, kPeople, kTermNo, kVrekPd, kYhpPd, kYhpTmp,
                       kLsIndex, kCompany, kChecked},
                      kNames, 4);
       },
       false},
  };
  const std::string script = ReadFixture("old_register.sql");
  for (const EdgeCase& c : cases) {
    SCOPED_TRACE(c.what);
    PinYinSpy::Reset();
    Upgrade up(script);
    up.Exec(c.setup);
    // The steps as the rules make them: every offer of a repair declined.
    up.answer = DeclineRepair;
    const std::vector<Block> blocks = FirstRunBlocks(up.AssetNames());
    for (int run = 1; run <= 2; ++run) {
      SCOPED_TRACE("run " + std::to_string(run));
      PinYinSpy::Reset();
      const bool completes = run == 1 ? c.first_completes : c.second_completes;
      const Transcript check_before = up.CheckReads();
      const RunResult r = up.Run();
      EXPECT_EQ(r.sent, Lock() + check_before + (run == 1 ? c.first : c.second)(blocks) +
                            (completes ? up.CheckReads() : Transcript{}));
      EXPECT_EQ(PinYinSpy::live, 0);
      // An offer at the start, when something was half-done, then the end.
      ASSERT_EQ(r.shown.size(), r.half_done_at_start.empty() ? 1u : 2u);
      if (completes) {
        ExpectEndBox(r);
      } else {
        EXPECT_EQ(r.shown.back().caption, "Brantel资产管理系统");
        EXPECT_EQ(r.shown.back().icon, platform::MsgIcon::Error);
        if (run == 1 && c.first_error) {
          EXPECT_EQ(r.shown.back().text, c.first_error);
        }
      }
    }
  }
}

TEST(EdgeCases, NamesTheCollationCountsEqualFormOneGroup) {
  PinYinSpy::Reset();
  Upgrade up(ReadFixture("old_register.sql"));
  up.Run();
  // Printer, printer and "Printer " form one group; so do dvd机 and DVD机; the NULL name is first.
  Table stored = up.Select("select gn_name from lib_vrek_name");
  std::map<std::string, int> folded;
  for (const auto& row : stored) {
    std::string key = row[0];
    for (char& ch : key) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    ++folded[key];
  }
  EXPECT_EQ(folded["printer"], 1);
  EXPECT_EQ(folded["dvd机"], 1);
  EXPECT_EQ(folded["台式计算机"], 1);
  EXPECT_EQ(stored.at(0).at(0), "");
  EXPECT_EQ(PinYinSpy::arguments.size(), stored.size());
  EXPECT_EQ(PinYinSpy::arguments.at(0), "");
}

}  // namespace

namespace {

// The offers of a repair, at the start and before the end, with each answer, after a first run
// broken in the person copy (at the fifth person's insert), and a repair that refuses.
TEST(Offers, BothBoxesWithBothAnswers) {
  using platform::MsgResult;
  const std::string script = ReadFixture("old_register.sql");
  PinYinSpy::Reset();
  Upgrade clean_run(script);
  clean_run.Run();
  const std::string clean = Comparable(clean_run.db.DumpScript());
  const auto offer = [](const std::string& head, const std::string& lines) {
    return platform::ShownMessageBox{head + lines + "\n是否立即修复？", "提示信息",
                                     platform::MsgIcon::Question, platform::MsgButtons::YesNo};
  };
  const std::string copy =
      "\n打印边距与人员编号块：人员复制未完成：lib_peopletmp 有 4 名人员，lib_people 有 10 名，"
      "仍是旧的形式";
  const std::size_t fifth_person = Lock().size() + CheckOnOldRegister().size() + Ledger().size() +
                                   ScrapReason().size() + Units().size() + PeopleHead().size() + 5;
  const std::string step = "步骤 20110623（检查字段字典）：";
  const std::string why =
      "名为 lib_check_field 的对象不是本程序创建的（它的列是 cf_table char(32)），不能向其中写入";
  struct Case {
    const char* what;
    const char* setup;  // after a complete first run; when empty, the first run is broken instead
    std::vector<MsgResult> answers;  // to the offers, in order
    std::vector<platform::ShownMessageBox> shown;
    bool enabled, is_clean;
  };
  const Case cases[] = {
      {"Yes at the start repairs, then the steps run",
       "",
       {MsgResult::Yes},
       {offer("上次升级未完成：", copy), kDoneBox},
       true,
       true},
      {"No, then Yes before the end: repaired, checked again, done",
       "",
       {MsgResult::No, MsgResult::Yes},
       {offer("上次升级未完成：", copy), offer("升级未完成：", copy), kDoneBox},
       true,
       true},
      {"No twice: the steps as they are, no completion message",
       "",
       {MsgResult::No, MsgResult::No},
       {offer("上次升级未完成：", copy), offer("升级未完成：", copy)},
       true,
       false},
      {"a refused repair ends as a failed run",
       "drop table lib_check_field\ncreate table lib_check_field (cf_table char(32) not null)",
       {MsgResult::Yes},
       {offer("上次升级未完成：", "\n" + step + "无法修复：" + why),
        ErrorBox("以下未完成的部分不能安全修复，未作改动，数据库仍未升级完成：\n" + step + why)},
       false,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PinYinSpy::Reset();
    Upgrade u(script);
    if (!*c.setup) u.db.FailBatch(fifth_person, 50000, "Injected fault.");
    ASSERT_EQ(u.Run().shown.size(), 1u);
    u.db.ClearFaults();
    if (*c.setup) u.Exec(c.setup);
    std::size_t asked = 0;
    u.answer = [&](const platform::ShownMessageBox& box) {
      if (box.buttons != platform::MsgButtons::YesNo) return MsgResult::Ok;
      return asked < c.answers.size() ? c.answers[asked++] : MsgResult::Cancel;
    };
    const RunResult r = u.Run();
    EXPECT_EQ(asked, c.answers.size());
    EXPECT_EQ(r.shown, c.shown);
    EXPECT_EQ(r.start_enabled, c.enabled);
    EXPECT_EQ(Comparable(u.db.DumpScript()) == clean, c.is_clean);
  }
}

// An asset whose name lib_vrek_name lacks, added after a complete upgrade, counts as unfinished
// work of the initials step: the run offers to add the name (only adding, nothing the client
// wrote changes), and declined, it ends without the completion message.
TEST(Offers, AnAssetNameTheNameTableLacksIsOfferedAndAdded) {
  PinYinSpy::Reset();
  Upgrade up(ReadFixture("old_register.sql"));
  ASSERT_EQ(up.Run().shown, std::vector<platform::ShownMessageBox>{kDoneBox});
  up.Exec("insert into lib_vrek (vr_id, vr_name) values ('2012000001', '测温枪')");
  const std::string lacking =
      "\n步骤 20121106（资产名称拼音首字母）：表 lib_vrek_name 缺少 1 个资产名称\n是否立即修复？";
  const auto offer = [](const std::string& text) {
    return platform::ShownMessageBox{text, "提示信息", platform::MsgIcon::Question,
                                     platform::MsgButtons::YesNo};
  };
  up.answer = DeclineRepair;
  const Transcript check = up.CheckReads();
  const RunResult declined = up.Run();
  EXPECT_EQ(declined.sent, Lock() + check + UpgradedRun() + check);
  EXPECT_EQ(declined.shown,
            (std::vector<platform::ShownMessageBox>{offer("上次升级未完成：" + lacking),
                                                    offer("升级未完成：" + lacking)}));
  up.answer = nullptr;
  const RunResult accepted = up.Run();
  EXPECT_EQ(accepted.shown, (std::vector<platform::ShownMessageBox>{
                                offer("上次升级未完成：" + lacking), kDoneBox}));
  EXPECT_EQ(up.Select("select gn_name from lib_vrek_name where gn_name = '测温枪'"),
            (Table{{"测温枪"}}));
  EXPECT_EQ(up.Run().shown, std::vector<platform::ShownMessageBox>{kDoneBox});
}

// The box lists ten findings at most, then how many more there are.
TEST(Offers, TenLinesAtMostThenACount) {
  upgrade::HalfDoneBlock block;
  block.block = &upgrade::LedgerBlock();
  for (int i = 1; i <= 13; ++i) block.missing.push_back("缺少 " + std::to_string(i));
  std::string expected = "上次升级未完成：";
  for (int i = 1; i <= 10; ++i)
    expected += "\n" + block.block->title + "：缺少 " + std::to_string(i);
  expected += "\n……另有 3 项\n是否立即修复？";
  EXPECT_EQ(TUpVrekMain::HalfDoneText("上次升级未完成：", {block}), expected);
  block.missing.resize(10);
  const std::string ten = TUpVrekMain::HalfDoneText("升级未完成：", {block});
  EXPECT_EQ(ten.substr(ten.size() - std::string("缺少 10\n是否立即修复？").size()),
            "缺少 10\n是否立即修复？");
  EXPECT_EQ(ten.find("另有"), std::string::npos);
}

}  // namespace

namespace {

// Another client adds a person and renames one while the persons are being copied: the run stops
// before lib_people is dropped, with both changes in it; with the clients closed, the repair
// offered by the next run copies again and every change is in the new lib_people.
TEST(OtherClients, WritingDuringTheCopyStopsTheRunBeforeTheDropAndRepairKeepsTheirChanges) {
  PinYinSpy::Reset();
  Upgrade u(ReadFixture("old_register.sql"));
  int copied = 0;
  u.before_batch = [&](std::string_view batch) {
    if (batch.rfind("insert into lib_peopletmp values(", 0) != 0 || ++copied != 5) return;
    u.Exec("insert into lib_people values (88, '1', '新人', '女', '19990909', '', 'N88', 3, NULL)");
    u.Exec("update lib_people set pe_name = '张四' where pe_no = 1");
  };
  const RunResult stopped = u.Run();
  u.before_batch = nullptr;
  EXPECT_EQ(
      stopped.shown,
      std::vector<platform::ShownMessageBox>{ErrorBox(
          "人员数据在复制过程中被改动（复制了 10 名人员，lib_people 现有 11 名），升级已在删除 "
          "lib_people 之前停止，人员数据没有丢失。请关闭所有客户端程序，然后运行修复（upvrek-cli "
          "repair，或再次开始升级并选择立即修复）完成这一部分。")});
  ASSERT_FALSE(stopped.sent.empty());
  EXPECT_EQ(stopped.sent.back(), "select * from lib_people");
  EXPECT_EQ(u.Select("select pe_no, pe_name from lib_people where pe_no in (1, 88) order by pe_no"),
            (Table{{"1", "张四"}, {"88", "新人"}}));

  const RunResult repaired = u.Run();  // the offer at the start is answered Yes
  ASSERT_FALSE(repaired.shown.empty());
  EXPECT_EQ(repaired.shown.back(), kDoneBox);
  Table expected = kOldRegisterPeople;
  expected[0][2] = "张四";
  expected.push_back({"88", "1", "新人", "女", "1999-09-09 00:00:00.000", "", "N88", "3"});
  Table people = u.Select("select * from lib_people");
  std::sort(people.begin(), people.end(),
            [](const auto& a, const auto& b) { return std::stoi(a[0]) < std::stoi(b[0]); });
  std::sort(expected.begin(), expected.end(),
            [](const auto& a, const auto& b) { return std::stoi(a[0]) < std::stoi(b[0]); });
  EXPECT_EQ(people, expected);
  EXPECT_FALSE(u.Exists("lib_peopletmp"));
}

}  // namespace
