#include "plan_report.h"

#include <map>
#include <string_view>

#include "upgrade_table.h"

namespace vrekcli {

namespace {

struct Guarded {
  std::string object;  // "表 X", "列 T.C", "索引 I", "版本标记 M"
  bool mark;
  std::string title;  // of the block it guards
};

std::string ObjectName(const upgrade::Guard& g) {
  switch (g.kind) {
    case upgrade::Guard::Kind::Table:
      return "表 " + g.name;
    case upgrade::Guard::Kind::Column:
      return "列 " + g.table + "." + g.name;
    case upgrade::Guard::Kind::Index:
      return "索引 " + g.name;
    case upgrade::Guard::Kind::Mark:
      return "版本标记 " + g.name;
  }
  return "";
}

// Every guard's probe, by the text the run sends for it.
std::map<std::string, Guarded, std::less<>> GuardsByProbe() {
  std::map<std::string, Guarded, std::less<>> guards;
  auto add = [&guards](const upgrade::Block& b) {
    guards[upgrade::BatchText(upgrade::ProbeLines(b.guard))] = {
        ObjectName(b.guard), b.guard.kind == upgrade::Guard::Kind::Mark, b.title};
  };
  add(upgrade::LedgerBlock());
  for (const upgrade::Step* step : upgrade::Steps())
    for (const upgrade::Block& b : step->blocks) add(b);
  return guards;
}

// A select of the run other than a guard's probe: a block's check or a read of its statements.
struct Select {
  std::string text;
  const upgrade::Check* check = nullptr;  // else a read
  upgrade::RowUse use = upgrade::RowUse::CheckPeople;
};

// The checks and reads of the run, in the order it sends them; the same text may be sent more
// than once (lib_vrek is checked by two steps, and the asset names are checked and then read).
std::vector<Select> Selects() {
  std::vector<Select> selects;
  for (const upgrade::Step* step : upgrade::Steps())
    for (const upgrade::Block& b : step->blocks) {
      for (const upgrade::Check& c : b.checks)
        selects.push_back({upgrade::BatchText(upgrade::CheckLines(c)), &c});
      for (const upgrade::Statement& s : b.statements)
        if (s.kind == upgrade::Statement::Kind::Read)
          selects.push_back({upgrade::BatchText(s.lines), nullptr, s.use});
    }
  return selects;
}

std::string ExplainRead(upgrade::RowUse use, const std::string& rows) {
  switch (use) {
    case upgrade::RowUse::CheckPeople:
      return "检查人员：lib_people 有 " + rows + " 名人员";
    case upgrade::RowUse::CopyPeople:
      return "复制人员：" + rows + " 名人员将逐个写入 lib_peopletmp";
    case upgrade::RowUse::InsertNames:
      return "读取资产名称：" + rows + " 个不同名称，将逐个写入 lib_vrek_name 及其拼音首字母";
  }
  return "";
}

std::string ExplainCheck(const upgrade::Check& check, std::size_t rows) {
  switch (check.kind) {
    case upgrade::Check::Kind::Table:
      return "检查表 " + check.table + (rows ? " 的列" : "：不存在");
    case upgrade::Check::Kind::NoObject:
      return "检查名称 " + check.table + (rows ? "：已被占用" : "：未被占用");
    case upgrade::Check::Kind::PersonNumbers:
      return "检查 " + check.table + "." + check.column + " 的人员编号：" + std::to_string(rows) +
             " 个不同的值";
    case upgrade::Check::Kind::AssetNames:
      return "检查资产名称：" + std::to_string(rows) + " 个不同名称";
  }
  return "";
}

}  // namespace

std::vector<std::string> ExplainPlan(const std::vector<PlannedBatch>& batches) {
  const auto guards = GuardsByProbe();
  const auto selects = Selects();
  std::size_t next_select = 0;  // selects before it have been explained
  std::vector<std::string> lines;
  for (const PlannedBatch& b : batches) {
    if (b.kind != PlannedBatch::Kind::Open) continue;
    const bool absent = b.rows == 0;
    const auto guard = guards.find(b.text);
    if (guard != guards.end()) {
      const Guarded& g = guard->second;
      std::string line =
          g.object + (absent ? (g.mark ? " 未记录" : " 不存在") : (g.mark ? " 已记录" : " 已存在"));
      if (!b.asked_server) line += "（版本台账将新建）";
      lines.push_back(line + (absent ? "：将执行" : "：跳过") + g.title);
      continue;
    }
    std::size_t r = next_select;
    while (r < selects.size() && selects[r].text != b.text) ++r;
    if (r < selects.size()) {
      lines.push_back(selects[r].check ? ExplainCheck(*selects[r].check, b.rows)
                                       : ExplainRead(selects[r].use, std::to_string(b.rows)));
      next_select = r + 1;
    } else {
      lines.push_back("查询（" + std::to_string(b.rows) + " 行）：" + b.text);
    }
  }
  return lines;
}

}  // namespace vrekcli
