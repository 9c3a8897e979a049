#include <iconv.h>

#include <cerrno>
#include <stdexcept>

#include "standin/engine.h"
#include "text.h"

namespace standin {
namespace {

bool is_ascii(std::string_view s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

std::string convert(std::string_view in, const char* to, const char* from) {
  if (is_ascii(in)) return std::string(in);
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) throw std::runtime_error("iconv_open failed");
  std::string out(in.size() * 2 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  size_t src_left = in.size();
  char* dst = out.data();
  size_t dst_left = out.size();
  size_t rc = iconv(cd, &src, &src_left, &dst, &dst_left);
  int err = errno;
  iconv_close(cd);
  if (rc == static_cast<size_t>(-1) || src_left != 0) {
    (void)err;
    throw std::runtime_error(std::string("invalid text for conversion from ") + from);
  }
  out.resize(out.size() - dst_left);
  return out;
}

}  // namespace

std::string gbk_from_utf8(std::string_view utf8) { return convert(utf8, "GBK", "UTF-8"); }
std::string utf8_from_gbk(std::string_view gbk) { return convert(gbk, "UTF-8", "GBK"); }

std::string gbk_lossy(std::string_view utf8) {
  try {
    return gbk_from_utf8(utf8);
  } catch (const std::exception&) {
    std::string out;
    for (std::size_t i = 0; i < utf8.size();) {
      std::size_t n = 1;
      while (i + n < utf8.size() && (static_cast<unsigned char>(utf8[i + n]) & 0xC0) == 0x80) ++n;
      try {
        out += gbk_from_utf8(utf8.substr(i, n));
      } catch (const std::exception&) {
        out += '?';
      }
      i += n;
    }
    return out;
  }
}

std::string fold_name(std::string_view name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool same_name(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x - 'A' + 'a');
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y - 'A' + 'a');
    if (x != y) return false;
  }
  return true;
}

std::size_t trimmed_size(std::string_view gbk) {
  std::size_t n = gbk.size();
  while (n > 0 && gbk[n - 1] == ' ') --n;
  return n;
}

std::string collation_key(std::string_view gbk) {
  std::string out(gbk.substr(0, trimmed_size(gbk)));
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

std::size_t utf8_length(std::string_view s) {
  std::size_t n = 0;
  for (unsigned char c : s)
    if ((c & 0xC0) != 0x80) ++n;
  return n;
}

std::string utf8_prefix(std::string_view s, std::size_t n) {
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
