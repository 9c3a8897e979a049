// Step 2005Before, last block: the print-margin table, text copies of person numbers beside the
// numeric ones, a fresh lib_lsoutorder, and lib_people re-keyed on a char(9) number.
//
// The block's one guard is lib_prtblank, its first creation. Persons are therefore checked
// before anything of the block is sent: a person the re-keying could not carry would otherwise
// stop it half-way, with lib_prtblank in place and the rest never completed.
#include "frmUpVrekMain.h"
#include "people.h"
#include "sqltext.h"

// Statement lines stay one per line, as they are sent.
// clang-format off

void TUpVrekMain::OpenPeople() {
  qrTmp.SQL.Clear();
  qrTmp.SQL.Add("select * from lib_people");
  qrTmp.Open();
}

void TUpVrekMain::CheckPeople() {
  OpenPeople();
  std::vector<std::string> problems = UnconvertiblePeople(qrTmp);
  qrTmp.Close();
  if (!problems.empty()) throw EUpgradeError(UnconvertiblePeopleMessage(problems));
}

void TUpVrekMain::RekeyPeople() {
  if (!TableAbsent("lib_prtblank")) return;
  CheckPeople();

  RunSql(qrTmp, {"create table lib_prtblank ( ",
                 "\tpb_no \t\tint NOT NULL IDENTITY (1, 1),",
                 "\tpb_default \tint default(0),",
                 "\tpb_top\t     \tint default(0),",
                 "\tpb_bottom     \tint default(0),",
                 "\tpb_left\t     \tint default(0),",
                 "\tpb_right     \tint default(0) ",
                 ") "});
  RunSql(qrTmp, {"ALTER TABLE lib_prtblank ADD CONSTRAINT ",
                 "PK_lib_prtblank PRIMARY KEY NONCLUSTERED",
                 "(pb_no)"});
  RunSql(qrTmp, {"insert into lib_prtblank( ",
                 "     pb_default,pb_top,pb_bottom,pb_left,pb_right) values(",
                 "     0,10,10,10,10)"});
  RunSql(qrTmp, {"alter table lib_lsout add lo_usenos char(9) default('')"});
  RunSql(qrTmp, {"update lib_lsout set lo_usenos=CONVERT(char(9),lo_useno)"});
  RunSql(qrTmp, {"alter table lib_lsoutls add lo_usenos char(9) default('')"});
  RunSql(qrTmp, {"update lib_lsoutls set lo_usenos=CONVERT(char(9),lo_useno)"});
  // The table may be missing on older databases; whatever the drop reports, it is created anew.
  try {
    RunSql(qrTmp, {"drop table lib_lsoutorder"});
  } catch (const std::exception&) {
  }
  RunSql(qrTmp, {"create table lib_lsoutorder( ",
                 "\tlp_useno\tchar(9) default(''), ",
                 "\tlp_usename\tchar(16) default(''),",
                 "\tlp_dept\t\tchar(20) default(''),",
                 "\tlp_number\tnumeric(15,2) default(0),",
                 "\tlp_lsbook\tchar(20) default(''),",
                 "\tlp_name\t\tchar(30) default(''),",
                 "\tlp_optusr\tchar(26) default(''))"});
  RunSql(qrTmp, {"alter table lib_shenqing add sq_snos char(9) default('')"});
  RunSql(qrTmp, {"update lib_shenqing set sq_snos=CONVERT(char(9),sq_sno)"});
  RunSql(qrTmp, {"alter table lib_pifu add pf_snos char(9) default('')"});
  RunSql(qrTmp, {"update lib_pifu set pf_snos=CONVERT(char(9),pf_sno)"});
  RunSql(qrTmp, {"create table lib_peopletmp( ",
                 "\tpe_no char(9) default(''), ",
                 "\tpe_sign\t\tchar(1) default('1'),",
                 "\tpe_name\t\tchar(8) default(''),",
                 "\tpe_sex\t\tchar(2) default('男'),",
                 "\tpe_bdate \tdatetime default(getdate()),",
                 "\tpe_pass\t\tchar(9) default(''),",
                 "\tpe_card\t\tchar(20) default(''),",
                 "\tpe_dept\t\tint default(0))"});

  OpenPeople();
  for (; !qrTmp.Eof(); qrTmp.Next()) {
    Lines insert{"insert into lib_peopletmp values("};
    for (const PersonField& f : kPersonFields)
      insert.push_back("'" + QuoteBody(PersonValueText(qrTmp, f)) +
                       (&f == &kPersonFields[7] ? "')" : "',"));
    RunSql(qrTmp1, insert);
  }
  qrTmp.Close();

  RunSql(qrTmp, {"drop table lib_people"});
  RunSql(qrTmp, {"create table lib_people( ",
                 "\tpe_no       char(9) Not NULL, ",
                 "\tpe_sign\t\tchar(1) default('1'),",
                 "\tpe_name\t\tchar(8) default(''),",
                 "\tpe_sex\t\tchar(2) default('男'),",
                 "\tpe_bdate \tdatetime default(getdate()),",
                 "\tpe_pass\t\tchar(9) default(''),",
                 "\tpe_card\t\tchar(20) default(''),",
                 "\tpe_dept\t\tint default(0))"});
  RunSql(qrTmp, {"ALTER TABLE lib_people ADD CONSTRAINT ",
                 "PK_lib_people PRIMARY KEY NONCLUSTERED",
                 "(pe_no)"});
  RunSql(qrTmp, {"insert into lib_people select * from lib_peopletmp"});
  RunSql(qrTmp, {"drop table lib_peopletmp"});
}
// clang-format on
