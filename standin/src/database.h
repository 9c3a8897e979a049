// The database's shared state and the batch runner, shared by database.cpp and dump.cpp.
#pragma once

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
  std::function<DateTime()> clock;
  ServerState server;

  // Runs a batch: parse, compile, then execute statement by statement. Caller holds `mutex`.
  BatchOutcome Run(SessionState& session, std::string_view text);
};

// The whole catalog as a script of GO-separated batches.
std::string DumpCatalog(const Catalog& catalog);
// Splits a script at lines holding only GO.
std::vector<std::string> SplitScript(std::string_view script);

}  // namespace standin
