// A GUI backend without a screen: records every message box shown and answers each with the
// first button of its set (OK, or Yes). For tests and unattended runs.
#pragma once

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
