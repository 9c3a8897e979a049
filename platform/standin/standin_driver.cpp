#include "platform/standin_driver.h"

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

Variant ToVariant(const standin::Value& v) {
  switch (v.kind) {
    case standin::Value::Kind::Null:
      return Variant();
    case standin::Value::Kind::Int:
      return Variant::Integer(v.i);
    case standin::Value::Kind::Numeric:
      return Variant::Numeric(v.i, v.scale);
    case standin::Value::Kind::String:
      return Variant::Text(text::GbkToUtf8(v.s, text::Mode::kStrict));
    case standin::Value::Kind::DateTime:
      return Variant::DateTime(ToDateTime(v.dt));
  }
  return Variant();
}

void ThrowIfFailed(const standin::BatchOutcome& outcome) {
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
  StandinConnection(standin::Database& db, standin::SessionInfo who) : session_(db, who) {}

  void Execute(std::string_view batch) override { ThrowIfFailed(session_.Execute(batch)); }

  ResultSet Open(std::string_view batch) override {
    standin::BatchOutcome outcome = session_.Execute(batch);
    ThrowIfFailed(outcome);
    const standin::StatementOutcome* last = nullptr;
    for (const auto& st : outcome.statements)
      if (st.has_result) last = &st;
    if (!last) throw EDatabaseError("Query returned no result set");
    ResultSet rs;
    for (const auto& c : last->columns) rs.columns.push_back(c.name);
    for (const auto& row : last->rows) {
      std::vector<Variant> out;
      out.reserve(row.size());
      for (const auto& v : row) out.push_back(ToVariant(v));
      rs.rows.push_back(std::move(out));
    }
    return rs;
  }

 private:
  standin::Session session_;
};

}  // namespace

std::unique_ptr<Connection> StandinDriver::Connect(const std::string&, const std::string& user,
                                                   const std::string&) {
  standin::SessionInfo who;
  who.host = Host;
  who.program = Program;
  if (!user.empty()) who.login = user;
  return std::make_unique<StandinConnection>(db_, who);
}

}  // namespace platform
