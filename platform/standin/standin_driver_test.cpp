// The stand-in driver: every statement's outcome of a batch counts, results arrive whole and in
// the program's types.
#include "platform/standin_driver.h"

#include <gtest/gtest.h>

#include <chrono>

#include "standin/engine.h"

using platform::EDatabaseError;
using platform::TDateTime;

namespace {

struct StandinDriverTest : ::testing::Test {
  standin::Database db;
  platform::StandinDriver driver{db};
  std::unique_ptr<platform::Connection> c = driver.Connect("Vrek", "u", "p");
};

TEST_F(StandinDriverTest, AnErrorInALaterStatementOfTheBatchRaises) {
  c->Execute("create table t (a int not null, b char(4) null)");
  try {
    c->Execute(
        "insert into t values (1, 'x')\ninsert into t values (NULL, 'y')\n"
        "insert into t values (3, 'z')");
    FAIL() << "no error";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.Number(), 515);
    EXPECT_EQ(std::string(e.what()).rfind("Cannot insert the value NULL into column 'a'", 0), 0u)
        << e.what();
  }
  // The statements around the failed one ran.
  platform::ResultSet rs = c->Open("select a from t");
  ASSERT_EQ(rs.RowCount(), 2u);
  ASSERT_EQ(rs.Row(0).size(), 1u);
  ASSERT_EQ(rs.Row(1).size(), 1u);
  EXPECT_EQ(rs.Value(0, 0).AsInteger(), 1);
  EXPECT_EQ(rs.Value(1, 0).AsInteger(), 3);
}

TEST_F(StandinDriverTest, ValuesArriveInTheProgramsTypes) {
  c->Execute("create table p (n int null, s char(8) null, d datetime null, m numeric(15,2) null)");
  c->Execute(
      "insert into p values (12, '张三', '1975-03-03T10:30:00', 6850.25)\n"
      "insert into p values (NULL, NULL, NULL, NULL)\n"
      "insert into p values (-1, 'x', '19000101', 0)");
  platform::ResultSet rs = c->Open("select n, s, d, m from p");
  EXPECT_EQ(rs.Columns(), (std::vector<std::string>{"n", "s", "d", "m"}));
  ASSERT_EQ(rs.RowCount(), 3u);
  for (size_t r = 0; r < rs.RowCount(); ++r) ASSERT_EQ(rs.Row(r).size(), 4u);
  EXPECT_EQ(rs.Value(0, 0).AsInteger(), 12);
  EXPECT_EQ(rs.Value(0, 1).AsString(), "张三    ");
  EXPECT_EQ(rs.Value(0, 2).AsDateTime(), (TDateTime{1975, 3, 3, 10, 30, 0, 0}));
  EXPECT_EQ(rs.Value(0, 3).AsString(), "6850.25");
  for (const auto& v : rs.Row(1)) EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(rs.Value(2, 2).AsDateTime(), (TDateTime{1900, 1, 1, 0, 0, 0, 0}));
  EXPECT_THROW(c->Open("select * from missing"), EDatabaseError);
  EXPECT_THROW(c->Open("create table q (a int)"), EDatabaseError);
}

// A batch of several results: Open returns the last one, whole; statements without a result
// between or after them do not count.
TEST_F(StandinDriverTest, OpenOfSeveralResultsReturnsTheLast) {
  c->Execute("create table r (a int null, b char(2) null)");
  c->Execute("insert into r values (1, 'x')\ninsert into r values (2, 'y')");
  struct Case {
    const char* batch;
    std::vector<std::string> columns;
    std::vector<std::string> rows;  // the cells of each row, joined by "|"
  };
  const Case cases[] = {
      {"select a from r where a = 1\nselect b, a from r order by a", {"b", "a"}, {"x |1", "y |2"}},
      {"select b from r\nupdate r set b = 'w' where a = 2\nselect a, b from r where b = 'w'\n"
       "insert into r values (3, 'z')",
       {"a", "b"},
       {"2|w "}},
  };
  for (const Case& k : cases) {
    const platform::ResultSet rs = c->Open(k.batch);
    EXPECT_EQ(rs.Columns(), k.columns) << k.batch;
    std::vector<std::string> rows;
    for (size_t r = 0; r < rs.RowCount(); ++r) {
      const std::vector<platform::Variant> row = rs.Row(r);
      std::string cells;
      for (const auto& v : row) cells += (cells.empty() ? "" : "|") + v.AsString();
      rows.push_back(cells);
    }
    EXPECT_EQ(rows, k.rows) << k.batch;
  }
}

// A held batch is cancelled when the batch timeout runs out, having run nothing.
TEST_F(StandinDriverTest, ABatchTimeoutCancelsAHeldBatch) {
  driver.SetBatchTimeout(1);
  std::unique_ptr<platform::Connection> bounded = driver.Connect("Vrek", "u", "p");
  bounded->Execute("create table t (a int)");
  db.HoldWhen([](std::size_t, std::string_view text) { return text.rfind("insert", 0) == 0; });
  const auto start = std::chrono::steady_clock::now();
  try {
    bounded->Execute("insert into t values (1)");
    ADD_FAILURE() << "executed";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.State() + " " + std::to_string(e.Number()) + " " + e.what(),
              "HYT00 0 Timeout expired");
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::seconds(5));
  db.ClearFaults();
  platform::ResultSet rs = bounded->Open("select count(*) from t");
  ASSERT_EQ(rs.RowCount(), 1u);
  EXPECT_EQ(rs.Value(0, 0).AsInteger(), 0);
}

}  // namespace

namespace {

// Each connection is a session of its own: named as the driver was set when it connected, and
// its application locks go when it closes.
TEST_F(StandinDriverTest, ConnectionsAreSessionsWithTheClientsNames) {
  driver.Host = "PC-1";
  driver.Program = "升级";
  std::unique_ptr<platform::Connection> second = driver.Connect("Vrek", "sa", "");
  const std::string get =
      "declare @r int; exec @r = sp_getapplock @Resource = N'x', @LockMode = 'Exclusive', "
      "@LockOwner = 'Session', @LockTimeout = 0; select @r";
  auto code = [&](platform::Connection& on) {
    platform::ResultSet rs = on.Open(get);
    EXPECT_EQ(rs.RowCount(), 1u);
    return rs.RowCount() == 0 ? 99 : rs.Value(0, 0).AsInteger();
  };
  EXPECT_EQ(code(*second), 0);
  EXPECT_EQ(code(*c), -1);
  platform::ResultSet others = c->Open(
      "select rtrim(hostname), rtrim(program_name), rtrim(loginame) from master..sysprocesses "
      "where spid<>@@spid");
  ASSERT_EQ(others.RowCount(), 1u);
  ASSERT_EQ(others.ColumnCount(), 3u);
  EXPECT_EQ(others.Value(0, 0).AsString() + "|" + others.Value(0, 1).AsString() + "|" +
                others.Value(0, 2).AsString(),
            "PC-1|升级|sa");
  second.reset();
  EXPECT_EQ(code(*c), 0);
}

}  // namespace
