#include "platform/qt_gui.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QFont>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QLabel>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPixmap>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QThread>
#include <QTimer>
#include <QTranslator>
#include <QWidget>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <vector>

#include "text/text.h"

namespace platform {

namespace {

// Text for the screen: lossy, so that a stray byte shows as U+FFFD rather than failing a window.
QString Q(std::string_view utf8) {
  return QString::fromStdU16String(text::Utf8ToUtf16(utf8, text::Mode::kLossy));
}

QColor ToQColor(TColor c) { return QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

}  // namespace

std::string ArtworkDirectory() {
  const QString dir = QCoreApplication::applicationDirPath() + "/../share/upvrek";
  return QDir::cleanPath(dir).toStdString();
}

std::string InstallFontSubstitutions() {
  const QStringList families = QFontDatabase::families();
  QString cjk;
  // The monospaced cut first: like SimSun it sets Latin letters at half the width of a Chinese
  // character, so texts take the widths the windows were designed for.
  for (const char* candidate : {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", "Noto Sans CJK SC",
                                "Noto Sans SC", "AR PL UMing CN", "Droid Sans Fallback"})
    if (families.contains(candidate)) {
      cjk = candidate;
      break;
    }
  if (cjk.isEmpty()) {
    const QStringList chinese = QFontDatabase::families(QFontDatabase::SimplifiedChinese);
    if (!chinese.isEmpty()) cjk = chinese.front();
  }
  // A real SimSun, where someone installed it, is used as it is.
  if (!cjk.isEmpty())
    for (const char* name : {"宋体", "SimSun"})
      if (!families.contains(Q(name))) QFont::insertSubstitution(Q(name), cjk);
  if (!families.contains("MS Sans Serif")) {
    QString sans = "DejaVu Sans";
    if (!families.contains(sans))
      sans = QFontDatabase::systemFont(QFontDatabase::GeneralFont).family();
    // The CJK font after it, so that Chinese text in such a font still renders.
    QStringList chain{sans};
    if (!cjk.isEmpty()) chain << cjk;
    QFont::insertSubstitutions("MS Sans Serif", chain);
  }
  return cjk.toStdString();
}

bool InstallQtTranslations() {
  // Owned by the application, so it goes with it; a later application gets one of its own.
  static QPointer<QTranslator> installed;
  if (installed) return true;
  auto* translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load("qtbase_zh_CN", QLibraryInfo::path(QLibraryInfo::TranslationsPath)) ||
      !QCoreApplication::installTranslator(translator)) {
    delete translator;
    return false;
  }
  installed = translator;
  return true;
}

// A form's top-level window. The backend itself only ever hides it, so any close request is
// the user's (the close box, the window manager): it closes the form as TForm::Close does.
class QtGui::Window : public QWidget {
 public:
  Window(QtGui& gui, TForm& form, TApplication& application)
      : gui_(gui), form_(form), application_(application) {}

 protected:
  void closeEvent(QCloseEvent* event) override {
    event->ignore();
    application_.Dispatch([this] { form_.Close(); });
    gui_.SyncAll();
  }

