#include "cli.h"

#include <algorithm>
#include <functional>
#include <iostream>
#include <optional>

#include "UpVrek.h"
#include "batch_decorators.h"
#include "encode.h"
#include "frmUpVrekMain.h"
#include "halfdone.h"
#include "headless_upgrade.h"
#include "json_text.h"
#include "plan_report.h"
#include "platform/headless_gui.h"
#include "repair.h"
#include "upgrade_lock.h"
#include "vrek_version.h"

namespace vrekcli {

namespace {

const char kUsage[] =
    "用法：upvrek-cli run | plan [--batches] | repair [--plan [--batches]] | encode | --version\n"
    "  run              执行升级，逐批显示发送的语句\n"
    "  plan             不改变数据库，说明将执行哪些步骤及原因，并列出升级将发送的语句\n"
    "  plan --batches   只列出这些语句，每行一个 JSON 对象\n"
    "  repair           补全上次中断的升级留下的未完成部分，然后执行升级\n"
    "  repair --plan    不改变数据库，说明哪些部分未完成及原因，并列出修复将发送的语句\n"
    "  repair --plan --batches   只列出这些语句，每行一个 JSON 对象\n"
    "  encode           从标准输入读一行文字（不回显），输出设置中 USERNAME、PASSWORD "
    "所用的数字编码\n"
    "  --version        显示版本号\n"
    "run、plan、repair 还接受 --timeout "
    "秒数：每批语句最多等待服务器这么多秒，超时则取消该批并停止\n";

// The longest batch timeout accepted: a day.
constexpr int kMaxTimeoutSeconds = 86400;

// Takes "--timeout N" out of the options of run, plan and repair, wherever it stands after the
// command, into *seconds. What is wrong with it, one line, or "".
std::string TakeTimeout(std::vector<std::string>& args, int* seconds) {
  if (args.empty() || (args[0] != "run" && args[0] != "plan" && args[0] != "repair")) return "";
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] != "--timeout") continue;
    if (*seconds != 0) return "--timeout 只能给一次。";
    if (i + 1 == args.size()) return "--timeout 后缺少秒数。";
    const std::string& value = args[i + 1];
    const bool digits = !value.empty() && value.size() <= 5 &&
                        value.find_first_not_of("0123456789") == std::string::npos;
    const int n = digits ? std::stoi(value) : 0;
    if (n < 1 || n > kMaxTimeoutSeconds)
      return "--timeout 的值“" + value + "”无效，应为 1 到 " + std::to_string(kMaxTimeoutSeconds) +
             " 之间的整数秒数。";
    *seconds = n;
    args.erase(args.begin() + static_cast<long>(i), args.begin() + static_cast<long>(i) + 2);
    --i;
  }
  return "";
}

// What is wrong with a command line the program does not understand, one line.
std::string CommandLineError(const std::vector<std::string>& args) {
  if (args.empty()) return "缺少命令。";
  const std::string& command = args[0];
  if (command != "run" && command != "plan" && command != "repair" && command != "encode" &&
      command != "--version")
    return "未知的命令“" + command + "”。";
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (command == "plan" && i == 1 && args[i] == "--batches") continue;
    if (command == "repair" && i == 1 && args[i] == "--plan") continue;
    if (command == "repair" && i == 2 && args[1] == "--plan" && args[i] == "--batches") continue;
    return command + " 不接受“" + args[i] + "”。";
  }
  return "";
}

const char kRunRepair[] = "数据库未升级完成，请运行 upvrek-cli repair 修复。";

// How a run over `driver` ended: the completion message, the error that stopped it, or neither
// when the run ended unfinished; and what its checks found half-done.
struct Outcome {
  bool connected = false;
  std::optional<std::string> done, error;
  std::vector<upgrade::HalfDoneBlock> at_start, at_end;
};

// One click on "开始升级" over the connection the upgrade program makes (the same data module,
// settings and credentials) through `driver`, answering No where it offers a repair: `run` runs
// the steps as they are and leaves repairing to `repair`. The boxes the window shows become the
// outcome. `prepare` may change the window before the click.
Outcome Upgrade(platform::Driver& driver, std::ostream& err,
                const std::function<void(TUpVrekMain&)>& prepare = nullptr) {
  Outcome outcome;
  HeadlessUpgrade session(driver, err);
  if (!session.Connected()) return outcome;
  outcome.connected = true;
  TUpVrekMain form(session.App());
  if (prepare) prepare(form);
  const HeadlessUpgrade::Ended ended = session.ClickStart(form);
  outcome.done = ended.done;
  outcome.error = ended.error;
  outcome.at_start = form.HalfDoneAtStart;
  outcome.at_end = form.HalfDoneAtEnd;
  return outcome;
}

