// UpVrek.exe end to end under Wine, driven from Linux as a person drives it: a virtual display
// with a window manager, a Wine prefix of its own with the settings in its registry, a data
// source reaching sqlstandin through Wine's ODBC, the host's unixODBC and FreeTDS, and xdotool
// clicking and pressing keys. What the server received is compared whole with what the Linux
// build's upvrek-cli sends for the same settings.
//
// Run by the Windows build's ctest, which names in the environment the program's directory
// (VREK_WIN64_BIN), the directory for the prefix, logs and screenshots (VREK_WINE_RUN) and the
// Wine loader (VREK_WINE64). Every wait has a time limit; the processes it starts are ended by
// their ids, and the prefix's wineserver at the end.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <iconv.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "dump_compare.h"
#include "files.h"
#include "listener_log.h"
#include "transcripts.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char kCaption[] = "固定资产升级程序     2012.11";
const char kTitle[] = "Brantel资产管理系统";
const char kDone[] = "提示信息";
const char kConnectionFailed[] = "错误信息";
const char kSplash[] = "FlashTools";

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

using vrektest::Lines;
using vrektest::ReadFile;

// Text in code page 936 (what a Windows program writes to a file or a pipe on a Chinese system)
// as UTF-8; "<not GBK>" when it is not.
std::string GbkToUtf8(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-8", "GBK");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "<no GBK converter>";
  std::string in = gbk, out(gbk.size() * 2 + 4, '\0');
  char* from = in.data();
  char* to = out.data();
  std::size_t left = in.size(), room = out.size();
  const std::size_t converted = iconv(cd, &from, &left, &to, &room);
  iconv_close(cd);
  if (converted == static_cast<std::size_t>(-1)) return "<not GBK>";
  out.resize(out.size() - room);
  return out;
}

// Polls until the condition holds or the time is up; says whether it held.
bool WaitFor(std::chrono::milliseconds limit, const std::function<bool()>& condition) {
  const auto end = Clock::now() + limit;
  for (;;) {
    if (condition()) return true;
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(200ms);
  }
}

