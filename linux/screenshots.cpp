// Renders the program's two windows through the Qt backend, as the program shows them, into
// PNG files:  upvrek_screenshots <output directory>  (writes splash.png and upgrade-window.png).
// Run by scripts/screenshots on Qt's offscreen platform, so that no display is needed.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>
#include <cstdio>

#include "UpVrek.h"
#include "frmFlashTools.h"
#include "frmUpVrekMain.h"
#include "platform/qt_gui.h"
#include "unTools.h"

int main(int argc, char** argv) {
  QApplication qt(argc, argv);
  if (argc != 2) {
    std::fprintf(stderr, "usage: upvrek_screenshots <output directory>\n");
    return 2;
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  platform::QtGui gui;
  platform::TApplication app(gui);
  app.Title = kApplicationTitle;
  bool ok = true;
  {
    // The splash as it stands while the connection is made.
    ConnectMessage = "系统正在连接数据库，请稍候...";
    TFlashTools splash;
    app.Show(splash);
    app.Repaint(splash);
    ok = gui.WindowOf(splash)->grab().save(out.filePath("splash.png")) && ok;
  }
  {
    TUpVrekMain window(app);
    app.Show(window);
    app.Repaint(window);
    ok = gui.WindowOf(window)->grab().save(out.filePath("upgrade-window.png")) && ok;
  }
  if (!ok) std::fprintf(stderr, "upvrek_screenshots: could not write into %s\n", argv[1]);
  return ok ? 0 : 1;
}
