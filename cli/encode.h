// upvrek-cli encode: the digit code of a text, for writing the settings' USERNAME and PASSWORD
// by hand.
#pragma once

#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace vrekcli {

// Each byte of `clear` as four digits, one per base-4 digit of the byte, most significant first,
// each the smallest digit of its weight (0, 2, 4 or 6). DecodeDigitText(DigitCode(x)) == x for
// every byte string x.
std::string DigitCode(std::string_view clear);

// Reads one line of text (its line break, and a carriage return before it, are not part of it)
// and writes the digit code of its code-page-936 bytes, the bytes the programs decode the
// settings into, and a line break to `out`. The text comes from `in` as UTF-8; on Windows from
// the console itself when standard input is one, else from `in` in code page 936. When standard
// input is a terminal the typed text is not echoed, and the prompt goes to `err`. Returns 0, or
// 1 with a message on `err` when there is no line at all or the text has a character that code
// page 936 lacks (or is not valid in its encoding).
int Encode(std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace vrekcli
