// upvrek-cli over the in-process stand-in engine. The engine's own log is the record of what
// reached the server: a plan must send nothing but selects and change nothing, and its batches
// must be exactly the ones the run that follows it sends.
#include "cli.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "encode.h"
#include "files.h"
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

  void Load(const std::string& fixture) { db_.LoadScript(ReadFixture(fixture)); }
  void Exec(const std::string& sql) {
    standin::Session s(db_);
    const standin::BatchOutcome out = s.Execute(sql);
    ASSERT_FALSE(out.Failed()) << out.FirstError()->text;
  }

  CliRun Invoke(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CliRun r;
    r.status = vrekcli::RunCli(
        args, [this] { return std::make_unique<RecordingDriver>(db_, connected_with_, refuse_); },
        out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }

  std::vector<std::string> Logged() {
    std::vector<std::string> texts;
    for (const auto& e : db_.Log()) texts.push_back(e.text);
    return texts;
  }

  // The plan of the database as it is, then a run: the plan sends only selects and changes
  // nothing, its JSON lines are the run's batches, its listing is the run's output, and the run's
  // output holds exactly the batches the server received. Returns the run.
  CliRun PlanThenRunAgree() {
    const std::string before = db_.DumpScript();
    db_.ClearLog();
    const CliRun json = Invoke({"plan", "--batches"});
    for (const std::string& text : Logged())
      EXPECT_EQ(text.rfind("select ", 0), 0u) << "the plan sent " << text;
    EXPECT_EQ(db_.DumpScript(), before) << "the plan changed the database";
    db_.ClearLog();
    const CliRun listing = Invoke({"plan"});
    EXPECT_EQ(db_.DumpScript(), before);

    db_.ClearLog();
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
    std::string expected_json, expected_echo, expected_listing;
    for (std::size_t i = 0; i < sent.size(); ++i) {
      const std::string echo = "-- 批 " + std::to_string(i + 1) + "\n" + sent[i] + "\n";
      if (i < planned.size()) expected_json += vrekcli::JsonBatchLine(sent[i]) + "\n";
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
  standin::Database db_;
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
      "  检查人员：lib_people 有 10 名人员\n"
      "  复制人员：10 名人员将逐个写入 lib_peopletmp\n"
      "  表 lib_curtermno 不存在：将执行终端号表块\n"
      "  表 lib_vrekpandian 不存在：将执行固定资产盘点表块\n"
      "  表 lib_yhppandian 不存在：将执行低值易耗品盘点表块\n"
      "  表 lib_yhppandiantmp 不存在：将执行盘点临时表块\n"
      "  索引 PK_lib_liushui_barcode 不存在：将执行流水账条形码索引块\n"
      "  版本标记 ZZ20110520.DEPT 未记录（版本台账将新建）：将执行步骤 20110520（公司列）\n"
      "  版本标记 ZZ20110623.CHECK 未记录（版本台账将新建）：将执行步骤 20110623（检查字段字典）\n"
      "  版本标记 ZZ20121106.CHECK 未记录（版本台账将新建）：将执行步骤 "
      "20121106（资产名称拼音首字母）\n"
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
      "  版本标记 ZZ20121106.CHECK 未记录：将执行步骤 20121106（资产名称拼音首字母）\n"
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
  auto other = std::make_unique<standin::Session>(db_, who);
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
                               "开始升级将发送以下 1 批：\n-- 批 1\n" + Lock().front() + "\n");
  db_.ClearLog();
  const CliRun refused = Invoke({"run"});
  EXPECT_EQ(refused.status, 1);
  EXPECT_EQ(refused.err, busy);
  EXPECT_EQ(refused.out, "-- 批 1\n" + Lock().front() + "\n");
  EXPECT_EQ(Logged(), Lock());
  // A repair alike, before its check.
  db_.ClearLog();
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
  db_.FailBatch(3, 50000, "injected failure");
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
    "  --version        显示版本号\n";

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
  };
  for (const auto& [args, error] : cases) {
    const CliRun r = Invoke(args);
    EXPECT_EQ(r.status, 64);
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, error + "\n" + kUsageText);
  }
  EXPECT_TRUE(connected_with_.empty());
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
