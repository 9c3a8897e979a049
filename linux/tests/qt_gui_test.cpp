// The Qt backend with the program's own windows, on Qt's offscreen platform: the windows as they
// are designed (scaled to the screen), the splash while the connection blocks, an upgrade run
// with the boxes it shows, and the entry routine's outcomes with the event log they leave.
#include "platform/qt_gui.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QFontInfo>
#include <QFontMetrics>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <QWindow>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "UpVrek.h"
#include "dmToolsData.h"
#include "files.h"
#include "frmFlashTools.h"
#include "frmUpVrekMain.h"
#include "platform/regfile.h"
#include "platform/standin_driver.h"
#include "standin/engine.h"
#include "unTools.h"

namespace {

const std::string kConnecting = "系统正在连接数据库，请稍候...";
const std::string kTitle = "Brantel资产管理系统";

QString Q(const std::string& s) { return QString::fromStdString(s); }

// The QApplication exists only while tests run, not while they are listed.
class QtEnvironment : public testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char name[] = "qt_gui_test";
    static char* argv[] = {name, nullptr};
    app_ = std::make_unique<QApplication>(argc, argv);
  }
  void TearDown() override { app_.reset(); }

 private:
  std::unique_ptr<QApplication> app_;
};

int Px(double v, double scale) { return static_cast<int>(std::lround(v * scale)); }

// Designed geometry and font (the label's own, else the form's) against the widget: position
// always, size exactly for buttons and pictures; a label that sizes itself must hold its whole text
// in its own font.
void ExpectPlaced(const platform::QtGui& gui, const platform::TForm& form,
                  const platform::TControl& c) {
  SCOPED_TRACE(c.Name);
  const QWidget* w = gui.WidgetOf(c);
  ASSERT_NE(w, nullptr);
  const double s = gui.Scale();
  EXPECT_EQ(w->pos(), QPoint(Px(c.Left, s), Px(c.Top, s)));
  if (auto* label = dynamic_cast<const platform::TLabel*>(&c)) {
    auto* l = qobject_cast<const QLabel*>(w);
    ASSERT_NE(l, nullptr);
    EXPECT_EQ(l->text(), Q(label->Caption));
    EXPECT_EQ(l->font().pixelSize(),
              Px(label->FontHeight ? label->FontHeight : form.FontHeight, s));
    const QFontMetrics metrics(l->font());
    EXPECT_GE(l->width(), metrics.horizontalAdvance(l->text()));
    EXPECT_GE(l->height(), metrics.height());
    // Chinese text renders: the font the label really gets has a glyph for every character.
    for (char32_t ch : l->text().toUcs4())
      EXPECT_TRUE(metrics.inFontUcs4(ch)) << static_cast<unsigned>(ch);
    const QColor colour = l->palette().color(QPalette::WindowText);
    EXPECT_EQ(colour.rgb() & 0xFFFFFF, label->FontColor);
    EXPECT_EQ(l->autoFillBackground(), !label->Transparent);
  } else {
    EXPECT_EQ(w->size(), QSize(Px(c.Width, s), Px(c.Height, s)));
  }
}

void ExpectCentred(const QWidget& window) {
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  EXPECT_LE(std::abs(window.geometry().center().x() - area.center().x()), 1);
  EXPECT_LE(std::abs(window.geometry().center().y() - area.center().y()), 1);
}

// The scale the run's screen was set up for (VREK_EXPECT_SCALE, 1 by default).
double ExpectedScale() {
  const char* s = std::getenv("VREK_EXPECT_SCALE");
  return s ? std::atof(s) : 1.0;
}

