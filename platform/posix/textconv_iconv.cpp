#include <iconv.h>

#include <cerrno>

#include "platform/textconv.h"

namespace platform {

namespace {

class Converter {
 public:
  Converter() : cd_(iconv_open("GBK", "UTF-8")) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw ETextConversionError("iconv cannot convert UTF-8 to GBK");
  }
  ~Converter() { iconv_close(cd_); }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  iconv_t get() const { return cd_; }

 private:
  iconv_t cd_;
};

}  // namespace

std::string Utf8ToGbk(std::string_view utf8) {
  Converter conv;
  std::string out(utf8.size() * 2 + 4, '\0');
  char* in = const_cast<char*>(utf8.data());
  size_t in_left = utf8.size();
  char* dst = out.data();
  size_t out_left = out.size();
  if (iconv(conv.get(), &in, &in_left, &dst, &out_left) == static_cast<size_t>(-1)) {
    throw ETextConversionError("text cannot be converted to GBK at byte " +
                               std::to_string(utf8.size() - in_left));
  }
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace platform
