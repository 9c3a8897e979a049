#include "platform/standin_driver.h"

#include <chrono>

#include "standin/engine.h"
#include "text/text.h"

namespace platform {

namespace {

// Days since 1900-01-01 to a civil date (proleptic Gregorian, H. Hinnant's algorithm).
TDateTime ToDateTime(const standin::DateTime& v) {
  int64_t z = static_cast<int64_t>(v.days) - 25567 + 719468;  // 1900-01-01 is 1970-01-01 - 25567
  int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  int64_t doe = z - era * 146097;
  int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  int64_t y = yoe + era * 400;
  int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  int64_t mp = (5 * doy + 2) / 153;
  int64_t d = doy - (153 * mp + 2) / 5 + 1;
  int64_t m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
  TDateTime r;
  r.Year = static_cast<int>(y);
  r.Month = static_cast<int>(m);
  r.Day = static_cast<int>(d);
  int64_t ms = (static_cast<int64_t>(v.ticks) * 10 + 1) / 3;  // 1/300 s ticks to milliseconds
  r.Hour = static_cast<int>(ms / 3600000);
  r.Minute = static_cast<int>(ms / 60000 % 60);
  r.Second = static_cast<int>(ms / 1000 % 60);
  r.Millisecond = static_cast<int>(ms % 1000);
  return r;
}

void Append(const standin::Value& v, ResultSet& rs) {
  switch (v.kind) {
    case standin::Value::Kind::Null:
      return rs.AppendNull();
    case standin::Value::Kind::Int:
      return rs.AppendInteger(v.i);
    case standin::Value::Kind::Numeric:
      return rs.AppendNumeric(v.i, v.scale);
    case standin::Value::Kind::String:
      return rs.AppendText(text::GbkToUtf8(v.s, text::Mode::kStrict));
    case standin::Value::Kind::DateTime:
      return rs.AppendDateTime(ToDateTime(v.dt));
  }
  rs.AppendNull();
}

void ThrowIfFailed(const standin::BatchOutcome& outcome) {
  if (outcome.cancelled) throw EDatabaseError("Timeout expired", 0, kTimeoutExpired);
  const standin::Message* first = outcome.FirstError();
  if (!first) return;
  std::string text;
  for (const auto& st : outcome.statements)
    for (const auto& m : st.messages)
      if (m.IsError()) {
        if (!text.empty()) text += "\n";
        text += m.text;
      }
  throw EDatabaseError(text, first->number);
}

class StandinConnection : public Connection {
 public:
  StandinConnection(standin::Database& db, standin::SessionInfo who, int timeout_seconds)
      : session_(db, who), timeout_(timeout_seconds) {}

  void Execute(std::string_view batch) override { ThrowIfFailed(Run(batch)); }

  ResultSet Open(std::string_view batch) override {
    standin::BatchOutcome outcome = Run(batch);
    ThrowIfFailed(outcome);
    const standin::StatementOutcome* last = nullptr;
    for (const auto& st : outcome.statements)
      if (st.has_result) last = &st;
    if (!last) throw EDatabaseError("Query returned no result set");
    std::vector<std::string> names;
    names.reserve(last->columns.size());
    for (const auto& c : last->columns) names.push_back(c.name);
    ResultSet rs(std::move(names));
    for (const auto& row : last->rows) {
      rs.BeginRow();
      for (const auto& v : row) Append(v, rs);
    }
    return rs;
  }

 private:
  standin::BatchOutcome Run(std::string_view batch) {
    if (timeout_.count() == 0) return session_.Execute(batch);
    const auto deadline = std::chrono::steady_clock::now() + timeout_;
    return session_.Execute(batch,
                            [deadline] { return std::chrono::steady_clock::now() >= deadline; });
  }

  standin::Session session_;
  std::chrono::seconds timeout_;
};

}  // namespace

std::unique_ptr<Connection> StandinDriver::Connect(const std::string&, const std::string& user,
                                                   const std::string&) {
  standin::SessionInfo who;
  who.host = Host;
  who.program = Program;
  if (!user.empty()) who.login = user;
  return std::make_unique<StandinConnection>(db_, who, batch_timeout_seconds_);
}

void StandinDriver::SetBatchTimeout(int seconds) {
  if (seconds < 0) throw EDatabaseError("A batch timeout cannot be negative");
  batch_timeout_seconds_ = seconds;
}

}  // namespace platform
