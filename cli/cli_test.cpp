// upvrek-cli over the in-process stand-in engine. The engine's own log is the record of what
// reached the server: a plan must send nothing but selects and change nothing, and its batches
// must be exactly the ones the run that follows it sends.
#include "cli.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "encode.h"
#include "files.h"
#include "foresight.h"
#include "headless_upgrade.h"
#include "json_text.h"
#include "platform/standin_driver.h"
#include "settings.h"
#include "standin/engine.h"
#include "unTools.h"
#include "upgrade_fixture.h"

namespace {

using vrektest::DigitCoded;

// Remembers what it was asked to connect with; refuses when told to.
class RecordingDriver : public platform::Driver {
 public:
  RecordingDriver(standin::Database& db, std::vector<std::string>& seen, bool refuse)
      : inner_(db), seen_(seen), refuse_(refuse) {}
  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override {
    seen_ = {alias, user, password};
    if (refuse_)
      throw platform::EDatabaseError("Login failed for user '" + user + "' with '" + password + "'",
                                     18456);
    return inner_.Connect(alias, user, password);
  }
  void SetBatchTimeout(int seconds) override { inner_.SetBatchTimeout(seconds); }

 private:
  platform::StandinDriver inner_;
  std::vector<std::string>& seen_;
  bool refuse_;
};

struct CliRun {
  int status = -1;
  std::string out, err;
};

class Cli : public testing::Test {
 protected:
  void SetUp() override {
    settings_ = dir_.Write(
        "vrek.reg", vrektest::SettingsText(" VrekTest ", DigitCoded("sa"), DigitCoded(kPassword)));
    setenv("VREK_REGISTRY", settings_.c_str(), 1);
  }
  void TearDown() override { unsetenv("VREK_REGISTRY"); }

  void Load(const std::string& fixture) { db_->LoadScript(ReadFixture(fixture)); }
  void Exec(const std::string& sql) {
    standin::Session s(*db_);
    const standin::BatchOutcome out = s.Execute(sql);
    ASSERT_FALSE(out.Failed()) << out.FirstError()->text;
  }

  CliRun Invoke(const std::vector<std::string>& args,
                const std::function<int()>& stop_signal = nullptr) {
    std::ostringstream out, err;
    CliRun r;
    r.status = vrekcli::RunCli(
        args, [this] { return std::make_unique<RecordingDriver>(*db_, connected_with_, refuse_); },
        out, err, stop_signal);
    r.out = out.str();
    r.err = err.str();
    return r;
  }

  std::vector<std::string> Logged() {
    std::vector<std::string> texts;
    for (const auto& e : db_->Log()) texts.push_back(e.text);
    return texts;
  }

  // The plan of the database as it is, then a run: the plan sends only selects and changes
  // nothing, its JSON lines are the run's batches, its listing is the run's output, and the run's
  // output holds exactly the batches the server received. Returns the run.
  CliRun PlanThenRunAgree() {
    const std::string before = db_->DumpScript();
    db_->ClearLog();
    const CliRun json = Invoke({"plan", "--batches"});
    for (const std::string& text : Logged())
      EXPECT_EQ(text.rfind("select ", 0), 0u) << "the plan sent " << text;
    EXPECT_EQ(db_->DumpScript(), before) << "the plan changed the database";
    db_->ClearLog();
    const CliRun listing = Invoke({"plan"});
    EXPECT_EQ(db_->DumpScript(), before);

    db_->ClearLog();
    const CliRun run = Invoke({"run"});
    const std::vector<std::string> sent = Logged();
    // A plan that changes the database cannot read what the check before the end reads; it says
    // so and leaves those reads out. On these registers they are the check of an upgraded one.
    std::vector<std::string> planned = sent;
    if (listing.out.find("不在下列语句中") != std::string::npos) {
      const Transcript check = CheckOnUpgraded();
      EXPECT_GE(sent.size(), check.size());
      if (sent.size() >= check.size()) {
        EXPECT_EQ(Transcript(sent.end() - static_cast<long>(check.size()), sent.end()), check);
        planned.resize(sent.size() - check.size());
      }
    }
    // Where the run stops, the plan's last batch carries the error: the server's first, or 0 and
    // the program's message when the program stopped after that batch.
    std::optional<vrekcli::ForeseenError> stop;
    if (run.status == 1 && listing.out.find("  升级将在第 ") != std::string::npos) {
      const auto log = db_->Log();
      const standin::Message* e = log.empty() ? nullptr : log.back().outcome.FirstError();
      stop = e ? vrekcli::ForeseenError{e->number, e->text}
               : vrekcli::ForeseenError{0, run.err.substr(0, run.err.size() - 1)};
    }
    std::string expected_json, expected_echo, expected_listing;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      const std::string echo = "-- 批 " + std::to_string(i + 1) + "\n" + sent[i] + "\n";
      if (i < planned.size())
        expected_json +=
            vrekcli::JsonBatchLine(sent[i], stop && i + 1 == planned.size() ? &*stop : nullptr) +
            "\n";
      if (i < planned.size()) expected_listing += echo;
      expected_echo += echo;
    }
    EXPECT_EQ(json.out, expected_json);
    EXPECT_EQ(json.status, run.status);
    EXPECT_EQ(json.err, run.err);
    EXPECT_EQ(run.out.substr(0, expected_echo.size()), expected_echo);
    const std::size_t list_at =
        listing.out.find("开始升级将发送以下 " + std::to_string(planned.size()) + " 批：\n");
    EXPECT_NE(list_at, std::string::npos) << listing.out;
    if (list_at != std::string::npos) {
      EXPECT_EQ(listing.out.substr(listing.out.find('\n', list_at) + 1), expected_listing);
    }
    EXPECT_EQ(listing.status, run.status);
    EXPECT_EQ(connected_with_, (std::vector<std::string>{"VrekTest", "sa", kPassword}));
    last_plan_ = listing.out.substr(0, list_at);
    return run;
  }

