#include "platform/gui.h"

namespace platform {

void TForm::Close() { closed_ = true; }

void TApplication::ShowException(const std::exception& error) {
  MessageBox(error.what(), Title, MsgIcon::Error, MsgButtons::Ok);
}

void TApplication::Dispatch(const std::function<void()>& handler) {
  try {
    handler();
  } catch (const std::exception& error) {
    ShowException(error);
  }
}

void TApplication::Click(TButton& button) {
  if (!button.Enabled || !button.Visible || !button.OnClick) return;
  Dispatch([&button] { button.OnClick(&button); });
}

}  // namespace platform
