// Step 2005: the stock-taking tables and the barcode index of the consumables ledger. Five
// independent blocks, each guarded by the table or index it creates.
#include "frmUpVrekMain.h"

// Statement lines stay one per line, as they are sent.
// clang-format off

void TUpVrekMain::DO_2005() {
  if (TableAbsent("lib_curtermno")) {
    RunSql(qrTmp, {"create table lib_curtermno ( ",
                   "\tct_termno \tchar(8) not null, ",
                   "\tct_date \tchar(10) not null",
                   ") "});
    RunSql(qrTmp, {"insert into lib_curtermno values('','') "});
  }

  if (TableAbsent("lib_vrekpandian")) {
    RunSql(qrTmp, {"create table lib_vrekpandian ( ",
                   "\tpd_barcode \tchar(20) not null, ",
                   "\tpd_date \tdatetime default(getdate()) not null,",
                   "\tpd_user \tchar(6) default('') ",
                   ") "});
    RunSql(qrTmp, {"ALTER TABLE lib_vrekpandian ADD CONSTRAINT ",
                   "PK_lib_vrekpandian PRIMARY KEY NONCLUSTERED",
                   "(pd_barcode)"});
  }

  if (TableAbsent("lib_yhppandian")) {
    RunSql(qrTmp, {"create table lib_yhppandian ( ",
                   "\tpd_id\t    int not null,",
                   "\tpd_barcode \tchar(20) not null, ",
                   "\tpd_number\tnumeric(15,2) default(0),",
                   "\tpd_date \tdatetime default(getdate()) not null,",
                   "\tpd_user \tchar(6) default('') ",
                   ") "});
    RunSql(qrTmp, {"ALTER TABLE lib_yhppandian ADD CONSTRAINT ",
                   "PK_lib_yhppandian PRIMARY KEY NONCLUSTERED",
                   "(pd_id)"});
    RunSql(qrTmp, {"create index PK_lib_yhppandian_barcode on lib_yhppandian(pd_barcode) WITH "
                   "PAD_INDEX,FILLFACTOR=85"});
  }

  if (TableAbsent("lib_yhppandiantmp")) {
    RunSql(qrTmp, {"create table lib_yhppandiantmp ( ",
                   "\tpt_id\t    int not null,",
                   "\tpt_pdnum\tnumeric(15,2) default(0),",
                   "\tpt_outnum\tnumeric(15,2) default(0),",
                   "\tpt_user \tchar(6) default('') ",
                   ") "});
  }

  if (IndexAbsent("PK_lib_liushui_barcode")) {
    RunSql(qrTmp, {"create index PK_lib_liushui_barcode on lib_liushui(ls_barcode) WITH "
                   "PAD_INDEX,FILLFACTOR=85"});
  }
}
// clang-format on