  static constexpr const char* kPassword = "Se'cr3t 9";
  static constexpr const char* kDone = "升级已经完成，请更新所有的客户端程序Vrek.exe！\n";
  std::unique_ptr<standin::Database> db_ = std::make_unique<standin::Database>();
  vrektest::TempDir dir_;
  std::string settings_;
  std::vector<std::string> connected_with_;
  bool refuse_ = false;
  std::string last_plan_;
};

TEST_F(Cli, OldRegisterPlanIsTheRun) {
  Load("old_register.sql");
  const CliRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out.substr(run.out.size() - std::string(kDone).size()), kDone);
  EXPECT_EQ(
      last_plan_,
      "升级计划（只读取，不改变数据库）：\n"
      "  升级锁：空闲，升级开始时取得，程序结束时释放\n"
      "  检查未完成的部分（3 批查询）：没有未完成的部分\n"
      "  表 ver_manage 不存在：将执行版本台账的创建\n"
      "  列 lib_vrek.vr_dwhy 不存在：将执行报废原因列块（lib_vrek 增加 vr_dwhy）\n"
      "  列 lib_unit.un_unitpy 不存在：将执行计量单位字典块（重建 lib_unit 并写入27个标准单位）\n"
      "  表 lib_prtblank 不存在：将执行打印边距与人员编号块\n"
      "  检查表 lib_lsout 的列\n"
      "  检查表 lib_lsoutls 的列\n"
      "  检查表 lib_shenqing 的列\n"
      "  检查表 lib_pifu 的列\n"
      "  检查表 lib_people 的列\n"
      "  检查名称 PK_lib_prtblank：未被占用\n"
      "  检查名称 lib_peopletmp：未被占用\n"
      "  检查名称 PK_lib_people：未被占用\n"
      "  检查 lib_lsout.lo_useno 的人员编号：4 个不同的值\n"
      "  检查 lib_lsoutls.lo_useno 的人员编号：3 个不同的值\n"
      "  检查 lib_shenqing.sq_sno 的人员编号：3 个不同的值\n"
      "  检查 lib_pifu.pf_sno 的人员编号：2 个不同的值\n"
      "  检查人员：lib_people 有 10 名人员\n"
      "  复制人员：10 名人员将逐个写入 lib_peopletmp\n"
      "  核对人员：删除 lib_people 之前再读 10 名人员，与复制的人员相同才继续\n"
      "  表 lib_curtermno 不存在：将执行终端号表块\n"
      "  表 lib_vrekpandian 不存在：将执行固定资产盘点表块\n"
      "  表 lib_yhppandian 不存在：将执行低值易耗品盘点表块\n"
      "  表 lib_yhppandiantmp 不存在：将执行盘点临时表块\n"
      "  索引 PK_lib_liushui_barcode 不存在：将执行流水账条形码索引块\n"
      "  版本标记 ZZ20110520.DEPT 未记录（版本台账将新建）：将执行步骤 20110520（公司列）\n"
      "  检查表 lib_vrektmp 的列\n"
      "  检查表 lib_vrek 的列\n"
      "  检查表 lib_liushuitmp 的列\n"
      "  检查表 lib_liushui 的列\n"
      "  检查表 lib_liushuils 的列\n"
      "  版本标记 ZZ20110623.CHECK 未记录（版本台账将新建）：将执行步骤 20110623（检查字段字典）\n"
      "  检查名称 lib_check_field：未被占用\n"
      "  版本标记 ZZ20121106.CHECK 未记录（版本台账将新建）：将执行步骤 "
      "20121106（资产名称拼音首字母）\n"
      "  检查表 lib_vrek 的列\n"
      "  检查名称 lib_vrek_name：未被占用\n"
      "  检查资产名称：33 个不同名称\n"
      "  读取资产名称：33 个不同名称，将逐个写入 lib_vrek_name 及其拼音首字母\n"
      "  升级结束前再次检查未完成的部分（只读取；所读取的内容取决于升级后的数据库，不在下列语句中）"
      "\n");
}

