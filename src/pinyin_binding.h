// Which initials function the upgrade window starts with (the pinyin library's), and the result
// variable its callers hand to it.
#pragma once

#include "frmUpVrekMain.h"

TGetPinYinFirstChar DefaultPinYinFunction();

// The initials variable handed to the pinyin library on every call; each call frees the previous
// result, and the last one is freed here, however the step ends.
class PinYinResult {
 public:
  explicit PinYinResult(TFreePinYinText release) : release_(release) {}
  ~PinYinResult() {
    if (text_) release_(text_);
  }
  PinYinResult(const PinYinResult&) = delete;
  PinYinResult& operator=(const PinYinResult&) = delete;
  char** Slot() { return &text_; }
  std::string Text() const { return text_ ? text_ : ""; }

 private:
  TFreePinYinText release_;
  char* text_ = nullptr;
};
