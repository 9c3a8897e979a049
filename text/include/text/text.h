// Conversions between the program's text (UTF-8), the wide text of ODBC, registry files and the
// wire (UTF-16), and the server's code page 936 (GBK). Nothing else in the product converts.
//
// Every function takes a Mode:
//  - Mode::kStrict throws ETextConversionError at the first invalid input, or at the first
//    character that a code page 936 target lacks, naming what and the byte offset in the input.
//  - Mode::kLossy never throws for content. It replaces, in every direction, each maximal
//    invalid subpart of the input, and each character that a code page 936 target lacks, by one
//    replacement: U+FFFD in UTF-8 and UTF-16 targets, '?' in code page 936 targets.
//
// A maximal invalid subpart is the longest run of bytes (units) at the point of failure that
// begins some valid sequence, and at least one byte (unit); decoding resumes right after it:
//  - UTF-8: as the Unicode standard's well-formed sequences define it. An overlong form, an
//    encoded surrogate or a value above U+10FFFF never begins a valid sequence, so C0 80 is two
//    invalid subparts (two replacements, never NUL); "E8 B5 z" is one subpart and then "z".
//  - UTF-16: an unpaired surrogate; in little-endian bytes also an odd trailing byte.
//  - Code page 936: one byte: a byte that begins no character, or a lead byte that the next byte
//    does not complete (or that ends the text); the byte after it is read afresh.
// A character outside code page 936 counts once, a surrogate pair included.
//
// Valid input converts the same in both modes. NUL is a character like any other.
// Code page 936 is the system's table: iconv's CP936 on Linux, code page 936 of the Win32 API on
// Windows (0x80 is the euro sign in both). UTF-8 and UTF-16 are this module's own code, the same
// on every platform. Windows builds also have text/wide.h, for the wchar_t strings of Win32.
#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <string_view>

namespace text {

enum class Mode { kStrict, kLossy };

class ETextConversionError : public std::runtime_error {
 public:
  ETextConversionError(const std::string& what, std::size_t offset)
      : std::runtime_error(what), offset_(offset) {}
  // Where in the input the failure starts, in bytes (a UTF-16 unit counts two).
  std::size_t Offset() const { return offset_; }

 private:
  std::size_t offset_;
};

std::u16string Utf8ToUtf16(std::string_view utf8, Mode mode);
std::string Utf16ToUtf8(std::u16string_view utf16, Mode mode);

// UTF-16 as little-endian bytes, the order of the TDS wire and of registry export files.
std::string Utf16LeToUtf8(std::string_view bytes, Mode mode);
std::string Utf8ToUtf16Le(std::string_view utf8, Mode mode);

std::string Utf8ToGbk(std::string_view utf8, Mode mode);
std::string GbkToUtf8(std::string_view gbk, Mode mode);
std::u16string GbkToUtf16(std::string_view gbk, Mode mode);
std::string Utf16ToGbk(std::u16string_view utf16, Mode mode);

// Whether Utf8ToUtf16(utf8, Mode::kStrict) would succeed.
bool IsValidUtf8(std::string_view utf8);

}  // namespace text
