#include "PinYin.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

#include "tables.inc"

static_assert(kMaxPhraseChars < 16, "phrase lengths must fit the masks and entries of PhraseIndex");

bool IsLead(unsigned char b) { return b >= kLeadFirst && b <= kLeadLast; }
bool IsTrail(unsigned char b) { return b >= kTrailFirst && b <= kTrailLast && b != 0x7f; }

constexpr size_t kCodes = (kLeadLast - kLeadFirst + 1) * kTrails;

constexpr size_t CodeIndex(unsigned char lead, unsigned char trail) {
  return (lead - kLeadFirst) * kTrails + (trail - kTrailFirst);
}

// Number of bytes at text[i] that form one valid two-byte character: 2, or 0.
size_t DoubleByteAt(const unsigned char *text, size_t length, size_t i) {
  return i + 1 < length && IsLead(text[i]) && IsTrail(text[i + 1]) ? 2 : 0;
}

// Hash of a phrase key, extended one two-byte character at a time, so that the
// words of 2, 3, ... characters starting at one place share the work.
constexpr std::uint32_t kHashStart = 2166136261u;
std::uint32_t HashStep(std::uint32_t h, const unsigned char *c) {
  return (h ^ (std::uint32_t{c[0]} << 8 | c[1])) * 0x9E3779B1u;
}
std::uint32_t HashSlot(std::uint32_t h) {
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  h ^= h >> 13;
  return h;
}

// The phrase table indexed for the search of every word at every place of a
// name: for each two-byte code, the lengths in characters (bit n for n) of the
// phrases that begin with it, so that most characters search nothing; and an
// open-addressed hash table of all phrases. Built once, at the first call:
// built by the compiler, it would be copied whole into the library's file and
// its debug information.
class PhraseIndex {
 public:
  PhraseIndex() {
    size_t phrases = 0;
    for (unsigned chars = 2; chars <= kMaxPhraseChars; ++chars) phrases += kPhrases[chars].count;
    size_t slots = 1;
    while (slots < 2 * phrases) slots *= 2;
    slots_ = static_cast<std::uint32_t *>(std::calloc(slots, sizeof(std::uint32_t)));
    if (slots_ == nullptr) return;  // no phrases then: every character reads alone
    mask_ = slots - 1;
    for (unsigned chars = 2; chars <= kMaxPhraseChars; ++chars) {
      for (std::uint32_t r = 0; r < kPhrases[chars].count; ++r) {
        const auto *key = reinterpret_cast<const unsigned char *>(Record(chars, r));
        lengths_[CodeIndex(key[0], key[1])] |= static_cast<std::uint16_t>(1u << chars);
        std::uint32_t h = kHashStart;
        for (unsigned c = 0; c < chars; ++c) h = HashStep(h, key + 2 * c);
        size_t slot = HashSlot(h) & mask_;
        while (slots_[slot] != 0) slot = (slot + 1) & mask_;
        slots_[slot] = r << 4 | chars;
      }
    }
  }
  ~PhraseIndex() { std::free(slots_); }
  PhraseIndex(const PhraseIndex &) = delete;
  PhraseIndex &operator=(const PhraseIndex &) = delete;

  // Lengths of the phrases that begin with the character at `c` (bit n for n).
  unsigned Lengths(const unsigned char *c) const {
    return slots_ != nullptr ? lengths_[CodeIndex(c[0], c[1])] : 0;
  }

  // The record of the phrase of `chars` characters at `key`, whose hash is `h`,
  // from its initials on (then its weight byte), or nullptr when there is none.
  const char *Find(const unsigned char *key, unsigned chars, std::uint32_t h) const {
    for (size_t slot = HashSlot(h) & mask_; slots_[slot] != 0; slot = (slot + 1) & mask_) {
      const std::uint32_t entry = slots_[slot];
      if ((entry & 15u) != chars) continue;
      const char *found = Record(chars, entry >> 4);
      if (std::memcmp(found, key, 2 * chars) == 0) return found + 2 * chars;
    }
    return nullptr;
  }