// Half-done work that the steps do not complete: the plan names it and what repair would send;
// the run names it on standard error and ends unfinished.
TEST_F(Cli, PartlyUpgradedPlanIsTheRun) {
  Load("partly_upgraded.sql");
  const CliRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, kPartlyUpgradedRunErr);
  EXPECT_EQ(run.out.find("升级已经完成"), std::string::npos);
  EXPECT_EQ(
      last_plan_,
      "升级计划（只读取，不改变数据库）：\n"
      "  升级锁：空闲，升级开始时取得，程序结束时释放\n"
      "  检查未完成的部分（16 批查询）：上次升级未完成：\n"
      "    终端号表块：表 lib_curtermno 没有初始数据（应有 1 行）\n"
      "    步骤 20110520（公司列）：列 lib_vrek.vr_company 有 1 行为 NULL：填充它的更新未执行\n"
      "  升级不会修复这些部分；upvrek-cli repair 将先发送以下语句补全，再执行升级：\n"
      "insert into lib_curtermno values('','') \n"
      "update lib_vrek set vr_company=0 where vr_company is null\n"
      "  表 ver_manage 已存在：跳过版本台账的创建\n"
      "  列 lib_vrek.vr_dwhy 已存在：跳过报废原因列块（lib_vrek 增加 vr_dwhy）\n"
      "  列 lib_unit.un_unitpy 不存在：将执行计量单位字典块（重建 lib_unit 并写入27个标准单位）\n"
      "  表 lib_prtblank 已存在：跳过打印边距与人员编号块\n"
      "  表 lib_curtermno 已存在：跳过终端号表块\n"
      "  表 lib_vrekpandian 已存在：跳过固定资产盘点表块\n"
      "  表 lib_yhppandian 不存在：将执行低值易耗品盘点表块\n"
      "  表 lib_yhppandiantmp 已存在：跳过盘点临时表块\n"
      "  索引 PK_lib_liushui_barcode 不存在：将执行流水账条形码索引块\n"
      "  版本标记 ZZ20110520.DEPT 已记录：跳过步骤 20110520（公司列）\n"
      "  版本标记 ZZ20110623.CHECK 未记录：将执行步骤 20110623（检查字段字典）\n"
      "  检查名称 lib_check_field：未被占用\n"
      "  版本标记 ZZ20121106.CHECK 未记录：将执行步骤 20121106（资产名称拼音首字母）\n"
      "  检查表 lib_vrek 的列\n"
      "  检查名称 lib_vrek_name：未被占用\n"
      "  检查资产名称：5 个不同名称\n"
      "  读取资产名称：5 个不同名称，将逐个写入 lib_vrek_name 及其拼音首字母\n"
      "  升级结束前再次检查未完成的部分（只读取；所读取的内容取决于升级后的数据库，不在下列语句中）"
      "\n"
      "  升级将以“升级未完成”结束，请运行 upvrek-cli repair\n");
}

TEST_F(Cli, UpgradedPlanIsTheRunOfProbesAndLookupsOnly) {
  Load("old_register.sql");
  ASSERT_EQ(Invoke({"run"}).status, 0);
  const CliRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(Logged(),
            Lock() + OtherSessions() + CheckOnUpgraded() + UpgradedRun() + CheckOnUpgraded());
  EXPECT_EQ(run.out.substr(run.out.size() - std::string(kDone).size()), kDone);
}

TEST_F(Cli, RefusedPersonsStopPlanAndRunAtTheSameBatch) {
  Load("old_register.sql");
  Exec("update lib_people set pe_dept=NULL where pe_no=7");
  const CliRun run = PlanThenRunAgree();
  const std::string error =
      "人员数据无法转换为新的人员编号格式，升级已停止，人员数据未作任何改动。请修正以下人员后重新升"
      "级：\n"
      "人员编号 7：部门为空\n";
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, error);
  const std::vector<std::string> sent = Logged();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back(), "select * from lib_people");
  EXPECT_NE(last_plan_.find("  升级将在第 " + std::to_string(Logged().size()) + " 批之后停止：\n" +
                            error),
            std::string::npos)
      << last_plan_;
}

