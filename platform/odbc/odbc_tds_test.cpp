// The ODBC driver through FreeTDS's driver against sqlstandin, the TDS listener over the stand-in
// engine, started for this process on a free port of 127.0.0.1.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <functional>

#include "files.h"
#include "listener_log.h"
#include "platform/odbc_driver.h"
#include "process.h"
#include "settings.h"

namespace platform {
namespace {

// The listener accepts these logins only: "资产pw" in code page 936 for vrek.
constexpr char kGbkPassword[] = "\xD7\xCA\xB2\xFApw";

vrektest::TempDir& Dir() {
  static vrektest::TempDir dir;
  return dir;
}

std::string LogFile() { return Dir().Path() + "/batches.log"; }

// A socket bound to a free port of 127.0.0.1; listening when asked, which completes every
// connection attempt without ever answering.
int BoundSocket(bool listening, int* port) {
  const int s = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a = {};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
  if (listening) listen(s, 8);
  getsockname(s, reinterpret_cast<sockaddr*>(&a), &len);
  *port = ntohs(a.sin_port);
  return s;
}

std::string DataSource(const std::string& name, int port) {
  return vrektest::FreeTdsSource(name, VREK_TDS_ODBC_DRIVER, std::to_string(port)) + "\n";
}

class Listener : public testing::Environment {
 public:
  void SetUp() override {
    server_ = std::make_unique<vrektest::Standin>(std::vector<std::string>{
        "--log", LogFile(), "--login", "sa:secret", "--login", "vrek:资产pw"});
    // Closes the connection that sends the first batch instead of answering it.
    dropping_ = std::make_unique<vrektest::Standin>(std::vector<std::string>{"--drop", "1"});
    // Holds the second batch until its client cancels it.
    holding_ = std::make_unique<vrektest::Standin>(std::vector<std::string>{"--hold", "2"});
    const int port = Port(*server_), dropping_port = Port(*dropping_),
              holding_port = Port(*holding_);
    int closed_port = 0, silent_port = 0;
    close(BoundSocket(false, &closed_port));
    silent_ = BoundSocket(true, &silent_port);
    vrektest::UseDataSources(Dir().Path(), DataSource("VrekTds", port) +
                                               DataSource("VrekDropping", dropping_port) +
                                               DataSource("VrekHolding", holding_port) +
                                               DataSource("VrekNowhere", closed_port) +
                                               DataSource("VrekSilent", silent_port));
  }
  void TearDown() override {
    server_.reset();
    dropping_.reset();
    holding_.reset();
    close(silent_);
  }

 private:
  static int Port(const vrektest::Standin& server) {
    if (!server.Started()) ADD_FAILURE() << "sqlstandin said: " << server.FirstLine();
    return server.Port();
  }

  std::unique_ptr<vrektest::Standin> server_, dropping_, holding_;
  int silent_ = -1;
};

const auto* const kListener = testing::AddGlobalTestEnvironment(new Listener);

class OdbcTdsTest : public testing::Test {
 protected:
  void SetUp() override { db_ = driver_.Connect("VrekTds", "sa", "secret"); }

  std::string ExecuteError(std::string_view batch) {
    try {
      db_->Execute(batch);
    } catch (const EDatabaseError& e) {
      return std::to_string(e.Number()) + " " + e.what();
    }
    return "no error";
  }

  std::string ConnectError(const std::string& alias, const std::string& user,
                           const std::string& password) {
    try {
      driver_.Connect(alias, user, password);
    } catch (const EDatabaseError& e) {
      return std::to_string(e.Number()) + " " + e.what();
    }
    return "no error";
  }

  // The rows of a one-column result as text, one per line.
  std::string Column(std::string_view select) {
    std::string out;
    const ResultSet rs = db_->Open(select);
    for (size_t r = 0; r < rs.RowCount(); ++r) out += rs.Value(r, 0).AsString() + "\n";
    return out;
  }

