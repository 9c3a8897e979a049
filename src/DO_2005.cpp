// Step 2005: the stock-taking tables and the barcode index of the consumables ledger. Five
// independent blocks, each guarded by the table or index it creates.
#include "frmUpVrekMain.h"
#include "upgrade_table.h"

namespace upgrade {

// Statement lines stay one per line, as they are sent.
// clang-format off
const Step& Step2005() {
  static const Step step{"DO_2005", {
    {"终端号表块", Table("lib_curtermno"), {
        Execute({"create table lib_curtermno ( ",
                 "\tct_termno \tchar(8) not null, ",
                 "\tct_date \tchar(10) not null",
                 ") "},
                {CreateTable("lib_curtermno")}),
        Execute({"insert into lib_curtermno values('','') "},
                {InsertRows("lib_curtermno")}),
    }},
    {"固定资产盘点表块", Table("lib_vrekpandian"), {
        Execute({"create table lib_vrekpandian ( ",
                 "\tpd_barcode \tchar(20) not null, ",
                 "\tpd_date \tdatetime default(getdate()) not null,",
                 "\tpd_user \tchar(6) default('') ",
                 ") "},
                {CreateTable("lib_vrekpandian")}),
        Execute({"ALTER TABLE lib_vrekpandian ADD CONSTRAINT ",
                 "PK_lib_vrekpandian PRIMARY KEY NONCLUSTERED",
                 "(pd_barcode)"},
                {AddPrimaryKey("lib_vrekpandian", "PK_lib_vrekpandian")}),
    }},
    {"低值易耗品盘点表块", Table("lib_yhppandian"), {
        Execute({"create table lib_yhppandian ( ",
                 "\tpd_id\t    int not null,",
                 "\tpd_barcode \tchar(20) not null, ",
                 "\tpd_number\tnumeric(15,2) default(0),",
                 "\tpd_date \tdatetime default(getdate()) not null,",
                 "\tpd_user \tchar(6) default('') ",
                 ") "},
                {CreateTable("lib_yhppandian")}),
        Execute({"ALTER TABLE lib_yhppandian ADD CONSTRAINT ",
                 "PK_lib_yhppandian PRIMARY KEY NONCLUSTERED",
                 "(pd_id)"},
                {AddPrimaryKey("lib_yhppandian", "PK_lib_yhppandian")}),
        Execute({"create index PK_lib_yhppandian_barcode on lib_yhppandian(pd_barcode) WITH "
                 "PAD_INDEX,FILLFACTOR=85"},
                {CreateIndex("lib_yhppandian", "PK_lib_yhppandian_barcode")}),
    }},
    {"盘点临时表块", Table("lib_yhppandiantmp"), {
        Execute({"create table lib_yhppandiantmp ( ",
                 "\tpt_id\t    int not null,",
                 "\tpt_pdnum\tnumeric(15,2) default(0),",
                 "\tpt_outnum\tnumeric(15,2) default(0),",
                 "\tpt_user \tchar(6) default('') ",
                 ") "},
                {CreateTable("lib_yhppandiantmp")}),
    }},
    {"流水账条形码索引块", Index("PK_lib_liushui_barcode"), {
        Execute({"create index PK_lib_liushui_barcode on lib_liushui(ls_barcode) WITH "
                 "PAD_INDEX,FILLFACTOR=85"},
                {CreateIndex("lib_liushui", "PK_lib_liushui_barcode")}),
    }},
  }};
  return step;
}
// clang-format on

}  // namespace upgrade

void TUpVrekMain::DO_2005() { RunStep(upgrade::Step2005()); }