// Other connections are named by plan and run, which goes on; held by one of them, the lock
// makes the plan say so and the run stop at once.
TEST_F(Cli, OtherConnectionsAndTheLock) {
  Load("old_register.sql");
  standin::SessionInfo who;
  who.host = "PC-财务";
  who.program = "Vrek.exe";
  auto other = std::make_unique<standin::Session>(*db_, who);
  const std::string named =
      "注意：另有 1 个连接正在使用此数据库：\n  主机 PC-财务，程序 Vrek.exe\n";
  ASSERT_FALSE(other->Execute(Lock().front()).Failed());
  const std::string busy = "另一个升级程序正在升级此数据库，请等它结束后再运行。\n";
  const CliRun held_plan = Invoke({"plan"});
  EXPECT_EQ(held_plan.status, 1);
  EXPECT_EQ(held_plan.err, busy);
  // The run would stop at its first batch: nothing more to explain.
  EXPECT_EQ(held_plan.out, "升级计划（只读取，不改变数据库）：\n  升级锁：已被占用。" + busy +
                               "  " + named.substr(0, named.find('\n') + 1) + "  " +
                               named.substr(named.find('\n') + 1) +
                               "  升级将在第 1 批之后停止：\n" + busy +
                               "  其后的部分这次都不会执行\n"
                               "开始升级将发送以下 1 批：\n-- 批 1\n" +
                               Lock().front() + "\n");
  db_->ClearLog();
  const CliRun refused = Invoke({"run"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, busy);
  EXPECT_EQ(refused.out, "-- 批 1\n" + Lock().front() + "\n");
  EXPECT_EQ(Logged(), Lock());
  // A repair alike, before its check.
  db_->ClearLog();
  const CliRun refused_repair = Invoke({"repair"});
  EXPECT_EQ(refused_repair.status, 1);
  EXPECT_EQ(refused_repair.err, busy);
  EXPECT_EQ(refused_repair.out, "-- 批 1\n" + Lock().front() + "\n");
  EXPECT_EQ(Logged(), Lock());

  // Released, the lock is free; the other connection is still named, and the run goes through.
  ASSERT_FALSE(other
                   ->Execute("exec sp_releaseapplock @Resource = N'UpVrek.upgrade', "
                             "@LockOwner = 'Session'")
                   .Failed());
  const CliRun plan = Invoke({"plan"});
  EXPECT_EQ(
      plan.out.substr(0, plan.out.find("  检查未完成的部分")),
      "升级计划（只读取，不改变数据库）：\n  升级锁：空闲，升级开始时取得，程序结束时释放\n  " +
          named.substr(0, named.find('\n') + 1) + "  " + named.substr(named.find('\n') + 1));
  const CliRun run = Invoke({"run"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, named);
  EXPECT_EQ(run.out.substr(run.out.size() - std::string(kDone).size()), kDone);
}

TEST_F(Cli, AFailingStatementEndsTheRunWithItsErrorAfterEchoingIt) {
  Load("old_register.sql");
  db_->FailBatch(3, 50000, "injected failure");
  const CliRun run = Invoke({"run"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "injected failure\n");
  const std::vector<std::string> sent = Logged();
  ASSERT_EQ(sent.size(), 3u);
  EXPECT_EQ(run.out,
            "-- 批 1\n" + sent[0] + "\n-- 批 2\n" + sent[1] + "\n-- 批 3\n" + sent[2] + "\n");
}

TEST_F(Cli, AFailedConnectionIsTheFixedMessageWithoutThePassword) {
  Load("old_register.sql");
  refuse_ = true;
  for (const auto& args : {std::vector<std::string>{"run"},
                           {"plan"},
                           {"plan", "--batches"},
                           {"repair"},
                           {"repair", "--plan"},
                           {"repair", "--plan", "--batches"}}) {
    const CliRun r = Invoke(args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "数据库连接失败，请检查通信参数或服务器状态！\n");
  }
  EXPECT_EQ(connected_with_, (std::vector<std::string>{"VrekTest", "sa", kPassword}));
  EXPECT_TRUE(Logged().empty());
}

TEST_F(Cli, ThePasswordAppearsInNoOutput) {
  Load("old_register.sql");
  std::string all;
  for (const auto& args : {std::vector<std::string>{"plan"},
                           {"plan", "--batches"},
                           {"run"},
                           {"repair", "--plan"},
                           {"repair"}}) {
    const CliRun r = Invoke(args);
    all += r.out + r.err;
  }
  EXPECT_EQ(connected_with_[2], kPassword);
  EXPECT_EQ(all.find(kPassword), std::string::npos);
}

// Settings that cannot be used: one line on standard error says what is wrong, then the fixed
// message, and nothing connects. A missing file or key is a warning, and the command goes on with
// the default settings. The whole of standard error is compared; no line shows the password,
// clear or coded.
TEST_F(Cli, SettingsProblemsAreExplainedBeforeTheFixedMessage) {
  Load("old_register.sql");
  const std::string head = "Windows Registry Editor Version 5.00\r\n\r\n";
  const std::string key = "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n";
  const std::string alias = "\"ODBCNAME\"=\"VrekTest\"\r\n";
  const std::string user = "\"USERNAME\"=\"" + DigitCoded("sa") + "\"\r\n";
  const std::string coded = DigitCoded(kPassword);
  const std::string password = "\"PASSWORD\"=\"" + coded + "\"\r\n";
  std::string letter_in_code = coded;
  letter_in_code[5] = 'x';
  const std::string path = dir_.Path() + "/vrek.reg";
  const std::string failed = "数据库连接失败，请检查通信参数或服务器状态！\n";
  const std::string defaults = "，使用默认设置：数据源 VrekODBC，用户 sa，空密码。\n";
  struct Case {
    const char* name;
    std::optional<std::string> file;  // none: no file
    std::string err;                  // standard error of the command, whole
    bool connects;                    // with the defaults, and then it runs
  };
  const std::vector<Case> cases = {
      {"unterminated password", head + key + alias + user + "\"PASSWORD\"=\"" + coded + "\r\n",
       "读取设置失败：设置文件 " + path + " 第 6 行：字符串值缺少结束的双引号。\n" + failed, false},
      {"no value name", head + key + alias + "USERNAME=\"2402\"\r\n" + password,
       "读取设置失败：设置文件 " + path + " 第 5 行：值名应写在双引号中。\n" + failed, false},
      {"not an export", key + alias,
       "读取设置失败：设置文件 " + path + " 第 1 行：不是注册表导出文件。\n" + failed, false},
      {"dword user name", head + key + alias + "\"USERNAME\"=dword:00000001\r\n" + password,
       "读取设置失败：设置文件 " + path + " 第 5 行的 USERNAME：类型为 dword，应为字符串。\n" +
           failed,
       false},
      {"binary password", head + key + alias + user + "\"PASSWORD\"=hex:32,34,30,32\r\n",
       "读取设置失败：设置文件 " + path + " 第 6 行的 PASSWORD：类型为 hex，应为字符串。\n" +
           failed,
       false},
      {"letter in the coded password",
       head + key + alias + user + "\"PASSWORD\"=\"" + letter_in_code + "\"\r\n",
       "读取设置失败：设置文件 " + path + " 第 6 行的 PASSWORD：数字编码含有数字以外的字符。\n" +
           failed,
       false},
      {"letter in the coded user name",
       head + key + alias + "\"USERNAME\"=\" 2402x402 \"\r\n" + password,
       "读取设置失败：设置文件 " + path + " 第 5 行的 USERNAME：数字编码含有数字以外的字符。\n" +
           failed,
       false},
      {"no file", std::nullopt, "警告：设置文件 " + path + " 不存在" + defaults, true},
      {"no key", head + "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\r\n" + alias + user + password,
       "警告：设置文件 " + path + " 中没有 HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek" +
           defaults,
       true},
  };
  for (const Case& c : cases) {
    std::remove(path.c_str());
    if (c.file) dir_.Write("vrek.reg", *c.file);
    for (const std::string command : {"plan", "run", "repair --plan"}) {
      connected_with_.clear();
      db_->ClearLog();
      std::vector<std::string> args;
      std::istringstream words(command);
      for (std::string w; words >> w;) args.push_back(w);
      const CliRun r = Invoke(args);
      EXPECT_EQ(r.err, c.err) << c.name << ", " << command;
      EXPECT_EQ((r.out + r.err).find(kPassword), std::string::npos) << c.name;
      EXPECT_EQ((r.out + r.err).find(coded), std::string::npos) << c.name;
      if (c.connects) {
        EXPECT_EQ(r.status, 0) << c.name << ", " << command;
        if (command == "run") {
          ASSERT_GE(r.out.size(), std::string(kDone).size()) << c.name;
          EXPECT_EQ(r.out.substr(r.out.size() - std::string(kDone).size()), kDone) << c.name;
        }
        EXPECT_EQ(connected_with_, (std::vector<std::string>{"VrekODBC", "sa", ""})) << c.name;
      } else {
        EXPECT_EQ(r.status, 2) << c.name << ", " << command;
        EXPECT_EQ(r.out, "") << c.name;
        EXPECT_TRUE(connected_with_.empty()) << c.name;
        EXPECT_TRUE(Logged().empty()) << c.name;
      }
    }
  }
}

// Whether each needle occurs in this process's main heap, read through /proc/self/mem. The scan
// buffer is static, outside the heap, and the needles are literals, so neither is found.
std::vector<bool> InHeap(const std::vector<std::string_view>& needles) {
  std::vector<bool> found(needles.size(), false);
  unsigned long begin = 0, end = 0;
  if (std::FILE* maps = std::fopen("/proc/self/maps", "r")) {
    char line[512];
    while (std::fgets(line, sizeof line, maps))
      if (std::strstr(line, "[heap]")) std::sscanf(line, "%lx-%lx", &begin, &end);
    std::fclose(maps);
  }
  const int mem = open("/proc/self/mem", O_RDONLY);
  if (mem < 0 || begin == end) {
    if (mem >= 0) close(mem);
    return found;
  }
  static char chunk[1 << 16];
  const std::size_t overlap = 256;  // longer than any needle: a needle across two reads is seen
  for (unsigned long at = begin; at < end;) {
    const std::size_t want = std::min<unsigned long>(sizeof chunk, end - at);
    const ssize_t got = pread(mem, chunk, want, static_cast<off_t>(at));
    if (got <= 0) break;
    const std::string_view view(chunk, static_cast<std::size_t>(got));
    for (std::size_t i = 0; i < needles.size(); ++i)
      if (view.find(needles[i]) != std::string_view::npos) found[i] = true;
    if (static_cast<std::size_t>(got) <= overlap) break;
    at += static_cast<unsigned long>(got) - overlap;
  }
  close(mem);
  return found;
}

// After the connection through the in-process stand-in, neither the password nor its code is left
// anywhere in the heap, live or given back: the settings file's content, the decoded text, the
// parameter line and the driver's copy are all wiped. The test's own copies are kept out of the
// heap (the file is written from literals). A canary copied into the heap must be found, else the
// heap is not where the allocator keeps strings (a sanitizer's allocator) and the check is skipped.
TEST(PasswordInMemory, NoCopyIsLeftInTheHeapOnceConnected) {
  static constexpr char kClear[] = "Heap'Scan 7pw";
  static constexpr char kCoded[] =
      "2040242224022600042622062406240224640400062626002626";  // DigitCoded(kClear)
  {
    std::string coded = vrektest::DigitCoded(kClear);
    const bool same = coded == kCoded;
    explicit_bzero(coded.data(), coded.size());  // the test's own copy stays out of the heap too
    ASSERT_TRUE(same);
  }
  vrektest::TempDir dir;
  const std::string path = dir.Path() + "/vrek.reg";
  {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    for (const char* piece :
         {"Windows Registry Editor Version 5.00\r\n\r\n"
          "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\r\n"
          "\"ODBCNAME\"=\"VrekTest\"\r\n\"USERNAME\"=\"26062402\"\r\n\"PASSWORD\"=\"",
          kCoded, "\"\r\n"}) {
      const std::size_t n = std::strlen(piece);
      ASSERT_EQ(write(fd, piece, n), static_cast<ssize_t>(n));
    }
    close(fd);
  }
  setenv("VREK_REGISTRY", path.c_str(), 1);
  std::string canary(40, '\0');
  std::memcpy(canary.data(), "canary of the heap scan, 40 bytes long!!", 40);
  if (!InHeap({"canary of the heap scan, 40 bytes long!!"})[0])
    GTEST_SKIP() << "strings are not allocated in [heap]";

  // Without their first character, which clearing a string overwrites with its terminator.
  const std::vector<std::string_view> secrets = {kClear + 1, kCoded + 1};
  standin::Database db;
  platform::StandinDriver driver(db);
  std::ostringstream err;
  {
    vrekcli::HeadlessUpgrade session(driver, err);
    ASSERT_TRUE(session.Connected()) << err.str();
    platform::TDatabase* vrek_db = platform::TDatabase::Find("VrekDB");
    ASSERT_NE(vrek_db, nullptr);
    EXPECT_EQ(vrek_db->Params.Text(), "USER NAME=sa\nPASSWORD=");
    EXPECT_EQ(InHeap(secrets), (std::vector<bool>{false, false})) << "while connected";
  }
  EXPECT_EQ(InHeap(secrets), (std::vector<bool>{false, false})) << "after";
  EXPECT_EQ(err.str(), "");
  unsetenv("VREK_REGISTRY");
}

const char kUsageText[] =
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

TEST_F(Cli, VersionAndUsage) {
  const CliRun v = Invoke({"--version"});
  EXPECT_EQ(v.status, 0);
  EXPECT_EQ(v.out, "6.2012.7.18\n");
  EXPECT_TRUE(connected_with_.empty());
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "缺少命令。"},
      {{"help"}, "未知的命令“help”。"},
      {{"--batches"}, "未知的命令“--batches”。"},
      {{"plan", "--json"}, "plan 不接受“--json”。"},
      {{"plan", "--batches", "--batches"}, "plan 不接受“--batches”。"},
      {{"run", "x"}, "run 不接受“x”。"},
      {{"repair", "--batches"}, "repair 不接受“--batches”。"},
      {{"repair", "--plan", "x"}, "repair 不接受“x”。"},
      {{"repair", "--batches", "--plan"}, "repair 不接受“--batches”。"},
      {{"repair", "--plan", "--batches", "x"}, "repair 不接受“x”。"},
      {{"encode", "sa"}, "encode 不接受“sa”。"},
      {{"--version", "run"}, "--version 不接受“run”。"},
      {{"run", "--timeout"}, "--timeout 后缺少秒数。"},
      {{"run", "--timeout", "0"}, "--timeout 的值“0”无效，应为 1 到 86400 之间的整数秒数。"},
      {{"plan", "--timeout", "-3"}, "--timeout 的值“-3”无效，应为 1 到 86400 之间的整数秒数。"},
      {{"repair", "--timeout", "2s"}, "--timeout 的值“2s”无效，应为 1 到 86400 之间的整数秒数。"},
      {{"repair", "--plan", "--timeout", "86401"},
       "--timeout 的值“86401”无效，应为 1 到 86400 之间的整数秒数。"},
      {{"run", "--timeout", "5", "--timeout", "5"}, "--timeout 只能给一次。"},
      {{"run", "--timeout", "5", "x"}, "run 不接受“x”。"},
      {{"plan", "--timeout", "5", "--batches", "--batches"}, "plan 不接受“--batches”。"},
      {{"encode", "--timeout", "5"}, "encode 不接受“--timeout”。"},
      {{"--timeout", "5", "run"}, "未知的命令“--timeout”。"},
  };
  for (const auto& [args, error] : cases) {
    const CliRun r = Invoke(args);
    EXPECT_EQ(r.status, 64);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, error + "\n" + kUsageText);
  }
  EXPECT_TRUE(connected_with_.empty());
}