  OdbcDriver driver_;
  std::unique_ptr<Connection> db_;
};

// A duplicate key and a NULL in a NOT NULL column end their statement only, not the batch.
TEST_F(OdbcTdsTest, ErrorsOfTheSecondAndTheLastStatementAreAllRaised) {
  db_->Execute(
      "create table t2 (a int not null, constraint PK_t2 primary key (a))\n"
      "insert into t2 values (1)");
  EXPECT_EQ(ExecuteError("insert into t2 values (2)\n"
                         "insert into t2 values (1)\n"
                         "insert into t2 values (3)\n"
                         "insert into t2 values (NULL)"),
            "2627 [FreeTDS][SQL Server]Violation of PRIMARY KEY constraint 'PK_t2'. Cannot insert "
            "duplicate key in object 'dbo.t2'. The duplicate key value is (1).\n"
            "[FreeTDS][SQL Server]The statement has been terminated.\n"
            "[FreeTDS][SQL Server]Cannot insert the value NULL into column 'a', table "
            "'vrek.dbo.t2'; column does not allow nulls. INSERT fails.\n"
            "[FreeTDS][SQL Server]The statement has been terminated.");
  EXPECT_EQ(Column("select a from t2 order by a"), "1\n2\n3\n");
}

// An unknown table ends the whole batch, as on the real server.
TEST_F(OdbcTdsTest, ErrorEndingTheBatchIsRaised) {
  EXPECT_EQ(ExecuteError("create table t1 (a int)\ninsert into lib_nope values (1)\n"
                         "insert into t1 values (1)"),
            "208 [FreeTDS][SQL Server]Invalid object name 'lib_nope'.");
  EXPECT_EQ(Column("select count(*) from t1"), "0\n");
}

// When the first statement fails, unixODBC reports no further result of the batch, so only its
// own error is raised; the rest of the batch has run and the connection is usable.
TEST_F(OdbcTdsTest, ErrorOfTheFirstStatementLeavesTheConnectionUsable) {
  db_->Execute(
      "create table t1b (a int not null, constraint PK_t1b primary key (a))\n"
      "insert into t1b values (1)");
  EXPECT_EQ(ExecuteError("insert into t1b values (1)\ninsert into t1b values (2)"),
            "2627 [FreeTDS][SQL Server]Violation of PRIMARY KEY constraint 'PK_t1b'. Cannot "
            "insert duplicate key in object 'dbo.t1b'. The duplicate key value is (1).\n"
            "[FreeTDS][SQL Server]The statement has been terminated.");
  EXPECT_EQ(Column("select a from t1b order by a"), "1\n2\n");
}

TEST_F(OdbcTdsTest, DdlWithoutRowCountSucceeds) {
  EXPECT_EQ(ExecuteError("create table tddl (a int)"), "no error");
  EXPECT_EQ(ExecuteError("drop table tddl"), "no error");
}

TEST_F(OdbcTdsTest, WrongPasswordRaisesTheLoginFailure) {
  EXPECT_EQ(ConnectError("VrekTds", "sa", "wrong"),
            "18456 [unixODBC][FreeTDS][SQL Server]Login failed for user 'sa'.\n"
            "[unixODBC][FreeTDS][SQL Server]Unable to connect to data source");
}

TEST_F(OdbcTdsTest, Gbk936PasswordIsSentAsItsCharacters) {
  std::unique_ptr<Connection> vrek = driver_.Connect("VrekTds", "vrek", kGbkPassword);
  EXPECT_EQ(vrek->Open("select 1").Value(0, 0).AsInteger(), 1);
  EXPECT_EQ(ConnectError("VrekTds", "vrek",
                         "\xD7\xCA\xB2\xFB"
                         "pw")
                .substr(0, 6),
            "18456 ");
}

TEST_F(OdbcTdsTest, ServerThatNeverAnswersRaisesAfterTheLoginTimeout) {
  OdbcDriver impatient(1);
  const auto start = std::chrono::steady_clock::now();
  std::string error = "no error";
  try {
    impatient.Connect("VrekSilent", "sa", "secret");
  } catch (const EDatabaseError& e) {
    error = std::to_string(e.Number()) + " " + e.what();
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
  EXPECT_EQ(error,
            "0 [unixODBC][FreeTDS][SQL Server]Timeout expired\n"
            "[unixODBC][FreeTDS][SQL Server]Unable to connect to data source");
}

TEST_F(OdbcTdsTest, UnreachableServerRaises) {
  EXPECT_EQ(ConnectError("VrekNowhere", "sa", "secret"),
            "20009 [unixODBC][FreeTDS][SQL Server]Unable to connect: Adaptive Server is "
            "unavailable or does not exist\n"
            "[unixODBC][FreeTDS][SQL Server]Unable to connect to data source");
}

TEST_F(OdbcTdsTest, LostConnectionRaisesAndLaterBatchesToo) {
  std::unique_ptr<Connection> lost = driver_.Connect("VrekDropping", "sa", "");
  try {
    lost->Execute("create table tlost (a int)\ninsert into tlost values (1)");
    ADD_FAILURE() << "executed";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::to_string(e.Number()) + " " + e.what(),
              "20017 [FreeTDS][SQL Server]Unexpected EOF from the server");
    EXPECT_EQ(e.State(), "01000");  // FreeTDS's first record of it is a warning
  }
  try {
    lost->Open("select 1");
    ADD_FAILURE() << "opened";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(std::to_string(e.Number()) + " " + e.what(),
              "0 [FreeTDS][SQL Server]Communication link failure");
  }
}

// A batch the server holds is cancelled when the batch timeout runs out: the error says so with
// HYT00, nothing of the batch ran, and the connection serves the next batch.
TEST_F(OdbcTdsTest, ABatchTimeoutCancelsAHeldBatchAndTheConnectionGoesOn) {
  driver_.SetBatchTimeout(1);
  std::unique_ptr<Connection> held = driver_.Connect("VrekHolding", "sa", "");
  held->Execute("create table thold (a int)");
  const auto start = std::chrono::steady_clock::now();
  try {
    held->Execute("insert into thold values (1)");
    ADD_FAILURE() << "executed";
  } catch (const EDatabaseError& e) {
    EXPECT_EQ(e.State() + " " + std::to_string(e.Number()) + " " + e.what(),
              "HYT00 0 [FreeTDS][SQL Server]Timeout expired\n"
              "[FreeTDS][SQL Server]Operation was cancelled");
  }
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::seconds(5));
  ASSERT_EQ(held->Open("select count(*) from thold").RowCount(), 1u);
  EXPECT_EQ(held->Open("select count(*) from thold").Value(0, 0).AsInteger(), 0);
}

// The first diagnostic's SQLSTATE and native number travel with the error for logs and tests;
// what() stays the server's text alone (the cases above compare it whole). The states are
// FreeTDS's: a refused login is 42000, an unreachable server 08S01.
TEST_F(OdbcTdsTest, ErrorsCarryTheStateAndNumberOfTheFirstDiagnostic) {
  db_->Execute("create table tstate (a int not null, constraint PK_tstate primary key (a))");
  const struct {
    const char* name;
    std::function<void()> fail;
    std::string state_and_number;
  } cases[] = {
      {"unknown table", [&] { db_->Execute("insert into lib_nope values (1)"); }, "42S02 208"},
      {"duplicate key",
       [&] { db_->Execute("insert into tstate values (1)\ninsert into tstate values (1)"); },
       "23000 2627"},
      {"wrong password", [&] { driver_.Connect("VrekTds", "sa", "wrong"); }, "42000 18456"},
      {"unreachable server", [&] { driver_.Connect("VrekNowhere", "sa", "secret"); },
       "08S01 20009"},
      {"query without a result", [&] { db_->Open("delete from tstate"); }, " 0"},
  };
  for (const auto& c : cases) {
    try {
      c.fail();
      ADD_FAILURE() << c.name << ": no error";
    } catch (const EDatabaseError& e) {
      EXPECT_EQ(e.State() + " " + std::to_string(e.Number()), c.state_and_number) << c.name;
    }
  }
}

TEST_F(OdbcTdsTest, BatchReachesTheServerByteForByte) {
  db_->Execute("create table tlog (name varchar(20))\r\ninsert into tlog values ('资产 \"x\"')");
  const std::vector<vrektest::LoggedBatch> log =
      vrektest::ParseListenerLog(vrektest::ReadFile(LogFile()));
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log.back().text,
            "create table tlog (name varchar(20))\r\ninsert into tlog values ('资产 \"x\"')");
  EXPECT_EQ(log.back().error, std::nullopt);
}

