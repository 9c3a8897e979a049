#include "UpVrek.h"

#include <exception>

#include "frmUpVrekMain.h"
#include "unTools.h"

void StartAndRun(platform::TApplication& Application,
                 const std::function<void()>& create_data_module) {
  auto fail = [&Application] {
    Application.MessageBox("数据库连接失败，请检查通信参数或服务器状态！", "错误信息",
                           platform::MsgIcon::None, platform::MsgButtons::Ok);
  };
  try {
    create_data_module();
    if (ConnectMessage != "OK")
      fail();
    else
      Application.CreateForm<TUpVrekMain>(Application);
  } catch (const std::exception&) {
    fail();
  }
  Application.Run();
}

int UpVrek(platform::GuiBackend& gui, platform::Driver& driver, RegistryFactory registry) {
  platform::TApplication Application(gui);
  Application.Title = "Brantel资产管理系统";
  StartAndRun(Application, [&] {
    Application.CreateForm<TdbToolsMain>(Application, driver, std::move(registry));
  });
  return 0;
}