// --timeout may stand anywhere after the command; what is sent does not change.
TEST_F(Cli, TimeoutOptionAfterAnyOptionSendsTheSameBatches) {
  Load("old_register.sql");
  const std::string before = db_->DumpScript();
  const CliRun plan = Invoke({"plan", "--batches"});
  const CliRun repair_plan = Invoke({"repair", "--plan", "--batches"});
  for (const auto& args : std::vector<std::vector<std::string>>{
           {"plan", "--timeout", "30", "--batches"},
           {"plan", "--batches", "--timeout", "30"},
           {"repair", "--plan", "--timeout", "30", "--batches"},
           {"repair", "--timeout", "30", "--plan", "--batches"}}) {
    const CliRun r = Invoke(args);
    EXPECT_EQ(r.status, 0) << args[0] << " " << args[2];
    EXPECT_EQ(r.out, args[0] == "plan" ? plan.out : repair_plan.out) << args[0] << " " << args[2];
  }
  EXPECT_EQ(db_->DumpScript(), before);
  db_->ClearLog();
  const CliRun run = Invoke({"run", "--timeout", "30"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.out.substr(run.out.size() - std::string(kDone).size()), kDone);
}

// A batch the server holds longer than --timeout is cancelled: the run stops there, says which
// batch and that repair completes it; the plan says which batch but nothing about repair.
TEST_F(Cli, ABatchOverTheTimeoutStopsTheRunAndNamesIt) {
  Load("old_register.sql");
  const std::string copy = "insert into lib_peopletmp values(";
  db_->HoldWhen([&](std::size_t, std::string_view text) { return text.rfind(copy, 0) == 0; });
  db_->ClearLog();
  const CliRun run = Invoke({"run", "--timeout", "1"});
  const std::vector<std::string> sent = Logged();
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(sent.back().rfind(copy, 0), 0u);
  const std::string n = std::to_string(sent.size());
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.err, "第 " + n + " 批等待服务器超过 1 秒，已取消：\n  " +
                         sent.back().substr(0, sent.back().find('\n')) +
                         "\n数据库未升级完成，请运行 upvrek-cli repair 修复。\n");
  EXPECT_EQ(run.out.substr(run.out.rfind("-- 批 ")), "-- 批 " + n + "\n" + sent.back() + "\n");
  db_->ClearFaults();
  const CliRun repair = Invoke({"repair"});
  EXPECT_EQ(repair.status, 0) << repair.err;
}

