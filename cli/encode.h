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

// Reads one line of `in` (its line break, and a carriage return before it, are not part of the
// text) and writes its digit code and a line break to `out`. When standard input is a terminal
// the typed text is not echoed, and the prompt goes to `err`. Returns 0, or 1 when `in` gave
// nothing at all (end of input before any character), with a message on `err`.
int Encode(std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace vrekcli
