// The ODBC driver against SQLite's ODBC driver, a data source in a temporary directory.
//
// SQLite's driver is an ANSI driver: unixODBC narrows the wide statement text to Latin-1 for it,
// so Chinese text is made inside SQLite from its UTF-8 bytes and read back as wide text. It also
// refuses batches of several statements; those are tested through FreeTDS.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "files.h"
#include "platform/odbc_driver.h"
#include "settings.h"

namespace platform {
namespace {

vrektest::TempDir& Dir() {
  static vrektest::TempDir dir;
  return dir;
}

std::string DatabaseFile() { return Dir().Path() + "/register.db"; }

class DataSources : public testing::Environment {
 public:
  void SetUp() override {
    vrektest::UseDataSources(
        Dir().Path(),
        "[VrekSqlite]\nDriver = " VREK_SQLITE_ODBC_DRIVER "\nDatabase = " + DatabaseFile() + "\n");
  }
};

const auto* const kDataSources = testing::AddGlobalTestEnvironment(new DataSources);

class OdbcSqliteTest : public testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::remove(DatabaseFile());
    db_ = driver_.Connect("VrekSqlite", "sa", "");
  }

  // The error Execute raised, or "no error".
  std::string ExecuteError(std::string_view batch) {
    try {
      db_->Execute(batch);
    } catch (const EDatabaseError& e) {
      return std::to_string(e.Number()) + " " + e.what();
    }
    return "no error";
  }

  OdbcDriver driver_;
  std::unique_ptr<Connection> db_;
};

TEST_F(OdbcSqliteTest, UnknownDataSourceRaisesTheDriverManagersMessage) {
  try {
    driver_.Connect("NoSuchSource", "sa", "pw");
    FAIL() << "connected";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(),
                 "[unixODBC][Driver Manager]Data source name not found and no default driver "
                 "specified");
    EXPECT_EQ(e.Number(), 0);
  }
}

// Once SQLConnectW has returned, connected or refused, our wide copies of the password are zero
// over all their storage.
TEST_F(OdbcSqliteTest, ThePasswordsWideCopiesAreWipedOnceTheDriverManagerReturns) {
  for (const char* alias : {"VrekSqlite", "NoSuchSource"}) {
    for (const std::string password : {"pw 9", "a password longer than any inner buffer"}) {
      SCOPED_TRACE(std::string(alias) + ", " + password);
      int calls = 0;
      std::size_t bytes = 0, nonzero = 0;
      driver_.PasswordWiped = [&](const OdbcDriver::Storage& storage) {
        ++calls;
        for (const auto& [data, size] : storage) {
          const auto* p = static_cast<const unsigned char*>(data);
          bytes += size;
          nonzero += static_cast<std::size_t>(size - std::count(p, p + size, 0));
        }
      };
      try {
        driver_.Connect(alias, "sa", password);
      } catch (const EDatabaseError&) {
      }
      EXPECT_EQ(calls, 1);
      // UTF-16 and the API's terminated copy: two bytes a character at least, each
      EXPECT_GE(bytes, 4 * password.size() + 2);
      EXPECT_EQ(nonzero, 0u);
    }
  }
}

TEST_F(OdbcSqliteTest, FailedStatementRaisesTheDriversTextAndNumber) {
  EXPECT_EQ(ExecuteError("drop table lib_nope"), "1 [SQLite]no such table: lib_nope (1)");
  EXPECT_EQ(ExecuteError("create table t (a integer"), "1 [SQLite]incomplete input (1)");
  // The statement was closed after the error: the connection goes on.
  EXPECT_EQ(ExecuteError("create table t (a integer)"), "no error");
}

TEST_F(OdbcSqliteTest, DdlAndUpdatesOfNoRowSucceed) {
  EXPECT_EQ(ExecuteError("create table t (a integer)"), "no error");
  EXPECT_EQ(ExecuteError("update t set a = 1 where a = 99"), "no error");
  EXPECT_EQ(ExecuteError("delete from t where a = 99"), "no error");
  EXPECT_EQ(ExecuteError("drop table t"), "no error");
}

TEST_F(OdbcSqliteTest, NullOfEveryColumnTypeReadsAsNull) {
  db_->Execute("create table t (i integer, s varchar(20), n numeric(10,2), d datetime, x text)");
  db_->Execute("insert into t values (null, null, null, null, null)");
  ResultSet rs = db_->Open("select i, s, n, d, x from t");
  EXPECT_EQ(rs.Columns(), (std::vector<std::string>{"i", "s", "n", "d", "x"}));
  ASSERT_EQ(rs.RowCount(), 1u);
  ASSERT_EQ(rs.Row(0).size(), 5u);
  for (const Variant& v : rs.Row(0)) {
    EXPECT_TRUE(v.IsNull());
    EXPECT_EQ(v.AsString(), "");
  }
}

