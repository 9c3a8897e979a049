#include "repair.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "UpVrek.h"
#include "batch_decorators.h"
#include "frmUpVrekMain.h"
#include "halfdone.h"
#include "headless_upgrade.h"
#include "json_text.h"
#include "platform/headless_gui.h"

namespace vrekcli {

namespace {

struct Outcome {
  bool connected = false;
  std::vector<upgrade::HalfDoneBlock> found;
  std::vector<std::string> refused;  // lines naming what was left as it is
  std::optional<std::string> done, error;
  bool end_check_listed = true;  // a plan lists the reads of the check before the end
};

using FoundHook = std::function<void(const std::vector<upgrade::HalfDoneBlock>&,
                                     const std::vector<upgrade::Statement>&)>;

// Over the connection the upgrade program makes through `driver`: the half-done check, the
// statements that complete what can be completed (TUpVrekMain::Repair), then one click on
// "开始升级" whose own check at the start is this one (so it reads nothing more) and whose
// offers of a repair are answered No: what is left half-done then is what was refused. In a plan,
// the check before the end is listed only when nothing but reads was planned (cli.cpp).
Outcome RepairOver(platform::Driver& driver, std::ostream& err, const FoundHook& found_hook,
                   const PlanDriver* plan = nullptr) {
  Outcome outcome;
  HeadlessUpgrade session(driver, err);
  if (!session.Connected()) return outcome;
  outcome.connected = true;
  TUpVrekMain form(session.App());
  std::vector<upgrade::HalfDoneBlock> left;  // the refused blocks, which the repair leaves
  try {
    form.TakeUpgradeLock();
    outcome.found = upgrade::FindHalfDone(form.qrTmp);
    std::vector<upgrade::Statement> statements;
    for (const upgrade::HalfDoneBlock& b : outcome.found) {
      statements.insert(statements.end(), b.repair.begin(), b.repair.end());
      if (!b.refusals.empty()) left.push_back(b);
    }
    if (found_hook) found_hook(outcome.found, statements);
    outcome.refused = form.Repair(outcome.found);
  } catch (const std::exception& e) {
    outcome.error = e.what();
    return outcome;
  }
  form.FindHalfDone = [&left, &outcome, plan](platform::TQuery& query, bool at_end) {
    if (!at_end) return left;
    if (plan)
      for (const PlannedBatch& b : plan->Batches())
        if (b.kind == PlannedBatch::Kind::Execute) outcome.end_check_listed = false;
    return outcome.end_check_listed ? upgrade::FindHalfDone(query) : left;
  };
  const HeadlessUpgrade::Ended ended = session.ClickStart(form);
  outcome.done = ended.done;
  outcome.error = ended.error;
  if (!outcome.error && !outcome.done && outcome.refused.empty())
    outcome.error = TUpVrekMain::HalfDoneText("升级未完成：", form.HalfDoneAtEnd);
  return outcome;
}

// What the run's probes see once the statements are through: the plan answers them so.
void AnswerProbes(PlanDriver& plan, const std::vector<upgrade::Statement>& statements) {
  using upgrade::BatchText;
  using upgrade::Change;
  using upgrade::ProbeLines;
  for (const upgrade::Statement& s : statements) {
    for (const Change& c : s.changes) {
      switch (c.kind) {
        case Change::Kind::CreateTable:
          plan.Answer(BatchText(ProbeLines(upgrade::Table(c.table))), true);
          for (const upgrade::ColumnDef& col : upgrade::CreatedColumns(s))
            plan.Answer(BatchText(ProbeLines(upgrade::Column(c.table, col.name))), true);
          break;
        case Change::Kind::DropTable:
          plan.Answer(BatchText(ProbeLines(upgrade::Table(c.table))), false);
          break;
        case Change::Kind::AddColumn:
          plan.Answer(BatchText(ProbeLines(upgrade::Column(c.table, c.name))), true);
          break;
        case Change::Kind::AddPrimaryKey:
          plan.Answer(BatchText(ProbeLines(upgrade::Table(c.name))), true);
          break;
        case Change::Kind::CreateIndex:
          plan.Answer(BatchText(ProbeLines(upgrade::Index(c.name))), true);
          break;
        case Change::Kind::FillColumn:
        case Change::Kind::InsertRows:
          break;
      }
    }
  }
}

void PrintFound(const std::vector<upgrade::HalfDoneBlock>& found, std::ostream& out) {
  const std::vector<std::string> lines = upgrade::DescribeHalfDone(found);
  if (lines.empty()) {
    out << "没有未完成的升级。\n";
    return;
  }
  out << "上次升级未完成：\n";
  for (const std::string& line : lines) out << "  " << line << '\n';
}

// The end of a repair or its plan, on standard error, and the exit status.
int Finish(const Outcome& outcome, std::ostream& err) {
  if (outcome.error) {
    err << *outcome.error << '\n';
    return 1;
  }
  if (!outcome.refused.empty()) {
    err << "以下未完成的部分不能安全修复，未作改动，数据库仍未升级完成：\n";
    for (const std::string& line : outcome.refused) err << "  " << line << '\n';
    return 1;
  }
  return 0;
}

}  // namespace

int Repair(platform::Driver& driver, bool plan, bool batches_only, std::ostream& out,
           std::ostream& err, const RunLimits& limits) {
  if (!plan) {
    EchoDriver echo(driver, [&out](std::size_t number, std::string_view batch) {
      out << BatchHeader(number) << '\n' << batch << '\n' << std::flush;
    });
    GuardDriver guard(echo, limits, true);
    const Outcome outcome =
        RepairOver(guard, err,
                   [&out](const std::vector<upgrade::HalfDoneBlock>& found,
                          const std::vector<upgrade::Statement>&) { PrintFound(found, out); });
    if (!outcome.connected) {
      err << kConnectFailed << '\n';
      return 2;
    }
    const int status = Finish(outcome, err);
    if (status == 0) out << outcome.done.value_or("") << '\n';
    out << std::flush;
    return guard.ExitStatus(status);
  }

  PlanDriver planned(driver);
  GuardDriver guard(planned, limits, false);
  const Outcome outcome = RepairOver(
      guard, err,
      [&planned](const std::vector<upgrade::HalfDoneBlock>&,
                 const std::vector<upgrade::Statement>& statements) {
        AnswerProbes(planned, statements);
      },
      &planned);
  if (!outcome.connected) {
    err << kConnectFailed << '\n';
    return 2;
  }
  const std::vector<PlannedBatch>& batches = planned.Batches();
  if (batches_only) {
    for (const PlannedBatch& b : batches) out << JsonBatchLine(b.text) << '\n';
  } else {
    out << "修复计划（只读取，不改变数据库）：\n";
    PrintFound(outcome.found, out);
    if (guard.Refused())
      out << "计划未完成：以下只是停止之前的 " << batches.size() << " 批\n";
    else if (outcome.error)
      out << "修复将在第 " << batches.size() << " 批之后停止：\n" << *outcome.error << '\n';
    if (!outcome.end_check_listed)
      out << "修复结束前将再次检查未完成的部分（只读取；所读取的内容取决于修复后的数据库，"
             "不在下列语句中）\n";
    out << "修复将发送以下 " << batches.size() << " 批：\n";
    for (std::size_t i = 0; i < batches.size(); ++i)
      out << BatchHeader(i + 1) << '\n' << batches[i].text << '\n';
  }
  out << std::flush;
  return guard.ExitStatus(Finish(outcome, err));
}

}  // namespace vrekcli
