#include "database.h"

#include <chrono>
#include <ctime>
#include <stdexcept>

#include "parser.h"

namespace standin {
namespace {

DateTime local_now() {
  using namespace std::chrono;
  auto now = system_clock::now();
  std::time_t t = system_clock::to_time_t(now);
  std::tm tm{};
  localtime_r(&t, &tm);
  auto ms = duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000;
  DateTime dt;
  dt.days = days_from_civil(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday);
  dt.ticks = static_cast<uint32_t>((tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec) * 300 +
                                   (ms * 3 + 5) / 10);
  return dt;
}

StatementOutcome failure(const SqlError& e) {
  StatementOutcome st;
  st.messages = e.messages;
  st.failed = true;
  return st;
}

}  // namespace

BatchOutcome Database::Impl::run(SessionState& session, std::string_view text) {
  BatchOutcome out;
  ExecContext x{catalog, session, name, clock ? clock() : local_now()};
  std::vector<Statement> statements;
  try {
    statements = parse_batch(text);
    for (Statement& st : statements) {
      try {
        compile_statement(st, x);
      } catch (const Deferred&) {
        // compiled when it is reached
      }
    }
  } catch (const SqlError& e) {
    out.statements.push_back(failure(e));
    return out;
  }
  for (Statement& st : statements) {
    try {
      out.statements.push_back(execute_statement(st, x));
    } catch (const SqlError& e) {
      out.statements.push_back(failure(e));
      if (e.reach == Reach::Batch) break;
    }
  }
  return out;
}

struct Session::State {
  SessionState session;
};

Session::Session(Database& db) : db_(db), state_(std::make_unique<State>()) {}
Session::~Session() = default;

BatchOutcome Session::execute(std::string_view batch_utf8) {
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
    outcome = impl.run(state_->session, batch_utf8);
  }
  impl.log.push_back(Database::LogEntry{seq, std::string(batch_utf8), outcome});
  return outcome;
}

Database::Database(std::string name) : impl_(std::make_unique<Impl>()) {
  impl_->name = std::move(name);
}
Database::~Database() = default;

const std::string& Database::name() const { return impl_->name; }

std::vector<Database::LogEntry> Database::log() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->log;
}

void Database::clear_log() {
  std::lock_guard lock(impl_->mutex);
  impl_->log.clear();
}

void Database::fail_batch(std::size_t seq, int number, std::string message) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.push_back(Impl::Fault{seq, nullptr, number, std::move(message)});
}

void Database::fail_when(BatchPredicate pick, int number, std::string message) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.push_back(Impl::Fault{0, std::move(pick), number, std::move(message)});
}

void Database::clear_faults() {
  std::lock_guard lock(impl_->mutex);
  impl_->faults.clear();
}

void Database::set_clock(std::function<DateTime()> now) {
  std::lock_guard lock(impl_->mutex);
  impl_->clock = std::move(now);
}

void Database::load_script(std::string_view script_utf8) {
  std::lock_guard lock(impl_->mutex);
  SessionState session;
  for (const std::string& batch : split_script(script_utf8)) {
    BatchOutcome out = impl_->run(session, batch);
    if (const Message* m = out.first_error())
      throw std::runtime_error("Msg " + std::to_string(m->number) + ": " + m->text);
  }
}

std::string Database::dump_script() const {
  std::lock_guard lock(impl_->mutex);
  return dump_catalog(impl_->catalog);
}

}  // namespace standin
