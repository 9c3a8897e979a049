// Step 2005Before: the scrapping-reason column of the asset table, the unit dictionary, and
// (in DO_2005Before_people.cpp) print margins, text copies of person numbers and re-keying.
#include "frmUpVrekMain.h"
#include "upgrade_table.h"

namespace upgrade {

Block PeopleBlock();

// Statement lines stay one per line, as they are sent.
// clang-format off

// An added column is NULL in the rows already there, whatever its default: the update fills it.
static Block ScrapReasonBlock() {
  return {"报废原因列块（lib_vrek 增加 vr_dwhy）", Column("lib_vrek", "vr_dwhy"), {
      Execute({"alter table lib_vrek add vr_dwhy char(40) default('')"},
              {AddColumn("lib_vrek", "vr_dwhy")}),
      Execute({"update lib_vrek set vr_dwhy=''"},
              {FillColumn("lib_vrek", "vr_dwhy")}),
  }};
}

// The old dictionary's rows are discarded: the client expects exactly these 27 rows, numbered by
// the identity in this order, "请选择" first. The guard is a column of the new table that the old
// one lacks, so the block's first statement drops the very table its guard looks into.
static Block UnitBlock() {
  static const char* const kUnitRows[] = {
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('请选择','',0)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('个','g',1)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('套','t',2)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('米','m',7)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('Kg','k',8)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('台','t',9)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('张','z',10)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('盏','z',11)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('支','z',12)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('卷','j',16)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('把','b',18)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('付','f',20)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('条','t',25)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('瓶','p',27)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('包','b',31)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('双','s',32)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('盒','h',33)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('批','p',34)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('本','b',35)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('面','m',43)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('床','c',44)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('只','z',46)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('筒','t',48)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('副','f',56)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('箱','x',65)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('层','c',72)",
      "insert into lib_unit(un_unit,un_unitpy,un_order) values ('T','t',73)",
  };

  Block block{"计量单位字典块（重建 lib_unit 并写入27个标准单位）", Column("lib_unit", "un_unitpy"), {
      Execute({"drop table lib_unit"},
              {DropTable("lib_unit")}),
      Execute({"create table lib_unit ( ",
               "\tun_id \t\tint NOT NULL IDENTITY (1, 1), ",
               "\tun_unit\t\tchar(10) default(''), ",
               "\tun_unitpy\tchar(1) default(''), ",
               "\tun_order \tint default(0))"},
              {CreateTable("lib_unit")}),
      Execute({"ALTER TABLE lib_unit ADD CONSTRAINT ",
               "PK_lib_unit PRIMARY KEY NONCLUSTERED",
               "(un_id)"},
              {AddPrimaryKey("lib_unit", "PK_lib_unit")}),
  }};
  for (const char* row : kUnitRows) block.statements.push_back(Execute({row}, {InsertRows("lib_unit")}));
  return block;
}
// clang-format on

const Step& Step2005Before() {
  static const Step step{"DO_2005Before", {ScrapReasonBlock(), UnitBlock(), PeopleBlock()}};
  return step;
}

}  // namespace upgrade

void TUpVrekMain::DO_2005Before() { RunStep(upgrade::Step2005Before()); }
