#include "database.h"

#include <algorithm>
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

// Line numbers of byte offsets in a batch, for offsets asked in increasing order (statements
// run in order); an earlier offset starts the count again.
class LineCounter {
 public:
  explicit LineCounter(std::string_view text) : text_(text) {}
  int At(std::size_t pos) {
    pos = std::min(pos, text_.size());
    if (pos < pos_) {
      pos_ = 0;
      line_ = 1;
    }
    for (; pos_ < pos; ++pos_)
      if (text_[pos_] == '\n') ++line_;
    return line_;
  }

 private:
  std::string_view text_;
  std::size_t pos_ = 0;
  int line_ = 1;
};

StatementOutcome OnLine(StatementOutcome st, int line) {
  for (Message& m : st.messages) m.line = line;
  return st;
}

}  // namespace

BatchOutcome Database::Impl::Run(SessionState& session, std::string_view text,
                                 const Session::CancelCheck& cancelled) {
  BatchOutcome out;
  ExecContext x{catalog, session, name, clock ? clock() : LocalNow(), &server, {}};
  LineCounter lines(text);
  std::vector<Statement> statements;
  try {
    statements = ParseBatch(text);
  } catch (const SqlError& e) {
    out.statements.push_back(OnLine(Failure(e), lines.At(e.at.value_or(0))));
    return out;
  }
  for (Statement& st : statements) {
    try {
      CompileStatement(st, x);
    } catch (const Deferred&) {
      // compiled when it is reached
    } catch (const SqlError& e) {
      out.statements.push_back(OnLine(Failure(e), lines.At(st.begin)));
      return out;
    }
  }
  for (Statement& st : statements) {
    if (cancelled && cancelled()) {
      out.cancelled = true;
      break;
    }
    const int line = lines.At(st.begin);
    try {
      out.statements.push_back(OnLine(ExecuteStatement(st, x), line));
    } catch (const SqlError& e) {
      out.statements.push_back(OnLine(Failure(e), line));
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

bool Database::Impl::WaitWhileHeld(std::unique_lock<std::mutex>& lock,
                                   const Session::CancelCheck& cancelled) {
  const std::uint64_t releases_before = releases;
  ++held;
  bool run = true;
  while (releases == releases_before) {
    if (cancelled) {
      // Asked unlocked: the database serves other sessions while this batch waits.
      lock.unlock();
      const bool stop = cancelled();
      lock.lock();
      if (stop) {
        run = false;
        break;
      }
      released.wait_for(lock, std::chrono::milliseconds(10));
    } else {
      released.wait(lock);
    }
  }
  --held;
  return run;
}

BatchOutcome Session::Execute(std::string_view batch_utf8, const CancelCheck& cancelled) {
  Database::Impl& impl = *db_.impl_;
  std::unique_lock lock(impl.mutex);
  std::size_t seq = ++impl.seq;
  BatchOutcome outcome;
  bool hold = false;
  for (const auto& h : impl.holds)
    if ((h.seq != 0 && h.seq == seq) || (h.pick && h.pick(seq, batch_utf8))) hold = true;
  if (hold && !impl.WaitWhileHeld(lock, cancelled)) {
    outcome.cancelled = true;
    impl.log.push_back(Database::LogEntry{seq, std::string(batch_utf8), outcome});
    return outcome;
  }
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
    outcome = impl.Run(state_->session, batch_utf8, cancelled);
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

void Database::HoldBatch(std::size_t seq) {
  std::lock_guard lock(impl_->mutex);
  impl_->holds.push_back(Impl::Hold{seq, nullptr});
}

void Database::HoldWhen(BatchPredicate pick) {
  std::lock_guard lock(impl_->mutex);
  impl_->holds.push_back(Impl::Hold{0, std::move(pick)});
}

void Database::ReleaseHeld() {
  std::lock_guard lock(impl_->mutex);
  ++impl_->releases;
  impl_->released.notify_all();
}

std::size_t Database::Held() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->held;
}

void Database::ClearFaults() {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.clear();
  impl_->holds.clear();
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