// The output of a shell command run with a time limit, its last line break removed.
std::string Shell(const std::string& command) {
  FILE* pipe = popen(("timeout 20 " + command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return "";
  std::string out;
  char buf[4096];
  for (std::size_t n; (n = fread(buf, 1, sizeof buf, pipe)) > 0;) out.append(buf, n);
  pclose(pipe);
  if (!out.empty() && out.back() == '\n') out.pop_back();
  return out;
}

// A child process, its standard output and error into a file (or error into a file of its own),
// its standard input from a file (by default none); ended by its id (SIGCONT, then
// SIGTERM, then SIGKILL when it lingers) when the object dies.
class Process {
 public:
  Process(const std::vector<std::string>& argv, const std::string& output,
          const std::string& error = "", const std::string& input = "/dev/null") {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, input.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    if (error.empty())
      posix_spawn_file_actions_adddup2(&actions, 1, 2);
    else
      posix_spawn_file_actions_addopen(&actions, 2, error.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                       0644);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (posix_spawnp(&pid_, args[0], &actions, nullptr, args.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Process() { Stop(); }
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  bool Started() const { return pid_ > 0; }
  pid_t Pid() const { return pid_; }
  bool Running() {
    Reap();
    return pid_ > 0 && !exited_;
  }
  // The exit status once it ended within the time (128 + signal when killed), -1 when it is
  // still running.
  int WaitExit(std::chrono::milliseconds limit) {
    WaitFor(limit, [this] { return !Running(); });
    return exited_ ? status_ : -1;
  }
  void Stop() {
    if (!Running()) return;
    kill(pid_, SIGCONT);
    kill(pid_, SIGTERM);
    if (WaitExit(5s) < 0) {
      kill(pid_, SIGKILL);
      WaitExit(5s);
    }
  }

 private:
  void Reap() {
    int status = 0;
    if (pid_ > 0 && !exited_ && waitpid(pid_, &status, WNOHANG) == pid_) {
      exited_ = true;
      status_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
  }
  pid_t pid_ = -1;
  bool exited_ = false;
  int status_ = 0;
};

// Runs a command to its end within the time; its exit status, -1 when it had to be ended.
int RunToEnd(const std::vector<std::string>& argv, const std::string& output,
             std::chrono::milliseconds limit, const std::string& error = "",
             const std::string& input = "/dev/null") {
  Process p(argv, output, error, input);
  if (!p.Started()) return -1;
  return p.WaitExit(limit);
}

// ---------------------------------------------------------------------------------------------
// The X windows, found by their exact names.

struct Geometry {
  int width = 0, height = 0;
};

Geometry GeometryOf(const std::string& id) {
  Geometry g;
  for (const std::string& line : Lines(Shell("xdotool getwindowgeometry --shell " + id))) {
    if (line.rfind("WIDTH=", 0) == 0) g.width = std::atoi(line.c_str() + 6);
    if (line.rfind("HEIGHT=", 0) == 0) g.height = std::atoi(line.c_str() + 7);
  }
  return g;
}

// Every X window of exactly this name, whatever its size.
std::vector<std::string> Named(const std::string& name) {
  return Lines(Shell("xdotool search --name '^" + name + "$'"));
}

// The window of exactly this name that is drawn (more than 2x2); with several, the largest.
// Wine also names invisible helper windows by the caption.
std::string Window(const std::string& name) {
  std::string best;
  int area = 4;
  for (const std::string& id : Named(name)) {
    const Geometry g = GeometryOf(id);
    if (g.width * g.height > area) {
      area = g.width * g.height;
      best = id;
    }
  }
  return best;
}

bool Shown(const std::string& name) { return !Window(name).empty(); }

// The parent of an X window, "" for the root.
std::string Parent(const std::string& id) {
  for (const std::string& line : Lines(Shell("xwininfo -children -id " + id))) {
    const auto at = line.find("Parent window id: ");
    if (at == std::string::npos) continue;
    if (line.find("(none)") != std::string::npos) return "";
    std::istringstream in(line.substr(at + 18));
    std::string parent;
    in >> parent;
    return parent;
  }
  return "";
}

// The window with the frame the window manager put around it (itself without one).
std::string Framed(std::string id) {
  for (std::string parent; !(parent = Parent(id)).empty() && !Parent(parent).empty();) id = parent;
  return id;
}

void ClickAt(const std::string& window, int x, int y) {
  Shell("xdotool mousemove --window " + window + " " + std::to_string(x) + " " + std::to_string(y) +
        " click 1");
}

// ---------------------------------------------------------------------------------------------

// The display, the window manager and the Wine prefix, made once for all the cases.
class WineProgram : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    bin_ = Env("VREK_WIN64_BIN");
    run_ = Env("VREK_WINE_RUN");
    const std::string wine64 = Env("VREK_WINE64");
    setup_error_ =
        "VREK_WIN64_BIN, VREK_WINE_RUN and VREK_WINE64 must name the program's "
        "directory, the run directory and the Wine loader";
    if (bin_.empty() || run_.empty() || wine64.empty()) return;
    setup_error_.clear();
    fs::remove_all(run_);
    fs::create_directories(run_ + "/odbc");
    std::ofstream(run_ + "/odbc/odbcinst.ini");
    std::ofstream(run_ + "/odbc/odbc.ini");
    const std::string wine_dir = fs::path(wine64).parent_path();
    setenv("PATH", (wine_dir + ":" + Env("PATH")).c_str(), 1);
    setenv("WINEPREFIX", (run_ + "/prefix").c_str(), 1);
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEDLLOVERRIDES", "mscoree,mshtml=", 1);
    setenv("LANG", "C.UTF-8", 1);
    setenv("ODBCSYSINI", (run_ + "/odbc").c_str(), 1);
    setenv("ODBCINI", (run_ + "/odbc/odbc.ini").c_str(), 1);

    // The virtual display takes the first free number and writes it to its standard output.
    const std::string display_file = run_ + "/xvfb.log";
    xvfb_ = new Process(
        {VREK_XVFB, "-displayfd", "1", "-screen", "0", "1024x768x24", "-nolisten", "tcp"},
        display_file);
    std::string display;
    WaitFor(20s, [&] {
      for (const std::string& line : Lines(ReadFile(display_file)))
        if (!line.empty() && line.find_first_not_of("0123456789") == std::string::npos)
          display = line;
      return !display.empty();
    });
    if (display.empty()) {
      setup_error_ = "Xvfb did not start: " + ReadFile(display_file);
      return;
    }
    setenv("DISPLAY", (":" + display).c_str(), 1);
    // A window manager draws the frames and captions that the screenshots should show.
    openbox_ = new Process({VREK_OPENBOX}, run_ + "/openbox.log");

    const auto t0 = Clock::now();
    if (RunToEnd({"wine64", "wineboot", "-i"}, run_ + "/wineboot.log", 120s) != 0 ||
        RunToEnd({"wineserver", "-w"}, run_ + "/wineserver.log", 60s) != 0) {
      setup_error_ = "the Wine prefix was not made: " + ReadFile(run_ + "/wineboot.log");
      return;
    }
    std::printf("Wine prefix made in %lld s\n", static_cast<long long>((Clock::now() - t0) / 1s));
    // The dialog fonts and the forms' "宋体" drawn with an installed CJK font: the cut of
    // WenQuanYi Zen Hei with bitmap strikes at 12 to 16 pixels, so that the windows' 12 px and
    // 15 px Chinese keeps every stroke (the outlines, rendered without smoothing, lose some).
    const std::string fonts =
        "HKLM\\Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes";
    const std::string sharp = "WenQuanYi Zen Hei Sharp";
    const std::vector<std::pair<std::string, std::string>> substitutes = {
        {"MS Shell Dlg", sharp},  {"MS Shell Dlg 2", sharp}, {"Tahoma", sharp},
        {"MS Sans Serif", sharp}, {"SimSun", sharp},         {"宋体", sharp}};
    for (const auto& [face, font] : substitutes)
      setup_error_ += Reg({"add", fonts, "/v", face, "/t", "REG_SZ", "/d", font, "/f"});
  }

  static void TearDownTestSuite() {
    if (!run_.empty() && !Env("WINEPREFIX").empty())
      RunToEnd({"wineserver", "-k"}, run_ + "/wineserver-end.log", 20s);
    delete openbox_;
    delete xvfb_;
    openbox_ = xvfb_ = nullptr;
  }

  void SetUp() override { ASSERT_EQ(setup_error_, ""); }

  void TearDown() override {
    if (!HasFailure() || Env("DISPLAY").empty()) return;
    // What was on the screen.
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    std::printf("%s\n", Shell("xwininfo -root -tree | grep '\"'").c_str());
    Shell("xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > '" + run_ + "/failure-" + name +
          ".png'");
  }

  // Wine's own "reg" with these arguments; "" when it succeeded, else what went wrong.
  static std::string Reg(const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"wine64", "reg"};
    argv.insert(argv.end(), args.begin(), args.end());
    const std::string log = run_ + "/reg.log";
    const int status = RunToEnd(argv, log, 120s);
    if (status == 0) return "";
    return "reg " + args[0] + " " + args[1] + " ended with " + std::to_string(status) + ": " +
           ReadFile(log);
  }

  // sqlstandin on the old register, logging every batch to `log`, with extra options; a data
  // source named Vrek<port> reaches it. Empty when it did not start.
  std::string StartServer(const std::string& log, const std::vector<std::string>& options = {}) {
    const std::string out = run_ + "/server-" + fs::path(log).stem().string() + ".out";
    std::vector<std::string> argv = {
        VREK_SQLSTANDIN, "--port", "0", "--load", VREK_FIXTURE_DIR "/old_register.sql",
        "--log",         log};
    argv.insert(argv.end(), options.begin(), options.end());
    server_ = std::make_unique<Process>(argv, out);
    std::string port;
    WaitFor(20s, [&] {
      const std::string text = ReadFile(out);
      const std::string prefix = "listening on 127.0.0.1:";
      if (text.rfind(prefix, 0) == 0 && text.find('\n') != std::string::npos)
        port = text.substr(prefix.size(),
                           text.find_first_not_of("0123456789", prefix.size()) - prefix.size());
      return !port.empty() || !server_->Running();
    });
    EXPECT_FALSE(port.empty()) << "sqlstandin did not start: " << ReadFile(out);
    if (!port.empty())
      std::ofstream(run_ + "/odbc/odbc.ini", std::ios::app)
          << "[Vrek" << port
          << "]\nDriver = " VREK_TDS_ODBC_DRIVER "\nServer = 127.0.0.1\nPort = " << port
          << "\nTDS_Version = 7.4\nClientCharset = UTF-8\n";
    return port;
  }

  // The settings as the register's installer leaves them: user "sa" digit-coded, no password,
  // blanks around the data-source name.
  static std::string Settings(const std::string& port) {
    const std::string key = "HKLM\\SOFTWARE\\Wow6432Node\\Brantelvoss\\Vrek";
    return Reg({"add", key, "/v", "ODBCNAME", "/t", "REG_SZ", "/d", " Vrek" + port + " ", "/f"}) +
           Reg({"add", key, "/v", "USERNAME", "/t", "REG_SZ", "/d", "26062402", "/f"}) +
           Reg({"add", key, "/v", "PASSWORD", "/t", "REG_SZ", "/d", "", "/f"});
  }

  void StartProgram(const std::string& name) {
    setenv("WINEDEBUG", "err+all,fixme-all", 1);
    program_ = std::make_unique<Process>(std::vector<std::string>{"wine64", bin_ + "/UpVrek.exe"},
                                         run_ + "/program-" + name + ".log");
    setenv("WINEDEBUG", "-all", 1);
    ASSERT_TRUE(program_->Started());
  }

  // "退出" at client 248+37, 80+12 at 96 dpi; then the program must end by itself, successfully.
  void ExitProgram(int x = 285, int y = 92) {
    const std::string main = Window(kCaption);
    ASSERT_FALSE(main.empty()) << "no upgrade window to leave";
    ClickAt(main, x, y);
    EXPECT_EQ(program_->WaitExit(30s), 0) << "after \"退出\"";
  }

  // Return on a message box chooses its OK button; the box must then go away.
  static bool CloseBox(const std::string& name) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::string id = Window(name);
      if (id.empty()) return true;
      Shell("xdotool windowactivate --sync " + id + " || xdotool windowfocus " + id);
      // Through the server's own keyboard, not an event sent to the box: the release must reach
      // whichever window has the focus once the press has closed the box, or Wine keeps the key
      // down for the next program.
      Shell("xdotool key Return");
      if (WaitFor(4s, [&] { return !Shown(name); })) return true;
    }
    return false;
  }

  void Screenshot(const std::string& window, const std::string& file) {
    Shell("xwd -silent -id " + Framed(window) + " | xwdtopnm 2>/dev/null | pnmtopng > '" + run_ +
          "/" + file + "'");
  }

  static std::string bin_, run_, setup_error_;
  static Process* xvfb_;
  static Process* openbox_;
  std::unique_ptr<Process> server_, program_;
};

std::string WineProgram::bin_, WineProgram::run_, WineProgram::setup_error_;
Process* WineProgram::xvfb_ = nullptr;
Process* WineProgram::openbox_ = nullptr;

// Where two logs first part, for a failure message.
std::string FirstDifference(const std::vector<std::string>& a, const std::vector<std::string>& b) {
  for (std::size_t i = 0; i < a.size() || i < b.size(); ++i)
    if (i >= a.size() || i >= b.size() || a[i] != b[i])
      return "batch " + std::to_string(i + 1) + ":\n  Linux: " + (i < a.size() ? a[i] : "<none>") +
             "\n  Wine:  " + (i < b.size() ? b[i] : "<none>");
  return "none";
}

TEST_F(WineProgram, SplashWhileConnectingThenAClickUpgradesAsTheLinuxProgramDoes) {
  const std::string wine_log = run_ + "/wine.jsonl";
  const std::string port = StartServer(wine_log);
  ASSERT_FALSE(port.empty());
  ASSERT_EQ(Settings(port), "");
  // The server does not answer until it is let go: the splash stands meanwhile.
  kill(server_->Pid(), SIGSTOP);
  const auto started = Clock::now();
  StartProgram("upgrade");
  const bool splash = WaitFor(90s, [] { return Shown(kSplash); });
  if (splash) {
    std::this_thread::sleep_for(1s);
    const std::string id = Window(kSplash);
    const Geometry g = GeometryOf(id);
    EXPECT_EQ(std::to_string(g.width) + "x" + std::to_string(g.height), "306x206") << "splash";
    Screenshot(id, "wine-splash.png");
    EXPECT_FALSE(Shown(kCaption)) << "the upgrade window is there before the connection";
    EXPECT_FALSE(Named(kTitle).empty()) << "no application window (taskbar entry) " << kTitle;
  }
  kill(server_->Pid(), SIGCONT);
  ASSERT_TRUE(splash) << "no splash while the connection waits";

  ASSERT_TRUE(WaitFor(60s, [] { return Shown(kCaption); })) << "no upgrade window";
  std::this_thread::sleep_for(1s);
  std::printf("upgrade window shown %lld s after start\n",
              static_cast<long long>((Clock::now() - started) / 1s));
  const std::string main = Window(kCaption);
  EXPECT_FALSE(Shown(kSplash)) << "splash still shown once connected";
  const Geometry g = GeometryOf(main);
  EXPECT_EQ(std::to_string(g.width) + "x" + std::to_string(g.height), "351x118") << "client area";
  Screenshot(main, "wine-upgrade-window.png");

  ClickAt(main, 24 + 37, 80 + 12);  // 开始升级
  ASSERT_TRUE(WaitFor(180s, [] { return Shown(kDone); }))
      << "no box " << kDone << " after the click";
  Screenshot(Window(kDone), "wine-done-box.png");
  EXPECT_TRUE(CloseBox(kDone)) << kDone << " does not close";
  ExitProgram();
  server_->Stop();

  // The same upgrade by the Linux program, against a fresh server.
  const std::string linux_log = run_ + "/linux.jsonl";
  const std::string linux_port = StartServer(linux_log);
  ASSERT_FALSE(linux_port.empty());
  const std::string settings = run_ + "/linux.reg";
  std::ofstream(settings)
      << "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\n\"ODBCNAME\"=\"Vrek"
      << linux_port << "\"\n\"USERNAME\"=\"26062402\"\n\"PASSWORD\"=\"\"\n";
  setenv("VREK_REGISTRY", settings.c_str(), 1);
  const int cli = RunToEnd({VREK_UPVREK_CLI, "run"}, run_ + "/linux-run.out", 120s);
  unsetenv("VREK_REGISTRY");
  ASSERT_EQ(cli, 0) << ReadFile(run_ + "/linux-run.out");
  server_->Stop();

  // The command-line program also reads who else is connected, to warn on standard error; the
  // window does not. Apart from that read, the two logs agree batch for batch, errors included,
  // each numbered as its program sent them.
  auto batches = [](const std::string& log, bool drop_others) {
    std::vector<std::string> lines;
    for (const vrektest::LoggedBatch& b : vrektest::ParseListenerLog(ReadFile(log))) {
      if (drop_others && b.text == OtherSessions().front()) continue;
      lines.push_back(std::to_string(lines.size() + 1) + " " + b.text +
                      (b.error ? " => " + std::to_string(b.error->number) + " " + b.error->message
                               : std::string()) +
                      (b.cancelled ? " cancelled" : ""));
    }
    return lines;
  };
  const std::vector<std::string> linux = batches(linux_log, true);
  const std::vector<std::string> wine = batches(wine_log, false);
  ASSERT_GT(linux.size(), 100u);
  // On a difference, where it starts rather than both logs whole.
  EXPECT_TRUE(linux == wine) << linux.size() << " batches from Linux, " << wine.size()
                             << " from Wine; first difference at " << FirstDifference(linux, wine);
}

// upvrek-cli.exe beside UpVrek.exe: the settings from Wine's registry, Wine's ODBC, output in
// code page 936 when redirected. Its plan, its run and the batches the server received are
// whole what the Linux build's upvrek-cli prints and sends for the same settings; so are the
// version and the message for a command line it does not understand.
TEST_F(WineProgram, TheCommandLineProgramPlansAndRunsAsTheLinuxProgramDoes) {
  struct Output {
    int status = -1;
    std::string out, err;
  };
  const auto wine = [this](const std::string& name, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {"wine64", bin_ + "/upvrek-cli.exe"};
    argv.insert(argv.end(), args.begin(), args.end());
    Output o;
    const std::string out = run_ + "/cli-wine-" + name + ".out";
    o.status = RunToEnd(argv, out, 180s, out + ".err");
    o.out = GbkToUtf8(ReadFile(out));
    o.err = GbkToUtf8(ReadFile(out + ".err"));
    return o;
  };
  const auto linux = [this](const std::string& name, const std::vector<std::string>& args) {
    std::vector<std::string> argv = {VREK_UPVREK_CLI};
    argv.insert(argv.end(), args.begin(), args.end());
    Output o;
    const std::string out = run_ + "/cli-linux-" + name + ".out";
    o.status = RunToEnd(argv, out, 180s, out + ".err");
    o.out = ReadFile(out);
    o.err = ReadFile(out + ".err");
    return o;
  };
  const auto expect_same = [](const Output& w, const Output& l, const std::string& what) {
    EXPECT_EQ(w.status, l.status) << what;
    EXPECT_EQ(w.out, l.out) << what;
    EXPECT_EQ(w.err, l.err) << what;
  };

  const std::string wine_log = run_ + "/cli-wine.jsonl";
  const std::string port = StartServer(wine_log);
  ASSERT_FALSE(port.empty());
  ASSERT_EQ(Settings(port), "");
  const Output wine_plan = wine("plan", {"plan"});
  const Output wine_batches = wine("batches", {"plan", "--batches"});
  const Output wine_run = wine("run", {"run"});
  const Output wine_version = wine("version", {"--version"});
  const Output wine_usage = wine("usage", {"plan", "--json"});
  server_->Stop();
  // A password piped in code page 936 ("口令 x" and a Windows line end): the code of its bytes.
  const std::string typed = run_ + "/cli-wine-encode.in";
  std::ofstream(typed, std::ios::binary) << "\xBF\xDA\xC1\xEE x\r\n";
  const std::string coded = run_ + "/cli-wine-encode.out";
  EXPECT_EQ(
      RunToEnd({"wine64", bin_ + "/upvrek-cli.exe", "encode"}, coded, 120s, coded + ".err", typed),
      0)
      << ReadFile(coded + ".err");
  EXPECT_EQ(ReadFile(coded), "466662446002646404002640\n");
  EXPECT_EQ(ReadFile(coded + ".err"), "");

  const std::string linux_log = run_ + "/cli-linux.jsonl";
  const std::string linux_port = StartServer(linux_log);
  ASSERT_FALSE(linux_port.empty());
  const std::string settings = run_ + "/cli-linux.reg";
  std::ofstream(settings)
      << "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\n\"ODBCNAME\"=\"Vrek"
      << linux_port << "\"\n\"USERNAME\"=\"26062402\"\n\"PASSWORD\"=\"\"\n";
  setenv("VREK_REGISTRY", settings.c_str(), 1);
  const Output linux_plan = linux("plan", {"plan"});
  const Output linux_batches = linux("batches", {"plan", "--batches"});
  const Output linux_run = linux("run", {"run"});
  const Output linux_version = linux("version", {"--version"});
  const Output linux_usage = linux("usage", {"plan", "--json"});
  unsetenv("VREK_REGISTRY");
  server_->Stop();

  ASSERT_EQ(linux_run.status, 0) << linux_run.err;
  ASSERT_GT(linux_run.out.size(), 1000u);
  expect_same(wine_plan, linux_plan, "plan");
  expect_same(wine_batches, linux_batches, "plan --batches");
  expect_same(wine_run, linux_run, "run");
  expect_same(wine_version, linux_version, "--version");
  expect_same(wine_usage, linux_usage, "plan --json");
  EXPECT_EQ(wine_usage.status, 64);
  const std::vector<std::string> linux_batches_sent = Lines(ReadFile(linux_log));
  const std::vector<std::string> wine_batches_sent = Lines(ReadFile(wine_log));
  ASSERT_GT(linux_batches_sent.size(), 100u);
  EXPECT_TRUE(ReadFile(wine_log) == ReadFile(linux_log))
      << linux_batches_sent.size() << " batches from Linux, " << wine_batches_sent.size()
      << " from Wine; first difference at "
      << FirstDifference(linux_batches_sent, wine_batches_sent);
}

TEST_F(WineProgram, AFailingBatchShowsABoxCaptionedWithTheApplicationTitle) {
  const std::size_t fail_at = 30;
  const std::string log = run_ + "/wine-fail.jsonl";
  const std::string port = StartServer(log, {"--fail", std::to_string(fail_at)});
  ASSERT_FALSE(port.empty());
  ASSERT_EQ(Settings(port), "");
  StartProgram("failure");
  ASSERT_TRUE(WaitFor(60s, [] { return Shown(kCaption); })) << "no upgrade window";
  std::this_thread::sleep_for(1s);
  // By keyboard this time: the focus starts on "开始升级", first in the tab order.
  Shell("xdotool windowactivate --sync " + Window(kCaption));
  Shell("xdotool key space");
  // The application window has the same caption but no size: the box is the large one.
  const bool box = WaitFor(60s, [] {
    const std::string id = Window(kTitle);
    return !id.empty() && GeometryOf(id).width > 50;
  });
  ASSERT_TRUE(box) << "no error box after a failing batch";
  Screenshot(Window(kTitle), "wine-error-box.png");
  EXPECT_FALSE(Shown(kDone)) << kDone << " shown after a failure";
  EXPECT_EQ(Lines(ReadFile(log)).size(), fail_at) << "batches sent; the failure was at " << fail_at;
  EXPECT_TRUE(CloseBox(kTitle)) << "the error box does not close";
  EXPECT_FALSE(Named(kTitle).empty()) << "the application window went with the box";
  ExitProgram();
}

// A run broken at the create of the unit dictionary, just after its drop, leaves it half-done.
// The next run offers the repair in one box captioned "提示信息"; Return chooses Yes, its
// default: the repair and the steps follow, then the completion message, and the database is
// the one a clean run of the Linux program leaves.
TEST_F(WineProgram, TheNextRunOffersTheRepairAndReturnAcceptsIt) {
  // The lock, the check's 3 reads, the ledger's 2 batches, vr_dwhy's 3, the unit probe and drop,
  // then the create.
  const std::size_t fail_at = 12;
  const std::string log = run_ + "/wine-repair.jsonl", saved = run_ + "/wine-repair.sql";
  const std::string port = StartServer(log, {"--fail", std::to_string(fail_at), "--save", saved});
  ASSERT_FALSE(port.empty());
  ASSERT_EQ(Settings(port), "");
  const auto click_start = [] {
    Shell("xdotool windowactivate --sync " + Window(kCaption));
    Shell("xdotool key space");
  };
  StartProgram("broken");
  ASSERT_TRUE(WaitFor(60s, [] { return Shown(kCaption); })) << "no upgrade window";
  std::this_thread::sleep_for(1s);
  click_start();
  ASSERT_TRUE(WaitFor(60s, [] {
    const std::string id = Window(kTitle);
    return !id.empty() && GeometryOf(id).width > 50;
  })) << "no error box after the failing create";
  EXPECT_EQ(Lines(ReadFile(log)).size(), fail_at);
  EXPECT_TRUE(CloseBox(kTitle)) << "the error box does not close";
  ExitProgram();

  StartProgram("repair");
  ASSERT_TRUE(WaitFor(60s, [] { return Shown(kCaption); })) << "no upgrade window";
  std::this_thread::sleep_for(1s);
  click_start();
  ASSERT_TRUE(WaitFor(60s, [] { return Shown(kDone); })) << "no offer of the repair";
  std::this_thread::sleep_for(1s);
  const std::string offer = Window(kDone);
  Screenshot(offer, "wine-repair-box.png");
  const std::size_t asked_after = Lines(ReadFile(log)).size();
  Shell("xdotool windowactivate --sync " + offer + " || xdotool windowfocus " + offer);
  Shell("xdotool key Return");
  // Declined, the run would stop at the drop of the missing dictionary with an error box.
  ASSERT_TRUE(WaitFor(120s, [&] {
    return Lines(ReadFile(log)).size() > asked_after + 30 && Window(kDone) != offer && Shown(kDone);
  })) << "no completion message after Yes";
  EXPECT_FALSE(Shown(kTitle) && GeometryOf(Window(kTitle)).width > 50) << "an error box";
  EXPECT_TRUE(CloseBox(kDone)) << kDone << " does not close";
  ExitProgram();
  server_->Stop();
  const std::string repaired = ReadFile(saved);

  // A clean run of the Linux program.
  const std::string clean_saved = run_ + "/linux-clean.sql";
  const std::string linux_port = StartServer(run_ + "/linux-clean.jsonl", {"--save", clean_saved});
  ASSERT_FALSE(linux_port.empty());
  const std::string settings = run_ + "/linux-clean.reg";
  std::ofstream(settings)
      << "Windows Registry Editor Version 5.00\n\n"
         "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Brantelvoss\\Vrek]\n\"ODBCNAME\"=\"Vrek"
      << linux_port << "\"\n\"USERNAME\"=\"26062402\"\n\"PASSWORD\"=\"\"\n";
  setenv("VREK_REGISTRY", settings.c_str(), 1);
  const int cli = RunToEnd({VREK_UPVREK_CLI, "run"}, run_ + "/linux-clean.out", 120s);
  unsetenv("VREK_REGISTRY");
  ASSERT_EQ(cli, 0) << ReadFile(run_ + "/linux-clean.out");
  server_->Stop();
  const std::string clean = ReadFile(clean_saved);
  ASSERT_NE(clean, "");
  EXPECT_TRUE(vrektest::Normalized(repaired) == vrektest::Normalized(clean))
      << "the repaired database differs from the clean upgrade's; see " << saved << " and "
      << clean_saved;
}

TEST_F(WineProgram, AnUnknownDataSourceShowsTheFailureBoxAndTheProgramEnds) {
  ASSERT_EQ(Reg({"add", "HKLM\\SOFTWARE\\Wow6432Node\\Brantelvoss\\Vrek", "/v", "ODBCNAME", "/t",
                 "REG_SZ", "/d", "NoSuchSource", "/f"}),
            "");
  StartProgram("no-connection");
  ASSERT_TRUE(WaitFor(60s, [] { return Shown(kConnectionFailed); }))
      << "no box " << kConnectionFailed << " for an unknown data source";
  EXPECT_FALSE(Shown(kCaption)) << "the upgrade window is shown without a connection";
  EXPECT_TRUE(CloseBox(kConnectionFailed)) << kConnectionFailed << " does not close";
  EXPECT_EQ(program_->WaitExit(30s), 0) << "once " << kConnectionFailed << " is closed";
}

// Last: it leaves the prefix at 144 dpi. The window and its text are half as large again, and
// "退出" is still where the scaled design puts it.
TEST_F(WineProgram, At144DpiTheWindowIsHalfAsLargeAgain) {
  ASSERT_EQ(Reg({"add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD", "/d",
                 "144", "/f"}),
            "");
  RunToEnd({"wineserver", "-w"}, run_ + "/wineserver.log", 60s);
  const std::string port = StartServer(run_ + "/wine-144dpi.jsonl");
  ASSERT_FALSE(port.empty());
  ASSERT_EQ(Settings(port), "");
  StartProgram("144dpi");
  ASSERT_TRUE(WaitFor(60s, [] { return Shown(kCaption); })) << "no upgrade window at 144 dpi";
  std::this_thread::sleep_for(1s);
  const std::string main = Window(kCaption);
  const Geometry g = GeometryOf(main);
  EXPECT_EQ(std::to_string(g.width) + "x" + std::to_string(g.height), "527x177") << "client area";
  Screenshot(main, "wine-upgrade-window-144dpi.png");
  ExitProgram(427, 138);
}

}  // namespace
