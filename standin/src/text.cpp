#include "text.h"

namespace standin {

std::string FoldName(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::size_t TrimmedSize(std::string_view gbk) {
  std::size_t n = gbk.size();
  while (n > 0 && gbk[n - 1] == ' ') --n;
  return n;
}

std::string CollationKey(std::string_view gbk) {
  std::string out(gbk.substr(0, TrimmedSize(gbk)));
  for (std::size_t i = 0; i < out.size(); ++i) {
    auto c = static_cast<unsigned char>(out[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < out.size()) {
      auto t = static_cast<unsigned char>(out[i + 1]);
      if (c == 0xA3 && t >= 0xC1 && t <= 0xDA) out[i + 1] = static_cast<char>(t + 0x20);
      ++i;
    } else if (c >= 'A' && c <= 'Z') {
      out[i] = static_cast<char>(c - 'A' + 'a');
    }
  }
  return out;
}

std::string Utf8Prefix(std::string_view s, std::size_t n) {
  std::size_t i = 0, seen = 0;
  for (; i < s.size(); ++i) {
    if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
      if (seen == n) break;
      ++seen;
    }
  }
  return std::string(s.substr(0, i));
}

}  // namespace standin
