// Step 2005Before, last block: the print-margin table, text copies of person numbers beside the
// numeric ones, a fresh lib_lsoutorder, and lib_people re-keyed on a char(9) number.
//
// The block's one guard is lib_prtblank, its first creation. Everything a later statement of the
// block relies on is therefore checked before anything of the block is sent: the tables it
// alters and reads, the person numbers it copies as text, and the persons it re-keys. Any of them
// would otherwise stop it half-way, with lib_prtblank in place and the rest never completed.
#include <cstdint>

#include "frmUpVrekMain.h"
#include "people.h"
#include "sqltext.h"
#include "upgrade_table.h"

namespace upgrade {

// Statement lines stay one per line, as they are sent.
// clang-format off
Block PeopleBlock() {
  return {"打印边距与人员编号块", Table("lib_prtblank"), {
      Read({"select * from lib_people"}, RowUse::CheckPeople),
      Execute({"create table lib_prtblank ( ",
               "\tpb_no \t\tint NOT NULL IDENTITY (1, 1),",
               "\tpb_default \tint default(0),",
               "\tpb_top\t     \tint default(0),",
               "\tpb_bottom     \tint default(0),",
               "\tpb_left\t     \tint default(0),",
               "\tpb_right     \tint default(0) ",
               ") "},
              {CreateTable("lib_prtblank")}),
      Execute({"ALTER TABLE lib_prtblank ADD CONSTRAINT ",
               "PK_lib_prtblank PRIMARY KEY NONCLUSTERED",
               "(pb_no)"},
              {AddPrimaryKey("lib_prtblank", "PK_lib_prtblank")}),
      Execute({"insert into lib_prtblank( ",
               "     pb_default,pb_top,pb_bottom,pb_left,pb_right) values(",
               "     0,10,10,10,10)"},
              {InsertRows("lib_prtblank")}),
      Execute({"alter table lib_lsout add lo_usenos char(9) default('')"},
              {AddColumn("lib_lsout", "lo_usenos")}),
      Execute({"update lib_lsout set lo_usenos=CONVERT(char(9),lo_useno)"},
              {FillColumn("lib_lsout", "lo_usenos")}),
      Execute({"alter table lib_lsoutls add lo_usenos char(9) default('')"},
              {AddColumn("lib_lsoutls", "lo_usenos")}),
      Execute({"update lib_lsoutls set lo_usenos=CONVERT(char(9),lo_useno)"},
              {FillColumn("lib_lsoutls", "lo_usenos")}),
      // The table may be missing on older databases; whatever the drop reports, it is created anew.
      ExecuteTolerant({"drop table lib_lsoutorder"},
                      {DropTable("lib_lsoutorder")}),
      Execute({"create table lib_lsoutorder( ",
               "\tlp_useno\tchar(9) default(''), ",
               "\tlp_usename\tchar(16) default(''),",
               "\tlp_dept\t\tchar(20) default(''),",
               "\tlp_number\tnumeric(15,2) default(0),",
               "\tlp_lsbook\tchar(20) default(''),",
               "\tlp_name\t\tchar(30) default(''),",
               "\tlp_optusr\tchar(26) default(''))"},
              {CreateTable("lib_lsoutorder")}),
      Execute({"alter table lib_shenqing add sq_snos char(9) default('')"},
              {AddColumn("lib_shenqing", "sq_snos")}),
      Execute({"update lib_shenqing set sq_snos=CONVERT(char(9),sq_sno)"},
              {FillColumn("lib_shenqing", "sq_snos")}),
      Execute({"alter table lib_pifu add pf_snos char(9) default('')"},
              {AddColumn("lib_pifu", "pf_snos")}),
      Execute({"update lib_pifu set pf_snos=CONVERT(char(9),pf_sno)"},
              {FillColumn("lib_pifu", "pf_snos")}),
      Execute({"create table lib_peopletmp( ",
               "\tpe_no char(9) default(''), ",
               "\tpe_sign\t\tchar(1) default('1'),",
               "\tpe_name\t\tchar(8) default(''),",
               "\tpe_sex\t\tchar(2) default('男'),",
               "\tpe_bdate \tdatetime default(getdate()),",
               "\tpe_pass\t\tchar(9) default(''),",
               "\tpe_card\t\tchar(20) default(''),",
               "\tpe_dept\t\tint default(0))"},
              {CreateTable("lib_peopletmp")}),
      Read({"select * from lib_people"}, RowUse::CopyPeople,
           {InsertRows("lib_peopletmp")}),
      // A client still connected may have added or changed a person during the copy.
      Read({"select * from lib_people"}, RowUse::ProvePeople),
      Execute({"drop table lib_people"},
              {DropTable("lib_people")}),
      Execute({"create table lib_people( ",
               "\tpe_no       char(9) Not NULL, ",
               "\tpe_sign\t\tchar(1) default('1'),",
               "\tpe_name\t\tchar(8) default(''),",
               "\tpe_sex\t\tchar(2) default('男'),",
               "\tpe_bdate \tdatetime default(getdate()),",
               "\tpe_pass\t\tchar(9) default(''),",
               "\tpe_card\t\tchar(20) default(''),",
               "\tpe_dept\t\tint default(0))"},
              {CreateTable("lib_people")}),
      Execute({"ALTER TABLE lib_people ADD CONSTRAINT ",
               "PK_lib_people PRIMARY KEY NONCLUSTERED",
               "(pe_no)"},
              {AddPrimaryKey("lib_people", "PK_lib_people")}),
      Execute({"insert into lib_people select * from lib_peopletmp"},
              {InsertRows("lib_people")}),
      Execute({"drop table lib_peopletmp"},
              {DropTable("lib_peopletmp")}),
    }, {
      TableCheck("lib_lsout", {"lo_useno"}, {"lo_usenos"}),
      TableCheck("lib_lsoutls", {"lo_useno"}, {"lo_usenos"}),
      TableCheck("lib_shenqing", {"sq_sno"}, {"sq_snos"}),
      TableCheck("lib_pifu", {"pf_sno"}, {"pf_snos"}),
      TableCheck("lib_people", {"pe_no", "pe_sign", "pe_name", "pe_sex", "pe_bdate", "pe_pass",
                                "pe_card", "pe_dept"}),
      NoObjectCheck("PK_lib_prtblank"),
      NoObjectCheck("lib_peopletmp"),
      NoObjectCheck("PK_lib_people", "lib_people"),
      PersonNumbersCheck("lib_lsout", "lo_useno"),
      PersonNumbersCheck("lib_lsoutls", "lo_useno"),
      PersonNumbersCheck("lib_shenqing", "sq_sno"),
      PersonNumbersCheck("lib_pifu", "pf_sno"),
  }};
}
// clang-format on

}  // namespace upgrade

