#include "pinyin_spy.h"

#include <cstdlib>
#include <cstring>

std::vector<std::string> PinYinSpy::arguments;
int PinYinSpy::live = 0;
bool PinYinSpy::chained = true;

namespace {
char* last_result = nullptr;
}

void PinYinSpy::Reset() {
  arguments.clear();
  live = 0;
  chained = true;
  last_result = nullptr;
}

std::string PinYinSpy::ResultOf(size_t call) { return "i'" + std::to_string(call); }

void PinYinSpy::GetPinYinFirstChar(const char* text, size_t length, char** initials) {
  arguments.emplace_back(text, length);
  if (*initials != last_result) chained = false;
  if (*initials) {
    std::free(*initials);
    --live;
  }
  std::string r = ResultOf(arguments.size());
  char* out = static_cast<char*>(std::malloc(r.size() + 1));
  std::memcpy(out, r.c_str(), r.size() + 1);
  ++live;
  *initials = last_result = out;
}

void PinYinSpy::Free(char* initials) {
  std::free(initials);
  --live;
}
