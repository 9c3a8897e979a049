// Credential decoding and the process-wide start-up message.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

// Raised when a text does not convert to the number it should hold.
class EConvertError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The start-up message: empty at start, "系统正在连接数据库，请稍候..." while the connection is
// being made, "OK" once it is open. Only "OK" means the connection succeeded.
extern std::string ConnectMessage;

// Decodes the digit-coded text stored for the user name and the password. Each group of four
// characters gives one byte: digit k contributes k div 2, weighted 64, 16, 4 and 1; the byte is
// the sum modulo 256, zero included. A text whose length in bytes is not a multiple of 4 decodes
// to the empty text without looking at its characters. Throws EConvertError when a character of
// a text of suitable length is not a decimal digit.
std::string DecodeDigitText(std::string_view coded);
