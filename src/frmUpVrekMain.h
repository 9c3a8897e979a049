// The upgrade window: release notes, "开始升级" and "退出", and the upgrade it runs.
//
// btUpClick first takes the lock of one upgrade at a time (upgrade_lock.h); refused, it fails at
// once with upgrade::kLockBusy, having read and changed nothing. Then it runs the ledger bootstrap
// and then the steps in their fixed order, each sent from its table (upgrade_table.h), which says
// how blocks are guarded. A repeated run sends nothing but probes and mark lookups. What a block or
// step leaves undone after a failure stays undone by the steps; the run looks for it (halfdone.h,
// selects only) before it sends anything else and again before the completion message:
//   - at the start, when something is half-done, one box (caption "提示信息", question icon, Yes
//     and No, Yes the default) lists it and asks "是否立即修复？". Yes completes it (Repair) and
//     then runs the steps; No runs the steps as they are.
//   - before the end, when the database is still unfinished, the same kind of box replaces the
//     completion message. Yes completes it, runs the steps once more and checks again: only a
//     finished database gets the completion message, anything else ends as a failed run. No ends
//     the run without a message, btUp enabled again.
// A repair that refuses something (halfdone.h) completes the rest and then fails the run.
// Errors are not caught here: they leave btUpClick and reach the application's top-level handler,
// and btUp stays disabled.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "halfdone.h"
#include "platform/database.h"
#include "platform/gui.h"
#include "upgrade_lock.h"
#include "upgrade_table.h"

// The pinyin library's entry point. *initials holds the previous result or NULL; the call frees
// it with free() and stores a new malloc'ed NUL-terminated result, which the caller frees last.
using TGetPinYinFirstChar = void (*)(const char* text, size_t length, char** initials);
// Releases the last result, as free() does; the pair is replaced together in tests.
using TFreePinYinText = void (*)(char* initials);

// An error of the upgrade itself (not of the server), shown to the user as its text.
class EUpgradeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class TUpVrekMain : public platform::TForm {
 public:
  using Lines = std::vector<std::string>;

  explicit TUpVrekMain(platform::TApplication& application);

  platform::TLabel Label1, Label2, Label3;
  platform::TButton btUp, btExit;
  platform::TQuery qrTmp, qrTmp1;

  // The initials function of the asset-name step; GetPinYinFirstChar of the pinyin library
  // unless replaced (tests count calls and allocations through it).
  TGetPinYinFirstChar GetPinYin;
  TFreePinYinText FreePinYin;

  // What the checks of the last run found: at its start, and before its end (the last check).
  std::vector<upgrade::HalfDoneBlock> HalfDoneAtStart, HalfDoneAtEnd;
  // The check itself; upgrade::FindHalfDone unless replaced (a plan predicts the second check).
  std::function<std::vector<upgrade::HalfDoneBlock>(platform::TQuery& query, bool at_end)>
      FindHalfDone;

  // Called once the upgrade lock is taken, before anything else is sent (upvrek-cli warns about
  // other connections from here); nothing by default.
  std::function<void(platform::TQuery& query)> LockTaken;
  // Whether this window's connection holds the upgrade lock.
  bool UpgradeLockHeld = false;

  void btUpClick(platform::TObject* Sender);
  // Takes the upgrade lock on qrTmp unless the connection holds it already; throws
  // EUpgradeError(upgrade::kLockBusy) when another connection has it.
  void TakeUpgradeLock();
  void btExitClick(platform::TObject* Sender);

  // One batch: clear the lines, add these, execute, close.
  void RunSql(platform::TQuery& query, const Lines& lines);
  // Opens the select and tells whether it returned no row; the query is closed again.
  bool ProbeAbsent(platform::TQuery& query, const Lines& lines);

  // Catalog probes on qrTmp. Names are matched by name alone, whatever the object's type or
  // owner; an index is looked for among the indexes of all tables.
  bool TableAbsent(std::string_view table);
  bool ColumnAbsent(std::string_view column, std::string_view table);
  bool IndexAbsent(std::string_view index);

  // Creates ver_manage when no object of that name exists.
  void CreateLedger();
  // Sends the blocks of the step in order, each when its guard lets it run.
  void RunStep(const upgrade::Step& step);
  // Sends the block's statements when its guard lets it (recording its mark, if it has one) and
  // tells whether it did.
  bool RunBlock(const upgrade::Block& block);
  // True when the mark was not in ver_manage and has now been recorded; false when it was.
  // `before_record` runs between the lookup and the insert, and stops both when it throws.
  bool CheckVerSign(const std::string& mark, const std::function<void()>& before_record = nullptr);
  // Sends the block's checks and judges their rows; throws EUpgradeError naming every problem
  // found, before anything of the block has been changed.
  void RunChecks(const upgrade::Block& block);
  // Sends the statements in order, each as a block of the steps sends it; a failing one stops
  // them with its error.
  void SendStatements(const std::vector<upgrade::Statement>& statements);
  // The ledger and the steps, in order.
  void RunSteps();
  // Sends what completes every finding that can be completed, in order, and returns the lines
  // naming what cannot be ("block title：why"), which is left as it is.
  std::vector<std::string> Repair(const std::vector<upgrade::HalfDoneBlock>& found);
  // The text of a box that offers the repair: `head` ("上次升级未完成：" or "升级未完成："), the
  // first ten lines of upgrade::DescribeHalfDone, a count line "……另有 N 项" when there are more,
  // and "是否立即修复？".
  static std::string HalfDoneText(const std::string& head,
                                  const std::vector<upgrade::HalfDoneBlock>& found);

  void DO_2005Before();
  void DO_2005();
  void DO_20110520();
  void DO_20110623();
  void DO_20121106();

 private:
  // True when the guarded block is to run: its object is absent, or its mark was absent and is
  // now recorded.
  bool GuardOpen(const upgrade::Guard& guard);
  void Send(const upgrade::Statement& statement);
  // Opens the select on qrTmp and uses its rows as the statement says. Checking persons throws
  // EUpgradeError naming those the re-keying cannot carry, after the query is closed.
  void SendRead(const upgrade::Statement& read);
  // One insert into lib_peopletmp per person of the open query, on qrTmp1; remembers what it
  // copied for ProvePeople.
  void CopyPeople(platform::TQuery& people);
  // Throws EUpgradeError when the persons of the open query are not the ones the last
  // CopyPeople copied (a person added, removed or changed since), so that lib_people is never
  // dropped while its copy lacks something.
  void ProvePeople(platform::TQuery& people);
  // One insert into lib_vrek_name per name of the open query with its initials, on qrTmp1.
  void InsertNames(platform::TQuery& names);

  // Shows the box of HalfDoneText(head, found) and tells whether the answer was Yes.
  bool OfferRepair(const std::string& head, const std::vector<upgrade::HalfDoneBlock>& found);
  // Repair, failing the run with EUpgradeError when something is refused.
  void RepairOrFail(const std::vector<upgrade::HalfDoneBlock>& found);

  platform::TApplication& application_;
  // What the last CopyPeople copied: how many persons, and the sum of their hashes.
  std::optional<std::pair<std::size_t, std::uint64_t>> copied_people_;
};