 private:
  QtGui& gui_;
  TForm& form_;
  TApplication& application_;
};

struct QtGui::Mirror {
  TForm* form = nullptr;
  std::unique_ptr<Window> window;
  std::map<const TControl*, QWidget*> widgets;
  std::map<const TControl*, std::string> pictures;  // the file each image shows now
  bool placed = false;
};

QtGui::QtGui(std::string artwork_dir) : artwork_dir_(std::move(artwork_dir)) {
  InstallFontSubstitutions();
  InstallQtTranslations();
  if (const QScreen* screen = QGuiApplication::primaryScreen())
    scale_ = screen->logicalDotsPerInch() / 96.0;
  // The loop ends when the main form is closed, not when Qt sees no window left (between the
  // splash and the upgrade window there is none).
  QGuiApplication::setQuitOnLastWindowClosed(false);
  if (const char* path = std::getenv("VREK_GUI_LOG"); path && *path)
    log_.open(path, std::ios::out | std::ios::app | std::ios::binary);
}

QtGui::~QtGui() = default;

void QtGui::Log(const std::string& line) {
  if (log_.is_open()) log_ << line << '\n' << std::flush;
}

QWidget* QtGui::WindowOf(const TForm& form) const {
  auto it = mirrors_.find(&form);
  return it == mirrors_.end() ? nullptr : it->second->window.get();
}

QWidget* QtGui::WidgetOf(const TControl& control) const {
  for (const auto& [form, mirror] : mirrors_) {
    auto it = mirror->widgets.find(&control);
    if (it != mirror->widgets.end()) return it->second;
  }
  return nullptr;
}

void QtGui::ShowForm(TForm& form, TApplication& application) {
  auto& slot = mirrors_[&form];
  if (!slot) {
    slot = std::make_unique<Mirror>();
    Mirror& m = *slot;
    m.form = &form;
    m.window = std::make_unique<Window>(*this, form, application);
    QWidget& w = *m.window;
    switch (form.BorderStyle) {
      case TBorderStyle::Dialog:
        w.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
        break;
      case TBorderStyle::None:
        w.setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
        break;
      case TBorderStyle::Sizeable:
        w.setWindowFlags(Qt::Window);
        break;
    }
    w.setObjectName(Q(form.Name));
    // The application's title names the window where it is shown iconified, as the title names
    // the program's taskbar button on Windows; the caption stays the form's own.
    if (!application.Title.empty()) w.setWindowIconText(Q(application.Title));
    // The background colour of buttons, as the forms are designed.
    QPalette palette = w.palette();
    palette.setColor(QPalette::Window, palette.color(QPalette::Button));
    palette.setColor(QPalette::WindowText, ToQColor(form.FontColor));
    w.setPalette(palette);
    w.setAutoFillBackground(true);

    std::vector<std::pair<TButton*, QPushButton*>> buttons;
    for (TControl* c : form.Controls) {
      QWidget* widget = nullptr;
      if (auto* button = dynamic_cast<TButton*>(c)) {
        auto* b = new QPushButton(&w);
        QObject::connect(b, &QPushButton::clicked, b, [this, button, &application] {
          application.Click(*button);
          SyncAll();
        });
        buttons.emplace_back(button, b);
        widget = b;
      } else {
        auto* label = new QLabel(&w);
        label->setTextFormat(Qt::PlainText);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setFocusPolicy(Qt::NoFocus);
        widget = label;
      }
      widget->setObjectName(Q(c->Name));
      m.widgets[c] = widget;
    }
    // Tab order: by TabOrder, equal ones in creation order.
    std::stable_sort(buttons.begin(), buttons.end(), [](const auto& a, const auto& b) {
      return a.first->TabOrder < b.first->TabOrder;
    });
    for (size_t i = 1; i < buttons.size(); ++i)
      QWidget::setTabOrder(buttons[i - 1].second, buttons[i].second);
    if (!buttons.empty()) buttons.front().second->setFocus(Qt::OtherFocusReason);
  }
  Mirror& m = *slot;
  Sync(m);
  QWidget& w = *m.window;
  if (!m.placed) {
    m.placed = true;
    const QSize client = w.size();
    if (form.Position == TPosition::ScreenCenter) {
      const QScreen* screen = QGuiApplication::primaryScreen();
      const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
      w.setGeometry(QStyle::alignedRect(Qt::LeftToRight, Qt::AlignCenter, client, area));
    } else {
      w.move(static_cast<int>(std::lround(form.Left * scale_)),
             static_cast<int>(std::lround(form.Top * scale_)));
    }
  }
  w.show();
  Log("show " + form.Name + ": " + FormTexts(form));
}

void QtGui::Sync(Mirror& m) {
  TForm& form = *m.form;
  QWidget& w = *m.window;
  auto px = [this](int v) { return static_cast<int>(std::lround(v * scale_)); };
  auto font = [&](const std::string& name, int height) {
    QFont f(Q(name.empty() ? form.FontName : name));
    const int h = height > 0 ? height : form.FontHeight;
    if (h > 0) f.setPixelSize(std::max(1, px(h)));
    return f;
  };

  w.setWindowTitle(Q(form.Caption));
  w.setFont(font(form.FontName, form.FontHeight));
  const QSize client(px(form.ClientWidth), px(form.ClientHeight));
  if (form.BorderStyle == TBorderStyle::Sizeable) {
    if (!m.placed) w.resize(client);
  } else {
    w.setFixedSize(client);
  }

  for (TControl* c : form.Controls) {
    QWidget* widget = m.widgets.at(c);
    widget->setEnabled(c->Enabled);
    widget->setVisible(c->Visible);
    const QPoint at(px(c->Left), px(c->Top));
    const QSize size(px(c->Width), px(c->Height));
    if (auto* button = dynamic_cast<TButton*>(c)) {
      auto* b = static_cast<QPushButton*>(widget);
      b->setText(Q(button->Caption));
      b->setGeometry(QRect(at, size));
    } else if (auto* label = dynamic_cast<TLabel*>(c)) {
      auto* l = static_cast<QLabel*>(widget);
      const QFont f = font(label->FontName, label->FontHeight);
      l->setFont(f);
      l->setText(Q(label->Caption));
      QPalette palette = l->palette();
      palette.setColor(QPalette::WindowText, ToQColor(label->FontColor));
      palette.setColor(QPalette::Window, w.palette().color(QPalette::Window));
      l->setPalette(palette);
      l->setAutoFillBackground(!label->Transparent);
      if (label->AutoSize) {
        const QFontMetrics metrics(f);
        l->setGeometry(QRect(at, QSize(metrics.horizontalAdvance(l->text()), metrics.height())));
      } else {
        l->setGeometry(QRect(at, size));
      }
    } else if (auto* image = dynamic_cast<TImage*>(c)) {
      auto* l = static_cast<QLabel*>(widget);
      l->setGeometry(QRect(at, size));
      std::string& shown = m.pictures[c];
      if (shown != image->Picture || l->pixmap().isNull()) {
        shown = image->Picture;
        QPixmap picture(Q(artwork_dir_ + "/" + image->Picture));
        // Without Stretch the picture keeps its designed size, scaled with the form.
        if (!image->Stretch && !picture.isNull() && scale_ != 1.0)
          picture = picture.scaled(px(picture.width()), px(picture.height()), Qt::IgnoreAspectRatio,
                                   Qt::SmoothTransformation);
        l->setPixmap(picture);
      }
      l->setScaledContents(image->Stretch);
    } else {
      widget->setGeometry(QRect(at, size));
    }
  }
  // Later controls are drawn over earlier ones.
  for (TControl* c : form.Controls) m.widgets.at(c)->raise();
}

void QtGui::SyncAll() {
  for (auto& [form, mirror] : mirrors_) Sync(*mirror);
}

void QtGui::RepaintForm(TForm& form) {
  auto it = mirrors_.find(&form);
  if (it == mirrors_.end()) return;
  Sync(*it->second);
  QWidget& w = *it->second->window;
  if (!w.isVisible()) w.show();
  // The window system maps the window asynchronously; wait (briefly) until it can be drawn.
  QElapsedTimer waited;
  waited.start();
  while (w.windowHandle() && !w.windowHandle()->isExposed() && waited.elapsed() < 2000) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 10);
    QThread::msleep(2);
  }
  w.repaint();
  QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
  Log("repaint " + form.Name + ": " + FormTexts(form));
}

