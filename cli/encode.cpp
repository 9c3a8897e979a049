#include "encode.h"

#include "text/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <termios.h>
#include <unistd.h>
#endif

namespace vrekcli {

namespace {

// Turns the terminal's echo off for its lifetime when standard input is a terminal (a console
// on Windows); does nothing for a pipe or a file.
class NoEcho {
 public:
  NoEcho() {
#ifdef _WIN32
    input_ = GetStdHandle(STD_INPUT_HANDLE);
    if (input_ != INVALID_HANDLE_VALUE && GetConsoleMode(input_, &saved_)) {
      terminal_ = true;
      SetConsoleMode(input_, saved_ & ~static_cast<DWORD>(ENABLE_ECHO_INPUT));
    }
#else
    if (isatty(STDIN_FILENO) && tcgetattr(STDIN_FILENO, &saved_) == 0) {
      terminal_ = true;
      termios quiet = saved_;
      quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
      quiet.c_lflag |= ECHONL;
      tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
#endif
  }
  ~NoEcho() {
    if (!terminal_) return;
#ifdef _WIN32
    SetConsoleMode(input_, saved_);
#else
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved_);
#endif
  }
  NoEcho(const NoEcho&) = delete;
  NoEcho& operator=(const NoEcho&) = delete;
  bool Terminal() const { return terminal_; }

 private:
  bool terminal_ = false;
#ifdef _WIN32
  HANDLE input_ = INVALID_HANDLE_VALUE;
  DWORD saved_ = 0;
#else
  termios saved_{};
#endif
};

}  // namespace

std::string DigitCode(std::string_view clear) {
  std::string coded;
  coded.reserve(clear.size() * 4);
  for (const unsigned char b : clear)
    for (int shift = 6; shift >= 0; shift -= 2)
      coded.push_back(static_cast<char>('0' + 2 * ((b >> shift) & 3)));
  return coded;
}

int Encode(std::istream& in, std::ostream& out, std::ostream& err) {
  std::string line;  // UTF-8
  bool read = false;
  {
    NoEcho no_echo;
    if (no_echo.Terminal())
      err << "请输入要编码的文字（输入的内容不会显示），按回车结束：" << std::flush;
#ifdef _WIN32
    if (no_echo.Terminal()) {
      // The console's own characters, whatever its code page.
      std::u16string wide;
      wchar_t c;
      DWORD got = 0;
      while (ReadConsoleW(GetStdHandle(STD_INPUT_HANDLE), &c, 1, &got, nullptr) && got == 1) {
        read = true;
        if (c == L'\n') break;
        wide.push_back(static_cast<char16_t>(c));
      }
      if (!wide.empty() && wide.back() == u'\r') wide.pop_back();
      line = text::Utf16ToUtf8(wide, text::Mode::kLossy);
      // The console does not end the line it did not echo.
      err << '\n';
    } else {
      std::string gbk;
      read = static_cast<bool>(std::getline(in, gbk));
      if (!gbk.empty() && gbk.back() == '\r') gbk.pop_back();
      try {
        line = text::GbkToUtf8(gbk, text::Mode::kStrict);
      } catch (const text::ETextConversionError&) {
        err << "输入的文字不是代码页 936（GBK）的文字。\n";
        return 1;
      }
    }
#else
    read = static_cast<bool>(std::getline(in, line)) || !line.empty();
    if (!line.empty() && line.back() == '\r') line.pop_back();
#endif
    if (!read) {
      if (no_echo.Terminal()) err << '\n';
      err << "没有读到任何文字：标准输入是空的。\n";
      return 1;
    }
  }
  std::string gbk;
  try {
    gbk = text::Utf8ToGbk(line, text::Mode::kStrict);
  } catch (const text::ETextConversionError&) {
    err << (text::IsValidUtf8(line) ? "输入的文字中有代码页 936（GBK）没有的字符，无法编码。\n"
                                    : "输入的文字不是 UTF-8 的文字。\n");
    return 1;
  }
  out << DigitCode(gbk) << '\n' << std::flush;
  return 0;
}

}  // namespace vrekcli
