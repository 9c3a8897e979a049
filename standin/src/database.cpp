#include "database.h"

#include <chrono>
#include <ctime>
#include <stdexcept>

#include "parser.h"

namespace standin {
namespace {

DateTime LocalNow() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  DateTime dt;
  dt.days = DaysFromCivil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  dt.ticks = static_cast<uint32_t>((tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) * 300 +
                                   (ms * 3 + 5) / 10);
  return dt;
}

StatementOutcome Failure(const SqlError& e) {
  StatementOutcome st;
  st.messages = e.messages;
  st.failed = true;
  return st;
}

}  // namespace

BatchOutcome Database::Impl::Run(SessionState& session, std::string_view text) {
  BatchOutcome out;
  ExecContext x{catalog, session, name, clock ? clock() : LocalNow(), &server, {}};
  std::vector<Statement> statements;
  try {
    statements = ParseBatch(text);
    for (Statement& st : statements) {
      try {
        CompileStatement(st, x);
      } catch (const Deferred&) {
        // compiled when it is reached
      }
    }
  } catch (const SqlError& e) {
    out.statements.push_back(Failure(e));
    return out;
  }
  for (Statement& st : statements) {
    try {
      out.statements.push_back(ExecuteStatement(st, x));
    } catch (const SqlError& e) {
      out.statements.push_back(Failure(e));
      if (e.reach == Reach::Batch) break;
    }
  }
  return out;
}

struct Session::State {
  SessionState session;
};

Session::Session(Database& db, SessionInfo info) : db_(db), state_(std::make_unique<State>()) {
  Database::Impl& impl = *db_.impl_;
  std::lock_guard lock(impl.mutex);
  ServerState& server = impl.server;
  if (info.spid == 0) {
    while (server.sessions.count(server.next_spid)) ++server.next_spid;
    info.spid = server.next_spid++;
  }
  state_->session.spid = info.spid;
  server.sessions[info.spid] =
      ServerState::Process{std::move(info), impl.clock ? impl.clock() : LocalNow()};
}

Session::~Session() {
  Database::Impl& impl = *db_.impl_;
  std::lock_guard lock(impl.mutex);
  impl.server.EndSession(state_->session.spid);
}

int Session::Spid() const { return state_->session.spid; }

BatchOutcome Session::Execute(std::string_view batch_utf8) {
  Database::Impl& impl = *db_.impl_;
  std::lock_guard lock(impl.mutex);
  std::size_t seq = ++impl.seq;
  BatchOutcome outcome;
  const Database::Impl::Fault* fault = nullptr;
  for (const auto& f : impl.faults) {
    if ((f.seq != 0 && f.seq == seq) || (f.pick && f.pick(seq, batch_utf8))) {
      fault = &f;
      break;
    }
  }
  if (fault) {
    StatementOutcome st;
    st.messages.push_back(Message{fault->number, 16, 1, fault->message});
    st.failed = true;
    outcome.statements.push_back(std::move(st));
  } else {
    outcome = impl.Run(state_->session, batch_utf8);
  }
  impl.log.push_back(Database::LogEntry{seq, std::string(batch_utf8), outcome});
  return outcome;
}

Database::Database(std::string name) : impl_(std::make_unique<Impl>()) {
  impl_->name = std::move(name);
}
Database::~Database() = default;

const std::string& Database::Name() const { return impl_->name; }

std::vector<Database::LogEntry> Database::Log() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->log;
}

void Database::ClearLog() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

void Database::FailBatch(std::size_t seq, int number, std::string message) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.push_back(Impl::Fault{seq, nullptr, number, std::move(message)});
}

void Database::FailWhen(BatchPredicate pick, int number, std::string message) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.push_back(Impl::Fault{0, std::move(pick), number, std::move(message)});
}

void Database::ClearFaults() {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.clear();
}

void Database::SetClock(std::function<DateTime()> now) {
  std::lock_guard lock(impl_->mutex);
  impl_->clock = std::move(now);
}

void Database::LoadScript(std::string_view script_utf8) {
  std::lock_guard lock(impl_->mutex);
  SessionState session;
  for (const std::string& batch : SplitScript(script_utf8)) {
    BatchOutcome out = impl_->Run(session, batch);
    if (const Message* m = out.FirstError())
      throw std::runtime_error("Msg " + std::to_string(m->number) + ": " + m->text);
  }
}

std::string Database::DumpScript() const {
  std::lock_guard lock(impl_->mutex);
  return DumpCatalog(impl_->catalog);
}

}  // namespace standin