// A batch of several selects: Open returns the last result, whole, not the first.
TEST_F(OdbcTdsTest, OpenOfSeveralResultsReturnsTheLast) {
  db_->Execute("create table tmany (a int, b varchar(5))");
  db_->Execute("insert into tmany values (1, 'x')\ninsert into tmany values (2, 'y')");
  ResultSet rs = db_->Open("select a from tmany where a = 1\nselect b, a from tmany order by a");
  EXPECT_EQ(rs.Columns(), (std::vector<std::string>{"b", "a"}));
  ASSERT_EQ(rs.RowCount(), 2u);
  ASSERT_EQ(rs.Row(0).size(), 2u);
  ASSERT_EQ(rs.Row(1).size(), 2u);
  EXPECT_EQ(rs.Value(0, 0).AsString() + rs.Value(0, 1).AsString() + rs.Value(1, 0).AsString() +
                rs.Value(1, 1).AsString(),
            "x1y2");
}

TEST_F(OdbcTdsTest, ChineseTextAndNamesRoundTrip) {
  db_->Execute("create table tcn (名称 varchar(20), note varchar(20))");
  db_->Execute("insert into tcn values ('办公桌', '资产')");
  ResultSet rs = db_->Open("select 名称, note from tcn");
  EXPECT_EQ(rs.Columns(), (std::vector<std::string>{"名称", "note"}));
  ASSERT_EQ(rs.RowCount(), 1u);
  ASSERT_EQ(rs.Row(0).size(), 2u);
  EXPECT_EQ(rs.Value(0, 0).AsString(), "办公桌");
  EXPECT_EQ(rs.Value(0, 1).AsString(), "资产");
}

