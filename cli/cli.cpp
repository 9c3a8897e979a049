#include "cli.h"

#include <iostream>
#include <optional>

#include "UpVrek.h"
#include "batch_decorators.h"
#include "dmToolsData.h"
#include "encode.h"
#include "frmUpVrekMain.h"
#include "json_text.h"
#include "plan_report.h"
#include "platform/headless_gui.h"
#include "platform/registry.h"
#include "repair.h"
#include "unTools.h"
#include "vrek_version.h"

namespace vrekcli {

namespace {

const char kConnectFailed[] = "数据库连接失败，请检查通信参数或服务器状态！";
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
    "  --version        显示版本号\n";

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

// How a run over `driver` ended: the completion message, or the error that stopped it.
struct Outcome {
  bool connected = false;
  std::optional<std::string> done, error;
};

// One click on "开始升级" over the connection the upgrade program makes (the same data module,
// settings and credentials) through `driver`; the boxes the window shows become the outcome.
Outcome Upgrade(platform::Driver& driver) {
  Outcome outcome;
  platform::HeadlessGui gui;
  platform::TApplication app(gui);
  app.Title = kApplicationTitle;
  try {
    app.CreateForm<TdbToolsMain>(app, driver, [] { return platform::CreateRegistry(); });
  } catch (const std::exception&) {
    return outcome;
  }
  if (ConnectMessage != "OK") return outcome;
  outcome.connected = true;
  gui.ClearShown();
  TUpVrekMain form(app);
  app.Click(form.btUp);
  for (const platform::ShownMessageBox& box : gui.Shown()) {
    if (box.icon == platform::MsgIcon::Error)
      outcome.error = box.text;
    else
      outcome.done = box.text;
  }
  return outcome;
}

std::string Header(std::size_t number) { return "-- 批 " + std::to_string(number); }

int Run(platform::Driver& driver, std::ostream& out, std::ostream& err) {
  EchoDriver echo(driver, [&out](std::size_t number, std::string_view batch) {
    out << Header(number) << '\n' << batch << '\n' << std::flush;
  });
  const Outcome outcome = Upgrade(echo);
  if (!outcome.connected) {
    err << kConnectFailed << '\n';
    return 2;
  }
  if (outcome.error) {
    err << *outcome.error << '\n';
    return 1;
  }
  out << outcome.done.value_or("") << '\n';
  return 0;
}

int Plan(platform::Driver& driver, bool batches_only, std::ostream& out, std::ostream& err) {
  PlanDriver plan(driver);
  const Outcome outcome = Upgrade(plan);
  if (!outcome.connected) {
    err << kConnectFailed << '\n';
    return 2;
  }
  const std::vector<PlannedBatch>& batches = plan.Batches();
  if (batches_only) {
    for (const PlannedBatch& b : batches) out << JsonBatchLine(b.text) << '\n';
  } else {
    out << "升级计划（只读取，不改变数据库）：\n";
    for (const std::string& line : ExplainPlan(batches)) out << "  " << line << '\n';
    if (outcome.error)
      out << "  升级将在第 " << batches.size() << " 批之后停止：\n" << *outcome.error << '\n';
    out << "开始升级将发送以下 " << batches.size() << " 批：\n";
    for (std::size_t i = 0; i < batches.size(); ++i)
      out << Header(i + 1) << '\n' << batches[i].text << '\n';
  }
  out << std::flush;
  if (outcome.error) {
    err << *outcome.error << '\n';
    return 1;
  }
  return 0;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, const DriverFactory& make_driver,
           std::ostream& out, std::ostream& err) {
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
  } catch (const std::exception&) {
    err << kConnectFailed << '\n';
    return 2;
  }
  if (run) return Run(*driver, out, err);
  if (repair) return Repair(*driver, args.size() >= 2, args.size() == 3, out, err);
  return Plan(*driver, args.size() == 2, out, err);
}

}  // namespace vrekcli
