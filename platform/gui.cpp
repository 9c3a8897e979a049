#include "platform/gui.h"

namespace platform {

std::string FormTexts(const TForm& form) {
  std::string out;
  for (const TControl* c : form.Controls) {
    if (c->Caption.empty()) continue;
    if (!out.empty()) out += " | ";
    out += c->Caption;
  }
  return out;
}

TDataModule::~TDataModule() {
  // Later components may refer to earlier ones: release them in reverse order of creation.
  while (!components_.empty()) components_.pop_back();
}

void TDataModule::FreeComponent(TObject* component) {
  for (auto it = components_.begin(); it != components_.end(); ++it)
    if (it->get() == component) {
      auto doomed = std::move(*it);
      components_.erase(it);
      return;
    }
}

TForm::~TForm() {
  if (shown_on_) shown_on_->DestroyForm(*this);
}

void TForm::Close() {
  closed_ = true;
  if (shown_on_) shown_on_->CloseForm(*this);
}

TApplication::~TApplication() {
  while (!owned_.empty()) owned_.pop_back();
}

void TApplication::Show(TForm& form) {
  form.shown_on_ = &backend_;
  form.closed_ = false;
  backend_.ShowForm(form, *this);
}

void TApplication::Repaint(TForm& form) {
  if (form.shown_on_) backend_.RepaintForm(form);
}

void TApplication::Run() {
  if (!MainForm) return;
  Show(*MainForm);
  backend_.RunLoop(*MainForm);
}

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
