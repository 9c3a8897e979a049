// Feeds arbitrary bytes to the parsers of client requests. The first byte picks the parser;
// none may crash, read out of bounds or loop, and the text conversions must be stable.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "batch.h"
#include "login.h"
#include "text/text.h"

using namespace standin::tds;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view input(reinterpret_cast<const char*>(data) + 1, size - 1);
  std::string detail;
  switch (data[0] % 4) {
    case 0:
      PreloginReply(input);
      break;
    case 1:
      ParseLogin7(input, detail);
      break;
    case 2:
      BatchText(input, detail);
      break;
    case 3: {
      // Once through both lossy conversions, text is a fixed point of them.
      const auto to_utf8 = [](std::string_view s) {
        return text::Utf16LeToUtf8(s, text::Mode::kLossy);
      };
      const auto to_utf16 = [](std::string_view s) {
        return text::Utf8ToUtf16Le(s, text::Mode::kLossy);
      };
      const std::string once = to_utf8(to_utf16(input));
      if (to_utf8(to_utf16(once)) != once) std::abort();
      const std::string wide = to_utf16(to_utf8(input));
      if (to_utf16(to_utf8(wide)) != wide) std::abort();
      break;
    }
  }
  return 0;
}