void QtGui::CloseForm(TForm& form) {
  if (QWidget* w = WindowOf(form)) w->hide();
  Log("close " + form.Name);
  if (&form == loop_form_ && loop_) loop_->quit();
}

void QtGui::DestroyForm(TForm& form) {
  // The form's controls may already be gone: only the pointers are used.
  auto it = mirrors_.find(&form);
  if (it != mirrors_.end()) {
    it->second->window->hide();
    mirrors_.erase(it);
  }
  if (loop_form_ == &form) loop_form_ = nullptr;
  Log("destroy " + form.Name);
}

void QtGui::RunLoop(TForm& main_form) {
  Log("loop " + main_form.Name);
  if (main_form.Closed()) return;
  QEventLoop loop;
  loop_form_ = &main_form;
  loop_ = &loop;
  loop.exec();
  loop_ = nullptr;
  loop_form_ = nullptr;
}

MsgResult QtGui::MessageBox(const std::string& text, const std::string& caption, MsgIcon icon,
                            MsgButtons buttons) {
  SyncAll();
  QMessageBox::Icon qicon = QMessageBox::NoIcon;
  switch (icon) {
    case MsgIcon::None:
      qicon = QMessageBox::NoIcon;
      break;
    case MsgIcon::Information:
      qicon = QMessageBox::Information;
      break;
    case MsgIcon::Warning:
      qicon = QMessageBox::Warning;
      break;
    case MsgIcon::Error:
      qicon = QMessageBox::Critical;
      break;
    case MsgIcon::Question:
      qicon = QMessageBox::Question;
      break;
  }
  QMessageBox::StandardButtons set = QMessageBox::Ok;
  QMessageBox::StandardButton first = QMessageBox::Ok;
  switch (buttons) {
    case MsgButtons::Ok:
      set = QMessageBox::Ok;
      first = QMessageBox::Ok;
      break;
    case MsgButtons::OkCancel:
      set = QMessageBox::Ok | QMessageBox::Cancel;
      first = QMessageBox::Ok;
      break;
    case MsgButtons::YesNo:
      set = QMessageBox::Yes | QMessageBox::No;
      first = QMessageBox::Yes;
      break;
  }
  // Over the visible window, if any, so that the window manager keeps it in front of it.
  QWidget* parent = nullptr;
  for (auto& [form, mirror] : mirrors_)
    if (mirror->window->isVisible()) parent = mirror->window.get();
  QMessageBox box(qicon, Q(caption), Q(text), set, parent);
  box.setTextFormat(Qt::PlainText);
  box.setDefaultButton(first);
  QTimer::singleShot(0, &box, [this, line = "box " + caption + ": " + text] { Log(line); });
  const int chosen = box.exec();
  switch (chosen) {
    case QMessageBox::Yes:
      return MsgResult::Yes;
    case QMessageBox::No:
      return MsgResult::No;
    case QMessageBox::Cancel:
      return MsgResult::Cancel;
    case QMessageBox::Ok:
      return MsgResult::Ok;
    default:
      // Closed without a button: the answer that declines.
      return buttons == MsgButtons::YesNo      ? MsgResult::No
             : buttons == MsgButtons::OkCancel ? MsgResult::Cancel
                                               : MsgResult::Ok;
  }
}

}  // namespace platform
