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
  const upgrade::Block* block;
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
        ObjectName(b.guard), b.guard.kind == upgrade::Guard::Kind::Mark, b.title, &b};
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
    case upgrade::RowUse::ProvePeople:
      return "核对人员：删除 lib_people 之前再读 " + rows + " 名人员，与复制的人员相同才继续";
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

// Whether the statement makes the object the guard looks for.
bool MakesGuard(const upgrade::Statement& s, const upgrade::Guard& g) {
  using Kind = upgrade::Change::Kind;
  for (const upgrade::Change& c : s.changes) {
    if (g.kind == upgrade::Guard::Kind::Table && c.kind == Kind::CreateTable && c.table == g.name)
      return true;
    if (g.kind == upgrade::Guard::Kind::Column && c.kind == Kind::AddColumn && c.table == g.table &&
        c.name == g.name)
      return true;
    if (g.kind == upgrade::Guard::Kind::Index && c.kind == Kind::CreateIndex && c.name == g.name)
      return true;
  }
  return false;
}

// The object named in a server message ('T' or "T"), or empty.
std::string QuotedName(const std::string& message) {
  for (const char quote : {'\'', '"'}) {
    const std::size_t open = message.find(quote);
    if (open == std::string::npos) continue;
    const std::size_t close = message.find(quote, open + 1);
    if (close != std::string::npos) return message.substr(open + 1, close - open - 1);
  }
  return "";
}

std::string FixFirst(const ForeseenError& e) {
  const std::string name = QuotedName(e.message);
  switch (e.number) {
    case 208:
    case 4902:
    case 1088:
      return "先恢复缺少的表 " + name + "（例如从备份中），再升级";
    case 3701:
      return "表 " + name + " 不存在：运行 upvrek-cli repair，它会建立缺少的部分；或先恢复这个表";
    case 207:
    case 1911:
      return "先在表中补上缺少的列 " + name + "，再升级";
    case 2714:
      return "名称 " + name + " 已被另一个对象占用：先将它改名或删除，再升级";
    case 2705:
      return "表中已有列 " + name + "：先确认它的内容，将它改名或删除，再升级";
    case 1913:
      return "表中已有索引 " + name + "：先将它删除，再升级";
    case 1779:
      return "表 " + name + " 已有主键：先删除它，再升级";
    case 8111:
      return "主键列允许为空：先改为 NOT NULL，再升级";
    case 8152:
      return "版本台账 ver_manage 的列 vm_mess 太短：先把它加宽到 char(40)，再升级";
  }
  return "先修正上述错误，再升级";
}

}  // namespace

std::vector<std::string> ExplainStop(const std::vector<PlannedBatch>& batches,
                                     const ForeseenError& stop) {
  std::vector<std::string> lines;
  // The block the run is in: the last guard probed before the stop.
  const auto guards = GuardsByProbe();
  const std::size_t last = batches.size() - 1;
  std::size_t probe = last;
  const upgrade::Block* block = nullptr;
  for (std::size_t i = last + 1; i-- > 0;)
    if (const auto g = guards.find(batches[i].text); g != guards.end()) {
      block = g->second.block;
      probe = i;
      break;
    }
  if (block && probe < last) {
    const upgrade::Guard& g = block->guard;
    bool made = false, changed = false;
    std::size_t remaining = 0;
    for (std::size_t i = probe + 1; i < last; ++i) {
      if (batches[i].kind != PlannedBatch::Kind::Execute) continue;
      changed = true;
      if (g.kind == upgrade::Guard::Kind::Mark &&
          batches[i].text == upgrade::BatchText(upgrade::MarkInsertLines(g.name)))
        made = true;
      for (const upgrade::Statement& s : block->statements)
        if (upgrade::BatchText(s.lines) == batches[i].text && MakesGuard(s, g)) made = true;
    }
    for (std::size_t k = 0; k < block->statements.size(); ++k)
      if (upgrade::BatchText(block->statements[k].lines) == batches[last].text)
        remaining = block->statements.size() - k - 1;
    const std::string what = g.kind == upgrade::Guard::Kind::Mark ? "版本标记 " + g.name + " 已记录"
                                                                  : g.name + " 已建立";
    if (made) {
      lines.push_back("此后" + block->title + "不会再执行：" + what + "，以后的升级会跳过它" +
                      (remaining ? "，其后的 " + std::to_string(remaining) + " 条语句不会再发送"
                                 : std::string()) +
                      "；修正问题后，请运行 upvrek-cli repair 补全");
    } else if (changed) {
      lines.push_back(block->title +
                      "已执行的语句不会撤销；修正问题后，下次升级会再次执行这一部分");
    } else {
      lines.push_back(block->title + "尚未作任何改动；修正问题后，下次升级会执行这一部分");
    }
  }
  lines.push_back("其后的部分这次都不会执行");
  if (stop.number != 0) lines.push_back("请先：" + FixFirst(stop));
  return lines;
}

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