TEST(QtWindows, UpgradeWindowAsDesigned) {
  platform::QtGui gui(VREK_ARTWORK_DIR);
  EXPECT_DOUBLE_EQ(gui.Scale(), ExpectedScale());
  platform::TApplication app(gui);
  app.Title = kTitle;
  TUpVrekMain form(app);
  app.Show(form);
  QWidget* w = gui.WindowOf(form);
  ASSERT_NE(w, nullptr);
  const double s = gui.Scale();

  EXPECT_EQ(w->windowTitle().toStdString(), "固定资产升级程序     2012.11");
  EXPECT_EQ(w->windowIconText().toStdString(), kTitle);
  EXPECT_TRUE(w->isVisible());
  // A fixed dialog frame: a close box, no minimise or maximise, not resizable.
  const Qt::WindowFlags flags = w->windowFlags();
  EXPECT_TRUE(flags & Qt::WindowTitleHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_FALSE(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint));
  EXPECT_FALSE(flags & Qt::FramelessWindowHint);
  EXPECT_EQ(w->size(), QSize(Px(351, s), Px(118, s)));
  EXPECT_EQ(w->minimumSize(), w->maximumSize());
  ExpectCentred(*w);
  EXPECT_EQ(w->font().pixelSize(), Px(12, s));
  EXPECT_EQ(QFontInfo(w->font()).family().toStdString(), platform::InstallFontSubstitutions());

  for (const platform::TControl* c : form.Controls) ExpectPlaced(gui, form, *c);
  auto* up = qobject_cast<QPushButton*>(gui.WidgetOf(form.btUp));
  auto* exit = qobject_cast<QPushButton*>(gui.WidgetOf(form.btExit));
  ASSERT_TRUE(up && exit);
  EXPECT_EQ(up->text().toStdString(), "开始升级");
  EXPECT_EQ(exit->text().toStdString(), "退出");
  // Tab order: the window starts on btUp, Tab goes to btExit and back.
  EXPECT_EQ(w->focusWidget(), up);
  auto next_tab_stop = [](QWidget* from) {
    QWidget* n = from->nextInFocusChain();
    while (n != from && !(n->focusPolicy() & Qt::TabFocus)) n = n->nextInFocusChain();
    return n;
  };
  EXPECT_EQ(next_tab_stop(up), exit);
  EXPECT_EQ(next_tab_stop(exit), up);
}

TEST(QtWindows, SplashAsDesigned) {
  platform::QtGui gui(VREK_ARTWORK_DIR);
  platform::TApplication app(gui);
  ConnectMessage = kConnecting;
  TFlashTools form;
  app.Show(form);
  app.Repaint(form);
  QWidget* w = gui.WindowOf(form);
  ASSERT_NE(w, nullptr);
  const double s = gui.Scale();
  EXPECT_TRUE(w->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(w->size(), QSize(Px(306, s), Px(206, s)));
  ExpectCentred(*w);
  for (const platform::TControl* c : form.Controls) ExpectPlaced(gui, form, *c);
  auto* picture = qobject_cast<QLabel*>(gui.WidgetOf(form.Image1));
  auto* icon = qobject_cast<QLabel*>(gui.WidgetOf(form.ProgramIcon));
  ASSERT_TRUE(picture && icon);
  EXPECT_EQ(picture->pixmap().size(), QSize(Px(307, s), Px(207, s)));
  EXPECT_TRUE(icon->hasScaledContents());
  EXPECT_EQ(icon->pixmap().size(), QSize(32, 32));
}

// What the window system shows of the splash at the moment the driver blocks.
struct SplashSeen {
  bool visible = false, exposed = false;
  std::string message;
  bool background_drawn = false;  // a spot free of controls matches the artwork
  int white_in_message = 0;       // white pixels where the start-up message stands
  int aqua_in_maker = 0;          // aqua pixels where the maker's name stands
};

// A driver that looks at the splash from inside Connect, where the real connection blocks.
class SplashInspector : public platform::Driver {
 public:
  SplashInspector(platform::QtGui& gui, standin::Database& db) : gui_(gui), inner_(db) {}
  std::optional<SplashSeen> seen;
  std::optional<std::string> refuse;

  std::unique_ptr<platform::Connection> Connect(const std::string& alias, const std::string& user,
                                                const std::string& password) override {
    SplashSeen s;
    if (QWidget* w = FlashTools ? gui_.WindowOf(*FlashTools) : nullptr) {
      s.visible = w->isVisible();
      s.exposed = w->windowHandle() && w->windowHandle()->isExposed();
      if (auto* l = qobject_cast<QLabel*>(gui_.WidgetOf(FlashTools->lbView)))
        s.message = l->text().toStdString();
      const double k = gui_.Scale();
      // What reached the screen, not a fresh rendering: the splash must have been painted.
      const QImage shot = w->screen()
                              ->grabWindow(w->winId())
                              .toImage()
                              .scaled(306, 206)
                              .convertToFormat(QImage::Format_RGB32);
      const QImage art(QString(VREK_ARTWORK_DIR) + "/splash.jpg");
      s.background_drawn =
          !art.isNull() && (k != 1.0 || shot.pixel(100, 100) == art.pixel(100, 100));
      auto count = [&shot](QRect r, auto pred) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
          for (int x = r.left(); x <= r.right(); ++x) n += pred(QColor(shot.pixel(x, y)));
        return n;
      };
      s.white_in_message = count(QRect(16, 152, 180, 15), [](QColor c) {
        return c.red() > 220 && c.green() > 220 && c.blue() > 220;
      });
      s.aqua_in_maker = count(QRect(200, 24, 60, 15), [](QColor c) {
        return c.red() < 90 && c.green() > 200 && c.blue() > 200;
      });
    }
    seen = s;
    if (refuse) throw platform::EDatabaseError(*refuse);
    return inner_.Connect(alias, user, password);
  }

 private:
  platform::QtGui& gui_;
  platform::StandinDriver inner_;
};

