// Any bytes: no crash, no read beyond the given length (the input sits in an
// exactly-sized heap block), no leak of a released result, and a result never
// longer than the input.
#include <cstdlib>
#include <cstring>

#include "PinYin.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char *data, size_t size) {
  char *text = static_cast<char *>(std::malloc(size == 0 ? 1 : size));
  if (size != 0) std::memcpy(text, data, size);
  char *initials = nullptr;
  GetPinYinFirstChar(text, size, &initials);
  if (initials == nullptr || std::strlen(initials) > size) std::abort();
  char *first = static_cast<char *>(std::malloc(std::strlen(initials) + 1));
  std::strcpy(first, initials);
  // A second call on the same variable must release the first result and give
  // the same initials again.
  GetPinYinFirstChar(text, size, &initials);
  if (initials == nullptr || std::strcmp(first, initials) != 0) std::abort();
  std::free(first);
  std::free(initials);
  std::free(text);
  return 0;
}