 private:
  static const char *Record(unsigned chars, std::uint32_t r) {
    return kPhrases[chars].records + size_t{r} * (3 * chars + 1);
  }

  std::uint16_t lengths_[kCodes] = {};
  std::uint32_t *slots_ = nullptr;  // (record << 4 | characters), 0 when empty
  size_t mask_ = 0;
};

const PhraseIndex &Phrases() {
  static const PhraseIndex index;
  return index;
}

char CharInitial(unsigned char lead, unsigned char trail) {
  const char c = kCharInitial[CodeIndex(lead, trail)];
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

  bool WorseThan(unsigned w, unsigned g) const { return w < words || (w == words && g > weight); }
};

// Writes the initials of `chars` valid two-byte characters at `run` to `out`
// and returns how many it wrote. The run is split into the fewest words of the
// phrase table, so that a word is read as the whole name suggests (大厦|门禁,
// not 大|厦门|禁); between splits of as many words, the one whose words are
// more common wins (长春|分公司 over 长|春分|公司 is decided by count alone,
// 长|调节|阀 over 长调|节|阀 by weight). `best` holds chars + 1 entries.
size_t SegmentRun(const unsigned char *run, size_t chars, Step *best, char *out) {
  const PhraseIndex &index = Phrases();
  best[0] = {0, 0, 0, nullptr};
  for (size_t j = 1; j <= chars; ++j) best[j] = {~0u, 0, 0, nullptr};
  // best[i] is final once every word ending at i has been weighed, that is
  // before the words that start at i are.
  for (size_t i = 0; i < chars; ++i) {
    const unsigned words = best[i].words + 1;
    if (best[i + 1].WorseThan(words, best[i].weight))
      best[i + 1] = {words, best[i].weight, 1, nullptr};
    const unsigned char *at = run + 2 * i;
    const unsigned mask = index.Lengths(at);
    if (mask == 0) continue;
    std::uint32_t h = HashStep(kHashStart, at);
    for (unsigned n = 2; mask >> n != 0 && i + n <= chars; ++n) {
      h = HashStep(h, at + 2 * (n - 1));
      if (!((mask >> n) & 1u)) continue;
      const char *initials = index.Find(at, n, h);
      if (initials == nullptr) continue;
      const unsigned weight = best[i].weight + static_cast<unsigned char>(initials[n]);
      Step &end = best[i + n];
      if (end.WorseThan(words, weight)) end = {words, weight, n, initials};
    }
  }
  // Walk back from the end: first to count the letters, then to write each
  // word's initials at its place.
  size_t written = 0;
  for (size_t j = chars; j > 0; j -= best[j].chars) {
    const Step &s = best[j];
    if (s.initials != nullptr)
      written += s.chars;
    else if (CharInitial(run[2 * (j - 1)], run[2 * j - 1]) != '\0')
      ++written;
  }
  size_t pos = written;
  for (size_t j = chars; j > 0; j -= best[j].chars) {
    const Step &s = best[j];
    if (s.initials != nullptr) {
      pos -= s.chars;
      std::memcpy(out + pos, s.initials, s.chars);
    } else if (const char c = CharInitial(run[2 * (j - 1)], run[2 * j - 1])) {
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
      } else if (DoubleByteAt(in, length, i)) {
        size_t chars = 0;
        for (size_t j = i; DoubleByteAt(in, length, j); j += 2) ++chars;
        if (chars + 1 > sizeof local / sizeof local[0] && best == local) {
          // Only texts longer than any asset name get here; the rest stay on the stack.
          best = static_cast<Step *>(std::malloc((length / 2 + 1) * sizeof(Step)));
          if (best == nullptr) break;
        }
        n += SegmentRun(in + i, chars, best, out + n);
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
