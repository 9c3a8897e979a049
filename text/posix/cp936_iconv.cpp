// Code page 936 through iconv's CP936 table.
#include <iconv.h>

#include <bit>
#include <cerrno>
#include <stdexcept>
#include <utility>

#include "cp936.h"

namespace text::cp936 {

namespace {

static_assert(std::endian::native == std::endian::little, "UTF-16LE is the native order here");

// One conversion descriptor per thread and direction, opened on first use.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {
    if (cd_ == reinterpret_cast<iconv_t>(-1))
      throw std::runtime_error(std::string("iconv cannot convert ") + from + " to " + to);
  }
  ~Iconv() { iconv_close(cd_); }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;

  // Converts as much of in as converts, into out (large enough for all of it); returns the
  // number of bytes of in converted and of out written.
  std::pair<std::size_t, std::size_t> Convert(const char* in, std::size_t in_size, char* out,
                                              std::size_t out_size) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char* src = const_cast<char*>(in);
    std::size_t src_left = in_size;
    char* dst = out;
    std::size_t dst_left = out_size;
    // Invalid or incomplete input (EILSEQ, EINVAL) stops the conversion where it begins.
    if (iconv(cd_, &src, &src_left, &dst, &dst_left) == static_cast<std::size_t>(-1) &&
        errno == E2BIG)
      throw std::logic_error("iconv ran out of room converting code page 936");
    return {in_size - src_left, out_size - dst_left};
  }

 private:
  iconv_t cd_;
};

}  // namespace

std::size_t Decode(std::string_view gbk, std::u16string& out) {
  thread_local Iconv conv("UTF-16LE", "CP936");
  const std::size_t old_size = out.size();
  out.resize(old_size + gbk.size());  // a byte or two become one unit
  const auto [read, written] =
      conv.Convert(gbk.data(), gbk.size(), reinterpret_cast<char*>(out.data() + old_size),
                   gbk.size() * sizeof(char16_t));
  out.resize(old_size + written / sizeof(char16_t));
  return read;
}

std::size_t Encode(std::u16string_view utf16, std::string& out) {
  thread_local Iconv conv("CP936", "UTF-16LE");
  const std::size_t old_size = out.size();
  out.resize(old_size + utf16.size() * 2);  // a unit becomes one or two bytes
  const auto [read, written] =
      conv.Convert(reinterpret_cast<const char*>(utf16.data()), utf16.size() * sizeof(char16_t),
                   out.data() + old_size, utf16.size() * 2);
  out.resize(old_size + written);
  return read / sizeof(char16_t);
}

}  // namespace text::cp936
