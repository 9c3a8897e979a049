/* Pinyin initials of GBK text, for finding a name by typing its initials. */
#ifndef PINYIN_PINYIN_H
#define PINYIN_PINYIN_H

#include <stddef.h>

#if defined(_WIN32)
#if defined(PINYIN_BUILDING)
#define PINYIN_API __declspec(dllexport)
#else
#define PINYIN_API __declspec(dllimport)
#endif
#else
#define PINYIN_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Stores the pinyin initials of `text` into `*initials`.
 *
 * text, length: the name as bytes of code page 936 (GBK), exactly as stored,
 *   trailing blanks included; length 0 is allowed and text may then be NULL.
 *   No byte at or beyond text[length] is read; the text is neither kept nor
 *   released.
 * initials: the caller's text variable. On entry it holds NULL or the result of
 *   an earlier call; that text is released with free() (after the new result
 *   is made, so text may point into it). On return it holds a new
 *   NUL-terminated text allocated with malloc(), which the caller releases with
 *   free() (or hands to the next call). NULL only if the allocation failed.
 *
 * The result: for each Chinese character the lower-case first letter of its
 * reading in this name (a word's reading where the phrase table knows the
 * word, found by longest match from the left; otherwise the character's most
 * common reading); ASCII letters lower-cased, digits kept; full-width letters
 * and digits (and forms such as circled digits) as their ASCII letter or digit;
 * blanks, punctuation, invalid bytes and characters without a reading dropped.
 * It is never longer than `length` bytes.
 *
 * Keeps no state between calls; safe to call from several threads at once.
 */
PINYIN_API void GetPinYinFirstChar(const char *text, size_t length, char **initials);

#ifdef __cplusplus
}
#endif

#endif