// A stop asked for during a batch lets it finish and stops before the next one, with 128 + the
// signal; a stop before the first batch changes nothing, and a plan says nothing about repair.
TEST_F(Cli, AStopRequestEndsTheRunBeforeItsNextBatch) {
  struct Case {
    std::vector<std::string> args;
    int signal;
    std::size_t after;  // batches the engine has run when the stop comes
    int status;
    std::string err;
  } cases[] = {
      {{"run"},
       SIGINT,
       20,
       130,
       "收到 SIGINT，已在第 20 批之后停止，其余各批未发送。\n"
       "数据库未升级完成，请运行 upvrek-cli repair 修复。\n"},
      {{"repair"},
       SIGTERM,
       30,
       143,
       "收到 SIGTERM，已在第 30 批之后停止，其余各批未发送。\n"
       "数据库未升级完成，请运行 upvrek-cli repair 修复。\n"},
      {{"run"}, SIGTERM, 0, 143, "收到 SIGTERM，在发送任何语句之前停止，数据库未作改动。\n"},
      // The plan numbers its batches as it lists them, sent or not: it has listed five (the
      // last the ledger's create, unsent) when the server has answered its four selects and the
      // three reads of the catalog that foresee the create.
      {{"plan"}, SIGINT, 5, 130, "收到 SIGINT，已在第 5 批之后停止，其余各批未发送。\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0] + " stopped after " + std::to_string(c.after));
    db_ = std::make_unique<standin::Database>();
    Load("old_register.sql");
    const std::string before = db_->DumpScript();
    db_->ClearLog();
    const CliRun r = Invoke(c.args, [&] { return db_->Log().size() >= c.after ? c.signal : 0; });
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.err, c.err);
    if (c.args[0] == "plan") {
      // Its listing ends with the batches before the stop, not with where a run would stop.
      EXPECT_NE(r.out.find("  计划未完成：以下只是停止之前的 5 批\n开始升级将发送以下 5 批：\n"),
                std::string::npos)
          << r.out;
      continue;
    }
    const std::vector<std::string> sent = Logged();
    ASSERT_EQ(sent.size(), c.after);
    if (c.after == 0) {
      EXPECT_EQ(r.out, "");
      EXPECT_EQ(db_->DumpScript(), before);
    } else {
      EXPECT_EQ(r.out.substr(r.out.rfind("-- 批 ")),
                "-- 批 " + std::to_string(c.after) + "\n" + sent.back() + "\n");
    }
  }
}

