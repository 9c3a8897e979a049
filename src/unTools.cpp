#include "unTools.h"

#include <algorithm>

std::string ConnectMessage;

namespace {

// The one-character integer conversion the coded text was designed around: a decimal digit, or an
// error naming the character as the user would see it.
int DigitValue(char c) {
  if (c < '0' || c > '9') {
    throw EConvertError("'" + std::string(1, c) + "' is not a valid integer value");
  }
  return c - '0';
}

}  // namespace

std::string DecodeDigitText(std::string_view coded) {
  std::string clear;
  if (coded.size() % 4 != 0) return clear;
  // Room for the whole text at once, beyond the string's inner buffer: a password leaves no
  // partial copies behind in storage given back, and moves by pointer.
  clear.reserve(std::max<std::size_t>(coded.size() / 4, 32));
  for (std::size_t group = 0; group < coded.size(); group += 4) {
    int b = 0;
    for (std::size_t k = 0; k < 4; ++k) b = b * 4 + DigitValue(coded[group + k]) / 2;
    clear.push_back(static_cast<char>(b % 256));
  }
  return clear;
}
