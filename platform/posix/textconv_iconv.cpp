#include <iconv.h>

#include <cerrno>

#include "platform/textconv.h"

namespace platform {

namespace {

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw ETextConversionError(std::string("iconv cannot convert ") + from + " to " + to);
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;

  // Converts all of `text`; a character the target cannot hold, or invalid input, throws.
  std::string Convert(std::string_view text, std::size_t max_growth, const char* target) {
    std::string out(text.size() * max_growth + 4, '\0');
    char* in = const_cast<char*>(text.data());
    size_t in_left = text.size();
    char* dst = out.data();
    size_t out_left = out.size();
    if (iconv(cd_, &in, &in_left, &dst, &out_left) == static_cast<size_t>(-1)) {
      throw ETextConversionError(std::string("text cannot be converted to ") + target +
                                 " at byte " + std::to_string(text.size() - in_left));
    }
    out.resize(out.size() - out_left);
    return out;
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
  // A UTF-8 sequence never takes fewer bytes than its GBK form.
  return Converter("GBK", "UTF-8").Convert(utf8, 1, "GBK");
}

std::string GbkToUtf8(std::string_view gbk) {
  // Two GBK bytes become at most three UTF-8 bytes; one byte stays one byte.
  return Converter("UTF-8", "GBK").Convert(gbk, 2, "UTF-8");
}

}  // namespace platform
