#include "transcripts.h"

std::string PrtblankProbe() { return "select * from sysobjects where name ='lib_prtblank'"; }

std::string MarkLookup(const std::string& mark) {
  return "select vm_mess from ver_manage\nwhere vm_mess='" + mark + "'";
}

Transcript UpgradedRun() {
  return {
      "select * from sysobjects where name ='ver_manage'",
      "select name from syscolumns where name='vr_dwhy' and id in (select id from sysobjects "
      "where name = 'lib_vrek')",
      "select name from syscolumns where name='un_unitpy' and id in (select id from sysobjects "
      "where name = 'lib_unit')",
      PrtblankProbe(),
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
