// A GUI backend without a screen: records every message box shown and answers each with the
// first button of its set (OK, or Yes). For tests and unattended runs.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "platform/gui.h"

namespace platform {

struct ShownMessageBox {
  std::string text;
  std::string caption;
  MsgIcon icon;
  MsgButtons buttons;
  bool operator==(const ShownMessageBox&) const = default;
};

// For test failure messages.
inline std::ostream& operator<<(std::ostream& os, const ShownMessageBox& box) {
  return os << "{\"" << box.text << "\", \"" << box.caption << "\", icon "
            << static_cast<int>(box.icon) << ", buttons " << static_cast<int>(box.buttons) << "}";
}

class HeadlessGui : public GuiBackend {
 public:
  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                       MsgButtons buttons) override;
  const std::vector<ShownMessageBox>& Shown() const { return shown_; }
  void ClearShown() { shown_.clear(); }

 private:
  std::vector<ShownMessageBox> shown_;
};

}  // namespace platform
