// Conversion between program text (UTF-8) and the server's code page 936 (GBK), for the boundaries
// that need its bytes: widths of char(n) columns, the pinyin library's argument, settings files
// written in code page 936.
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

// Throws ETextConversionError for bytes that are not valid code page 936.
std::string GbkToUtf8(std::string_view gbk);

}  // namespace platform