namespace {

// The persons of the open query as the copy writes them, in any order: how many, and the sum of
// a 64-bit FNV-1a hash of each person's eight value texts.
struct PeopleDigest {
  std::size_t count = 0;
  std::uint64_t sum = 0;
  void Add(const std::vector<std::string>& values) {
    std::uint64_t h = 14695981039346656037ull;
    for (const std::string& v : values) {
      for (const char c : v) h = (h ^ static_cast<unsigned char>(c)) * 1099511628211ull;
      h = (h ^ 0xFFu) * 1099511628211ull;  // ends each value, so "ab","c" differs from "a","bc"
    }
    ++count;
    sum += h;
  }
  bool operator==(const PeopleDigest&) const = default;
};

std::vector<std::string> PersonValues(const platform::TQuery& people) {
  std::vector<std::string> values;
  values.reserve(std::size(kPersonFields));
  for (const PersonField& f : kPersonFields) values.push_back(PersonValueText(people, f));
  return values;
}

}  // namespace

void TUpVrekMain::CopyPeople(platform::TQuery& people) {
  PeopleDigest copied;
  for (; !people.Eof(); people.Next()) {
    const std::vector<std::string> values = PersonValues(people);
    Lines insert{"insert into lib_peopletmp values("};
    for (std::size_t i = 0; i < values.size(); ++i)
      insert.push_back("'" + QuoteBody(values[i]) + (i + 1 == values.size() ? "')" : "',"));
    RunSql(qrTmp1, insert);
    copied.Add(values);
  }
  copied_people_ = {copied.count, copied.sum};
}

void TUpVrekMain::ProvePeople(platform::TQuery& people) {
  PeopleDigest now;
  try {
    for (; !people.Eof(); people.Next()) now.Add(PersonValues(people));
  } catch (const platform::EVariantError&) {
    now.count = static_cast<std::size_t>(-1);  // a person the copy could not have carried
  }
  if (copied_people_ && now == PeopleDigest{copied_people_->first, copied_people_->second}) return;
  throw EUpgradeError(
      "人员数据在复制过程中被改动（复制了 " +
      std::to_string(copied_people_ ? copied_people_->first : 0) + " 名人员，lib_people 现有 " +
      (now.count == static_cast<std::size_t>(-1) ? std::string("无法转换的人员")
                                                 : std::to_string(now.count) + " 名") +
      "），升级已在删除 lib_people 之前停止，人员数据没有丢失。请关闭所有客户端程序，然后运行修复"
      "（upvrek-cli repair，或再次开始升级并选择立即修复）完成这一部分。");
}