std::unique_ptr<platform::TRegistry> NoSettings() {
  return std::make_unique<platform::TRegistryFile>("/nonexistent/vrek.reg");
}

bool SplashOnScreen() {
  for (QWidget* w : QApplication::topLevelWidgets())
    if (w->objectName() == "FlashTools" && w->isVisible()) return true;
  return false;
}

TEST(QtSplash, StandsOnTheScreenWithTheConnectingMessageWhileTheConnectionBlocks) {
  ConnectMessage.clear();
  platform::QtGui gui(VREK_ARTWORK_DIR);
  platform::TApplication app(gui);
  standin::Database db;
  SplashInspector driver(gui, db);
  {
    TdbToolsMain module(app, driver, NoSettings);
    ASSERT_TRUE(driver.seen);
    EXPECT_TRUE(driver.seen->visible);
    EXPECT_TRUE(driver.seen->exposed);
    EXPECT_EQ(driver.seen->message, kConnecting);
    EXPECT_TRUE(driver.seen->background_drawn);
    EXPECT_GT(driver.seen->white_in_message, 20);
    EXPECT_GT(driver.seen->aqua_in_maker, 10);
    EXPECT_FALSE(SplashOnScreen());  // destroyed once connected
  }
}

// A message box as the person in front of the screen sees it.
struct SeenBox {
  std::string caption, text;
  QMessageBox::Icon icon;
  QMessageBox::StandardButtons buttons;
  bool operator==(const SeenBox&) const = default;
};
void PrintTo(const SeenBox& b, std::ostream* os) {
  *os << "{\"" << b.caption << "\", \"" << b.text << "\", icon " << b.icon << ", buttons "
      << b.buttons.toInt() << "}";
}

// Answers every box with `answer` (by default its OK or Yes button), or with the next of
// `answers` while any is left (Return when it is the box's default button), noting the box, its
// default button and, through `also`, the state of the windows behind it at that moment.
class BoxAnswerer {
 public:
  std::vector<SeenBox> seen;
  std::vector<QMessageBox::StandardButton> defaults;
  std::vector<std::string> states;
  // The texts of each box's buttons, in the order OK, Cancel, Yes, No.
  std::vector<std::vector<std::string>> button_texts;
  std::function<std::string()> also;
  std::optional<QMessageBox::StandardButton> answer;
  std::vector<QMessageBox::StandardButton> answers;

