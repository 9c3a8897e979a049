#include "platform/headless_gui.h"

namespace platform {

MsgResult HeadlessGui::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                                  MsgButtons buttons) {
  shown_.push_back({text, caption, icon, buttons});
  events_.push_back("box " + caption + ": " + text);
  if (Answer) return Answer(shown_.back());
  return buttons == MsgButtons::YesNo ? MsgResult::Yes : MsgResult::Ok;
}

void HeadlessGui::ShowForm(TForm& form, TApplication& application) {
  application_ = &application;
  events_.push_back("show " + form.Name + ": " + FormTexts(form));
}

void HeadlessGui::RepaintForm(TForm& form) {
  events_.push_back("repaint " + form.Name + ": " + FormTexts(form));
}

void HeadlessGui::CloseForm(TForm& form) { events_.push_back("close " + form.Name); }

// Only the name: the form's controls may already be gone.
void HeadlessGui::DestroyForm(TForm& form) { events_.push_back("destroy " + form.Name); }

void HeadlessGui::RunLoop(TForm& main_form) {
  events_.push_back("loop " + main_form.Name);
  if (User && application_) User(main_form, *application_);
}

}  // namespace platform
