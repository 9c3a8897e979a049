// What `run`, `plan` and `repair` share: the upgrade program's own connection, made through the
// same data module, settings and credentials as the desktop program's, with windows nobody sees.
#pragma once

#include <cstddef>
#include <optional>
#include <ostream>
#include <string>

#include "platform/database.h"
#include "platform/gui.h"
#include "platform/headless_gui.h"

class TUpVrekMain;

namespace vrekcli {

// Connects through `driver` when constructed. Every offer of a repair is answered No and every
// other box OK; the boxes shown are in Gui().Shown(). What is wrong with the settings goes to
// `err` as it happens, one line each, before the caller reports the failed connection:
//   警告：<the store's words for the missing key>，使用默认设置：数据源 …，用户 …，空密码。
//   读取设置失败：<platform::ESettingsError::Reason()>。
// Other failures (the driver's, which may quote the login) are not told.
class HeadlessUpgrade {
 public:
  HeadlessUpgrade(platform::Driver& driver, std::ostream& err);
  HeadlessUpgrade(const HeadlessUpgrade&) = delete;
  HeadlessUpgrade& operator=(const HeadlessUpgrade&) = delete;

  // False when the connection failed, whatever the reason: the caller prints kConnectFailed.
  bool Connected() const { return connected_; }
  platform::TApplication& App() { return app_; }

  // What the boxes shown during one click on "开始升级" said: the completion message (the
  // information box) and the error (the error box), where such boxes came. Offers of a repair
  // are answered No and are not part of it.
  struct Ended {
    std::optional<std::string> done, error;
  };
  Ended ClickStart(TUpVrekMain& form);

 private:
  platform::HeadlessGui gui_;
  platform::TApplication app_;
  bool connected_ = false;
};

// The line printed before the batch with this number (from 1), as a run echoes it.
std::string BatchHeader(std::size_t number);

}  // namespace vrekcli
