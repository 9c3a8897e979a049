// The checks a block makes before its first change (upgrade::Check). Every check of the block is
// sent and judged before the run is stopped, so that one refusal names everything to fix; a check
// whose table or column another check found missing is not sent, since its select would only fail.
#include <cctype>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "frmUpVrekMain.h"
#include "halfdone.h"
#include "sqltext.h"
#include "text/text.h"
#include "upgrade_table.h"

using platform::TQuery;

namespace {

constexpr std::size_t kValuesShown = 20;

// The bytes a value takes in a char column of code page 936; nullopt when it cannot be stored.
std::optional<std::size_t> StoredBytes(const std::string& utf8) {
  try {
    return text::Utf8ToGbk(utf8, text::Mode::kStrict).size();
  } catch (const text::ETextConversionError&) {
    return std::nullopt;
  }
}

// Lines naming offending values: at most kValuesShown, then how many more there are.
void AddValueLines(std::vector<std::string>& problems, const std::vector<std::string>& lines,
                   const std::string& more_unit) {
  for (std::size_t i = 0; i < lines.size() && i < kValuesShown; ++i) problems.push_back(lines[i]);
  if (lines.size() > kValuesShown)
    problems.push_back("……另有 " + std::to_string(lines.size() - kValuesShown) + " " + more_unit);
}

}  // namespace

void TUpVrekMain::RunChecks(const upgrade::Block& block) {
  if (block.checks.empty()) return;
  std::vector<std::string> problems;
  // Tables found with their columns, lower case; a table absent here was found missing.
  std::map<std::string, std::set<std::string>> tables;
  auto usable = [&tables](const std::string& table, const std::string& column) {
    const auto t = tables.find(Lower(table));
    return t != tables.end() && t->second.count(Lower(column)) > 0;
  };
  for (const upgrade::Check& check : block.checks) {
    switch (check.kind) {
      case upgrade::Check::Kind::Table: {
        std::set<std::string> columns;
        upgrade::EachRow(qrTmp, upgrade::CheckLines(check), [&columns](TQuery& q) {
          columns.insert(Lower(TrimRight(q.FieldByName("name").AsString())));
        });
        if (columns.empty()) {
          problems.push_back("表 " + check.table + " 不存在");
          break;
        }
        for (const std::string& c : check.needs)
          if (!columns.count(Lower(c))) problems.push_back("表 " + check.table + " 缺少列 " + c);
        for (const std::string& c : check.lacks)
          if (columns.count(Lower(c)))
            problems.push_back("表 " + check.table + " 已有列 " + c + "（此部分要增加这一列）");
        tables[Lower(check.table)] = std::move(columns);
        break;
      }
      case upgrade::Check::Kind::NoObject: {
        bool found = false;
        upgrade::EachRow(qrTmp, upgrade::CheckLines(check), [&found](TQuery&) { found = true; });
        if (found) problems.push_back("已有名为 " + check.table + " 的对象（此部分要新建它）");
        break;
      }
      case upgrade::Check::Kind::PersonNumbers: {
        if (!usable(check.table, check.column)) break;
        std::vector<std::string> lines;
        upgrade::EachRow(qrTmp, upgrade::CheckLines(check), [&](TQuery& q) {
          const platform::Variant v = q.GetFieldValue(check.column);
          if (v.IsNull()) return;
          // What CONVERT(char(9), value) keeps: a number wider than nine characters becomes
          // "*", a longer text is cut.
          const std::string value = v.DataType() == platform::Variant::Kind::Text
                                        ? TrimRight(v.AsString())
                                        : v.AsString();
          const std::optional<std::size_t> bytes = StoredBytes(value);
          if (bytes && *bytes <= 9) return;
          lines.push_back("表 " + check.table + " 列 " + check.column + " 的人员编号 " + value +
                          (bytes ? " 超过 9 个字符" : " 含有代码页 936 无法保存的字符") +
                          "，复制为文字后不再是这个编号");
        });
        AddValueLines(problems, lines, "个这样的人员编号");
        break;
      }
      case upgrade::Check::Kind::AssetNames: {
        if (!usable(check.table, check.column)) break;
        std::vector<std::string> lines;
        // The initials need no check of their own: the pinyin library makes at most one byte of
        // a character's bytes and drops blanks, so they are never longer than the name they come
        // from with its blanks removed.
        upgrade::EachRow(qrTmp, upgrade::CheckLines(check), [&](TQuery& q) {
          const std::string name = TrimRight(q.FieldByName(check.column).AsString());
          const std::optional<std::size_t> bytes = StoredBytes(name);
          if (!bytes)
            lines.push_back("资产名称“" + name + "”含有代码页 936 无法保存的字符");
          else if (*bytes > 40)
            lines.push_back("资产名称“" + name + "”超过 40 个字节");
        });
        AddValueLines(problems, lines, "个这样的资产名称");
        break;
      }
    }
  }
  if (problems.empty()) return;
  std::string text = block.title + "无法执行，升级已停止，";
  if (block.guard.kind == upgrade::Guard::Kind::Mark)
    text += "版本标记 " + block.guard.name + " 未记录，";
  text += "这一部分未作任何改动。请先修正以下问题，然后重新升级：";
  for (const std::string& p : problems) text += "\n" + p;
  throw EUpgradeError(text);
}
