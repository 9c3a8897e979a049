// A stand-in for the pinyin library's GetPinYinFirstChar that keeps to its contract (frees the
// previous result, stores a new malloc'ed one) and records how it was called.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

struct PinYinSpy {
  static std::vector<std::string> arguments;  // the bytes each call received
  static int live;                            // results allocated and not yet freed
  static bool chained;  // every call received the result of the call before it (or NULL first)
  static void Reset();
  // Initials: "i" and the call's number, with a quote so that quoting is exercised.
  static void GetPinYinFirstChar(const char* text, size_t length, char** initials);
  // Frees a result the caller releases.
  static void Free(char* initials);
  static std::string ResultOf(size_t call);  // 1-based
};
