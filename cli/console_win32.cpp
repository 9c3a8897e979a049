#include "console_win32.h"

#include <windows.h>

#include <iostream>
#include <streambuf>
#include <string>

#include "text/text.h"

namespace vrekcli {

namespace {

// Collects UTF-8 and hands it to the handle on sync, up to the last whole character.
class ConsoleBuffer : public std::streambuf {
 public:
  explicit ConsoleBuffer(DWORD which) : handle_(GetStdHandle(which)) {
    DWORD mode = 0;
    console_ = handle_ != INVALID_HANDLE_VALUE && GetConsoleMode(handle_, &mode);
  }

 protected:
  int_type overflow(int_type c) override {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    pending_.push_back(traits_type::to_char_type(c));
    if (c == '\n' && pending_.size() > 4096) sync();
    return c;
  }
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    pending_.append(s, static_cast<std::size_t>(n));
    return n;
  }
  int sync() override {
    // A UTF-8 sequence cut by the flush waits for its rest.
    std::size_t whole = pending_.size();
    for (std::size_t back = 1; back <= 3 && back <= pending_.size(); ++back) {
      const unsigned char c = static_cast<unsigned char>(pending_[pending_.size() - back]);
      if ((c & 0xC0) == 0x80) continue;
      const std::size_t length = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      if (length > back) whole = pending_.size() - back;
      break;
    }
    const std::string text = pending_.substr(0, whole);
    pending_.erase(0, whole);
    if (text.empty() || handle_ == INVALID_HANDLE_VALUE) return 0;
    if (console_) {
      const std::u16string wide = text::Utf8ToUtf16(text, text::Mode::kLossy);
      DWORD written = 0;
      return WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr)
                 ? 0
                 : -1;
    }
    const std::string gbk = text::Utf8ToGbk(text, text::Mode::kLossy);
    DWORD written = 0;
    return WriteFile(handle_, gbk.data(), static_cast<DWORD>(gbk.size()), &written, nullptr) ? 0
                                                                                             : -1;
  }

 private:
  HANDLE handle_;
  bool console_ = false;
  std::string pending_;
};

}  // namespace

void UseWindowsConsole() {
  // Never destroyed: the streams are flushed once more when the runtime ends, after every static
  // object is gone.
  std::cout.rdbuf(new ConsoleBuffer(STD_OUTPUT_HANDLE));
  std::cerr.rdbuf(new ConsoleBuffer(STD_ERROR_HANDLE));
  std::cerr.setf(std::ios::unitbuf);
}

}  // namespace vrekcli
