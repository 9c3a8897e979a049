// The desktop GUI seam: the controls a window of the core is made of, message boxes, and the
// application object with its title and top-level error handler.
//
// Controls are plain property holders owned by their window. A toolkit backend (Qt, Win32, or
// the headless recorder of the tests) mirrors them on screen and delivers user events through
// TApplication::Dispatch, so an event handler that throws ends up in the top-level handler just
// as it would in the toolkit's own message loop.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

namespace platform {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo };
enum class MsgResult { Ok, Cancel, Yes, No };

class TObject {
 public:
  virtual ~TObject() = default;
};

// A colour as 0xRRGGBB.
using TColor = std::uint32_t;
inline constexpr TColor clBlack = 0x000000;
inline constexpr TColor clWhite = 0xFFFFFF;
inline constexpr TColor clAqua = 0x00FFFF;

// A non-visual container that owns components created at run time and releases them with
// itself, or earlier through FreeComponent.
class TDataModule : public TObject {
 public:
  ~TDataModule() override;
  template <class T>
  T* InsertComponent(std::unique_ptr<T> component) {
    T* raw = component.get();
    components_.push_back(std::move(component));
    return raw;
  }
  // Destroys an owned component at once; a pointer that is not owned is ignored.
  void FreeComponent(TObject* component);

 private:
  std::vector<std::unique_ptr<TObject>> components_;
};

class TControl : public TObject {
 public:
  std::string Name;
  std::string Caption;
  int Left = 0, Top = 0, Width = 0, Height = 0;
  bool Visible = true;
  bool Enabled = true;
};

// A text. An empty FontName means the window's font; with AutoSize the backend widens the label
// to its whole text.
class TLabel : public TControl {
 public:
  std::string FontName;
  int FontHeight = 0;
  TColor FontColor = clBlack;
  bool Transparent = false;
  bool AutoSize = true;
};

// A picture. Picture names an artwork file of the program ("splash.jpg"), which the backend
// resolves; Stretch scales the picture to the control's size.
class TImage : public TControl {
 public:
  std::string Picture;
  bool Stretch = false;
};

class TButton : public TControl {
 public:
  int TabOrder = 0;
  std::function<void(TObject* sender)> OnClick;
};

enum class TBorderStyle { Dialog, None, Sizeable };
enum class TPosition { ScreenCenter, Designed };

class GuiBackend;
class TApplication;

// A top-level window: its own properties and the controls it owns, in creation order. Sizes are
// pixels at 96 dots per inch; a backend scales them to the screen. Once shown, destroying the
// form takes its window off the screen.
class TForm : public TControl {
 public:
  ~TForm() override;
  TBorderStyle BorderStyle = TBorderStyle::Sizeable;
  TPosition Position = TPosition::Designed;
  int ClientWidth = 0, ClientHeight = 0;
  std::string FontName;
  int FontHeight = 0;
  TColor FontColor = clBlack;
  // Closing the main window ends the program (the backend quits its message loop).
  void Close();
  bool Closed() const { return closed_; }
  std::vector<TControl*> Controls;

 private:
  friend class TApplication;
  bool closed_ = false;
  GuiBackend* shown_on_ = nullptr;
};

// The captions of a form's controls that have one, in creation order, joined by " | ": how the
// window logs of every backend record what a form showed.
std::string FormTexts(const TForm& form);

// What a toolkit provides. A backend mirrors a form's properties on screen when it shows or
// repaints it, after every event it dispatches, and before it shows a message box.
class GuiBackend {
 public:
  virtual ~GuiBackend() = default;
  // Shows a modal message box and returns the button the user chose.
  virtual MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                               MsgButtons buttons) = 0;
  // Puts the form on the screen and returns without waiting for the user.
  virtual void ShowForm(TForm& form, TApplication& application) = 0;
  // Draws the shown form now, without going through the message loop.
  virtual void RepaintForm(TForm& form) = 0;
  // The form was closed (TForm::Close): its window goes away and, when it is the form the loop
  // runs for, the loop ends.
  virtual void CloseForm(TForm& form) = 0;
  // The form is being destroyed: its window goes away and the backend forgets it.
  virtual void DestroyForm(TForm& form) = 0;
  // Delivers user events until the main form is closed.
  virtual void RunLoop(TForm& main_form) = 0;
};

class TApplication {
 public:
  explicit TApplication(GuiBackend& backend) : backend_(backend) {}
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;
  std::string Title;

  // Creates a component the application owns until it ends. The first form created this way
  // becomes MainForm. When the constructor throws, nothing is kept.
  template <class T, class... Args>
  T& CreateForm(Args&&... args) {
    auto made = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *made;
    if constexpr (std::is_base_of_v<TForm, T>) {
      if (!MainForm) MainForm = &ref;
    }
    owned_.push_back(std::move(made));
    return ref;
  }
  TForm* MainForm = nullptr;

  // Shows the form without blocking; Repaint draws it at once.
  void Show(TForm& form);
  void Repaint(TForm& form);
  // Shows the main form and delivers events until it is closed; returns at once without one.
  void Run();

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
  std::vector<std::unique_ptr<TObject>> owned_;
};

}  // namespace platform
