#include "PinYin.h"

#include <cstdlib>
#include <cstring>

namespace {

#include "tables.inc"

bool isLead(unsigned char b) { return b >= kLeadFirst && b <= kLeadLast; }
bool isTrail(unsigned char b) { return b >= kTrailFirst && b <= kTrailLast && b != 0x7f; }

constexpr size_t kCodes = (kLeadLast - kLeadFirst + 1) * kTrails;

constexpr size_t codeIndex(unsigned char lead, unsigned char trail) {
  return (lead - kLeadFirst) * kTrails + (trail - kTrailFirst);
}

// One bit per two-byte code: set when some phrase begins with that character,
// so that most characters skip the phrase search.
struct PhraseStarts {
  unsigned char bits[(kCodes + 7) / 8] = {};
  constexpr PhraseStarts() {
    for (unsigned chars = 2; chars <= kMaxPhraseChars; ++chars) {
      for (unsigned r = 0; r < kPhrases[chars].count; ++r) {
        const char *record = kPhrases[chars].records + r * 3 * chars;
        const size_t code = codeIndex(static_cast<unsigned char>(record[0]),
                                      static_cast<unsigned char>(record[1]));
        bits[code / 8] = static_cast<unsigned char>(bits[code / 8] | (1u << (code % 8)));
      }
    }
  }
  bool has(unsigned char lead, unsigned char trail) const {
    const size_t code = codeIndex(lead, trail);
    return (bits[code / 8] >> (code % 8)) & 1u;
  }
};
constexpr PhraseStarts kPhraseStarts;

// Number of bytes at text[i] that form one valid two-byte character: 2, or 0.
size_t doubleByteAt(const unsigned char *text, size_t length, size_t i) {
  return i + 1 < length && isLead(text[i]) && isTrail(text[i + 1]) ? 2 : 0;
}

// The initials of the phrase of `chars` characters at `key` (2 * chars bytes),
// or nullptr when the phrase table does not hold that word.
const char *findPhrase(const unsigned char *key, unsigned chars) {
  const PhraseTable &table = kPhrases[chars];
  const size_t keyBytes = 2 * chars, recordBytes = 3 * chars;
  size_t lo = 0, hi = table.count;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const char *record = table.records + mid * recordBytes;
    const int c = std::memcmp(record, key, keyBytes);
    if (c == 0) return record + keyBytes;
    if (c < 0) lo = mid + 1;
    else hi = mid;
  }
  return nullptr;
}

// Longest phrase starting at text[i] (a valid two-byte character): its length in
// characters and initials, or 0 when none of at least two characters matches.
unsigned longestPhrase(const unsigned char *text, size_t length, size_t i, const char **initials) {
  // Count how many valid two-byte characters follow in a row; a phrase key
  // consists of such characters only.
  if (!kPhraseStarts.has(text[i], text[i + 1])) return 0;
  unsigned run = 0;
  for (size_t j = i; run < kMaxPhraseChars && doubleByteAt(text, length, j); j += 2) ++run;
  for (unsigned chars = run; chars >= 2; --chars) {
    if (const char *found = findPhrase(text + i, chars)) {
      *initials = found;
      return chars;
    }
  }
  return 0;
}

char charInitial(unsigned char lead, unsigned char trail) {
  const char c = kCharInitial[codeIndex(lead, trail)];
  return c == '.' ? '\0' : c;
}

}  // namespace

extern "C" PINYIN_API void GetPinYinFirstChar(const char *text, size_t length, char **initials) {
  const auto *in = reinterpret_cast<const unsigned char *>(text);
  if (in == nullptr) length = 0;
  char *out = static_cast<char *>(std::malloc(length + 1));
  if (out != nullptr) {
    size_t n = 0;
    size_t i = 0;
    while (i < length) {
      const unsigned char b = in[i];
      if (b < 0x80) {
        if (b >= 'A' && b <= 'Z') out[n++] = static_cast<char>(b - 'A' + 'a');
        else if ((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9')) out[n++] = static_cast<char>(b);
        ++i;
      } else if (doubleByteAt(in, length, i)) {
        const char *phrase = nullptr;
        if (const unsigned chars = longestPhrase(in, length, i, &phrase)) {
          std::memcpy(out + n, phrase, chars);
          n += chars;
          i += 2 * chars;
        } else {
          if (const char c = charInitial(in[i], in[i + 1])) out[n++] = c;
          i += 2;
        }
      } else {
        ++i;  // a byte that starts no valid character: skipped alone
      }
    }
    out[n] = '\0';
  }
  std::free(*initials);
  *initials = out;
}
