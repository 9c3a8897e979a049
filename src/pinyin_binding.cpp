#include "pinyin_binding.h"

#include "PinYin.h"

TGetPinYinFirstChar DefaultPinYinFunction() { return &GetPinYinFirstChar; }
