#include "plan_report.h"

#include <map>
#include <string_view>

namespace vrekcli {

namespace {

// What each guard of the upgrade protects, by the object its probe looks for.
const std::map<std::string, std::string, std::less<>> kGuarded = {
    {"表 ver_manage", "版本台账的创建"},
    {"列 lib_vrek.vr_dwhy", "报废原因列块（lib_vrek 增加 vr_dwhy）"},
    {"列 lib_unit.un_unitpy", "计量单位字典块（重建 lib_unit 并写入27个标准单位）"},
    {"表 lib_prtblank", "打印边距与人员编号块"},
    {"表 lib_curtermno", "终端号表块"},
    {"表 lib_vrekpandian", "固定资产盘点表块"},
    {"表 lib_yhppandian", "低值易耗品盘点表块"},
    {"表 lib_yhppandiantmp", "盘点临时表块"},
    {"索引 PK_lib_liushui_barcode", "流水账条形码索引块"},
    {"版本标记 ZZ20110520.DEPT", "步骤 20110520（公司列）"},
    {"版本标记 ZZ20110623.CHECK", "步骤 20110623（检查字段字典）"},
    {"版本标记 ZZ20121106.CHECK", "步骤 20121106（资产名称拼音首字母）"},
};

// The quoted part of `text` = prefix + X + suffix, or false when it has another form.
bool Between(std::string_view text, std::string_view prefix, std::string_view suffix,
             std::string& x) {
  if (text.size() < prefix.size() + suffix.size() || text.substr(0, prefix.size()) != prefix ||
      text.substr(text.size() - suffix.size()) != suffix)
    return false;
  x = std::string(text.substr(prefix.size(), text.size() - prefix.size() - suffix.size()));
  return x.find('\'') == std::string::npos;
}

// The object a probe or mark lookup asks for ("表 X", "列 T.C", "索引 I", "版本标记 M"), or "".
std::string ProbedObject(std::string_view text) {
  std::string x;
  if (Between(text, "select * from sysobjects where name ='", "'", x)) return "表 " + x;
  if (Between(text, "select name from sysindexes where name='", "'", x)) return "索引 " + x;
  if (Between(text, "select vm_mess from ver_manage\nwhere vm_mess='", "'", x))
    return "版本标记 " + x;
  const std::string_view col = "select name from syscolumns where name='";
  const std::string_view mid = "' and id in (select id from sysobjects where name = '";
  const std::size_t at = text.find(mid);
  if (text.substr(0, col.size()) == col && at != std::string_view::npos) {
    std::string column(text.substr(col.size(), at - col.size())), table;
    if (column.find('\'') == std::string::npos && Between(text.substr(at), mid, "')", table))
      return "列 " + table + "." + column;
  }
  return "";
}

std::string Explain(const PlannedBatch& b, int& people_reads) {
  const std::string object = ProbedObject(b.text);
  const bool absent = b.rows == 0;
  if (!object.empty()) {
    const bool mark = object.rfind("版本标记", 0) == 0;
    std::string line =
        object + (absent ? (mark ? " 未记录" : " 不存在") : (mark ? " 已记录" : " 已存在"));
    if (!b.asked_server) line += "（版本台账将新建）";
    const auto guarded = kGuarded.find(object);
    if (guarded != kGuarded.end()) line += (absent ? "：将执行" : "：跳过") + guarded->second;
    return line;
  }
  const std::string rows = std::to_string(b.rows);
  // The block reads the persons twice: to check them, then to copy them.
  if (b.text == "select * from lib_people")
    return people_reads++ == 0 ? "检查人员：lib_people 有 " + rows + " 名人员"
                               : "复制人员：" + rows + " 名人员将逐个写入 lib_peopletmp";
  if (b.text == "select vr_name from lib_vrek group by vr_name order by vr_name")
    return "读取资产名称：" + rows + " 个不同名称，将逐个写入 lib_vrek_name 及其拼音首字母";
  return "查询（" + rows + " 行）：" + b.text;
}

}  // namespace

std::vector<std::string> ExplainPlan(const std::vector<PlannedBatch>& batches) {
  std::vector<std::string> lines;
  int people_reads = 0;
  for (const PlannedBatch& b : batches)
    if (b.kind == PlannedBatch::Kind::Open) lines.push_back(Explain(b, people_reads));
  return lines;
}

}  // namespace vrekcli
