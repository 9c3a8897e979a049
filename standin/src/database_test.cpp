// The batch log, injected faults, and LoadScript / DumpScript.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

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

// Waits up to 10 s until `n` batches are held.
bool HeldWithin(const Database& db, std::size_t n) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (db.Held() != n && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return db.Held() == n;
}

// A held batch waits before its first statement while other sessions go on; released it runs,
// cancelled it runs nothing. Either way the log has it once, in the order batches ended.
TEST(Database, HeldBatchesWaitUntilReleasedOrCancelled) {
  Database db;
  Session setup(db);
  setup.Execute("create table t (x int)");
  db.HoldBatch(2);
  db.HoldWhen(
      [](std::size_t, std::string_view text) { return text == "insert into t values (3)"; });
  std::atomic<bool> cancel{false};
  std::string released, cancelled;
  std::thread first([&] {
    Session s(db);
    released = Render(s.Execute("insert into t values (1)"));
  });
  ASSERT_TRUE(HeldWithin(db, 1));
  Session other(db);
  EXPECT_EQ(Render(other.Execute("insert into t values (2)")), "done count 1\n");
  std::thread second([&] {
    Session s(db);
    cancelled = Render(s.Execute("insert into t values (3)", [&] { return cancel.load(); }));
  });
  ASSERT_TRUE(HeldWithin(db, 2));
  cancel = true;
  second.join();
  EXPECT_EQ(db.Held(), 1u);
  db.ReleaseHeld();
  first.join();
  EXPECT_EQ(released, "done count 1\n");
  EXPECT_EQ(cancelled, "cancelled\n");
  EXPECT_EQ(Render(other.Execute("select x from t")),
            "columns x int null\nrow 2\nrow 1\ndone count 2\n");
  std::string seen;
  for (const auto& e : db.Log())
    seen += std::to_string(e.seq) + " " + e.text + " => " + Render(e.outcome);
  EXPECT_EQ(seen,
            "1 create table t (x int) => done\n"
            "3 insert into t values (2) => done count 1\n"
            "4 insert into t values (3) => cancelled\n"
            "2 insert into t values (1) => done count 1\n"
            "5 select x from t => columns x int null\nrow 2\nrow 1\ndone count 2\n");
}

// A cancel between statements keeps what the statements before it did and runs nothing after.
TEST(Database, CancelStopsTheBatchBeforeItsNextStatement) {
  Database db;
  Session s(db);
  int asked = 0;
  EXPECT_EQ(Render(s.Execute("create table t (x int)\ninsert into t values (1)\n"
                             "insert into t values (2)",
                             [&] { return ++asked == 3; })),
            "done\ndone count 1\ncancelled\n");
  EXPECT_EQ(Render(s.Execute("select x from t")), "columns x int null\nrow 1\ndone count 1\n");
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