TEST_F(OdbcSqliteTest, ValuesReadAsTheirKinds) {
  db_->Execute("create table t (i integer, d datetime, s varchar(20))");
  db_->Execute("insert into t values (-2147483648, '2012-07-18 10:11:12.345', 'abc')");
  ResultSet rs = db_->Open("select i, d, s from t");
  ASSERT_EQ(rs.RowCount(), 1u);
  ASSERT_EQ(rs.Row(0).size(), 3u);
  EXPECT_EQ(rs.Value(0, 0).DataType(), Variant::Kind::Integer);
  EXPECT_EQ(rs.Value(0, 0).AsInteger(), -2147483647 - 1);
  EXPECT_EQ(rs.Value(0, 1).AsDateTime(), (TDateTime{2012, 7, 18, 10, 11, 12, 345}));
  EXPECT_EQ(rs.Value(0, 2).DataType(), Variant::Kind::Text);
  EXPECT_EQ(rs.Value(0, 2).AsString(), "abc");
}

TEST_F(OdbcSqliteTest, ChineseTextReadsAsUtf8HoweverLong) {
  // 资产 and 5000 times 中, longer than one read of the driver.
  ResultSet rs = db_->Open(
      "select cast(X'E8B584E4BAA7' as text) as name,"
      " replace(hex(zeroblob(5000)), '00', cast(X'E4B8AD' as text)) as long_name");
  ASSERT_EQ(rs.RowCount(), 1u);
  ASSERT_EQ(rs.Row(0).size(), 2u);
  EXPECT_EQ(rs.Value(0, 0).AsString(), "资产");
  std::string expected;
  for (int i = 0; i < 5000; ++i) expected += "中";
  EXPECT_EQ(rs.Value(0, 1).AsString(), expected);
}

TEST_F(OdbcSqliteTest, TextThatIsNotUtf16FailsTheQuery) {
  // SQLite hands over the bytes of an encoded surrogate as they are; the driver reads them as
  // the unpaired surrogate U+D83D, which the program must not turn into another character.
  try {
    ResultSet rs = db_->Open("select 'a' || cast(X'EDA0BD' as text) as name");
    FAIL() << "read " << rs.RowCount() << " rows";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "A text value is not UTF-16: text is not valid UTF-16 at byte 2");
    EXPECT_EQ(e.Number(), 0);
  }
  EXPECT_EQ(db_->Open("select 'b' as name").Value(0, 0).AsString(), "b");
}

TEST_F(OdbcSqliteTest, OpenResultStaysReadableWhileAnotherStatementRuns) {
  db_->Execute("create table src (a integer)");
  db_->Execute("create table dst (a integer)");
  for (int i = 1; i <= 3; ++i) db_->Execute("insert into src values (" + std::to_string(i) + ")");
  ResultSet rs = db_->Open("select a from src order by a");
  for (size_t r = 0; r < rs.RowCount(); ++r) {
    const std::vector<Variant> row = rs.Row(r);
    ASSERT_EQ(row.size(), 1u);
    db_->Execute("insert into dst values (" + std::to_string(row[0].AsInteger() * 10) + ")");
  }
  ResultSet copied = db_->Open("select group_concat(a) as all_a from dst");
  ASSERT_EQ(copied.RowCount(), 1u);
  ASSERT_EQ(copied.Row(0).size(), 1u);
  EXPECT_EQ(copied.Value(0, 0).AsString(), "10,20,30");
}

TEST_F(OdbcSqliteTest, OpenWithoutResultRaises) {
  db_->Execute("create table t (a integer)");
  try {
    db_->Open("insert into t values (1)");
    FAIL() << "opened";
  } catch (const EDatabaseError& e) {
    EXPECT_STREQ(e.what(), "Query returned no result set");
  }
  EXPECT_EQ(db_->Open("select count(*) from t").Value(0, 0).AsInteger(), 1);
}

TEST_F(OdbcSqliteTest, BatchThatIsNotUtf8RaisesBeforeSending) {
  EXPECT_EQ(ExecuteError("select '\xFF'"),
            "0 The statement text is not UTF-8: text is not valid UTF-8 at byte 8");
}

}  // namespace
}  // namespace platform
