// One upgrade at a time. Every run and every repair first takes an exclusive application lock
// on the database for its connection (owner Session: held until the program ends and its
// connection closes, however it ends). A program that cannot have it at once stops before it
// reads or changes anything else, with kLockBusy. The lock batch is the one request of the
// upgrade that is not a select; a plan never sends it (it asks LockTestSelect instead).
//
// The other sessions on the database can be listed (selects only) so that a run or a plan can
// warn about them; they do not stop anything.
#pragma once

#include <string>
#include <vector>

#include "platform/database.h"

namespace upgrade {

// Why a run stopped at once: someone else holds the lock.
inline constexpr char kLockBusy[] = "另一个升级程序正在升级此数据库，请等它结束后再运行。";

// Takes the lock and selects sp_getapplock's return code (one row, one column without a name):
// 0 granted, 1 granted after waiting, negative refused.
std::string LockBatch();
// Whether the lock could be granted now, taking nothing: one row, 1 free, 0 held.
std::string LockTestSelect();
// True for the codes sp_getapplock grants with.
inline bool LockGranted(int code) { return code == 0 || code == 1; }
// The return code of the open LockBatch (or of anything shaped like it).
int LockCode(const platform::TQuery& query);

// What a plan answers for LockBatch, which it must not send: asks LockTestSelect over `server`
// and answers the code a run would get now (0 when free, -1 when held); *free tells which.
platform::ResultSet PlannedLockAnswer(platform::Connection& server, bool& free);

// The other sessions using this database: spid, hostname, program_name, by spid.
std::string OtherSessionsSelect();
struct OtherSession {
  int spid = 0;
  std::string host, program;  // without the blanks the server pads them with
};
// Opens OtherSessionsSelect on the query, reads it and closes it.
std::vector<OtherSession> ReadOtherSessions(platform::TQuery& query);
// The same from a result of OtherSessionsSelect.
std::vector<OtherSession> OtherSessionsFrom(const platform::ResultSet& result);
// The warning about them, lines without line ends; none when there are none:
//   "注意：另有 N 个连接正在使用此数据库：" then "  主机 H，程序 P" each, "（未提供）" for a
//   name the client did not give.
std::vector<std::string> DescribeOtherSessions(const std::vector<OtherSession>& others);

}  // namespace upgrade
