#include "upgrade_table.h"

#include <utility>

namespace upgrade {

Guard Table(std::string name) { return {Guard::Kind::Table, std::move(name), ""}; }
Guard Column(std::string table, std::string column) {
  return {Guard::Kind::Column, std::move(column), std::move(table)};
}
Guard Index(std::string name) { return {Guard::Kind::Index, std::move(name), ""}; }
Guard Mark(std::string mark) { return {Guard::Kind::Mark, std::move(mark), ""}; }

Lines ProbeLines(const Guard& guard) {
  switch (guard.kind) {
    case Guard::Kind::Table:
      return {"select * from sysobjects where name ='" + guard.name + "'"};
    case Guard::Kind::Column:
      return {"select name from syscolumns where name='" + guard.name +
              "' and id in (select id from sysobjects where name = '" + guard.table + "')"};
    case Guard::Kind::Index:
      return {"select name from sysindexes where name='" + guard.name + "'"};
    case Guard::Kind::Mark:
      return {"select vm_mess from ver_manage", "where vm_mess='" + guard.name + "'"};
  }
  return {};
}

Lines MarkInsertLines(const std::string& mark) {
  return {"insert into ver_manage(vm_mess)values('" + mark + "')"};
}

Statement Execute(Lines lines, std::vector<Change> changes) {
  return {Statement::Kind::Execute, std::move(lines), std::move(changes)};
}
Statement ExecuteTolerant(Lines lines, std::vector<Change> changes) {
  return {Statement::Kind::ExecuteTolerant, std::move(lines), std::move(changes)};
}
Statement Read(Lines select, RowUse use, std::vector<Change> changes) {
  return {Statement::Kind::Read, std::move(select), std::move(changes), use};
}

Change CreateTable(std::string table) { return {Change::Kind::CreateTable, std::move(table), ""}; }
Change DropTable(std::string table) { return {Change::Kind::DropTable, std::move(table), ""}; }
Change AddColumn(std::string table, std::string column) {
  return {Change::Kind::AddColumn, std::move(table), std::move(column)};
}
Change FillColumn(std::string table, std::string column) {
  return {Change::Kind::FillColumn, std::move(table), std::move(column)};
}
Change AddPrimaryKey(std::string table, std::string constraint) {
  return {Change::Kind::AddPrimaryKey, std::move(table), std::move(constraint)};
}
Change CreateIndex(std::string table, std::string index) {
  return {Change::Kind::CreateIndex, std::move(table), std::move(index)};
}
Change InsertRows(std::string table) { return {Change::Kind::InsertRows, std::move(table), ""}; }

Check TableCheck(std::string table, std::vector<std::string> needs,
                 std::vector<std::string> lacks) {
  return {Check::Kind::Table, std::move(table), std::move(needs), std::move(lacks), "", ""};
}
Check NoObjectCheck(std::string name, std::string owner) {
  return {Check::Kind::NoObject, std::move(name), {}, {}, "", std::move(owner)};
}
Check PersonNumbersCheck(std::string table, std::string column) {
  return {Check::Kind::PersonNumbers, std::move(table), {}, {}, std::move(column), ""};
}
Check AssetNamesCheck() { return {Check::Kind::AssetNames, "lib_vrek", {}, {}, "vr_name", ""}; }

Lines CheckLines(const Check& check) {
  switch (check.kind) {
    case Check::Kind::Table:
      return {"select name from syscolumns where id in (select id from sysobjects where name = '" +
              check.table + "' and xtype = 'U')"};
    case Check::Kind::NoObject:
      if (check.owner.empty()) return ProbeLines(Table(check.table));
      return {"select name from sysobjects where name = '" + check.table +
              "' and parent_obj not in (select id from sysobjects where name = '" + check.owner +
              "' and xtype = 'U')"};
    case Check::Kind::PersonNumbers:
      return {"select " + check.column + " from " + check.table + " group by " + check.column};
    case Check::Kind::AssetNames:
      // The step's own read of the names, sent once more.
      return {"select vr_name from lib_vrek group by vr_name order by vr_name"};
  }
  return {};
}

// Statement lines stay one per line, as they are sent.
// clang-format off
const Block& LedgerBlock() {
  static const Block ledger{"版本台账的创建", Table("ver_manage"), {
      Execute({"create table ver_manage ( ",
               "\t\tvm_mess \tchar(40) default('')",
               ") "},
              {CreateTable("ver_manage")}),
  }};
  return ledger;
}
// clang-format on

std::vector<const Step*> Steps() {
  return {&Step2005Before(), &Step2005(), &Step20110520(), &Step20110623(), &Step20121106()};
}

std::string BatchText(const Lines& lines) {
  std::string text;
  for (const std::string& line : lines) {
    if (&line != &lines.front()) text += '\n';
    text += line;
  }
  return text;
}

}  // namespace upgrade
