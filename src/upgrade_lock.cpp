#include "upgrade_lock.h"

#include "sqltext.h"

namespace upgrade {

namespace {

// Resource names are compared as bytes and belong to the database the connection is in.
constexpr char kResource[] = "N'UpVrek.upgrade'";

}  // namespace

std::string LockBatch() {
  return std::string("declare @r int; exec @r = sp_getapplock @Resource = ") + kResource +
         ", @LockMode = 'Exclusive', @LockOwner = 'Session', @LockTimeout = 0; select @r";
}

std::string LockTestSelect() {
  return std::string("select APPLOCK_TEST('public', ") + kResource + ", 'Exclusive', 'Session')";
}

int LockCode(const platform::TQuery& query) {
  // The select's only column has no name.
  return query.FieldByName("").AsInteger();
}

std::string OtherSessionsSelect() {
  return "select spid, hostname, program_name from master..sysprocesses where dbid=db_id() and "
         "spid<>@@spid order by spid";
}

std::vector<OtherSession> ReadOtherSessions(platform::TQuery& query) {
  query.SQL.Clear();
  query.SQL.Add(OtherSessionsSelect());
  query.Open();
  std::vector<OtherSession> others;
  for (; !query.Eof(); query.Next())
    others.push_back(OtherSession{query.FieldByName("spid").AsInteger(),
                                  TrimRight(query.FieldByName("hostname").AsString()),
                                  TrimRight(query.FieldByName("program_name").AsString())});
  query.Close();
  return others;
}

std::vector<OtherSession> OtherSessionsFrom(const platform::ResultSet& result) {
  std::vector<OtherSession> others;
  if (result.ColumnCount() >= 3)
    for (std::size_t r = 0; r < result.RowCount(); ++r)
      others.push_back(OtherSession{result.Value(r, 0).AsInteger(),
                                    TrimRight(result.Value(r, 1).AsString()),
                                    TrimRight(result.Value(r, 2).AsString())});
  return others;
}

platform::ResultSet PlannedLockAnswer(platform::Connection& server, bool& free) {
  const platform::ResultSet test = server.Open(LockTestSelect());
  free = test.RowCount() > 0 && test.ColumnCount() > 0 && test.Value(0, 0).AsInteger() == 1;
  platform::ResultSet answer(std::vector<std::string>{""});
  answer.AddRow({platform::Variant::Integer(free ? 0 : -1)});
  return answer;
}

std::vector<std::string> DescribeOtherSessions(const std::vector<OtherSession>& others) {
  std::vector<std::string> lines;
  if (others.empty()) return lines;
  lines.push_back("注意：另有 " + std::to_string(others.size()) + " 个连接正在使用此数据库：");
  // A client may give no host or program name (the ODBC driver sends none unless told).
  const auto named = [](const std::string& name) {
    return name.empty() ? std::string("（未提供）") : name;
  };
  for (const OtherSession& o : others)
    lines.push_back("  主机 " + named(o.host) + "，程序 " + named(o.program));
  return lines;
}

}  // namespace upgrade
