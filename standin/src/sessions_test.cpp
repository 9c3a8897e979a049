// Whole-transcript tests of what sessions share: application locks, their release when a session
// ends, master..sysprocesses, @@spid and db_id(). Each case is a sequence of steps, each on one
// of several sessions (opened on first use, numbered 51, 52, ... in that order) of one or two
// databases.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "standin/engine.h"

namespace standin {
namespace {

constexpr const char* kGet =
    "declare @r int; exec @r = sp_getapplock @Resource = N'UpVrek.upgrade', @LockMode = "
    "'Exclusive', @LockOwner = 'Session', @LockTimeout = 0; select @r";
constexpr const char* kRelease =
    "declare @r int; exec @r = sp_releaseapplock @Resource = N'UpVrek.upgrade', @LockOwner = "
    "'Session'; select @r";
constexpr const char* kTest =
    "select APPLOCK_TEST('public', N'UpVrek.upgrade', 'Exclusive', 'Session')";

// The outcome of kGet or kRelease answering `code`.
std::string Code(int code, const std::string& messages = "") {
  return "done\n" + messages + "done\ncolumns  int null\nrow " + std::to_string(code) +
         "\ndone count 1\n";
}
std::string Test(int answer) {
  return "columns  smallint null\nrow " + std::to_string(answer) + "\ndone count 1\n";
}

struct Step {
  int session;        // sessions 1.. of the first database, 101.. of a second one
  const char* batch;  // nullptr: the session ends (as when its connection closes)
  std::string expected;
};

struct Case {
  const char* name;
  std::vector<Step> steps;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class Sessions : public ::testing::TestWithParam<Case> {};

TEST_P(Sessions, Transcript) {
  Database first("vrek"), second("other");
  for (Database* db : {&first, &second}) db->SetClock([] { return DateTime{40000, 0}; });
  std::map<int, std::unique_ptr<Session>> sessions;
  std::string expected, actual;
  for (const Step& step : GetParam().steps) {
    const std::string head =
        "[" + std::to_string(step.session) + "] " + (step.batch ? step.batch : "(ends)") + "\n";
    expected += head + step.expected;
    actual += head;
    if (!step.batch) {
      sessions.erase(step.session);
      continue;
    }
    std::unique_ptr<Session>& s = sessions[step.session];
    if (!s) {
      SessionInfo info;
      info.host = "PC-" + std::to_string(step.session);
      info.program = "程序" + std::to_string(step.session);
      s = std::make_unique<Session>(step.session > 100 ? second : first, info);
    }
    actual += Render(s->Execute(step.batch));
  }
  EXPECT_EQ(actual, expected);
}

const Case kCases[] = {
    {"one_session_holds_the_exclusive_lock",
     {{1, kGet, Code(0)},
      {2, kGet, Code(-1)},
      {2, kTest, Test(0)},
      {1, kTest, Test(1)},
      {1, kGet, Code(0)},  // granted again to its owner, and counted
      {1, kRelease, Code(0)},
      {2, kGet, Code(-1)},
      {1, kRelease, Code(0)},
      {2, kTest, Test(1)},
      {2, kGet, Code(0)},
      {1, kGet, Code(-1)}}},
    {"the_end_of_a_session_releases_its_locks",
     {{1, kGet, Code(0)},
      {1, kGet, Code(0)},
      {2, kGet, Code(-1)},
      {1, nullptr, ""},
      {2, kTest, Test(1)},
      {2, kGet, Code(0)}}},
    {"names_compare_as_bytes_and_belong_to_their_database",
     {{1, kGet, Code(0)},
      {2,
       "declare @r int; exec @r = sp_getapplock @Resource = N'upvrek.upgrade', @LockMode = "
       "'Exclusive', @LockOwner = 'Session', @LockTimeout = 0; select @r",
       Code(0)},
      {101, kGet, Code(0)},
      {101, kTest, Test(1)},
      {2, kTest, Test(0)}}},
    {"modes_follow_the_lock_compatibility",
     {{1, "declare @r int; exec @r = sp_getapplock 'x', 'Shared', 'Session', 0; select @r",
       Code(0)},
      {2, "declare @r int; exec @r = sp_getapplock 'x', 'Shared', 'Session', 0; select @r",
       Code(0)},
      {2,
       "select applock_test('public', 'x', 'Update', 'Session'), "
       "applock_test('public', 'x', 'IntentExclusive', 'Session')",
       "columns  smallint null,  smallint null\nrow 1, 0\ndone count 1\n"},
      {2, "declare @r int; exec @r = sp_getapplock 'x', 'Exclusive', 'Session', 0; select @r",
       Code(-1)}}},
    {"what_sp_getapplock_refuses",
     {{1,
       "declare @r int; exec @r = sp_getapplock @Resource = 'x', @LockMode = 'Bogus', "
       "@LockOwner = 'Session'; select @r",
       Code(-999, "info 15625/10/1: Option 'Bogus' not recognized for '@LockMode' parameter.\n")},
      {1,
       "declare @r int; exec @r = sp_getapplock @Resource = 'x', @LockMode = 'Exclusive'; "
       "select @r",
       Code(-999,
            "info 15626/10/1: You attempted to acquire a transactional application lock without "
            "an active transaction.\n")},
      {1, "declare @r int; exec @r = sp_getapplock 'x', 'Exclusive', 'Bogus'; select @r",
       Code(-999, "info 15625/10/1: Option 'Bogus' not recognized for '@LockOwner' parameter.\n")},
      {1, "declare @r int; exec @r = sp_getapplock 'x', 'Exclusive', 'Session', -5; select @r",
       Code(-999)},
      {1, kRelease,
       "done\nerror 1223/16/1: Cannot release the application lock (Database Principal: "
       "'public', Resource: 'UpVrek.upgrade') because it is not currently held.\ndone "
       "error\ncolumns  int null\nrow -999\ndone count 1\n"},
      {1, "exec sp_getapplock @Resource = 'x', @Mode = 'Exclusive'",
       "error 8145/16/2: @Mode is not a parameter for procedure sp_getapplock.\ndone error\n"},
      {1, "exec sp_getapplock @LockMode = 'Exclusive'",
       "error 201/16/4: Procedure or function 'sp_getapplock' expects parameter '@resource', "
       "which was not supplied.\ndone error\n"},
      {1, "exec sp_nothing",
       "error 2812/16/62: Could not find stored procedure 'sp_nothing'.\ndone error\n"},
      {1, "select @r", "error 137/15/2: Must declare the scalar variable \"@r\".\ndone error\n"}}},
    {"sysprocesses_lists_every_session",
     {{1, "select @@spid, db_id(), db_id('VREK'), db_id('master')",
       "columns  smallint not null,  smallint null,  smallint null,  smallint null\n"
       "row 51, 5, 5, NULL\ndone count 1\n"},
      {2, "select @@spid", "columns  smallint not null\nrow 52\ndone count 1\n"},
      {3, nullptr, ""},
      {1,
       "select spid, dbid, rtrim(hostname), rtrim(program_name), rtrim(loginame) from "
       "master..sysprocesses where dbid=db_id() and spid<>@@spid order by spid",
       "columns spid smallint not null, dbid smallint not null,  varchar(128) not null,  "
       "varchar(128) not null,  varchar(128) not null\nrow 52, 5, 'PC-2', '程序2', 'sa'\n"
       "done count 1\n"},
      {2, nullptr, ""},
      {1, "select count(*) from master.dbo.sysprocesses where spid<>@@spid",
       "columns  int null\nrow 0\ndone count 1\n"}}},
};

INSTANTIATE_TEST_SUITE_P(Engine, Sessions, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace standin
