#include "frmUpVrekMain.h"

#include <cstdlib>

#include "people.h"
#include "pinyin_binding.h"

using platform::TQuery;

TUpVrekMain::TUpVrekMain(platform::TApplication& application)
    : GetPinYin(DefaultPinYinFunction()),
      FreePinYin([](char* initials) { std::free(initials); }),
      FindHalfDone([](TQuery& query, bool) { return upgrade::FindHalfDone(query); }),
      application_(application) {
  Name = "UpVrekMain";
  Caption = "固定资产升级程序     2012.11";
  BorderStyle = platform::TBorderStyle::Dialog;
  Position = platform::TPosition::ScreenCenter;
  ClientWidth = 351;
  ClientHeight = 118;
  FontName = "宋体";
  FontHeight = 12;

  auto place = [this](platform::TControl& c, const char* name, int left, int top, int width,
                      int height, const char* caption) {
    c.Name = name;
    c.Left = left;
    c.Top = top;
    c.Width = width;
    c.Height = height;
    c.Caption = caption;
    Controls.push_back(&c);
  };
  place(Label1, "Label1", 24, 16, 288, 12, "此次升级，修改了人员的代码类型，可以上包含字符。");
  place(Label2, "Label2", 24, 32, 246, 12, "并解决Win2000中的打印问题。增加盘点功能！");
  place(Label3, "Label3", 24, 48, 288, 12, "增加固定资产查询中快速定位中拼音首字母快速查询。");
  place(btUp, "btUp", 24, 80, 75, 25, "开始升级");
  place(btExit, "btExit", 248, 80, 75, 25, "退出");
  btUp.TabOrder = 0;
  btExit.TabOrder = 1;
  btUp.OnClick = [this](platform::TObject* sender) { btUpClick(sender); };
  btExit.OnClick = [this](platform::TObject* sender) { btExitClick(sender); };

  qrTmp.DatabaseName = "VrekDB";
  qrTmp1.DatabaseName = "VrekDB";
}

void TUpVrekMain::btUpClick(platform::TObject*) {
  btUp.Enabled = false;
  TakeUpgradeLock();
  HalfDoneAtEnd.clear();
  HalfDoneAtStart = FindHalfDone(qrTmp, false);
  if (!HalfDoneAtStart.empty() && OfferRepair("上次升级未完成：", HalfDoneAtStart))
    RepairOrFail(HalfDoneAtStart);
  RunSteps();
  HalfDoneAtEnd = FindHalfDone(qrTmp, true);
  if (!HalfDoneAtEnd.empty()) {
    if (!OfferRepair("升级未完成：", HalfDoneAtEnd)) {
      btUp.Enabled = true;
      return;
    }
    RepairOrFail(HalfDoneAtEnd);
    RunSteps();
    HalfDoneAtEnd = FindHalfDone(qrTmp, true);
    if (!HalfDoneAtEnd.empty()) {
      std::string text = "升级未完成：";
      for (const std::string& line : upgrade::DescribeHalfDone(HalfDoneAtEnd)) text += "\n" + line;
      throw EUpgradeError(text);
    }
  }
  btUp.Enabled = true;
  application_.MessageBox("升级已经完成，请更新所有的客户端程序Vrek.exe！", "提示信息",
                          platform::MsgIcon::Information, platform::MsgButtons::Ok);
}

void TUpVrekMain::TakeUpgradeLock() {
  if (UpgradeLockHeld) return;
  qrTmp.SQL.Clear();
  qrTmp.SQL.Add(upgrade::LockBatch());
  qrTmp.Open();
  const int code = upgrade::LockCode(qrTmp);
  qrTmp.Close();
  if (!upgrade::LockGranted(code)) throw EUpgradeError(upgrade::kLockBusy);
  UpgradeLockHeld = true;
  if (LockTaken) LockTaken(qrTmp);
}

void TUpVrekMain::RunSteps() {
  CreateLedger();
  DO_2005Before();
  DO_2005();
  DO_20110520();
  DO_20110623();
  DO_20121106();
}

std::vector<std::string> TUpVrekMain::Repair(const std::vector<upgrade::HalfDoneBlock>& found) {
  std::vector<std::string> refused;
  for (const upgrade::HalfDoneBlock& b : found) {
    SendStatements(b.repair);
    for (const std::string& r : b.refusals) refused.push_back(b.block->title + "：" + r);
  }
  return refused;
}

std::string TUpVrekMain::HalfDoneText(const std::string& head,
                                      const std::vector<upgrade::HalfDoneBlock>& found) {
  constexpr std::size_t kShown = 10;
  const std::vector<std::string> lines = upgrade::DescribeHalfDone(found);
  std::string text = head;
  for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) text += "\n" + lines[i];
  if (lines.size() > kShown) text += "\n……另有 " + std::to_string(lines.size() - kShown) + " 项";
  return text + "\n是否立即修复？";
}

