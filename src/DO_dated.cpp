// The dated steps. Each records its mark before anything else, so it runs at most once per
// database, even when it fails part-way; what would make a statement fail is therefore checked
// after the mark is found absent and before it is recorded.
#include "frmUpVrekMain.h"
#include "pinyin_binding.h"
#include "sqltext.h"
#include "text/text.h"
#include "upgrade_table.h"

namespace upgrade {

// Statement lines stay one per line, as they are sent.
// clang-format off

// Company columns of the asset and ledger tables. Each alter is followed by its own update: an
// added column is NULL in existing rows, whatever its default.
const Step& Step20110520() {
  static const Step step{"DO_20110520", {
    {"步骤 20110520（公司列）", Mark("ZZ20110520.DEPT"), {
        Execute({"alter table lib_vrektmp add vr_company int DEFAULT(0)"},
                {AddColumn("lib_vrektmp", "vr_company")}),
        Execute({"update lib_vrektmp set vr_company=0"},
                {FillColumn("lib_vrektmp", "vr_company")}),
        Execute({"alter table lib_vrek add vr_company int DEFAULT(0)"},
                {AddColumn("lib_vrek", "vr_company")}),
        Execute({"update lib_vrek set vr_company=0"},
                {FillColumn("lib_vrek", "vr_company")}),
        Execute({"alter table lib_liushuitmp add ls_company int DEFAULT(0)"},
                {AddColumn("lib_liushuitmp", "ls_company")}),
        Execute({"update lib_liushuitmp set ls_company=0"},
                {FillColumn("lib_liushuitmp", "ls_company")}),
        Execute({"alter table lib_liushui add ls_company int DEFAULT(0)"},
                {AddColumn("lib_liushui", "ls_company")}),
        Execute({"update lib_liushui set ls_company=0"},
                {FillColumn("lib_liushui", "ls_company")}),
        Execute({"alter table lib_liushuils add ls_company int DEFAULT(0)"},
                {AddColumn("lib_liushuils", "ls_company")}),
        Execute({"update lib_liushuils set ls_company=0"},
                {FillColumn("lib_liushuils", "ls_company")}),
      }, {
        TableCheck("lib_vrektmp", {}, {"vr_company"}),
        TableCheck("lib_vrek", {}, {"vr_company"}),
        TableCheck("lib_liushuitmp", {}, {"ls_company"}),
        TableCheck("lib_liushui", {}, {"ls_company"}),
        TableCheck("lib_liushuils", {}, {"ls_company"}),
    }},
  }};
  return step;
}

// The fields the client lets users check, with their captions; the inserts go as one batch.
const Step& Step20110623() {
  static const Step step{"DO_20110623", {
    {"步骤 20110623（检查字段字典）", Mark("ZZ20110623.CHECK"), {
        Execute({"create table lib_check_field ( ",
                 "\tcf_table \tchar(32) not null, ",
                 "\tcf_field \tchar(32) not null, ",
                 "\tcf_name \tchar(32) not null, ",
                 "\tct_check \tint default(0)",
                 ") "},
                {CreateTable("lib_check_field")}),
        Execute({"insert into lib_check_field values('lib_vrek','vr_id','设备编号',1);",
                 "insert into lib_check_field values('lib_vrek','vr_name','设备名称',1);",
                 "insert into lib_check_field values('lib_vrek','vr_type','型号',0);",
                 "insert into lib_check_field values('lib_vrek','vr_style','规格',0);",
                 "insert into lib_check_field values('lib_vrek','vr_productor','厂家',0);",
                 "insert into lib_check_field values('lib_vrek','vr_prono','出厂号',0);",
                 "insert into lib_check_field values('lib_vrek','vr_price','单价',1);",
                 "insert into lib_check_field values('lib_vrek','vr_kind','经费科目',0);",
                 "insert into lib_check_field values('lib_vrek','vr_usetype','使用方向',0);",
                 "insert into lib_check_field values('lib_vrek','vr_checkno','票据号',0);",
                 "insert into lib_check_field values('lib_liushui','ls_barcode','条形码',1);",
                 "insert into lib_check_field values('lib_liushui','ls_zcode','类别',0);",
                 "insert into lib_check_field values('lib_liushui','ls_pname','名称',1);",
                 "insert into lib_check_field values('lib_liushui','ls_type','型号',0);",
                 "insert into lib_check_field values('lib_liushui','ls_style','规格',0);",
                 "insert into lib_check_field values('lib_liushui','ls_pingz','凭证号',0);",
                 "insert into lib_check_field values('lib_liushui','ls_number','数量',1);",
                 "insert into lib_check_field values('lib_liushui','ls_price','单价',1);"},
                {InsertRows("lib_check_field")}),
      }, {
        NoObjectCheck("lib_check_field"),
    }},
  }};
  return step;
}

// One row per distinct asset name with its pinyin initials, for the client's quick search.
const Step& Step20121106() {
  static const Step step{"DO_20121106", {
    {"步骤 20121106（资产名称拼音首字母）", Mark("ZZ20121106.CHECK"), {
        Execute({"create table lib_vrek_name ( ",
                 "\tgn_name \tchar(40) not null, ",
                 "\tgn_pinyin \tchar(40) default('')",
                 ") "},
                {CreateTable("lib_vrek_name")}),
        Execute({"create index PK_lib_vrek_name on lib_vrek_name(gn_name) WITH "
                 "PAD_INDEX,FILLFACTOR=85"},
                {CreateIndex("lib_vrek_name", "PK_lib_vrek_name")}),
        Read({"select vr_name from lib_vrek group by vr_name order by vr_name"},
             RowUse::InsertNames,
             {InsertRows("lib_vrek_name")}),
      }, {
        TableCheck("lib_vrek", {"vr_name"}),
        NoObjectCheck("lib_vrek_name"),
        AssetNamesCheck(),
    }},
  }};
  return step;
}
// clang-format on

}  // namespace upgrade

void TUpVrekMain::DO_20110520() { RunStep(upgrade::Step20110520()); }
void TUpVrekMain::DO_20110623() { RunStep(upgrade::Step20110623()); }
void TUpVrekMain::DO_20121106() { RunStep(upgrade::Step20121106()); }

void TUpVrekMain::InsertNames(platform::TQuery& names) {
  PinYinResult initials(FreePinYin);
  for (; !names.Eof(); names.Next()) {
    std::string name = names.FieldByName("vr_name").AsString();
    std::string gbk = text::Utf8ToGbk(name, text::Mode::kStrict);
    GetPinYin(gbk.c_str(), gbk.size(), initials.Slot());
    RunSql(qrTmp1, {"insert into lib_vrek_name values('" + QuoteBody(name) + "','" +
                    QuoteBody(initials.Text()) + "') "});
  }
}