void PrintHalfDone(const char* head, const std::vector<upgrade::HalfDoneBlock>& found,
                   std::ostream& out) {
  out << head << '\n';
  for (const std::string& line : upgrade::DescribeHalfDone(found)) out << "  " << line << '\n';
}

// The end of a run or its plan on standard error, and the exit status: what the check at the
// start found half-done, then the error that stopped the run, or what the check before the end
// found and the advice to repair.
int Finish(const Outcome& outcome, std::ostream& err) {
  if (!outcome.at_start.empty()) PrintHalfDone("上次升级未完成：", outcome.at_start, err);
  if (outcome.error) {
    err << *outcome.error << '\n';
    return 1;
  }
  if (!outcome.done) {
    PrintHalfDone("升级未完成：", outcome.at_end, err);
    err << kRunRepair << '\n';
    return 1;
  }
  return 0;
}

int Run(platform::Driver& driver, const RunLimits& limits, std::ostream& out, std::ostream& err) {
  EchoDriver echo(driver, [&out](std::size_t number, std::string_view batch) {
    out << BatchHeader(number) << '\n' << batch << '\n' << std::flush;
  });
  GuardDriver guard(echo, limits, true);
  // Other connections are named once the lock is taken; they do not stop the run.
  const Outcome outcome = Upgrade(guard, err, [&err](TUpVrekMain& form) {
    form.LockTaken = [&err](platform::TQuery& query) {
      for (const std::string& line :
           upgrade::DescribeOtherSessions(upgrade::ReadOtherSessions(query)))
        err << line << '\n';
      err << std::flush;
    };
  });
  if (!outcome.connected) {
    err << kConnectFailed << '\n';
    return 2;
  }
  const int status = Finish(outcome, err);
  if (status == 0) out << *outcome.done << '\n';
  return guard.ExitStatus(status);
}

