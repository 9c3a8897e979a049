// Real ODBC programs' view of the listener: unixODBC with the FreeTDS driver over TCP.
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "fixture.h"

namespace standin::tds::testing {
namespace {

using namespace std::chrono_literals;

const std::string kPrefix = "[FreeTDS][SQL Server]";

TEST_F(ServerTest, ReportsEveryStatementOfABatchWithItsErrors) {
  auto c = Client();
  const std::string dup3 =
      "diag 23000 2627 " + kPrefix +
      "Violation of PRIMARY KEY constraint 'PK_asset'. Cannot insert duplicate key in object "
      "'dbo.asset'. The duplicate key value is (3).\n";
  const std::string dup4 =
      "diag 23000 2627 " + kPrefix +
      "Violation of PRIMARY KEY constraint 'PK_asset'. Cannot insert duplicate key in object "
      "'dbo.asset'. The duplicate key value is (4).\n";
  const std::string terminated =
      "diag 01000 3621 " + kPrefix + "The statement has been terminated.\n";
  EXPECT_EQ(c->Run("insert into asset (id) values (3)\n"
                   "insert into asset (id) values (3)\n"
                   "insert into asset (id) values (4)\n"
                   "insert into asset (id) values (4)"),
            "exec SQL_SUCCESS\ncount 1\n"
            "more SQL_ERROR\n" +
                dup3 + terminated +
                "more SQL_SUCCESS\ncount 1\n"
                "more SQL_ERROR\n" +
                dup4 + terminated);
  // The connection stays usable after the errors.
  EXPECT_EQ(c->Run("select id from asset where id > 2 order by id"),
            "exec SQL_SUCCESS\ncolumns id\nrow 3\nrow 4\n");
}

TEST_F(ServerTest, DdlReturnsNoData) {
  auto c = Client();
  EXPECT_EQ(c->Run("create table t2 (a int)"), "exec SQL_NO_DATA\n");
  EXPECT_EQ(c->Run("drop table t2"), "exec SQL_NO_DATA\n");
}

TEST_F(ServerTest, SelectsEveryTypeWithNulls) {
  auto c = Client();
  EXPECT_EQ(
      c->Run("select id, name, note, qty, amount, bought from asset order by id"),
      "exec SQL_SUCCESS\n"
      "columns id, name, note, qty, amount, bought\n"
      "row 1|\xE5\x8A\x9E\xE5\x85\xAC\xE6\xA1\x8C    |desk|3|1234.50|2011-05-20 10:30:00.000\n"
      "row 2|NULL|NULL|NULL|NULL|NULL\n");
}

TEST_F(ServerTest, WrongPasswordIsRefusedWith18456) {
  OdbcClient c;
  EXPECT_EQ(c.Connect(ConnectionString(server_->Port(), "sa", "wrong")),
            "connect SQL_ERROR\n"
            "diag 42000 18456 " +
                kPrefix +
                "Login failed for user 'sa'.\n"
                "diag 08001 0 [FreeTDS][SQL Server]Unable to connect to data source\n");
  EXPECT_FALSE(c.Connected());
}

TEST_F(ServerTest, ClosingAStatementWithPendingResultsSendsAttention) {
  auto c = Client();
  EXPECT_EQ(c->RunFirstRowThenClose("select id from asset order by id\nselect id from asset"),
            "exec SQL_SUCCESS\nfetch SQL_SUCCESS\n");
  EXPECT_EQ(c->Run("select id from asset where id = 2"), "exec SQL_SUCCESS\ncolumns id\nrow 2\n");
}

TEST_F(ServerTest, TwoClientsAtOnce) {
  auto a = Client();
  auto b = Client();
  EXPECT_EQ(a->Run("insert into asset (id, note) values (10, 'from a')"),
            "exec SQL_SUCCESS\ncount 1\n");
  EXPECT_EQ(b->Run("select note from asset where id = 10"),
            "exec SQL_SUCCESS\ncolumns note\nrow from a\n");
  // Both at the same time, each on its own thread.
  std::string out[2];
  std::thread ta([&] {
    for (int i = 0; i < 20; ++i)
      out[0] += a->Run("insert into asset (id) values (" + std::to_string(100 + i) + ")");
  });
  std::thread tb([&] {
    for (int i = 0; i < 20; ++i)
      out[1] += b->Run("insert into asset (id) values (" + std::to_string(200 + i) + ")");
  });
  ta.join();
  tb.join();
  std::string twenty;
  for (int i = 0; i < 20; ++i) twenty += "exec SQL_SUCCESS\ncount 1\n";
  EXPECT_EQ(out[0], twenty);
  EXPECT_EQ(out[1], twenty);
  EXPECT_EQ(a->Run("select count(*) from asset where id >= 100"),
            "exec SQL_SUCCESS\ncolumns \nrow 40\n");
}

// The application lock of an upgrade, over two connections: the second is refused while the
// first holds it, and the lock goes with the first connection when it closes.
TEST_F(ServerTest, SessionLocksEndWithTheirConnection) {
  const std::string get =
      "declare @r int; exec @r = sp_getapplock @Resource = N'UpVrek.upgrade', @LockMode = "
      "'Exclusive', @LockOwner = 'Session', @LockTimeout = 0; select @r";
  const std::string test =
      "select APPLOCK_TEST('public', N'UpVrek.upgrade', 'Exclusive', 'Session')";
  auto a = std::make_unique<OdbcClient>();
  ASSERT_EQ(a->Connect(ConnectionString(server_->Port()) + ";APP=升级一;WSID=PC-A"),
            "connect SQL_SUCCESS\n");
  auto b = std::make_unique<OdbcClient>();
  ASSERT_EQ(b->Connect(ConnectionString(server_->Port()) + ";APP=升级二;WSID=PC-B"),
            "connect SQL_SUCCESS\n");
  EXPECT_EQ(a->Run(get), "exec SQL_SUCCESS\ncolumns \nrow 0\n");
  EXPECT_EQ(b->Run(get), "exec SQL_SUCCESS\ncolumns \nrow -1\n");
  EXPECT_EQ(b->Run(test), "exec SQL_SUCCESS\ncolumns \nrow 0\n");
  EXPECT_EQ(b->Run("select rtrim(hostname), rtrim(program_name), rtrim(loginame) from "
                   "master..sysprocesses where dbid=db_id() and spid<>@@spid"),
            "exec SQL_SUCCESS\ncolumns , , \nrow PC-A|升级一|sa\n");
  a.reset();
  // The server learns of the closed connection a moment later.
  std::string answer;
  for (int i = 0; i < 100; ++i) {
    answer = b->Run(test);
    if (answer != "exec SQL_SUCCESS\ncolumns \nrow 0\n") break;
    std::this_thread::sleep_for(50ms);
  }
  EXPECT_EQ(answer, "exec SQL_SUCCESS\ncolumns \nrow 1\n");
  EXPECT_EQ(b->Run(get), "exec SQL_SUCCESS\ncolumns \nrow 0\n");
  EXPECT_EQ(b->Run("select count(*) from master.dbo.sysprocesses"),
            "exec SQL_SUCCESS\ncolumns \nrow 1\n");
}

class LoginServerTest : public ServerTest {
 protected:
  std::vector<std::string> ExtraArgs() override {
    return {"--login", "alice:S3cret:x", "--login", "bob:"};
  }
};

TEST_F(LoginServerTest, AcceptsOnlyTheConfiguredLogins) {
  struct Case {
    std::string user, password;
    bool accepted;
  } cases[] = {
      {"alice", "S3cret:x", true},  // the password is everything after the first colon
      {"ALICE", "S3cret:x", true},  // login names compare without regard to case
      {"alice", "s3cret:x", false},
      {"bob", "", true},
      {"sa", "", false},  // the default login is gone once logins are given
  };
  for (const Case& c : cases) {
    OdbcClient client;
    const std::string refused =
        "connect SQL_ERROR\ndiag 42000 18456 " + kPrefix + "Login failed for user '" + c.user +
        "'.\ndiag 08001 0 [FreeTDS][SQL Server]Unable to connect to data source\n";
    EXPECT_EQ(client.Connect(ConnectionString(server_->Port(), c.user, c.password)),
              c.accepted ? "connect SQL_SUCCESS\n" : refused)
        << c.user << ":" << c.password;
  }
}

TEST(Program, RefusesBadArgumentsAndScripts) {
  TempDir dir;
  const std::string bad =
      dir.Write("bad.sql", "create table a (x int)\nGO\nselect * from nosuch\nGO\n");
  const std::string usage =
      "usage: sqlstandin --port N [--login USER:PASSWORD]... [--load FILE]...\n"
      "                  [--log FILE] [--save FILE] [--fail N[:NUMBER]] [--drop N]\n"
      "                  [--hold N]\n";
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string output;
  } cases[] = {
      {{"--port", "0", "--load", bad}, 1, "sqlstandin: Msg 208: Invalid object name 'nosuch'.\n"},
      {{"--port", "0", "--load", dir.Path() + "/none.sql"},
       1,
       "sqlstandin: cannot read " + dir.Path() + "/none.sql\n"},
      {{"--port", "70000"}, 2, "sqlstandin: bad port 70000\n" + usage},
      {{"--port", "0", "--fail", "0"}, 2, "sqlstandin: bad --fail 0\n" + usage},
      {{"--port", "0", "--hold", "x"}, 2, "sqlstandin: bad --hold x\n" + usage},
      {{"--port", "0", "--login", "nopassword"},
       2,
       "sqlstandin: --login takes USER:PASSWORD\n" + usage},
      {{"--load", bad}, 2, "sqlstandin: --port is required\n" + usage},
  };
  for (const Case& c : cases) {
    std::vector<std::string> argv = {SQLSTANDIN_PATH};
    argv.insert(argv.end(), c.args.begin(), c.args.end());
    const vrektest::ProgramRun run =
        vrektest::RunProgram(argv, {.limit = 20s, .merge_stderr = true});
    EXPECT_EQ(run.out, c.output) << c.args[1];
    EXPECT_EQ(run.status, c.status) << c.args[1];
  }
}

class LoggingServerTest : public ServerTest {
 protected:
  std::vector<std::string> ExtraArgs() override { return {"--log", dir_.Path() + "/log.jsonl"}; }
};

TEST_F(LoggingServerTest, LogsEveryBatchAsSentAndItsFirstError) {
  auto c = Client();
  // Over 9 KB, so that it arrives in several packets.
  const std::string comment = "/* " + std::string(9200, 'x') + " */\r\n";
  const std::string batches[] = {
      "select id\tfrom asset\r\nwhere id = 1",
      comment + "select note from asset where id = 1",
      "select '\"a\\b\" \xE4\xB8\xAD' from nosuch",
  };
  EXPECT_EQ(c->Run(batches[0]), "exec SQL_SUCCESS\ncolumns id\nrow 1\n");
  EXPECT_EQ(c->Run(batches[1]), "exec SQL_SUCCESS\ncolumns note\nrow desk\n");
  EXPECT_EQ(c->Run(batches[2]),
            "exec SQL_ERROR\ndiag 42S02 208 " + kPrefix + "Invalid object name 'nosuch'.\n");
  EXPECT_EQ(ReadFile(dir_.Path() + "/log.jsonl"),
            "{\"seq\":1,\"text\":\"select id\\tfrom asset\\r\\nwhere id = 1\",\"error\":null}\n"
            "{\"seq\":2,\"text\":\"/* " +
                std::string(9200, 'x') +
                " */\\r\\nselect note from asset where id = 1\",\"error\":null}\n"
                "{\"seq\":3,\"text\":\"select '\\\"a\\\\b\\\" \xE4\xB8\xAD' from nosuch\","
                "\"error\":{\"number\":208,\"message\":\"Invalid object name 'nosuch'.\"}}\n");
}

class FaultServerTest : public ServerTest {
 protected:
  std::vector<std::string> ExtraArgs() override { return {"--fail", "2:50001", "--drop", "4"}; }
};

TEST_F(FaultServerTest, FailsTheSecondBatchAndDropsTheFourth) {
  auto c = Client();
  const std::string one = "exec SQL_SUCCESS\ncolumns id\nrow 1\n";
  const std::string query = "select id from asset where id = 1";
  EXPECT_EQ(c->Run(query), one);
  EXPECT_EQ(c->Run(query), "exec SQL_ERROR\ndiag 42000 50001 " + kPrefix +
                               "Batch 2 failed: error injected by the stand-in.\n");
  EXPECT_EQ(c->Run(query), one);
  EXPECT_EQ(
      c->Run(query),
      "exec SQL_ERROR\ndiag 01000 20017 [FreeTDS][SQL Server]Unexpected EOF from the server\n");
  // The server goes on serving others.
  EXPECT_EQ(Client()->Run(query), one);
}

class HoldServerTest : public ServerTest {
 protected:
  std::vector<std::string> ExtraArgs() override {
    return {"--hold", "2", "--log", dir_.Path() + "/log.jsonl"};
  }
};

// A client whose query timeout runs out sends ATTENTION (FreeTDS: src/tds/util.c tdserror) and
// reports HYT00; the held batch runs nothing, is logged as cancelled, and the connection goes
// on serving.
TEST_F(HoldServerTest, AHeldBatchIsCancelledByTheQueryTimeoutAndTheConnectionStaysUsable) {
  auto c = Client();
  const std::string insert = "insert into asset (id) values (3)";
  const std::string count = "select count(*) from asset";
  EXPECT_EQ(c->Run(count), "exec SQL_SUCCESS\ncolumns \nrow 2\n");
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(c->Run(insert, 1),
            "exec SQL_ERROR\ndiag HYT00 0 [FreeTDS][SQL Server]Timeout expired\n"
            "diag HY008 0 [FreeTDS][SQL Server]Operation was cancelled\n");
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(900));
  EXPECT_LT(waited, std::chrono::seconds(5));
  EXPECT_EQ(c->Run(count), "exec SQL_SUCCESS\ncolumns \nrow 2\n");
  EXPECT_EQ(Client()->Run(insert), "exec SQL_SUCCESS\ncount 1\n");
  EXPECT_EQ(ReadFile(dir_.Path() + "/log.jsonl"), "{\"seq\":1,\"text\":\"" + count +
                                                      "\",\"error\":null}\n"
                                                      "{\"seq\":2,\"text\":\"" +
                                                      insert +
                                                      "\",\"error\":null,\"cancelled\":true}\n"
                                                      "{\"seq\":3,\"text\":\"" +
                                                      count +
                                                      "\",\"error\":null}\n"
                                                      "{\"seq\":4,\"text\":\"" +
                                                      insert + "\",\"error\":null}\n");
}

