#include "headless_upgrade.h"

#include <exception>

#include "UpVrek.h"
#include "dmToolsData.h"
#include "frmUpVrekMain.h"
#include "platform/registry.h"
#include "unTools.h"

namespace vrekcli {

HeadlessUpgrade::HeadlessUpgrade(platform::Driver& driver, std::ostream& err) : app_(gui_) {
  gui_.Answer = [](const platform::ShownMessageBox& box) {
    return box.buttons == platform::MsgButtons::YesNo ? platform::MsgResult::No
                                                      : platform::MsgResult::Ok;
  };
  app_.Title = kApplicationTitle;
  try {
    app_.CreateForm<TdbToolsMain>(
        app_, driver, [] { return platform::CreateRegistry(); },
        [&err](const std::string& warning) { err << "警告：" << warning << "。\n"; });
  } catch (const platform::ESettingsError& e) {
    err << "读取设置失败：" << e.Reason() << "。\n";
    return;
  } catch (const std::exception&) {
    return;
  }
  connected_ = ConnectMessage == "OK";
}

HeadlessUpgrade::Ended HeadlessUpgrade::ClickStart(TUpVrekMain& form) {
  Ended ended;
  gui_.ClearShown();
  app_.Click(form.btUp);
  for (const platform::ShownMessageBox& box : gui_.Shown()) {
    if (box.icon == platform::MsgIcon::Error)
      ended.error = box.text;
    else if (box.icon != platform::MsgIcon::Question)
      ended.done = box.text;
  }
  return ended;
}

std::string BatchHeader(std::size_t number) { return "-- 批 " + std::to_string(number); }

}  // namespace vrekcli
