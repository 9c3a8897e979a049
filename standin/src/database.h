// The database's shared state and the batch runner, shared by database.cpp and dump.cpp.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>

#include "exec.h"
#include "standin/engine.h"

namespace standin {

struct Database::Impl {
  struct Fault {
    std::size_t seq = 0;  // 0: decided by `pick`
    BatchPredicate pick;
    int number = 0;
    std::string message;
  };

  std::string name;
  mutable std::mutex mutex;
  Catalog catalog;
  std::vector<LogEntry> log;
  std::size_t seq = 0;
  std::vector<Fault> faults;
  struct Hold {
    std::size_t seq = 0;  // 0: decided by `pick`
    BatchPredicate pick;
  };
  std::vector<Hold> holds;
  std::size_t held = 0;        // batches waiting now
  std::uint64_t releases = 0;  // ReleaseHeld calls so far
  std::condition_variable released;
  std::function<DateTime()> clock;
  ServerState server;

  // Runs a batch: parse, compile, then execute statement by statement, asking `cancelled` (when
  // given) before each statement. Caller holds `mutex`.
  BatchOutcome Run(SessionState& session, std::string_view text,
                   const Session::CancelCheck& cancelled = {});
  // Waits while a batch is held; false when its client cancelled it. Caller holds `lock`.
  bool WaitWhileHeld(std::unique_lock<std::mutex>& lock, const Session::CancelCheck& cancelled);
};

// The whole catalog as a script of GO-separated batches.
std::string DumpCatalog(const Catalog& catalog);
// Splits a script at lines holding only GO.
std::vector<std::string> SplitScript(std::string_view script);

}  // namespace standin
