// The GUI seam over Qt 6 Widgets: every shown TForm is mirrored by one top-level QWidget, its
// labels and pictures by QLabels and its buttons by QPushButtons.
//
// Geometry and font heights of the forms are pixels at 96 dots per inch; they are multiplied by
// the screen's logical dots per inch / 96 (Qt's own device-pixel scaling comes on top on high-dpi
// screens). A form is mirrored again when it is shown or repainted, after every click and before
// every message box, so handlers only ever change the TForm's properties.
//
// When the environment variable VREK_GUI_LOG names a file, every event is appended to it as one
// line, flushed at once, in the line format of HeadlessGui ("show NAME: texts", "repaint ...",
// "close NAME", "destroy NAME", "loop NAME", "box CAPTION: TEXT", the last written once the box
// is on the screen). The log only observes; nothing depends on it.
//
// A QApplication must exist before the QtGui and outlive it.
#pragma once

#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "platform/gui.h"

class QEventLoop;
class QWidget;

namespace platform {

// The artwork directory of the program: <directory of the executable>/../share/upvrek. The
// build tree has the same layout (bin/ and share/upvrek/ under the build directory).
std::string ArtworkDirectory();

// Makes the fonts that forms name available: "宋体" (and "SimSun") fall back to an installed
// CJK font (WenQuanYi Zen Hei, its monospaced cut first) when absent, "MS Sans Serif" to a sans
// font. Returns the CJK family used, or "" when none is installed. QtGui calls it; idempotent.
std::string InstallFontSubstitutions();

// Loads Qt's own Simplified Chinese translation (qtbase_zh_CN, from Debian's
// qt6-translations-l10n) into the application, so that Qt's standard buttons and texts read
// "确定", "取消", "是", "否". Returns whether it is in place; without it they stay English.
// QtGui calls it; idempotent.
bool InstallQtTranslations();

class QtGui : public GuiBackend {
 public:
  // Pictures (TImage::Picture) are file names inside artwork_dir.
  explicit QtGui(std::string artwork_dir = ArtworkDirectory());
  ~QtGui() override;
  QtGui(const QtGui&) = delete;
  QtGui& operator=(const QtGui&) = delete;

  MsgResult MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                       MsgButtons buttons) override;
  // The window's caption is exactly the form's Caption; its icon text is the application's
  // Title. Controls are mirrored in creation order (later ones drawn over earlier ones); buttons
  // take the tab order of their TabOrder, and a click goes through TApplication::Click.
  void ShowForm(TForm& form, TApplication& application) override;
  // Brings the window onto the screen and paints it before returning, so that it stays visible
  // while the caller blocks the thread.
  void RepaintForm(TForm& form) override;
  void CloseForm(TForm& form) override;
  void DestroyForm(TForm& form) override;
  // Runs the Qt event loop until main_form is closed (by TForm::Close or the close box); returns
  // at once when it is closed already.
  void RunLoop(TForm& main_form) override;

  // The factor from 96-dpi sizes to the screen's logical pixels.
  double Scale() const { return scale_; }
  // The window of a shown form and the widget of one of its controls; nullptr when there is none.
  QWidget* WindowOf(const TForm& form) const;
  QWidget* WidgetOf(const TControl& control) const;

 private:
  struct Mirror;
  class Window;
  void Sync(Mirror& mirror);
  void SyncAll();
  void Log(const std::string& line);

  std::string artwork_dir_;
  double scale_ = 1.0;
  std::map<const TForm*, std::unique_ptr<Mirror>> mirrors_;
  const TForm* loop_form_ = nullptr;
  QEventLoop* loop_ = nullptr;
  std::ofstream log_;
};

}  // namespace platform
