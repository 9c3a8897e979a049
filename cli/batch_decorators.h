// Decorators of the database seam for the command-line program: one that reports every batch as
// it goes to the server, and one that plans a run without changing anything.
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

// One batch of a planned run, in the order the run would send it.
struct PlannedBatch {
  enum class Kind { Execute, Open };
  Kind kind = Kind::Execute;
  std::string text;
  // Open only: whether the select went to the server (otherwise it was answered empty because
  // it reads a table the plan creates), and how many rows it returned.
  bool asked_server = false;
  std::size_t rows = 0;
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
// What a plan cannot foresee is a statement that the server would refuse (it is never sent),
// and changes that other clients make between the plan and the run.
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
  std::optional<bool> lock_free_;
  std::vector<upgrade::OtherSession> others_when_held_;
};

// The tables a batch creates: each name that follows "create table" outside quoted text, lower
// case, without brackets or an owner prefix ("dbo.").
std::vector<std::string> TablesCreated(std::string_view batch);
// The tables a select reads: each name that follows "from" or "join" outside quoted text, in
// subqueries too, normalised as above.
std::vector<std::string> TablesRead(std::string_view select);

}  // namespace vrekcli
