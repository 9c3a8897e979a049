// The fixtures load, and DumpScript/LoadScript reproduce a database exactly: the same script
// again, the same rows, the same catalog names, and identity numbering that continues where the
// original would have continued.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "files.h"
#include "standin/engine.h"

namespace {

using standin::Database;
using standin::Session;

using vrektest::ReadFixture;

std::string RunBatch(Session& s, std::string_view sql) {
  std::string r = standin::Render(s.Execute(sql));
  if (!r.empty() && r.back() == '\n') r.pop_back();
  return r;
}

struct Fixture {
  std::string file;
  std::vector<std::pair<std::string, std::size_t>> rows;  // table and its number of rows
  std::vector<std::string> absent;
  // Every table with a column list that orders its rows completely.
  std::vector<std::pair<std::string, std::string>> order;
  int next_unit_id;  // the identity lib_unit gives after one row was inserted and deleted
};

void PrintTo(const Fixture& f, std::ostream* os) { *os << f.file; }

const std::vector<Fixture>& Fixtures() {
  static const std::vector<Fixture> all = {
      {"old_register.sql",
       {{"lib_vrek", 44},
        {"lib_vrektmp", 2},
        {"lib_unit", 9},
        {"lib_people", 10},
        {"lib_lsout", 4},
        {"lib_lsoutls", 3},
        {"lib_lsoutorder", 3},
        {"lib_shenqing", 3},
        {"lib_pifu", 2},
        {"lib_liushui", 5},
        {"lib_liushuitmp", 1},
        {"lib_liushuils", 2}},
       {"ver_manage", "lib_prtblank", "lib_peopletmp", "lib_curtermno", "lib_check_field",
        "lib_vrek_name"},
       {{"lib_vrek", "vr_id"},
        {"lib_vrektmp", "vr_id"},
        {"lib_unit", "un_id"},
        {"lib_people", "pe_no"},
        {"lib_lsout", "lo_id"},
        {"lib_lsoutls", "lo_id"},
        {"lib_lsoutorder", "lp_useno"},
        {"lib_shenqing", "sq_id"},
        {"lib_pifu", "pf_id"},
        {"lib_liushui", "ls_id"},
        {"lib_liushuitmp", "ls_id"},
        {"lib_liushuils", "ls_id"}},
       11},
      {"partly_upgraded.sql",
       {{"ver_manage", 1},
        {"lib_vrek", 7},
        {"lib_vrektmp", 0},
        {"lib_unit", 3},
        {"lib_prtblank", 1},
        {"lib_people", 3},
        {"lib_lsout", 2},
        {"lib_lsoutls", 0},
        {"lib_lsoutorder", 0},
        {"lib_shenqing", 1},
        {"lib_pifu", 0},
        {"lib_curtermno", 0},
        {"lib_vrekpandian", 0},
        {"lib_yhppandiantmp", 0},
        {"lib_liushui", 2},
        {"lib_liushuitmp", 0},
        {"lib_liushuils", 0}},
       {"lib_yhppandian", "lib_check_field", "lib_vrek_name", "lib_peopletmp"},
       {{"ver_manage", "vm_mess"},
        {"lib_vrek", "vr_id"},
        {"lib_unit", "un_id"},
        {"lib_prtblank", "pb_no"},
        {"lib_people", "pe_no"},
        {"lib_lsout", "lo_id"},
        {"lib_shenqing", "sq_id"},
        {"lib_vrekpandian", "pd_barcode"},
        {"lib_liushui", "ls_id"},
        {"lib_curtermno", "ct_termno"},
        {"lib_yhppandiantmp", "pt_id"},
        {"lib_lsoutorder", "lp_useno"}},
       5},
  };
  return all;
}

class FixtureTest : public ::testing::TestWithParam<Fixture> {};

TEST_P(FixtureTest, LoadsWithTheExpectedTables) {
  const Fixture& f = GetParam();
  Database db;
  ASSERT_NO_THROW(db.LoadScript(ReadFixture(f.file)));
  Session s(db);
  for (const auto& [table, n] : f.rows) {
    const auto o = s.Execute("select * from " + table);
    ASSERT_EQ(o.statements.size(), 1u) << table;
    EXPECT_FALSE(o.Failed()) << table;
    EXPECT_EQ(o.statements[0].rows.size(), n) << table;
  }
  for (const auto& table : f.absent) {
    const auto probe = s.Execute("select * from sysobjects where name ='" + table + "'");
    ASSERT_EQ(probe.statements.size(), 1u) << table;
    EXPECT_TRUE(probe.statements[0].has_result && probe.statements[0].rows.empty()) << table;
  }
  for (const auto& table : f.absent)
    EXPECT_EQ(RunBatch(s, "select * from " + table),
              "error 208/16/1: Invalid object name '" + table + "'.\ndone error");
}

TEST_P(FixtureTest, DumpAndLoadGiveTheSameDatabase) {
  const Fixture& f = GetParam();
  Database a;
  a.LoadScript(ReadFixture(f.file));
  Session sa(a);
  // An index with a fill factor, and an identity value consumed by a row that is gone again.
  ASSERT_EQ(RunBatch(sa,
                     "create index PK_lib_liushui_barcode on lib_liushui(ls_barcode) WITH "
                     "PAD_INDEX,FILLFACTOR=85"),
            "done");
  ASSERT_EQ(RunBatch(sa,
                     "insert into lib_unit (un_unit, un_order) values ('临时', 99)\ndelete from "
                     "lib_unit where un_order = 99"),
            "done count 1\ndone count 1");

  const std::string dump = a.DumpScript();
  Database b;
  ASSERT_NO_THROW(b.LoadScript(dump)) << dump;
  EXPECT_EQ(b.DumpScript(), dump);
  Session sb(b);

  for (const auto& [table, key] : f.order) {
    const std::string q = "select * from " + table + " order by " + key;
    EXPECT_EQ(RunBatch(sb, q), RunBatch(sa, q)) << q;
  }
  const char* catalog[] = {
      "select name, xtype, type from sysobjects order by name",
      "select name, indid, OrigFillFactor from sysindexes where id in (select id from sysobjects "
      "where xtype = 'U') order by name, indid",
  };
  for (const char* q : catalog) EXPECT_EQ(RunBatch(sb, q), RunBatch(sa, q)) << q;

  // The same statements give the same rows in both: identity, defaults, system-named defaults.
  const char* later[] = {
      "insert into lib_unit (un_unit, un_order) values ('新', 10)",
      "insert into lib_vrek (vr_id) values ('X1')",
      "insert into lib_liushui (ls_barcode) values ('6900000000000')",
  };
  for (const char* q : later) EXPECT_EQ(RunBatch(sb, q), RunBatch(sa, q)) << q;
  const std::string unit = "select * from lib_unit where un_unit = '新'";
  const std::string expected_unit =
      "columns un_id int not null, un_unit char(10) null, un_order int null\nrow " +
      std::to_string(f.next_unit_id) + ", '新        ', 10\ndone count 1";
  EXPECT_EQ(RunBatch(sa, unit), expected_unit);
  EXPECT_EQ(RunBatch(sb, unit), expected_unit);
  const std::string vrek = "select * from lib_vrek where vr_id = 'X1'";
  EXPECT_EQ(RunBatch(sb, vrek), RunBatch(sa, vrek));
  const std::string ls =
      "select ls_barcode from lib_liushui where ls_barcode = '6900000000000' and ls_date is not "
      "null";
  EXPECT_EQ(RunBatch(sb, ls),
            "columns ls_barcode char(20) not null\nrow '6900000000000       '\ndone count 1");
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FixtureTest, ::testing::ValuesIn(Fixtures()),
                         [](const ::testing::TestParamInfo<Fixture>& info) {
                           std::string n = info.param.file.substr(0, info.param.file.find('.'));
                           return n;
                         });

// The reloaded old register holds the fixture's values exactly: padded char data, Chinese text,
// a quote inside a name, times of day, NULLs, a varchar with a trailing blank.
TEST(RoundTrip, OldRegisterValuesSurviveExactly) {
  Database a;
  a.LoadScript(ReadFixture("old_register.sql"));
  Database b;
  b.LoadScript(a.DumpScript());
  Session s(b);
  EXPECT_EQ(
      RunBatch(s,
               "select pe_no, pe_name, pe_bdate, pe_pass, pe_memo from lib_people where pe_no = 7 "
               "or pe_no = 12 order by pe_no"),
      "columns pe_no int not null, pe_name char(8) null, pe_bdate datetime null, pe_pass "
      "char(9) null, pe_memo varchar(60) null\n"
      "row 7, '欧阳小芳', '1985-12-31 23:59:59.000', 'pw7      ', NULL\n"
      "row 12, 'O''Brien ', '1970-05-01 12:00:00.000', '         ', '外籍教师'\n"
      "done count 2");
  EXPECT_EQ(RunBatch(s,
                     "select vr_id, vr_name, vr_price, vr_ddate from lib_vrek where vr_id = "
                     "'2004000014' or vr_id = '2003000007' or vr_id = '2003000016' order by vr_id"),
            "columns vr_id char(20) not null, vr_name varchar(40) null, vr_price numeric(15,2) "
            "null, vr_ddate datetime null\n"
            "row '2003000007          ', 'Printer ', 1990.00, NULL\n"
            "row '2003000016          ', '学生课桌椅', 260.00, '2004-11-30 16:45:00.000'\n"
            "row '2004000014          ', NULL, 120.00, NULL\n"
            "done count 3");
  EXPECT_EQ(RunBatch(s, "select * from lib_unit where un_id = 1 or un_id = 7 order by un_id"),
            "columns un_id int not null, un_unit char(10) null, un_order int null\n"
            "row 1, '个        ', 1\nrow 7, 'kg        ', 7\ndone count 2");
}

// Values and schema details that a naive dump loses: line breaks, tabs and quotes inside text,
// the edges of datetime, a reseeded identity below its largest value, columns added later with a
// system-named default, a clustered key, an empty table.
TEST(RoundTrip, EdgeValuesAndSchemaDetailsSurvive) {
  Database a;
  Session sa(a);
  const char* setup[] = {
      ("create table Edge (Id int NOT NULL IDENTITY (1, 1), Txt varchar(40), C char(6) not null, "
       "D datetime, N numeric(15,2), S smallint, constraint PK_Edge primary key clustered (Id))"),
      "insert into Edge (Txt, C, D, N, S) values ('a\r\n\tb''c', 'x', '1753-01-01T00:00:00', "
      "-0.01, -32768)",
      "insert into Edge (Txt, C, D, N, S) values (NULL, '张三', '9999-12-31T23:59:59.997', "
      "1234567890123.45, 32767)",
      "insert into Edge (Txt, C, D, N, S) values ('', '', NULL, NULL, NULL)",
      "alter table Edge add Later int default(3)",
      "create table Empty (a int)",
      "DBCC CHECKIDENT ('Edge', RESEED, 100)",
  };
  for (const char* q : setup) ASSERT_FALSE(sa.Execute(q).Failed()) << q;

  Database b;
  const std::string dump = a.DumpScript();
  ASSERT_NO_THROW(b.LoadScript(dump)) << dump;
  EXPECT_EQ(b.DumpScript(), dump);
  Session sb(b);
  const char* same[] = {
      "select * from Edge order by Id",
      "select * from Empty",
      "select name, xtype from sysobjects where xtype = 'D' or xtype = 'PK' order by name",
      "select indid, name from sysindexes where id in (select id from sysobjects where name = "
      "'Edge')",
  };
  for (const char* q : same) EXPECT_EQ(RunBatch(sb, q), RunBatch(sa, q)) << q;
  EXPECT_EQ(RunBatch(sb, "select * from Edge order by Id"),
            "columns Id int not null, Txt varchar(40) null, C char(6) not null, D datetime null, "
            "N numeric(15,2) null, S smallint null, Later int null\n"
            "row 1, 'a\r\n\tb''c', 'x     ', '1753-01-01 00:00:00.000', -0.01, -32768, NULL\n"
            "row 2, NULL, '张三  ', '9999-12-31 23:59:59.997', 1234567890123.45, 32767, NULL\n"
            "row 3, '', '      ', NULL, NULL, NULL, NULL\n"
            "done count 3");
  for (Session* s : {&sa, &sb}) {
    EXPECT_EQ(RunBatch(*s, "insert into Edge (C) values ('y')"), "done count 1");
    EXPECT_EQ(RunBatch(*s, "select Id, Later from Edge where C = 'y'"),
              "columns Id int not null, Later int null\nrow 101, 3\ndone count 1");
  }
}

}  // namespace
