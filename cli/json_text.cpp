#include "json_text.h"

namespace vrekcli {

std::string JsonString(std::string_view text) {
  static const char kHex[] = "0123456789abcdef";
  std::string out = "\"";
  out.reserve(text.size() + 2);
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (u < 0x20) {
          out += "\\u00";
          out += kHex[u >> 4];
          out += kHex[u & 0x0F];
        } else {
          out += c;
        }
    }
  }
  out += '"';
  return out;
}

std::string JsonBatchLine(std::string_view batch) {
  return "{\"text\": " + JsonString(batch) + "}";
}

}  // namespace vrekcli