TEST_F(OdbcTdsTest, ValuesAndNullsOfEachTypeRead) {
  db_->Execute(
      "create table tval (i int null, s varchar(20) null, n numeric(15,2) null,"
      " d datetime null)");
  db_->Execute("insert into tval values (-5, 'abc', 1234.50, '2011-05-20 10:30:00.997')");
  db_->Execute("insert into tval values (NULL, NULL, NULL, NULL)");
  ResultSet rs = db_->Open("select i, s, n, d from tval order by i desc");
  ASSERT_EQ(rs.RowCount(), 2u);
  const std::vector<Variant> v = rs.Row(0);
  ASSERT_EQ(v.size(), 4u);
  ASSERT_EQ(rs.Row(1).size(), 4u);
  EXPECT_EQ(v[0].DataType(), Variant::Kind::Integer);
  EXPECT_EQ(v[0].AsInteger(), -5);
  EXPECT_EQ(v[1].AsString(), "abc");
  EXPECT_EQ(v[2].DataType(), Variant::Kind::Numeric);
  EXPECT_EQ(v[2].AsString(), "1234.50");
  EXPECT_EQ(v[3].AsDateTime(), (TDateTime{2011, 5, 20, 10, 30, 0, 997}));
  for (const Variant& null : rs.Row(1)) {
    EXPECT_TRUE(null.IsNull());
    EXPECT_EQ(null.AsString(), "");
  }
}

TEST_F(OdbcTdsTest, OpenResultStaysReadableWhileAnotherStatementRuns) {
  db_->Execute("create table tsrc (a int)\ncreate table tdst (a int)");
  db_->Execute("insert into tsrc values (1)\ninsert into tsrc values (2)");
  ResultSet rs = db_->Open("select a from tsrc order by a");
  for (size_t r = 0; r < rs.RowCount(); ++r) {
    const std::vector<Variant> row = rs.Row(r);
    ASSERT_EQ(row.size(), 1u);
    db_->Execute("insert into tdst values (" + std::to_string(row[0].AsInteger() * 10) + ")");
  }
  EXPECT_EQ(Column("select a from tdst order by a"), "10\n20\n");
}

}  // namespace
}  // namespace platform
