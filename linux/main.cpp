// The desktop program: the upgrade tool over Qt, ODBC and the settings file. It reads no
// command-line options of its own (Qt's, such as -platform, still apply).
#include <QApplication>
#include <QIcon>

#include "UpVrek.h"
#include "platform/odbc_driver.h"
#include "platform/qt_gui.h"
#include "platform/registry.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  // Names the window class (WM_CLASS "UpVrek") and the desktop entry the windows belong to. No
  // application display name: Qt would append it to every window caption.
  QApplication::setApplicationName("UpVrek");
  QGuiApplication::setDesktopFileName("upvrek");
  platform::QtGui gui;
  QApplication::setWindowIcon(
      QIcon(QString::fromStdString(platform::ArtworkDirectory() + "/upvrek-32.png")));
  // The ODBC environment is allocated inside the entry's guard: a driver manager that refuses
  // it ends in the connection-failure box.
  return UpVrek(
      gui, [] { return std::make_unique<platform::OdbcDriver>(); },
      [] { return platform::CreateRegistry(); });
}