TEST(DigitCode, EveryByteDecodesToItself) {
  std::string all;
  for (int b = 0; b < 256; ++b) {
    const std::string one(1, static_cast<char>(b));
    const std::string coded = vrekcli::DigitCode(one);
    ASSERT_EQ(coded.size(), 4u);
    EXPECT_EQ(coded.find_first_not_of("0246"), std::string::npos) << coded;
    EXPECT_EQ(DecodeDigitText(coded), one) << "byte " << b << " coded " << coded;
    all += one;
  }
  EXPECT_EQ(DecodeDigitText(vrekcli::DigitCode(all)), all);
  // The installer's coding of "sa", which the settings of the tests use.
  EXPECT_EQ(vrekcli::DigitCode("sa"), "26062402");
  EXPECT_EQ(vrekcli::DigitCode(""), "");
}

// The settings decode to code-page-936 bytes: a UTF-8 line is coded as those.
TEST(Encode, ReadsOneLineAndPrintsTheCodeOfItsGbkBytes) {
  struct Case {
    std::string input;
    int status;
    std::string out, err;
  };
  const std::vector<Case> cases = {
      {"sa\n", 0, "26062402\n", ""},
      {"sa", 0, "26062402\n", ""},
      {"sa\r\nrest\n", 0, "26062402\n", ""},
      {"\n", 0, "\n", ""},
      {"口令 x\n", 0, vrekcli::DigitCode("\xBF\xDA\xC1\xEE x") + "\n", ""},
      {"", 1, "", "没有读到任何文字：标准输入是空的。\n"},
      {"pw\xF0\x9F\x98\x80\n", 1, "", "输入的文字中有代码页 936（GBK）没有的字符，无法编码。\n"},
      {"pw\xFF\n", 1, "", "输入的文字不是 UTF-8 的文字。\n"},
  };
  for (const Case& c : cases) {
    std::istringstream in(c.input);
    std::ostringstream out, err;
    EXPECT_EQ(vrekcli::Encode(in, out, err), c.status) << c.input;
    EXPECT_EQ(out.str(), c.out) << c.input;
    EXPECT_EQ(err.str(), c.err) << c.input;
  }
  EXPECT_EQ(DecodeDigitText(vrekcli::DigitCode("\xBF\xDA\xC1\xEE")), "\xBF\xDA\xC1\xEE");
}

}  // namespace

