#include "platform/headless_gui.h"

namespace platform {

MsgResult HeadlessGui::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                  MsgButtons buttons) {
  shown_.push_back({text, caption, icon, buttons});
  return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
}

}  // namespace platform
