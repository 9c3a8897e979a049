// The batch log, injected faults, and LoadScript / DumpScript.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "files.h"
#include "standin/engine.h"

namespace standin {
namespace {

TEST(Database, LogsEveryBatchAndInjectsFaults) {
  Database db;
  db.FailBatch(2, 1205, "deadlock victim");
  db.FailWhen([](std::size_t,
                 std::string_view text) { return text.find("boom") != std::string_view::npos; },
              50000, "picked");
  Session a(db), b(db);
  a.Execute("create table t (x int)");
  EXPECT_EQ(Render(b.Execute("insert into t values (1)")),
            "error 1205/16/1: deadlock victim\ndone error\n");
  EXPECT_EQ(Render(a.Execute("select 'boom'")), "error 50000/16/1: picked\ndone error\n");
  db.ClearFaults();
  EXPECT_EQ(Render(b.Execute("insert into t values (2)\nselect * from t")),
            "done count 1\ncolumns x int null\nrow 2\ndone count 1\n");
  std::vector<Database::LogEntry> log = db.Log();
  ASSERT_EQ(log.size(), 4u);
  std::string seen;
  for (const auto& e : log)
    seen += std::to_string(e.seq) + " " + e.text + " => " + Render(e.outcome);
  EXPECT_EQ(seen,
            "1 create table t (x int) => done\n"
            "2 insert into t values (1) => error 1205/16/1: deadlock victim\ndone error\n"
            "3 select 'boom' => error 50000/16/1: picked\ndone error\n"
            "4 insert into t values (2)\nselect * from t => done count 1\ncolumns x int null\nrow "
            "2\ndone count 1\n");
  db.ClearLog();
  a.Execute("select 1");
  ASSERT_EQ(db.Log().size(), 1u);
  EXPECT_EQ(db.Log()[0].seq, 5u);
}

TEST(Database, LoadScriptStopsAtTheFirstError) {
  Database db;
  try {
    db.LoadScript(
        "create table t (x int)\n  go  \ninsert into t values ('a')\nGO\ncreate table u (y int)\n");
    FAIL() << "no error";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(
        e.what(),
        "Msg 245: Conversion failed when converting the varchar value 'a' to data type int.");
  }
  EXPECT_EQ(db.DumpScript(), "create table t (\n\tx int NULL\n)\nGO\n");
  EXPECT_TRUE(db.Log().empty());
}

using vrektest::ReadFixture;

TEST(Database, DumpRoundTripsEverything) {
  Database db;
  db.LoadScript(ReadFixture("old_register.sql"));
  Session s(db);
  // State that only a faithful dump keeps: a reseeded identity, an index with a fill factor,
  // a named and a system-named default, datetimes with ticks, padded char and varchar blanks.
  ASSERT_FALSE(
      s.Execute(
           "create table z (id int IDENTITY (5, 3) NOT NULL, c varchar(6) constraint DF_z_c "
           "default ('a '),"
           " d datetime default(getdate()), n numeric(15,2) default(-0.5), k char(4) not null)\n"
           "create unique index ix_z on z(k) with pad_index, fillfactor = 70\n"
           "insert into z(k) values ('a')\ninsert into z(c, d, k) values ('x  ', "
           "'2004-11-30T16:45:00.997', 'b')\n"
           "dbcc checkident ('z', reseed, 40)")
          .Failed());
  std::string dump = db.DumpScript();
  Database copy;
  copy.LoadScript(dump);
  EXPECT_EQ(copy.DumpScript(), dump);
  Session t(copy);
  EXPECT_EQ(Render(t.Execute("set nocount on\ninsert into z(k) values ('c')\nselect id, c, n, k "
                             "from z where k = 'c'")),
            "done\ndone\ncolumns id int not null, c varchar(6) null, n numeric(15,2) null, k "
            "char(4) not null\n"
            "row 43, 'a ', -0.50, 'c   '\ndone\n");
}

}  // namespace
}  // namespace standin
