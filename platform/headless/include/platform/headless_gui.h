// A GUI backend without a screen: records every message box shown and answers each with the
// first button of its set (OK, or Yes: the default button) unless Answer is set, and records what
// happens to windows, in order, as lines of the event record. For tests and unattended runs.
#pragma once

#include <functional>
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

// The event record has one line per event:
//   "show <form name>: <caption of each control with one, in creation order, joined by " | ">"
//   "repaint <form name>: <same texts>"
//   "close <form name>", "destroy <form name>", "loop <form name>"
//   "box <caption>: <text>"
// and whatever the test adds through Note.
class HeadlessGui : public GuiBackend {
 public:
  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                       MsgButtons buttons) override;
  void ShowForm(TForm& form, TApplication& application) override;
  void RepaintForm(TForm& form) override;
  void CloseForm(TForm& form) override;
  void DestroyForm(TForm& form) override;
  // Records the loop and runs User (when set) as the person at the screen, then returns.
  void RunLoop(TForm& main_form) override;

  std::function<void(TForm& main_form, TApplication& application)> User;
  // The person's answer to a box, called after the box is recorded; unset, the default button.
  std::function<MsgResult(const ShownMessageBox& box)> Answer;

  const std::vector<ShownMessageBox>& Shown() const { return shown_; }
  void ClearShown() { shown_.clear(); }
  const std::vector<std::string>& Events() const { return events_; }
  // Adds a line of the caller's own, so that a test sees how its events interleave with these.
  void Note(std::string line) { events_.push_back(std::move(line)); }

 private:
  std::vector<ShownMessageBox> shown_;
  std::vector<std::string> events_;
  TApplication* application_ = nullptr;
};

}  // namespace platform
