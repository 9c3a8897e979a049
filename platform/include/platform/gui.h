// The desktop GUI seam: the controls a window of the core is made of, message boxes, and the
// application object with its title and top-level error handler.
//
// Controls are plain property holders owned by their window. A toolkit backend (Qt, Win32, or
// the headless recorder of the tests) mirrors them on screen and delivers user events through
// TApplication::Dispatch, so an event handler that throws ends up in the top-level handler just
// as it would in the toolkit's own message loop.
#pragma once

#include <exception>
#include <functional>
#include <string>
#include <vector>

namespace platform {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgResult { Ok, Cancel, Yes, No };

class TObject {
 public:
  virtual ~TObject() = default;
};

class TControl : public TObject {
 public:
  std::string Name;
  std::string Caption;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Visible = true;
  bool Enabled = true;
};

class TLabel : public TControl {};

class TButton : public TControl {
 public:
  int TabOrder = 0;
  std::function<void(TObject* sender)> OnClick;
};

enum class TBorderStyle { Dialog, None, Sizeable };
enum class TPosition { ScreenCenter, Designed };

// A top-level window: its own properties and the controls it owns, in creation order.
class TForm : public TControl {
 public:
  TBorderStyle BorderStyle = TBorderStyle::Sizeable;
  TPosition Position = TPosition::Designed;
  int ClientWidth = 0, ClientHeight = 0;
  std::string FontName;
  int FontHeight = 0;
  // Closing the main window ends the program (the backend quits its message loop).
  void Close();
  bool Closed() const { return closed_; }
  std::vector<TControl*> Controls;

 private:
  bool closed_ = false;
};

// What a toolkit provides.
class GuiBackend {
 public:
  virtual ~GuiBackend() = default;
  // Shows a modal message box and returns the button the user chose.
  virtual MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                               MsgButtons buttons) = 0;
};

class TApplication {
 public:
  explicit TApplication(GuiBackend& backend) : backend_(backend) {}
  std::string Title;

  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                       MsgButtons buttons) {
    return backend_.MessageBox(text, caption, icon, buttons);
  }
  // The top-level error handler: the error's text in a box captioned with the title, an error
  // icon and one OK button.
  void ShowException(const std::exception& error);
  // Runs one event handler as the message loop does: an escaping error goes to ShowException.
  void Dispatch(const std::function<void()>& handler);
  // A click on the button as the user makes it: nothing happens while it is disabled.
  void Click(TButton& button);

 private:
  GuiBackend& backend_;
};

}  // namespace platform
