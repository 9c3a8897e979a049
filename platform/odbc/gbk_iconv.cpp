// Code page 936 to UTF-16 through iconv. A Windows build replaces this file with one calling
// MultiByteToWideChar(936, ...).
#include <iconv.h>

#include <bit>
#include <cerrno>

#include "odbc_text.h"
#include "platform/textconv.h"

namespace platform::odbc {

namespace {

static_assert(std::endian::native == std::endian::little, "UTF-16LE is the native order here");

class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw ETextConversionError(std::string("iconv cannot convert ") + from + " to " + to);
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

std::u16string GbkToUtf16(std::string_view gbk) {
  Iconv conv("UTF-16LE", "CP936");
  std::u16string out;
  char* in = const_cast<char*>(gbk.data());
  size_t in_left = gbk.size();
  char16_t buf[256];
  while (in_left > 0) {
    char* dst = reinterpret_cast<char*>(buf);
    size_t out_left = sizeof buf;
    const size_t rc = iconv(conv.get(), &in, &in_left, &dst, &out_left);
    out.append(buf, (sizeof buf - out_left) / sizeof(char16_t));
    if (rc == static_cast<size_t>(-1) && (errno == EILSEQ || errno == EINVAL)) {
      out += u'\uFFFD';
      ++in;
      --in_left;
    } else if (rc == static_cast<size_t>(-1) && errno != E2BIG) {
      throw ETextConversionError("code page 936 text cannot be converted");
    }
  }
  return out;
}

}  // namespace platform::odbc
