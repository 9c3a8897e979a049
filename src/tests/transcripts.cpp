#include "transcripts.h"

#include <utility>

Transcript& operator+=(Transcript& a, const Transcript& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

Transcript operator+(Transcript a, const Transcript& b) { return a += b; }

std::string MarkLookup(const std::string& mark) {
  return "select vm_mess from ver_manage\nwhere vm_mess='" + mark + "'";
}

std::string MarkInsert(const std::string& mark) {
  return "insert into ver_manage(vm_mess)values('" + mark + "')";
}

Transcript UpgradedRun() {
  return {
      "select * from sysobjects where name ='ver_manage'",
      "select name from syscolumns where name='vr_dwhy' and id in (select id from sysobjects "
      "where name = 'lib_vrek')",
      "select name from syscolumns where name='un_unitpy' and id in (select id from sysobjects "
      "where name = 'lib_unit')",
      "select * from sysobjects where name ='lib_prtblank'",
      "select * from sysobjects where name ='lib_curtermno'",
      "select * from sysobjects where name ='lib_vrekpandian'",
      "select * from sysobjects where name ='lib_yhppandian'",
      "select * from sysobjects where name ='lib_yhppandiantmp'",
      "select name from sysindexes where name='PK_lib_liushui_barcode'",
      MarkLookup("ZZ20110520.DEPT"),
      MarkLookup("ZZ20110623.CHECK"),
      MarkLookup("ZZ20121106.CHECK"),
  };
}

Transcript UpgradedSlice(size_t from, size_t to) {
  Transcript all = UpgradedRun();
  return Transcript(all.begin() + static_cast<long>(from), all.begin() + static_cast<long>(to));
}

Transcript Ledger() {
  return {UpgradedRun()[0], "create table ver_manage ( \n\t\tvm_mess \tchar(40) default('')\n) "};
}

Transcript ScrapReason() {
  return {UpgradedRun()[1], "alter table lib_vrek add vr_dwhy char(40) default('')",
          "update lib_vrek set vr_dwhy=''"};
}

std::vector<std::vector<std::string>> UnitSeedRows() {
  return {{"请选择", "", "0"}, {"个", "g", "1"},  {"套", "t", "2"},  {"米", "m", "7"},
          {"Kg", "k", "8"},    {"台", "t", "9"},  {"张", "z", "10"}, {"盏", "z", "11"},
          {"支", "z", "12"},   {"卷", "j", "16"}, {"把", "b", "18"}, {"付", "f", "20"},
          {"条", "t", "25"},   {"瓶", "p", "27"}, {"包", "b", "31"}, {"双", "s", "32"},
          {"盒", "h", "33"},   {"批", "p", "34"}, {"本", "b", "35"}, {"面", "m", "43"},
          {"床", "c", "44"},   {"只", "z", "46"}, {"筒", "t", "48"}, {"副", "f", "56"},
          {"箱", "x", "65"},   {"层", "c", "72"}, {"T", "t", "73"}};
}

Transcript Units() {
  Transcript t = {
      UpgradedRun()[2], "drop table lib_unit",
      "create table lib_unit ( \n"
      "\tun_id \t\tint NOT NULL IDENTITY (1, 1), \n"
      "\tun_unit\t\tchar(10) default(''), \n"
      "\tun_unitpy\tchar(1) default(''), \n"
      "\tun_order \tint default(0))",
      "ALTER TABLE lib_unit ADD CONSTRAINT \nPK_lib_unit PRIMARY KEY NONCLUSTERED\n(un_id)"};
  for (const auto& r : UnitSeedRows())
    t.push_back("insert into lib_unit(un_unit,un_unitpy,un_order) values ('" + r[0] + "','" + r[1] +
                "'," + r[2] + ")");
  return t;
}

Transcript PeopleHead() {
  return {
      UpgradedRun()[3],
      "select * from lib_people",
      "create table lib_prtblank ( \n"
      "\tpb_no \t\tint NOT NULL IDENTITY (1, 1),\n"
      "\tpb_default \tint default(0),\n"
      "\tpb_top\t     \tint default(0),\n"
      "\tpb_bottom     \tint default(0),\n"
      "\tpb_left\t     \tint default(0),\n"
      "\tpb_right     \tint default(0) \n"
      ") ",
      "ALTER TABLE lib_prtblank ADD CONSTRAINT \nPK_lib_prtblank PRIMARY KEY NONCLUSTERED\n(pb_no)",
      "insert into lib_prtblank( \n"
      "     pb_default,pb_top,pb_bottom,pb_left,pb_right) values(\n"
      "     0,10,10,10,10)",
      "alter table lib_lsout add lo_usenos char(9) default('')",
      "update lib_lsout set lo_usenos=CONVERT(char(9),lo_useno)",
      "alter table lib_lsoutls add lo_usenos char(9) default('')",
      "update lib_lsoutls set lo_usenos=CONVERT(char(9),lo_useno)",
      "drop table lib_lsoutorder",
      "create table lib_lsoutorder( \n"
      "\tlp_useno\tchar(9) default(''), \n"
      "\tlp_usename\tchar(16) default(''),\n"
      "\tlp_dept\t\tchar(20) default(''),\n"
      "\tlp_number\tnumeric(15,2) default(0),\n"
      "\tlp_lsbook\tchar(20) default(''),\n"
      "\tlp_name\t\tchar(30) default(''),\n"
      "\tlp_optusr\tchar(26) default(''))",
      "alter table lib_shenqing add sq_snos char(9) default('')",
      "update lib_shenqing set sq_snos=CONVERT(char(9),sq_sno)",
      "alter table lib_pifu add pf_snos char(9) default('')",
      "update lib_pifu set pf_snos=CONVERT(char(9),pf_sno)",
      "create table lib_peopletmp( \n"
      "\tpe_no char(9) default(''), \n"
      "\tpe_sign\t\tchar(1) default('1'),\n"
      "\tpe_name\t\tchar(8) default(''),\n"
      "\tpe_sex\t\tchar(2) default('男'),\n"
      "\tpe_bdate \tdatetime default(getdate()),\n"
      "\tpe_pass\t\tchar(9) default(''),\n"
      "\tpe_card\t\tchar(20) default(''),\n"
      "\tpe_dept\t\tint default(0))",
      "select * from lib_people"};
}

Transcript PeopleTail() {
  return {"drop table lib_people",
          "create table lib_people( \n"
          "\tpe_no       char(9) Not NULL, \n"
          "\tpe_sign\t\tchar(1) default('1'),\n"
          "\tpe_name\t\tchar(8) default(''),\n"
          "\tpe_sex\t\tchar(2) default('男'),\n"
          "\tpe_bdate \tdatetime default(getdate()),\n"
          "\tpe_pass\t\tchar(9) default(''),\n"
          "\tpe_card\t\tchar(20) default(''),\n"
          "\tpe_dept\t\tint default(0))",
          "ALTER TABLE lib_people ADD CONSTRAINT \nPK_lib_people PRIMARY KEY NONCLUSTERED\n(pe_no)",
          "insert into lib_people select * from lib_peopletmp", "drop table lib_peopletmp"};
}

std::string PersonInsert(const std::vector<std::string>& v) {
  std::string s = "insert into lib_peopletmp values(";
  for (size_t i = 0; i < v.size(); ++i) s += "\n'" + v[i] + (i + 1 == v.size() ? "')" : "',");
  return s;
}

Transcript StockTaking() {
  return {UpgradedRun()[4],
          "create table lib_curtermno ( \n\tct_termno \tchar(8) not null, \n\tct_date \tchar(10) "
          "not null\n) ",
          "insert into lib_curtermno values('','') ",
          UpgradedRun()[5],
          "create table lib_vrekpandian ( \n"
          "\tpd_barcode \tchar(20) not null, \n"
          "\tpd_date \tdatetime default(getdate()) not null,\n"
          "\tpd_user \tchar(6) default('') \n"
          ") ",
          "ALTER TABLE lib_vrekpandian ADD CONSTRAINT \nPK_lib_vrekpandian PRIMARY KEY "
          "NONCLUSTERED\n(pd_barcode)",
          UpgradedRun()[6],
          "create table lib_yhppandian ( \n"
          "\tpd_id\t    int not null,\n"
          "\tpd_barcode \tchar(20) not null, \n"
          "\tpd_number\tnumeric(15,2) default(0),\n"
          "\tpd_date \tdatetime default(getdate()) not null,\n"
          "\tpd_user \tchar(6) default('') \n"
          ") ",
          "ALTER TABLE lib_yhppandian ADD CONSTRAINT \nPK_lib_yhppandian PRIMARY KEY "
          "NONCLUSTERED\n(pd_id)",
          "create index PK_lib_yhppandian_barcode on lib_yhppandian(pd_barcode) WITH "
          "PAD_INDEX,FILLFACTOR=85",
          UpgradedRun()[7],
          "create table lib_yhppandiantmp ( \n"
          "\tpt_id\t    int not null,\n"
          "\tpt_pdnum\tnumeric(15,2) default(0),\n"
          "\tpt_outnum\tnumeric(15,2) default(0),\n"
          "\tpt_user \tchar(6) default('') \n"
          ") ",
          UpgradedRun()[8],
          "create index PK_lib_liushui_barcode on lib_liushui(ls_barcode) WITH "
          "PAD_INDEX,FILLFACTOR=85"};
}

Transcript Company() {
  Transcript t = {MarkLookup("ZZ20110520.DEPT"), MarkInsert("ZZ20110520.DEPT")};
  const std::pair<const char*, const char*> columns[] = {{"lib_vrektmp", "vr_company"},
                                                         {"lib_vrek", "vr_company"},
                                                         {"lib_liushuitmp", "ls_company"},
                                                         {"lib_liushui", "ls_company"},
                                                         {"lib_liushuils", "ls_company"}};
  for (const auto& [table, col] : columns) {
    t.push_back(std::string("alter table ") + table + " add " + col + " int DEFAULT(0)");
    t.push_back(std::string("update ") + table + " set " + col + "=0");
  }
  return t;
}

std::vector<std::vector<std::string>> CheckedFieldRows() {
  return {{"lib_vrek", "vr_id", "设备编号", "1"},       {"lib_vrek", "vr_name", "设备名称", "1"},
          {"lib_vrek", "vr_type", "型号", "0"},         {"lib_vrek", "vr_style", "规格", "0"},
          {"lib_vrek", "vr_productor", "厂家", "0"},    {"lib_vrek", "vr_prono", "出厂号", "0"},
          {"lib_vrek", "vr_price", "单价", "1"},        {"lib_vrek", "vr_kind", "经费科目", "0"},
          {"lib_vrek", "vr_usetype", "使用方向", "0"},  {"lib_vrek", "vr_checkno", "票据号", "0"},
          {"lib_liushui", "ls_barcode", "条形码", "1"}, {"lib_liushui", "ls_zcode", "类别", "0"},
          {"lib_liushui", "ls_pname", "名称", "1"},     {"lib_liushui", "ls_type", "型号", "0"},
          {"lib_liushui", "ls_style", "规格", "0"},     {"lib_liushui", "ls_pingz", "凭证号", "0"},
          {"lib_liushui", "ls_number", "数量", "1"},    {"lib_liushui", "ls_price", "单价", "1"}};
}

Transcript CheckedFields() {
  std::string batch;
  for (const auto& r : CheckedFieldRows()) {
    if (!batch.empty()) batch += "\n";
    batch += "insert into lib_check_field values('" + r[0] + "','" + r[1] + "','" + r[2] + "'," +
             r[3] + ");";
  }
  return {MarkLookup("ZZ20110623.CHECK"), MarkInsert("ZZ20110623.CHECK"),
          "create table lib_check_field ( \n"
          "\tcf_table \tchar(32) not null, \n"
          "\tcf_field \tchar(32) not null, \n"
          "\tcf_name \tchar(32) not null, \n"
          "\tct_check \tint default(0)\n"
          ") ",
          batch};
}

Transcript AssetNamesHead() {
  return {MarkLookup("ZZ20121106.CHECK"), MarkInsert("ZZ20121106.CHECK"),
          "create table lib_vrek_name ( \n\tgn_name \tchar(40) not null, \n\tgn_pinyin "
          "\tchar(40) default('')\n) ",
          "create index PK_lib_vrek_name on lib_vrek_name(gn_name) WITH PAD_INDEX,FILLFACTOR=85",
          "select vr_name from lib_vrek group by vr_name order by vr_name"};
}

std::string NameInsert(const std::string& name, const std::string& initials) {
  return "insert into lib_vrek_name values('" + name + "','" + initials + "') ";
}
