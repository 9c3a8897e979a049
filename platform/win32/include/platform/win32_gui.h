// The GUI seam over the Win32 API.
//
// Forms become top-level windows owned by one hidden application window, whose caption is the
// application's title: as with the register client, that window is the program's taskbar entry
// and the forms have none of their own. A dialog-framed form has a caption and a close box and
// no minimise or maximise box; a borderless one has neither frame nor caption. Client sizes,
// positions and font heights are 96-dpi pixels scaled to the screen's resolution (the process
// declares itself DPI-aware). Labels and pictures are drawn by the form in creation order, each
// over the earlier ones; buttons are child windows in the order of their TabOrder, so Tab moves
// through them in that order. A picture names an RCDATA resource of the executable: its file
// name upper-cased ("splash.jpg" is the resource "SPLASH.JPG"), JPEG or PNG, decoded by WIC.
// Message boxes are MessageBoxW owned by the topmost shown form (or the application window).
#pragma once

#include <memory>

#include "platform/gui.h"

namespace platform {

class Win32Gui : public GuiBackend {
 public:
  // instance: the module whose resources hold the pictures; nullptr means the executable.
  explicit Win32Gui(void* instance = nullptr);
  ~Win32Gui() override;
  Win32Gui(const Win32Gui&) = delete;
  Win32Gui& operator=(const Win32Gui&) = delete;

  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                       MsgButtons buttons) override;
  void ShowForm(TForm& form, TApplication& application) override;
  void RepaintForm(TForm& form) override;
  void CloseForm(TForm& form) override;
  void DestroyForm(TForm& form) override;
  void RunLoop(TForm& main_form) override;

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform
