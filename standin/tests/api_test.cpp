// What the table-driven cases cannot express: the batch log, fault injection, LoadScript,
// sessions and threads, the values behind Render(), and catalog names that embed object ids.
#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "standin/engine.h"

namespace {

using standin::BatchOutcome;
using standin::Database;
using standin::Session;

std::string TextOf(const BatchOutcome& o) {
  std::string r = standin::Render(o);
  if (!r.empty() && r.back() == '\n') r.pop_back();
  return r;
}

std::string RunBatch(Session& s, std::string_view sql) { return TextOf(s.Execute(sql)); }

TEST(Log, RecordsEveryBatchOfEverySessionExactlyWithItsOutcome) {
  Database db;
  Session a(db), b(db);
  const std::string t1 = "create table t (a int)\r\n\tinsert into t values (1) ";
  const std::string t2 = "select * from t";
  const std::string t3 = "select * from nosuch";
  const std::string r1 = RunBatch(a, t1);
  const std::string r2 = RunBatch(b, t2);
  const std::string r3 = RunBatch(a, t3);
  EXPECT_EQ(r1, "done\ndone count 1");
  EXPECT_EQ(r2, "columns a int null\nrow 1\ndone count 1");
  EXPECT_EQ(r3, "error 208/16/1: Invalid object name 'nosuch'.\ndone error");

  const auto log = db.Log();
  ASSERT_EQ(log.size(), 3u);
  const std::string texts[] = {t1, t2, t3};
  const std::string renders[] = {r1, r2, r3};
  for (std::size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(log[i].seq, i + 1);
    EXPECT_EQ(log[i].text, texts[i]);
    EXPECT_EQ(TextOf(log[i].outcome), renders[i]);
  }
  ASSERT_NE(log[2].outcome.FirstError(), nullptr);
  EXPECT_EQ(log[2].outcome.FirstError()->number, 208);
  EXPECT_EQ(log[0].outcome.FirstError(), nullptr);

  db.ClearLog();
  EXPECT_TRUE(db.Log().empty());
  RunBatch(b, "select * from t where a = 2");
  ASSERT_EQ(db.Log().size(), 1u);
  EXPECT_EQ(db.Log()[0].text, "select * from t where a = 2");
}

TEST(Log, LoadScriptIsNotLogged) {
  Database db;
  db.LoadScript("create table t (a int)\nGO\ninsert into t values (1)\n");
  EXPECT_TRUE(db.Log().empty());
}

TEST(Faults, FailBatchSkipsThatBatchOnlyAndReportsTheGivenError) {
  Database db;
  Session s(db);
  db.FailBatch(2, 1205, "Transaction was deadlocked on lock resources with another process.");
  EXPECT_EQ(RunBatch(s, "create table t (a int)"), "done");
  const BatchOutcome failed = s.Execute("insert into t values (1)\ncreate table u (b int)");
  EXPECT_EQ(TextOf(failed),
            "error 1205/16/1: Transaction was deadlocked on lock resources with another process.\n"
            "done error");
  ASSERT_NE(failed.FirstError(), nullptr);
  EXPECT_EQ(failed.FirstError()->number, 1205);
  EXPECT_EQ(failed.FirstError()->severity, 16);
  EXPECT_EQ(failed.FirstError()->state, 1);
  // Nothing of the failed batch ran, and the next batch runs normally.
  EXPECT_EQ(RunBatch(s, "select * from t"), "columns a int null\ndone count 0");
  EXPECT_EQ(RunBatch(s, "select * from u"), "error 208/16/1: Invalid object name 'u'.\ndone error");
  const auto log = db.Log();
  ASSERT_EQ(log.size(), 4u);
  EXPECT_EQ(log[1].text, "insert into t values (1)\ncreate table u (b int)");
  EXPECT_EQ(TextOf(log[1].outcome), TextOf(failed));
}

TEST(Faults, FailWhenPicksBatchesByTextAndSeqUntilCleared) {
  Database db;
  Session s(db);
  std::vector<std::size_t> seen;
  db.FailWhen(
      [&seen](std::size_t seq, std::string_view text) {
        seen.push_back(seq);
        return text.find("lib_unit") != std::string_view::npos;
      },
      50000, "injected");
  EXPECT_EQ(RunBatch(s, "create table lib_unit (a int)"), "error 50000/16/1: injected\ndone error");
  EXPECT_EQ(RunBatch(s, "create table other (a int)"), "done");
  EXPECT_EQ(RunBatch(s, "select * from lib_unit"), "error 50000/16/1: injected\ndone error");
  EXPECT_EQ(seen, (std::vector<std::size_t>{1, 2, 3}));
  db.ClearFaults();
  EXPECT_EQ(RunBatch(s, "select * from lib_unit"),
            "error 208/16/1: Invalid object name 'lib_unit'.\ndone error");
  EXPECT_EQ(RunBatch(s, "select * from other"), "columns a int null\ndone count 0");
}

TEST(LoadScript, SplitsAtGoLinesInAnyCaseWithBlanks) {
  Database db;
  db.LoadScript(
      "create table t (a int)\n  go  \ninsert into t values (1)\nGo\n"
      "create table u (\ngoal int, gone char(2))\n GO\ninsert into t values (2)\ngO");
  Session s(db);
  EXPECT_EQ(RunBatch(s, "select * from t order by a"),
            "columns a int null\nrow 1\nrow 2\ndone count 2");
  EXPECT_EQ(RunBatch(s, "select * from u"),
            "columns goal int null, gone char(2) null\ndone count 0");
}

TEST(LoadScript, ThrowsWithTheFirstErrorAndRunsNothingAfterIt) {
  Database db;
  const std::string script =
      "create table t (a int)\nGO\ninsert into t values ('x')\ninsert into t values (2)\nGO\n"
      "insert into t values (3)\n";
  std::string what;
  try {
    db.LoadScript(script);
  } catch (const std::runtime_error& e) {
    what = e.what();
  }
  EXPECT_NE(what.find("Conversion failed when converting the varchar value 'x' to data type int."),
            std::string::npos)
      << "what(): " << what;
  Session s(db);
  EXPECT_EQ(RunBatch(s, "select * from t"), "columns a int null\ndone count 0");
}

TEST(Sessions, SetOptionsBelongToTheirSession) {
  Database db;
  Session a(db), b(db);
  RunBatch(a, "create table t (id int, d datetime)");
  EXPECT_EQ(RunBatch(a, "set dateformat dmy\nset nocount on"), "done\ndone");
  EXPECT_EQ(RunBatch(a, "insert into t values (1, '1975-03-12')"), "done");
  EXPECT_EQ(RunBatch(b, "insert into t values (2, '1975-03-12')"), "done count 1");
  EXPECT_EQ(RunBatch(b, "select * from t order by id"),
            "columns id int null, d datetime null\n"
            "row 1, '1975-12-03 00:00:00.000'\nrow 2, '1975-03-12 00:00:00.000'\ndone count 2");
}

TEST(Sessions, BatchesFromSeveralThreadsAllRunAndAreLoggedOnce) {
  Database db;
  {
    Session s(db);
    RunBatch(s, "create table t (id int not null constraint PK_t primary key nonclustered, w int)");
  }
  constexpr int kThreads = 3, kRows = 150;
  std::vector<std::thread> threads;
  for (int w = 0; w < kThreads; ++w) {
    threads.emplace_back([&db, w] {
      Session s(db);
      for (int i = 0; i < kRows; ++i)
        s.Execute("insert into t values (" + std::to_string(w * 1000 + i) + ", " +
                  std::to_string(w) + ")");
    });
  }
  for (auto& t : threads) t.join();
  Session s(db);
  const BatchOutcome all = s.Execute("select * from t");
  ASSERT_EQ(all.statements.size(), 1u);
  EXPECT_EQ(all.statements[0].rows.size(), static_cast<std::size_t>(kThreads * kRows));
  const auto log = db.Log();
  ASSERT_EQ(log.size(), static_cast<std::size_t>(kThreads * kRows + 2));
  std::set<std::size_t> seqs;
  for (const auto& e : log) {
    seqs.insert(e.seq);
    EXPECT_FALSE(e.outcome.Failed()) << e.text;
  }
  EXPECT_EQ(seqs.size(), log.size());
  EXPECT_EQ(*seqs.begin(), 1u);
  EXPECT_EQ(*seqs.rbegin(), log.size());
}

TEST(Sessions, MessagesNameTheDatabaseItWasCreatedWith) {
  Database db("assets");
  EXPECT_EQ(db.Name(), "assets");
  Session s(db);
  RunBatch(s, "create table t (a int not null)");
  const BatchOutcome o = s.Execute("insert into t values (NULL)");
  ASSERT_NE(o.FirstError(), nullptr);
  EXPECT_EQ(o.FirstError()->number, 515);
  EXPECT_EQ(
      o.FirstError()->text,
      "Cannot insert the value NULL into column 'a', table 'assets.dbo.t'; column does not allow "
      "nulls. INSERT fails.");
}

TEST(Values, CharDataIsStoredInCodePage936AndPadded) {
  Database db;
  Session s(db);
  RunBatch(s,
           "create table t (c char(4), v varchar(4), n numeric(15,2), d datetime, i int)\n"
           "insert into t values ('男', '男', 12.5, '1900-01-02T00:00:01', NULL)");
  const BatchOutcome o = s.Execute("select * from t");
  ASSERT_EQ(o.statements.size(), 1u);
  const auto& st = o.statements[0];
  ASSERT_EQ(st.rows.size(), 1u);
  const auto& r = st.rows[0];
  ASSERT_EQ(r.size(), 5u);
  EXPECT_EQ(r[0].kind, standin::Value::Kind::String);
  EXPECT_EQ(r[0].s, "\xC4\xD0  ");
  EXPECT_EQ(r[0].Text(), "男  ");
  EXPECT_EQ(r[1].s, "\xC4\xD0");
  EXPECT_EQ(r[2].Text(), "12.50");
  EXPECT_EQ(r[3].kind, standin::Value::Kind::DateTime);
  EXPECT_EQ(r[3].dt, (standin::DateTime{1, 300}));
  EXPECT_EQ(r[3].Text(), "1900-01-02 00:00:01.000");
  EXPECT_TRUE(r[4].IsNull());
  EXPECT_EQ(r[4].Text(), "NULL");
  EXPECT_EQ(st.columns[0].type.Sql(), "char(4)");
  EXPECT_EQ(st.columns[1].type.Sql(), "varchar(4)");
  EXPECT_EQ(st.columns[2].type.Sql(), "numeric(15,2)");
  EXPECT_EQ(st.columns[3].type.Sql(), "datetime");
}

TEST(Catalog, SysobjectsHasItsTwentyFiveColumnsInOrder) {
  Database db;
  Session s(db);
  const BatchOutcome o = s.Execute("select * from sysobjects where name = 'nosuch'");
  ASSERT_EQ(o.statements.size(), 1u);
  std::vector<std::string> names;
  for (const auto& c : o.statements[0].columns) names.push_back(c.name);
  const std::vector<std::string> expected = {"name",
                                             "id",
                                             "xtype",
                                             "uid",
                                             "info",
                                             "status",
                                             "base_schema_ver",
                                             "replinfo",
                                             "parent_obj",
                                             "crdate",
                                             "ftcatid",
                                             "schema_ver",
                                             "stats_schema_ver",
                                             "type",
                                             "userstat",
                                             "sysstat",
                                             "indexdel",
                                             "refdate",
                                             "version",
                                             "deltrig",
                                             "instrig",
                                             "updtrig",
                                             "seltrig",
                                             "category",
                                             "cache"};
  EXPECT_EQ(names, expected);
  ASSERT_EQ(o.statements[0].columns.size(), 25u);
  EXPECT_EQ(o.statements[0].columns[2].type.Sql(), "char(2)");
  EXPECT_EQ(o.statements[0].columns[13].type.Sql(), "char(2)");
}

TEST(Catalog, SystemDefaultNameEndsWithTheConstraintIdInUpperCaseHex) {
  Database db;
  Session s(db);
  RunBatch(s, "create table lib_vrektmp (vr_id char(4))");
  RunBatch(s, "alter table lib_vrektmp add vr_company int DEFAULT(0)");
  const BatchOutcome o = s.Execute("select name, id from sysobjects where xtype = 'D'");
  ASSERT_EQ(o.statements.size(), 1u);
  ASSERT_EQ(o.statements[0].rows.size(), 1u);
  const auto& row = o.statements[0].rows[0];
  char hex[16];
  std::snprintf(hex, sizeof hex, "%08X", static_cast<unsigned>(row[1].i));
  EXPECT_EQ(row[0].Text(), std::string("DF__lib_vrekt__vr_co__") + hex);
}

}  // namespace