  BoxAnswerer() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] { Poll(); });
    timer_.start();
  }

 private:
  void Poll() {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box || !box->isVisible()) return;
    seen.push_back({box->windowTitle().toStdString(), box->text().toStdString(), box->icon(),
                    box->standardButtons()});
    states.push_back(also ? also() : "");
    std::vector<std::string> texts;
    for (QMessageBox::StandardButton b :
         {QMessageBox::Ok, QMessageBox::Cancel, QMessageBox::Yes, QMessageBox::No})
      if (QAbstractButton* button = box->button(b)) texts.push_back(button->text().toStdString());
    button_texts.push_back(texts);
    QPushButton* def = box->defaultButton();
    defaults.push_back(def ? box->standardButton(def) : QMessageBox::NoButton);
    if (seen.size() <= answers.size()) {
      const QMessageBox::StandardButton wanted = answers[seen.size() - 1];
      if (def && box->standardButton(def) == wanted)
        QTest::keyClick(box, Qt::Key_Return);
      else
        box->button(wanted)->click();
      return;
    }
    QAbstractButton* choice = answer ? box->button(*answer) : box->button(QMessageBox::Ok);
    if (!choice) choice = box->button(QMessageBox::Yes);
    choice->click();
  }
  QTimer timer_;
};

const SeenBox kDone{"提示信息", "升级已经完成，请更新所有的客户端程序Vrek.exe！",
                    QMessageBox::Information, QMessageBox::Ok};

TEST(QtMessageBox, ShowsCaptionTextIconAndButtonsAndReturnsTheChoice) {
  using platform::MsgButtons;
  using platform::MsgIcon;
  using platform::MsgResult;
  struct Case {
    MsgIcon icon;
    MsgButtons buttons;
    QMessageBox::StandardButton press;
    QMessageBox::Icon shown_icon;
    QMessageBox::StandardButtons shown_buttons;
    MsgResult result;
    std::vector<std::string> button_texts;  // Qt's own Chinese, with its mnemonics
  };
  const std::vector<Case> cases = {
      {MsgIcon::None,
       MsgButtons::Ok,
       QMessageBox::Ok,
       QMessageBox::NoIcon,
       QMessageBox::Ok,
       MsgResult::Ok,
       {"确定"}},
      {MsgIcon::Information,
       MsgButtons::Ok,
       QMessageBox::Ok,
       QMessageBox::Information,
       QMessageBox::Ok,
       MsgResult::Ok,
       {"确定"}},
      {MsgIcon::Error,
       MsgButtons::OkCancel,
       QMessageBox::Cancel,
       QMessageBox::Critical,
       QMessageBox::Ok | QMessageBox::Cancel,
       MsgResult::Cancel,
       {"确定", "取消"}},
      {MsgIcon::Warning,
       MsgButtons::YesNo,
       QMessageBox::No,
       QMessageBox::Warning,
       QMessageBox::Yes | QMessageBox::No,
       MsgResult::No,
       {"是(&Y)", "否(&N)"}},
      {MsgIcon::Question,
       MsgButtons::YesNo,
       QMessageBox::Yes,
       QMessageBox::Question,
       QMessageBox::Yes | QMessageBox::No,
       MsgResult::Yes,
       {"是(&Y)", "否(&N)"}},
  };
  platform::QtGui gui(VREK_ARTWORK_DIR);
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.icon));
    BoxAnswerer boxes;
    boxes.answer = c.press;
    // An error text of several lines comes through whole.
    const std::string text = "第一行\n第二行";
    EXPECT_EQ(gui.MessageBox(text, "标题 1", c.icon, c.buttons), c.result);
    EXPECT_EQ(boxes.seen, (std::vector<SeenBox>{{"标题 1", text, c.shown_icon, c.shown_buttons}}));
    EXPECT_EQ(boxes.button_texts, std::vector<std::vector<std::string>>{c.button_texts});
  }
}