int Plan(platform::Driver& driver, bool batches_only, const RunLimits& limits, std::ostream& out,
         std::ostream& err) {
  PlanDriver plan(driver);
  GuardDriver guard(plan, limits, false);
  // The check before the end reads the database the run leaves, which the plan cannot read. When
  // the run sends nothing but reads, that is the database now, read as the run would; otherwise
  // the plan foresees what the check finds (what the start found, the steps completing nothing
  // half-done) and leaves its reads out of the listed batches.
  bool end_check_listed = true;
  std::size_t check_from = 0, steps_from = 0, steps_to = 0;
  std::vector<upgrade::HalfDoneBlock> found_at_start;
  std::vector<upgrade::OtherSession> others;
  const Outcome outcome = Upgrade(guard, err, [&](TUpVrekMain& form) {
    form.LockTaken = [&](platform::TQuery& query) { others = upgrade::ReadOtherSessions(query); };
    form.FindHalfDone = [&](platform::TQuery& query, bool at_end) {
      if (!at_end) {
        check_from = plan.Batches().size();
        found_at_start = upgrade::FindHalfDone(query);
        steps_from = plan.Batches().size();
        return found_at_start;
      }
      steps_to = plan.Batches().size();
      for (const PlannedBatch& b : plan.Batches())
        if (b.kind == PlannedBatch::Kind::Execute) end_check_listed = false;
      return end_check_listed ? upgrade::FindHalfDone(query) : found_at_start;
    };
  });
  if (!outcome.connected) {
    err << kConnectFailed << '\n';
    return 2;
  }
  const std::vector<PlannedBatch>& batches = plan.Batches();
  if (steps_to == 0) steps_to = batches.size();  // the run stops before the end
  // Where the run stops: at a batch the server refuses, or after a select whose rows the program
  // refuses (error number 0).
  std::optional<ForeseenError> stop;
  if (outcome.error && !batches.empty() && !guard.Refused())
    stop = batches.back().error ? *batches.back().error : ForeseenError{0, *outcome.error};
  if (batches_only) {
    for (std::size_t i = 0; i < batches.size(); ++i)
      out << JsonBatchLine(batches[i].text, i + 1 == batches.size() && stop ? &*stop : nullptr)
          << '\n';
  } else {
    out << "升级计划（只读取，不改变数据库）：\n";
    if (plan.LockFree())
      out << (*plan.LockFree() ? "  升级锁：空闲，升级开始时取得，程序结束时释放\n"
                               : std::string("  升级锁：已被占用。") + upgrade::kLockBusy + "\n");
    for (const std::string& line : upgrade::DescribeOtherSessions(
             plan.LockFree().value_or(true) ? others : plan.OthersWhenHeld()))
      out << "  " << line << '\n';
    // Refused the lock, the run stops before its check: there is nothing to explain.
    if (plan.LockFree().value_or(true)) {
      out << "  检查未完成的部分（" << std::min(steps_from, batches.size()) - check_from
          << " 批查询）：";
      if (outcome.at_start.empty()) {
        out << "没有未完成的部分\n";
      } else {
        out << "上次升级未完成：\n";
        for (const std::string& line : upgrade::DescribeHalfDone(outcome.at_start))
          out << "    " << line << '\n';
        out << "  升级不会修复这些部分；upvrek-cli repair 将先发送以下语句补全，再执行升级：\n";
        for (const upgrade::HalfDoneBlock& b : outcome.at_start)
          for (const upgrade::Statement& s : b.repair) out << upgrade::BatchText(s.lines) << '\n';
      }
      const std::vector<PlannedBatch> steps(
          batches.begin() + static_cast<long>(std::min(steps_from, batches.size())),
          batches.begin() + static_cast<long>(steps_to));
      for (const std::string& line : ExplainPlan(steps)) out << "  " << line << '\n';
    }
    if (guard.Refused()) {
      out << "  计划未完成：以下只是停止之前的 " << batches.size() << " 批\n";
    } else if (stop) {
      if (stop->number == 0)
        out << "  升级将在第 " << batches.size() << " 批之后停止：\n" << stop->message << '\n';
      else
        out << "  升级将在第 " << batches.size() << " 批停止：服务器将拒绝这一批（错误 "
            << stop->number << "）：\n"
            << stop->message << '\n';
      for (const std::string& line : ExplainStop(batches, *stop)) out << "  " << line << '\n';
    } else if (outcome.error) {
      out << "  升级将在第 " << batches.size() << " 批之后停止：\n" << *outcome.error << '\n';
    } else {
      if (end_check_listed)
        out << "  升级结束前再次检查未完成的部分（" << batches.size() - steps_to << " 批查询）\n";
      else
        out << "  升级结束前再次检查未完成的部分（只读取；所读取的内容取决于升级后的数据库，"
               "不在下列语句中）\n";
      if (!outcome.done) out << "  升级将以“升级未完成”结束，请运行 upvrek-cli repair\n";
    }
    out << "开始升级将发送以下 " << batches.size() << " 批：\n";
    for (std::size_t i = 0; i < batches.size(); ++i)
      out << BatchHeader(i + 1) << '\n' << batches[i].text << '\n';
  }
  out << std::flush;
  return guard.ExitStatus(Finish(outcome, err));
}

}  // namespace

int RunCli(std::vector<std::string> args, const DriverFactory& make_driver, std::ostream& out,
           std::ostream& err, const std::function<int()>& stop_signal) {
  RunLimits limits{stop_signal, 0};
  if (const std::string wrong = TakeTimeout(args, &limits.timeout_seconds); !wrong.empty()) {
    err << wrong << '\n' << kUsage;
    return 64;
  }
  if (args.size() == 1 && args[0] == "--version") {
    out << VREK_VERSION "\n";
    return 0;
  }
  const bool run = args.size() == 1 && args[0] == "run";
  const bool plan = !args.empty() && args[0] == "plan" &&
                    (args.size() == 1 || (args.size() == 2 && args[1] == "--batches"));
  const bool repair = !args.empty() && args[0] == "repair" &&
                      (args.size() == 1 || (args.size() == 2 && args[1] == "--plan") ||
                       (args.size() == 3 && args[1] == "--plan" && args[2] == "--batches"));
  if (args.size() == 1 && args[0] == "encode") return Encode(std::cin, out, err);
  if (!run && !plan && !repair) {
    err << CommandLineError(args) << '\n' << kUsage;
    return 64;
  }
  std::unique_ptr<platform::Driver> driver;
  try {
    driver = make_driver();
    driver->SetBatchTimeout(limits.timeout_seconds);
  } catch (const std::exception&) {
    err << kConnectFailed << '\n';
    return 2;
  }
  if (run) return Run(*driver, limits, out, err);
  if (repair) return Repair(*driver, args.size() >= 2, args.size() == 3, out, err, limits);
  return Plan(*driver, args.size() == 2, limits, out, err);
}

}  // namespace vrekcli