namespace {

// A register the run cannot finish, one defect each, made from the old register by `setup`
// (batches separated by lines "GO"), and the error number of the stop: the server's, or 0 where
// the program refuses after a read.
struct Defect {
  const char* name;
  const char* setup;
  int number;
};
void PrintTo(const Defect& d, std::ostream* os) { *os << d.name; }

class Foreseen : public Cli, public testing::WithParamInterface<Defect> {};

// The plan's batches are the run's up to the stop, the stop carries the run's error, the plan
// and the run both exit 1, and the plan changes nothing (PlanThenRunAgree checks all of these).
TEST_P(Foreseen, PlanStopsWhereTheRunStops) {
  const Defect& d = GetParam();
  Load("old_register.sql");
  std::string batch;
  std::istringstream setup(d.setup);
  for (std::string line; std::getline(setup, line);) {
    if (line == "GO") {
      Exec(batch);
      batch.clear();
    } else {
      batch += line + "\n";
    }
  }
  if (!batch.empty()) Exec(batch);
  const CliRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out.find("升级已经完成"), std::string::npos);
  const auto log = db_->Log();
  ASSERT_FALSE(log.empty());
  const standin::Message* error = log.back().outcome.FirstError();
  EXPECT_EQ(error ? error->number : 0, d.number) << (error ? error->text : run.err);
  // The report names the batch, and for a server error what to fix first.
  EXPECT_NE(last_plan_.find("  升级将在第 " + std::to_string(log.size()) + " 批"),
            std::string::npos)
      << last_plan_;
  if (d.number != 0) {
    EXPECT_NE(last_plan_.find("（错误 " + std::to_string(d.number) + "）：\n" + error->text),
              std::string::npos)
        << last_plan_;
    EXPECT_NE(last_plan_.find("  请先："), std::string::npos) << last_plan_;
  }
}

const char kPeopleWithout[] =
    "drop table lib_people\nGO\n"
    "create table lib_people (pe_no int not null, pe_sign char(1), pe_name char(8), "
    "pe_sex char(2), pe_bdate datetime, pe_pass char(9), pe_dept int)\nGO\n"
    "insert into lib_people values (1, '1', 'A', '', '19750303', '', 5)";

INSTANTIATE_TEST_SUITE_P(
    Plan, Foreseen,
    testing::Values(
        Defect{"NoLedgerTableLiushui", "drop table lib_liushui", 1088},
        Defect{"AssetsWithCompanyAlready", "alter table lib_vrek add vr_company int", 0},
        Defect{"CheckFieldNameTaken", "create table lib_check_field (x int)", 0},
        Defect{"NoUnitDictionary", "drop table lib_unit", 3701},
        Defect{"LeftoverPersonWorkTable", "create table lib_peopletmp (pe_no char(9))", 0},
        Defect{"AnAssetNameOf50Bytes",
               "drop table lib_vrek\nGO\n"
               "create table lib_vrek (vr_id char(20) not null, vr_name varchar(60) null)\nGO\n"
               "insert into lib_vrek values ('1', "
               "'12345678901234567890123456789012345678901234567890')",
               0},
        Defect{"LedgerWithoutMessageColumn", "create table ver_manage (note char(40))", 207},
        Defect{"PersonsWithoutCard", kPeopleWithout, 0},
        Defect{"NoAssetTable", "drop table lib_vrek", 4902},
        Defect{"APersonNumberTooWideForText",
               "insert into lib_lsoutls values (4, 'x', 1234567890, 1.00, NULL, '')", 0},
        Defect{"NoApprovalTable", "drop table lib_pifu", 0},
        Defect{"RequestsWithTextNumbersAlready", "alter table lib_shenqing add sq_snos char(9)", 0},
        Defect{"APersonWithoutDepartment", "update lib_people set pe_dept=NULL where pe_no=7", 0},
        Defect{"LedgerWithoutBarcode",
               "drop table lib_liushui\nGO\ncreate table lib_liushui (ls_id int not null)", 1911},
        Defect{"MarginKeyNameTaken", "create table PK_lib_prtblank (x int)", 0},
        Defect{"NarrowVersionLedger", "create table ver_manage (vm_mess char(10) default(''))",
               8152},
        Defect{"StockTakingKeyNameTaken", "create table PK_lib_vrekpandian (x int)", 2714},
        Defect{"NoIssueTable", "drop table lib_lsout", 0},
        Defect{"NoPersonTable", "drop table lib_people", 0},
        Defect{"AssetsWithoutName",
               "drop table lib_vrek\nGO\ncreate table lib_vrek (vr_id char(20) not null)", 0},
        Defect{"NoAssetWorkTable", "drop table lib_vrektmp", 0}),
    [](const testing::TestParamInfo<Defect>& info) { return std::string(info.param.name); });

// Registers that look odd but that a run finishes: the plan exits 0, lists exactly the run's
// batches and foresees no stop.
TEST_F(Cli, AnIndexOfTheLedgerNameOnAnotherTablePlansToTheEnd) {
  Load("old_register.sql");
  Exec("create index PK_lib_liushui_barcode on lib_liushuils(ls_barcode)");
  const CliRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(last_plan_.find("升级将在第"), std::string::npos) << last_plan_;
}

TEST_F(Cli, AHalfUpgradedRegisterPlansToTheEnd) {
  Load("old_register.sql");
  ASSERT_EQ(Invoke({"run"}).status, 0);
  // The last step never ran: its mark and its table are absent.
  Exec("delete from ver_manage where vm_mess='ZZ20121106.CHECK'");
  Exec("drop table lib_vrek_name");
  const CliRun run = PlanThenRunAgree();
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(last_plan_.find("升级将在第"), std::string::npos) << last_plan_;
  EXPECT_NE(last_plan_.find("读取资产名称：33 个不同名称"), std::string::npos) << last_plan_;
}

}  // namespace
