#include "text/wipe.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <string.h>
#endif

namespace text {

void Wipe(void* data, std::size_t bytes) noexcept {
  if (!data || bytes == 0) return;
#ifdef _WIN32
  SecureZeroMemory(data, bytes);
#else
  explicit_bzero(data, bytes);
#endif
}

}  // namespace text