TEST_F(ServerTest, SavedDatabaseLoadsBack) {
  const std::string saved = dir_.Path() + "/saved.sql";
  server_->Stop();
  Start({"--save", saved});
  EXPECT_EQ(Client()->Run("insert into asset (id, note) values (7, 'saved\xE4\xB8\xAD')"),
            "exec SQL_SUCCESS\ncount 1\n");
  EXPECT_EQ(server_->Stop(), 0);
  server_ =
      std::make_unique<vrektest::Standin>(std::vector<std::string>{"--load", saved}, StderrPath());
  ASSERT_TRUE(server_->Started()) << ReadFile(StderrPath());
  EXPECT_EQ(
      Client()->Run("select id, name, note, qty, amount, bought from asset order by id"),
      "exec SQL_SUCCESS\n"
      "columns id, name, note, qty, amount, bought\n"
      "row 1|\xE5\x8A\x9E\xE5\x85\xAC\xE6\xA1\x8C    |desk|3|1234.50|2011-05-20 10:30:00.000\n"
      "row 2|NULL|NULL|NULL|NULL|NULL\n"
      "row 7|NULL|saved\xE4\xB8\xAD|NULL|NULL|NULL\n");
}

TEST_F(ServerTest, FreeTdsOwnClientQueriesToo) {
  const vrektest::ProgramRun run =
      vrektest::RunProgram({TSQL_PATH, "-H", "127.0.0.1", "-p", std::to_string(server_->Port()),
                            "-U", "sa", "-P", "", "-o", "q"},
                           {.input = "select id, note from asset order by id\ngo\nexit\n",
                            .limit = 20s,
                            .merge_stderr = true});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "id\tnote\n1\tdesk\n2\tNULL\n");
}

}  // namespace
}  // namespace standin::tds::testing
