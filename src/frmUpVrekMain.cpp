#include "frmUpVrekMain.h"

#include <cstdlib>

#include "pinyin_binding.h"

using platform::TQuery;

TUpVrekMain::TUpVrekMain(platform::TApplication& application)
    : GetPinYin(DefaultPinYinFunction()),
      FreePinYin([](char* initials) { std::free(initials); }),
      application_(application) {
  Name = "UpVrekMain";
  Caption = "固定资产升级程序     2012.11";
  BorderStyle = platform::TBorderStyle::Dialog;
  Position = platform::TPosition::ScreenCenter;
  ClientWidth = 351;
  ClientHeight = 118;
  FontName = "宋体";
  FontHeight = 12;

  auto place = [this](platform::TControl& c, const char* name, int left, int top, int width,
                      int height, const char* caption) {
    c.Name = name;
    c.Left = left;
    c.Top = top;
    c.Width = width;
    c.Height = height;
    c.Caption = caption;
    Controls.push_back(&c);
  };
  place(Label1, "Label1", 24, 16, 288, 12, "此次升级，修改了人员的代码类型，可以上包含字符。");
  place(Label2, "Label2", 24, 32, 246, 12, "并解决Win2000中的打印问题。增加盘点功能！");
  place(Label3, "Label3", 24, 48, 288, 12, "增加固定资产查询中快速定位中拼音首字母快速查询。");
  place(btUp, "btUp", 24, 80, 75, 25, "开始升级");
  place(btExit, "btExit", 248, 80, 75, 25, "退出");
  btUp.TabOrder = 0;
  btExit.TabOrder = 1;
  btUp.OnClick = [this](platform::TObject* sender) { btUpClick(sender); };
  btExit.OnClick = [this](platform::TObject* sender) { btExitClick(sender); };

  qrTmp.DatabaseName = "VrekDB";
  qrTmp1.DatabaseName = "VrekDB";
}

void TUpVrekMain::btUpClick(platform::TObject*) {
  btUp.Enabled = false;
  CreateLedger();
  DO_2005Before();
  DO_2005();
  DO_20110520();
  DO_20110623();
  DO_20121106();
  btUp.Enabled = true;
  application_.MessageBox("升级已经完成，请更新所有的客户端程序Vrek.exe！", "提示信息",
                          platform::MsgIcon::Information, platform::MsgButtons::Ok);
}

void TUpVrekMain::btExitClick(platform::TObject*) { Close(); }

void TUpVrekMain::RunSql(TQuery& query, const Lines& lines) {
  query.SQL.Clear();
  for (const auto& line : lines) query.SQL.Add(line);
  query.ExecSQL();
  query.Close();
}

bool TUpVrekMain::ProbeAbsent(TQuery& query, const Lines& lines) {
  query.SQL.Clear();
  for (const auto& line : lines) query.SQL.Add(line);
  query.Open();
  bool absent = query.Eof();
  query.Close();
  return absent;
}

bool TUpVrekMain::TableAbsent(std::string_view table) {
  return ProbeAbsent(qrTmp, {"select * from sysobjects where name ='" + std::string(table) + "'"});
}

bool TUpVrekMain::ColumnAbsent(std::string_view column, std::string_view table) {
  return ProbeAbsent(
      qrTmp, {"select name from syscolumns where name='" + std::string(column) +
              "' and id in (select id from sysobjects where name = '" + std::string(table) + "')"});
}

bool TUpVrekMain::IndexAbsent(std::string_view index) {
  return ProbeAbsent(qrTmp,
                     {"select name from sysindexes where name='" + std::string(index) + "'"});
}

void TUpVrekMain::CreateLedger() {
  if (!TableAbsent("ver_manage")) return;
  RunSql(qrTmp, {"create table ver_manage ( ", "\t\tvm_mess \tchar(40) default('')", ") "});
}

bool TUpVrekMain::CheckVerSign(const std::string& mark) {
  if (!ProbeAbsent(qrTmp, {"select vm_mess from ver_manage", "where vm_mess='" + mark + "'"}))
    return false;
  RunSql(qrTmp, {"insert into ver_manage(vm_mess)values('" + mark + "')"});
  return true;
}