TEST(QtUpgradeWindow, RunsFromTheButtonAndShowsItsBoxes) {
  struct Case {
    const char* name;
    size_t fault_at;  // batch of the run that fails; 0: none
    std::vector<SeenBox> boxes;
    const char* start_enabled_at_box;
    bool start_enabled_after;
  };
  const std::vector<Case> cases = {
      {"complete run", 0, {kDone}, "btUp enabled", true},
      {"fault at the ledger probe",
       1,
       {{kTitle, "Injected fault.", QMessageBox::Critical, QMessageBox::Ok}},
       "btUp disabled",
       false},
      {"fault half-way",
       40,
       {{kTitle, "Injected fault.", QMessageBox::Critical, QMessageBox::Ok}},
       "btUp disabled",
       false},
  };
  const std::string script = vrektest::ReadFixture("old_register.sql");
  ASSERT_FALSE(script.empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Database db;
    db.LoadScript(script);
    if (c.fault_at) db.FailBatch(c.fault_at, 50000, "Injected fault.");
    platform::StandinDriver driver(db);
    platform::TDatabase vrek(driver);
    vrek.DatabaseName = "VrekDB";
    vrek.SetConnected(true);

    platform::QtGui gui(VREK_ARTWORK_DIR);
    platform::TApplication app(gui);
    app.Title = kTitle;
    TUpVrekMain form(app);
    app.Show(form);
    auto* up = qobject_cast<QPushButton*>(gui.WidgetOf(form.btUp));
    ASSERT_NE(up, nullptr);
    EXPECT_TRUE(up->isEnabled());

    BoxAnswerer boxes;
    boxes.also = [up] { return std::string(up->isEnabled() ? "btUp enabled" : "btUp disabled"); };
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(boxes.seen, c.boxes);
    EXPECT_EQ(boxes.states, std::vector<std::string>(c.boxes.size(), c.start_enabled_at_box));
    EXPECT_EQ(up->isEnabled(), c.start_enabled_after);
    EXPECT_EQ(form.btUp.Enabled, c.start_enabled_after);
    // A disabled button takes no click: nothing more is sent, no box.
    if (!c.start_enabled_after) {
      const size_t sent = db.Log().size();
      QTest::mouseClick(up, Qt::LeftButton);
      EXPECT_EQ(db.Log().size(), sent);
      EXPECT_EQ(boxes.seen.size(), c.boxes.size());
    }
  }
}

// On a register with half-done work: the offer of a repair at the start and before the end, a
// question with Yes the default (Return), each answered both ways.
TEST(QtUpgradeWindow, OffersTheRepairAtTheStartAndBeforeTheEnd) {
  const std::string found =
      "\n终端号表块：表 lib_curtermno 没有初始数据（应有 1 行）"
      "\n步骤 20110520（公司列）：列 lib_vrek.vr_company 有 1 行为 NULL：填充它的更新未执行"
      "\n是否立即修复？";
  const SeenBox at_start{"提示信息", "上次升级未完成：" + found, QMessageBox::Question,
                         QMessageBox::Yes | QMessageBox::No};
  const SeenBox at_end{"提示信息", "升级未完成：" + found, QMessageBox::Question,
                       QMessageBox::Yes | QMessageBox::No};
  struct Case {
    const char* name;
    std::vector<QMessageBox::StandardButton> answers;
    std::vector<SeenBox> boxes;
    bool curtermno_filled;
  };
  const std::vector<Case> cases = {
      {"Yes at the start", {QMessageBox::Yes}, {at_start, kDone}, true},
      {"No, then Yes before the end",
       {QMessageBox::No, QMessageBox::Yes},
       {at_start, at_end, kDone},
       true},
      {"No twice", {QMessageBox::No, QMessageBox::No}, {at_start, at_end}, false},
  };
  const std::string script = vrektest::ReadFixture("partly_upgraded.sql");
  ASSERT_FALSE(script.empty());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    standin::Database db;
    db.LoadScript(script);
    platform::StandinDriver driver(db);
    platform::TDatabase vrek(driver);
    vrek.DatabaseName = "VrekDB";
    vrek.SetConnected(true);

    platform::QtGui gui(VREK_ARTWORK_DIR);
    platform::TApplication app(gui);
    app.Title = kTitle;
    TUpVrekMain form(app);
    app.Show(form);
    auto* up = qobject_cast<QPushButton*>(gui.WidgetOf(form.btUp));
    ASSERT_NE(up, nullptr);

    BoxAnswerer boxes;
    boxes.answers = c.answers;
    QTest::mouseClick(up, Qt::LeftButton);
    EXPECT_EQ(boxes.seen, c.boxes);
    std::vector<QMessageBox::StandardButton> defaults(c.answers.size(), QMessageBox::Yes);
    if (c.boxes.back() == kDone) defaults.push_back(QMessageBox::Ok);
    EXPECT_EQ(boxes.defaults, defaults);
    EXPECT_TRUE(up->isEnabled());
    standin::Session session(db);
    const standin::BatchOutcome rows = session.Execute("select * from lib_curtermno");
    ASSERT_FALSE(rows.Failed());
    EXPECT_EQ(rows.statements.at(0).rows.size(), c.curtermno_filled ? 1u : 0u);
  }
}

