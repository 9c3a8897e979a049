#include "pinyin_binding.h"

#if VREK_HAVE_PINYIN
#include "PinYin.h"

TGetPinYinFirstChar DefaultPinYinFunction() { return &GetPinYinFirstChar; }

#else

namespace {
void Unavailable(const char*, size_t, char**) {
  throw EUpgradeError("拼音库PinYin不可用，无法生成资产名称的拼音首字母。");
}
}  // namespace

TGetPinYinFirstChar DefaultPinYinFunction() { return &Unavailable; }

#endif
