// Conversion of program text (UTF-8) to the server's code page 936 (GBK), for the boundaries
// that need its bytes: widths of char(n) columns and the pinyin library's argument.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace platform {

class ETextConversionError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Throws ETextConversionError for invalid UTF-8 or a character that GBK cannot represent.
std::string Utf8ToGbk(std::string_view utf8);

}  // namespace platform