// The entry routine over Qt: the event log it leaves (VREK_GUI_LOG) and the boxes it shows.
TEST(QtEntry, OutcomesAndTheirEventLog) {
  const std::string splash = "FlashTools: " + kConnecting + " | Brantel软件";
  const std::string window =
      "UpVrekMain: 此次升级，修改了人员的代码类型，可以上包含字符。 | "
      "并解决Win2000中的打印问题。增加盘点功能！ | "
      "增加固定资产查询中快速定位中拼音首字母快速查询。 | 开始升级 | 退出";
  const std::string failure_text = "数据库连接失败，请检查通信参数或服务器状态！";
  const SeenBox failure{"错误信息", failure_text, QMessageBox::NoIcon, QMessageBox::Ok};
  enum class How { Connects, Refused, MessageNotOk };
  struct Case {
    const char* name;
    How how;
    std::vector<std::string> log;
    std::vector<SeenBox> boxes;
  };
  const std::vector<Case> cases = {
      {"connects; the close box ends the program",
       How::Connects,
       {"show " + splash, "repaint " + splash, "destroy FlashTools", "show " + window,
        "loop UpVrekMain", "close UpVrekMain", "destroy UpVrekMain"},
       {}},
      {"connection refused",
       How::Refused,
       {"show " + splash, "repaint " + splash, "destroy FlashTools",
        "box 错误信息: " + failure_text},
       {failure}},
      {"start-up message other than OK",
       How::MessageNotOk,
       {"box 错误信息: " + failure_text},
       {failure}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const vrektest::TempDir dir;
    const std::string path = dir.Path() + "/gui.log";
    setenv("VREK_GUI_LOG", path.c_str(), 1);
    ConnectMessage.clear();
    {
      platform::QtGui gui(VREK_ARTWORK_DIR);
      standin::Database db;
      SplashInspector driver(gui, db);
      if (c.how == How::Refused) driver.refuse = "Login failed for user 'sa'.";
      BoxAnswerer boxes;
      boxes.also = [] { return std::string(SplashOnScreen() ? "splash shown" : "no splash"); };
      // The person closes the upgrade window with its close box once it is up.
      QTimer closer;
      closer.setInterval(10);
      QObject::connect(&closer, &QTimer::timeout, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
          if (w->objectName() == "UpVrekMain" && w->isVisible()) w->close();
      });
      closer.start();
      int code = -1;
      if (c.how == How::MessageNotOk) {
        platform::TApplication app(gui);
        StartAndRun(app, [] { ConnectMessage = kConnecting; });
        code = 0;
      } else {
        code = UpVrek(gui, driver, NoSettings);
      }
      EXPECT_EQ(code, 0);
      EXPECT_EQ(boxes.seen, c.boxes);
      EXPECT_EQ(boxes.states, std::vector<std::string>(c.boxes.size(), "no splash"));
      EXPECT_FALSE(SplashOnScreen());
    }
    unsetenv("VREK_GUI_LOG");
    EXPECT_EQ(vrektest::Lines(vrektest::ReadFile(path)), c.log);
  }
}

}  // namespace

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  testing::AddGlobalTestEnvironment(new QtEnvironment);
  return RUN_ALL_TESTS();
}
