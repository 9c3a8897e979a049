#include "PinYin.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

#include "tables.inc"

static_assert(kMaxPhraseChars < 16, "phrase lengths must fit the 16-bit masks of PhraseStarts");

bool isLead(unsigned char b) { return b >= kLeadFirst && b <= kLeadLast; }
bool isTrail(unsigned char b) { return b >= kTrailFirst && b <= kTrailLast && b != 0x7f; }

constexpr size_t kCodes = (kLeadLast - kLeadFirst + 1) * kTrails;

constexpr size_t codeIndex(unsigned char lead, unsigned char trail) {
  return (lead - kLeadFirst) * kTrails + (trail - kTrailFirst);
}

// For each two-byte code, the lengths in characters (bit n for n characters)
// of the phrases that begin with that character, so that a character searches
// only the tables that can hold a word starting with it, and most search none.
// Built once, at the first call (a constant built by the compiler would be
// copied whole into the debug information).
struct PhraseStarts {
  std::uint16_t lengths[kCodes] = {};
  PhraseStarts() {
    for (unsigned chars = 2; chars <= kMaxPhraseChars; ++chars) {
      for (unsigned r = 0; r < kPhrases[chars].count; ++r) {
        const char *record = kPhrases[chars].records + r * (3 * chars + 1);
        const size_t code =
            codeIndex(static_cast<unsigned char>(record[0]), static_cast<unsigned char>(record[1]));
        lengths[code] = static_cast<std::uint16_t>(lengths[code] | (1u << chars));
      }
    }
  }
};
const PhraseStarts &phraseStarts() {
  static const PhraseStarts starts;
  return starts;
}

// Number of bytes at text[i] that form one valid two-byte character: 2, or 0.
size_t doubleByteAt(const unsigned char *text, size_t length, size_t i) {
  return i + 1 < length && isLead(text[i]) && isTrail(text[i + 1]) ? 2 : 0;
}

// The record of the phrase of `chars` characters at `key` (2 * chars bytes)
// from its initials on (then its weight), or nullptr when the phrase table does
// not hold that word.
const char *findPhrase(const unsigned char *key, unsigned chars) {
  const PhraseTable &table = kPhrases[chars];
  const size_t keyBytes = 2 * chars, recordBytes = 3 * chars + 1;
  size_t lo = 0, hi = table.count;
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    const char *record = table.records + mid * recordBytes;
    const int c = std::memcmp(record, key, keyBytes);
    if (c == 0) return record + keyBytes;
    if (c < 0)
      lo = mid + 1;
    else
      hi = mid;
  }
  return nullptr;
}

char charInitial(unsigned char lead, unsigned char trail) {
  const char c = kCharInitial[codeIndex(lead, trail)];
  return c == '.' ? '\0' : c;
}

// The best way through a run of characters so far: the fewest words (a
// character outside any phrase counts as a word of its own) that cover its
// first characters, among those the greatest sum of word weights, and the
// last of those words.
struct Step {
  unsigned words;
  unsigned weight;
  unsigned chars;        // length of the last word
  const char *initials;  // the last word's initials; nullptr for a lone character

  bool worseThan(unsigned w, unsigned g) const { return w < words || (w == words && g > weight); }
};

// Writes the initials of `chars` valid two-byte characters at `run` to `out`
// and returns how many it wrote. The run is split into the fewest words of the
// phrase table, so that a word is read as the whole name suggests (大厦|门禁,
// not 大|厦门|禁); between splits of as many words, the one whose words are
// more common wins (长春|分公司 over 长|春分|公司 is decided by count alone,
// 长|调节|阀 over 长调|节|阀 by weight). `best` holds chars + 1 entries.
size_t segmentRun(const unsigned char *run, size_t chars, Step *best, char *out) {
  const PhraseStarts &starts = phraseStarts();
  best[0] = {0, 0, 0, nullptr};
  for (size_t j = 1; j <= chars; ++j) best[j] = {~0u, 0, 0, nullptr};
  // best[i] is final once every word ending at i has been weighed, that is
  // before the words that start at i are.
  for (size_t i = 0; i < chars; ++i) {
    const unsigned words = best[i].words + 1;
    if (best[i + 1].worseThan(words, best[i].weight))
      best[i + 1] = {words, best[i].weight, 1, nullptr};
    const unsigned char *at = run + 2 * i;
    const unsigned mask = starts.lengths[codeIndex(at[0], at[1])];
    for (unsigned n = 2; mask >> n != 0 && i + n <= chars; ++n) {
      if (!((mask >> n) & 1u)) continue;
      const char *initials = findPhrase(at, n);
      if (initials == nullptr) continue;
      const unsigned weight = best[i].weight + static_cast<unsigned char>(initials[n]);
      Step &end = best[i + n];
      if (end.worseThan(words, weight)) end = {words, weight, n, initials};
    }
  }
  // Walk back from the end: first to count the letters, then to write each
  // word's initials at its place.
  size_t written = 0;
  for (size_t j = chars; j > 0; j -= best[j].chars) {
    const Step &s = best[j];
    if (s.initials != nullptr)
      written += s.chars;
    else if (charInitial(run[2 * (j - 1)], run[2 * j - 1]) != '\0')
      ++written;
  }
  size_t pos = written;
  for (size_t j = chars; j > 0; j -= best[j].chars) {
    const Step &s = best[j];
    if (s.initials != nullptr) {
      pos -= s.chars;
      std::memcpy(out + pos, s.initials, s.chars);
    } else if (const char c = charInitial(run[2 * (j - 1)], run[2 * j - 1])) {
      out[--pos] = c;
    }
  }
  return written;
}

}  // namespace

extern "C" PINYIN_API void GetPinYinFirstChar(const char *text, size_t length, char **initials) {
  const auto *in = reinterpret_cast<const unsigned char *>(text);
  if (in == nullptr) length = 0;
  char *out = static_cast<char *>(std::malloc(length + 1));
  if (out != nullptr) {
    Step local[33];
    Step *best = local;
    size_t n = 0;
    size_t i = 0;
    while (i < length) {
      const unsigned char b = in[i];
      if (b < 0x80) {
        if (b >= 'A' && b <= 'Z')
          out[n++] = static_cast<char>(b - 'A' + 'a');
        else if ((b >= 'a' && b <= 'z') || (b >= '0' && b <= '9'))
          out[n++] = static_cast<char>(b);
        ++i;
      } else if (doubleByteAt(in, length, i)) {
        size_t chars = 0;
        for (size_t j = i; doubleByteAt(in, length, j); j += 2) ++chars;
        if (chars + 1 > sizeof local / sizeof local[0] && best == local) {
          // Only texts longer than any asset name get here; the rest stay on the stack.
          best = static_cast<Step *>(std::malloc((length / 2 + 1) * sizeof(Step)));
          if (best == nullptr) break;
        }
        n += segmentRun(in + i, chars, best, out + n);
        i += 2 * chars;
      } else {
        ++i;  // a byte that starts no valid character: skipped alone
      }
    }
    if (best != local) std::free(best);
    out[n] = '\0';
  }
  std::free(*initials);
  *initials = out;
}
