// An upgrade run against the in-process stand-in engine: a database loaded from a fixture script,
// the upgrade window over it, and helpers to read what the database holds.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "files.h"
#include "frmUpVrekMain.h"
#include "platform/headless_gui.h"
#include "platform/standin_driver.h"
#include "process.h"
#include "standin/engine.h"
#include "transcripts.h"

using vrektest::FixturePath;
using vrektest::ReadFixture;

// Each value as text (trailing blanks of char data removed), NULL as "NULL".
using Table = std::vector<std::vector<std::string>>;

struct RunResult {
  Transcript sent;  // every batch of the run, in order
  std::vector<platform::ShownMessageBox> shown;
  bool start_enabled = false;  // btUp after the run
  // What the checks found half-done (upgrade::DescribeHalfDone): at the start, before the end.
  std::vector<std::string> half_done_at_start, half_done_at_end;
};

class Upgrade {
 public:
  explicit Upgrade(const std::string& script);
  // One program run: a new window, a click on "开始升级"; boxes answered by `answer` when set,
  // else with their default button.
  RunResult Run();
  // The reads of the half-done check (upgrade::FindHalfDone) on the database as it is now: what
  // a run sends at its start, or before its end. Sent in a session of its own, like Select.
  Transcript CheckReads();
  // A select in a session of its own; Run clears the log first, so it never shows in a transcript.
  Table Select(const std::string& sql);
  // The asset names as the upgrade reads them for the initials: untrimmed, NULL as "".
  std::vector<std::string> AssetNames();
  bool Exists(const std::string& object);
  void Exec(const std::string& sql);  // throws on any error

  standin::Database db;
  // Sessions of the upgrade start with these batches (for instance a SET of the date format).
  std::vector<std::string> session_setup;
  // Runs with the window's own initials function instead of the spy.
  bool use_library_pinyin = false;
  std::function<platform::MsgResult(const platform::ShownMessageBox&)> answer;
  // Called with each batch of a run just before it reaches the database: what another client
  // does meanwhile (in sessions of its own, as Exec).
  std::function<void(std::string_view batch)> before_batch;

 private:
  class SetupDriver;
  std::unique_ptr<platform::Driver> driver_;
  std::unique_ptr<platform::TDatabase> vrek_;
};

extern const platform::ShownMessageBox kDoneBox;
// An answer to the boxes of a run that declines every offer of a repair (No), so that the run
// sends the steps as they are.
platform::MsgResult DeclineRepair(const platform::ShownMessageBox& box);
platform::ShownMessageBox ErrorBox(const std::string& text);

// What `upvrek-cli run` prints on standard error for the fixture partly_upgraded.sql, whose
// half-done work the steps leave as it is: the check at the start, the check before the end and
// the advice to repair.
extern const char kPartlyUpgradedRunErr[];

// The batches of that many upgrade runs of the old-register fixture in-process, with the real
// pinyin library; when failing_batch is given, that batch (counted over all runs) fails without
// executing, as the listener's --fail and --drop make it.
Transcript InProcess(int runs, std::size_t failing_batch = 0);

// sqlstandin serving the old-register fixture, logging every batch to log_path, with the extra
// options given. Never null; started() says whether it became ready.
std::unique_ptr<vrektest::Standin> StartListener(const std::string& log_path,
                                                 const std::vector<std::string>& options);
