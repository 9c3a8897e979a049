// Decorators of the database seam for the command-line program: one that reports every batch as
// it goes to the server, one that plans a run without changing anything, and one that ends a
// run cleanly when it is asked to stop or a batch runs out of time.
//
// Both wrap a platform::Driver and the connections it opens, so the upgrade window runs over
// them unchanged: the steps never learn whether they are echoed or planned.
#pragma once

#include <cstddef>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "foresight.h"
#include "platform/database.h"
#include "upgrade_lock.h"

namespace vrekcli {

// Numbers every batch sent over any of its connections (from 1, in the order sent) and hands
// it to `sent` just before the inner connection sends it, so that a batch that fails or hangs
// has already been reported.
class EchoDriver : public platform::Driver {
 public:
  using Sink = std::function<void(std::size_t number, std::string_view batch)>;
  EchoDriver(platform::Driver& inner, Sink sent) : inner_(inner), sent_(std::move(sent)) {}
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override;

 private:
  class Conn;
  platform::Driver& inner_;
  Sink sent_;
  std::size_t count_ = 0;
};

// What may end a run besides the server's own errors.
struct RunLimits {
  // Asked before every batch: the signal that asked the program to stop (SIGINT, SIGTERM),
  // 0 while none did. Null: never stops.
  std::function<int()> stop_signal;
  // The batch timeout given to the driver (Driver::SetBatchTimeout), 0 for none; named in the
  // message when a batch runs out of it.
  int timeout_seconds = 0;
};

// Numbers every batch over any of its connections (from 1, as EchoDriver does when it wraps the
// same batches) and ends the run cleanly in two cases, each time by throwing EDatabaseError with
// a Chinese message that says where the run stopped and, when `changes_database`, that
// `upvrek-cli repair` completes it:
//   - a stop was asked for: the batch about to be sent is not sent;
//   - a batch ran out of its time (SQLSTATE HYT00): the driver has cancelled it.
// Either way every later batch is refused with the same message, so that a step that swallows
// an error (the tolerant drop) cannot carry the run on. Wrap it around the echo, so that a batch
// it refuses is never printed as sent.
class GuardDriver : public platform::Driver {
 public:
  GuardDriver(platform::Driver& inner, RunLimits limits, bool changes_database)
      : inner_(inner), limits_(std::move(limits)), changes_database_(changes_database) {}
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override;

  // The signal that stopped the run before one of its batches, 0 when none did (a signal that
  // came after the last batch stops nothing).
  int StoppedBy() const { return stopped_by_; }
  // Whether the guard ended the run (a stop or a timed-out batch): a plan then lists only the
  // batches before it, and must not present its end as where the run would stop.
  bool Refused() const { return !refusal_.empty(); }
  // The exit status of a run the guard stopped: 128 + the signal, as a shell reports a program
  // the signal ended (130 for SIGINT, 143 for SIGTERM); `status` otherwise.
  int ExitStatus(int status) const { return stopped_by_ != 0 ? 128 + stopped_by_ : status; }

 private:
  class Conn;
  void Before();
  [[noreturn]] void Refuse() const;
  platform::Driver& inner_;
  RunLimits limits_;
  bool changes_database_;
  std::size_t count_ = 0;  // batches sent, the current one included
  int stopped_by_ = 0;
  std::string refusal_;  // the message once the run has been stopped
};

// One batch of a planned run, in the order the run would send it.
struct PlannedBatch {
  enum class Kind { Execute, Open };
  Kind kind = Kind::Execute;
  std::string text;
  // Open only: whether the select went to the server (otherwise it was answered empty because
  // it reads a table the plan creates), and how many rows it returned.
  bool asked_server = false;
  std::size_t rows = 0;
  // The error the server answers (a select) or would answer (a statement): the run stops at
  // this batch unless the statement's failure is tolerated.
  std::optional<ForeseenError> error;
};

// Plans a run: Execute records the batch and sends nothing; Open sends the select to the
// server and returns its result, except when the select reads a table that an earlier recorded
// batch of the same plan creates ("create table NAME"), which it answers with an empty result.
//
// This is exact for the upgrade's own sequence of steps, i.e. the planned batches are the ones a
// run would send now, provided every statement the run sends succeeds. Each select of the run
// reads either an object that exists before the run and that no earlier batch of the run
// changes in what the select asks, or a table the run itself creates empty:
//   - catalog probes (sysobjects, syscolumns, sysindexes) each ask for an object that no earlier
//     batch of the run creates or drops: every block's guard is probed once, before its block;
//   - mark lookups read ver_manage. When it exists, each mark is looked up before its own insert
//     and never again, so the unsent inserts of other marks change no answer. When the run
//     creates it, it holds only marks inserted by this run, none of them the one looked up:
//     empty is the answer;
//   - the persons' check and copy read lib_people before the block drops and recreates it; no
//     batch before them touches lib_people;
//   - the asset names read vr_name of lib_vrek, which the earlier batches give new columns and
//     set those columns, never touching vr_name or the set of rows.
// The upgrade lock's batch (upgrade_lock.h), the one batch a run opens that changes something,
// is recorded and not sent: the plan asks whether the lock is free and answers as the run would
// be answered now (LockFree).
// A statement that the server would refuse is foreseen (foresight.h) and fails as the server
// would fail it, so the planned run stops, or tolerates it, where the run would. What a plan cannot
// foresee is what other clients change between the plan and the run.
class PlanDriver : public platform::Driver {
 public:
  explicit PlanDriver(platform::Driver& inner) : inner_(inner) {}
  // Whether the upgrade lock was free when the plan asked; empty when the run never asked.
  std::optional<bool> LockFree() const { return lock_free_; }
  // When the lock was held: the other connections then (read for the plan, not part of it).
  const std::vector<upgrade::OtherSession>& OthersWhenHeld() const { return others_when_held_; }
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override;
  const std::vector<PlannedBatch>& Batches() const { return batches_; }
  // From now on the select `text` is answered without asking the server: with one row (of no
  // column) when `row`, else with none. For a plan that records statements creating or dropping
  // objects the run then probes for: the probe must see what the statements would leave.
  void Answer(const std::string& text, bool row) { answers_[text] = row; }

 private:
  class Conn;
  platform::Driver& inner_;
  std::vector<PlannedBatch> batches_;
  std::set<std::string> created_;  // lower-cased names of tables the planned batches create
  std::map<std::string, bool> answers_;
  std::unique_ptr<Foresight> foresight_;  // made at the first statement, before anything changed
  std::optional<bool> lock_free_;
  std::vector<upgrade::OtherSession> others_when_held_;
};

// The server's first message in the text of an EDatabaseError: its first line, without the
// "[driver][SQL Server]" prefixes that ODBC drivers put before it.
std::string FirstServerMessage(std::string_view text);

// The tables a batch creates: each name that follows "create table" outside quoted text, lower
// case, without brackets or an owner prefix ("dbo.").
std::vector<std::string> TablesCreated(std::string_view batch);
// The tables a select reads: each name that follows "from" or "join" outside quoted text, in
// subqueries too, normalised as above.
std::vector<std::string> TablesRead(std::string_view select);

}  // namespace vrekcli