bool TUpVrekMain::OfferRepair(const std::string& head,
                              const std::vector<upgrade::HalfDoneBlock>& found) {
  return application_.MessageBox(HalfDoneText(head, found), "提示信息", platform::MsgIcon::Question,
                                 platform::MsgButtons::YesNo) == platform::MsgResult::Yes;
}

void TUpVrekMain::RepairOrFail(const std::vector<upgrade::HalfDoneBlock>& found) {
  const std::vector<std::string> refused = Repair(found);
  if (refused.empty()) return;
  std::string text = "以下未完成的部分不能安全修复，未作改动，数据库仍未升级完成：";
  for (const std::string& line : refused) text += "\n" + line;
  throw EUpgradeError(text);
}

void TUpVrekMain::btExitClick(platform::TObject*) { Close(); }

void TUpVrekMain::RunSql(TQuery& query, const Lines& lines) {
  query.SQL.Clear();
  for (const auto& line : lines) query.SQL.Add(line);
  query.ExecSQL();
  query.Close();
}

bool TUpVrekMain::ProbeAbsent(TQuery& query, const Lines& lines) {
  query.SQL.Clear();
  for (const auto& line : lines) query.SQL.Add(line);
  query.Open();
  bool absent = query.Eof();
  query.Close();
  return absent;
}

bool TUpVrekMain::TableAbsent(std::string_view table) {
  return ProbeAbsent(qrTmp, upgrade::ProbeLines(upgrade::Table(std::string(table))));
}

bool TUpVrekMain::ColumnAbsent(std::string_view column, std::string_view table) {
  return ProbeAbsent(qrTmp,
                     upgrade::ProbeLines(upgrade::Column(std::string(table), std::string(column))));
}

bool TUpVrekMain::IndexAbsent(std::string_view index) {
  return ProbeAbsent(qrTmp, upgrade::ProbeLines(upgrade::Index(std::string(index))));
}

void TUpVrekMain::CreateLedger() { RunBlock(upgrade::LedgerBlock()); }

bool TUpVrekMain::CheckVerSign(const std::string& mark,
                               const std::function<void()>& before_record) {
  if (!ProbeAbsent(qrTmp, upgrade::ProbeLines(upgrade::Mark(mark)))) return false;
  if (before_record) before_record();
  RunSql(qrTmp, upgrade::MarkInsertLines(mark));
  return true;
}

void TUpVrekMain::SendStatements(const std::vector<upgrade::Statement>& statements) {
  for (const upgrade::Statement& statement : statements) Send(statement);
}

void TUpVrekMain::RunStep(const upgrade::Step& step) {
  for (const upgrade::Block& block : step.blocks) RunBlock(block);
}

bool TUpVrekMain::RunBlock(const upgrade::Block& block) {
  if (block.guard.kind == upgrade::Guard::Kind::Mark) {
    if (!CheckVerSign(block.guard.name, [&] { RunChecks(block); })) return false;
  } else {
    if (!GuardOpen(block.guard)) return false;
    RunChecks(block);
  }
  for (const upgrade::Statement& statement : block.statements) Send(statement);
  return true;
}

bool TUpVrekMain::GuardOpen(const upgrade::Guard& guard) {
  if (guard.kind == upgrade::Guard::Kind::Mark) return CheckVerSign(guard.name);
  return ProbeAbsent(qrTmp, upgrade::ProbeLines(guard));
}

void TUpVrekMain::Send(const upgrade::Statement& statement) {
  switch (statement.kind) {
    case upgrade::Statement::Kind::Execute:
      RunSql(qrTmp, statement.lines);
      break;
    case upgrade::Statement::Kind::ExecuteTolerant:
      try {
        RunSql(qrTmp, statement.lines);
      } catch (const std::exception&) {
      }
      break;
    case upgrade::Statement::Kind::Read:
      SendRead(statement);
      break;
  }
}

void TUpVrekMain::SendRead(const upgrade::Statement& read) {
  qrTmp.SQL.Clear();
  for (const auto& line : read.lines) qrTmp.SQL.Add(line);
  qrTmp.Open();
  std::vector<std::string> problems;
  switch (read.use) {
    case upgrade::RowUse::CheckPeople:
      problems = UnconvertiblePeople(qrTmp);
      break;
    case upgrade::RowUse::CopyPeople:
      CopyPeople(qrTmp);
      break;
    case upgrade::RowUse::InsertNames:
      InsertNames(qrTmp);
      break;
    case upgrade::RowUse::ProvePeople:
      try {
        ProvePeople(qrTmp);
      } catch (...) {
        qrTmp.Close();
        throw;
      }
      break;
  }
  qrTmp.Close();
  if (!problems.empty()) throw EUpgradeError(UnconvertiblePeopleMessage(problems));
}
