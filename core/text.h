// Operations on GBK texts.
//
// They know just enough of GBK to keep two-byte characters whole while they
// scan: a byte of 0x80 or above (0x80 and 0xFF included) is the first byte of
// a two-byte character and is stepped over together with the byte after it,
// whatever that byte is. A first byte with nothing after it is a "lone first
// byte"; each operation says what it does with one. Nothing is ever decoded
// into code points.
//
// Positions count bytes from 1; a search that finds nothing gives -1. The
// two space characters are 0x20 and the full-width space 0xA1 0xA1, and both
// are recognised only where a character starts. Only ASCII letters have case.
// Every operation reads its arguments and returns a fresh result.
#pragma once

#include <initializer_list>
#include <string_view>

#include "core/types.h"

namespace miyi {

// Number of bytes.
int text_len(const Text& text);

// All parts' bytes, in order.
Text text_concat(std::initializer_list<std::string_view> parts);
template <class... Parts>
Text text_concat(const Parts&... parts) {
  return text_concat({std::string_view(parts)...});
}

// 0 when equal; otherwise negative or positive as in an unsigned byte
// comparison where the shorter text's end counts as the byte 0.
int text_compare(const Text& a, const Text& b);

// A text of the bytes of a NUL-terminated string from the host; null gives
// the empty text.
Text text_copy(const char* host_string);

// 1-based position of the first match of `sought` beginning at a character
// start at or after `start` (start 0, 1 or below both mean the first byte),
// or -1. Ignoring case folds A-Z onto a-z at every byte position. Stops with
// -1 after a lone first byte has been tried. An empty `sought` gives -1.
int text_find(const Text& text, const Text& sought, int start = 0, bool ignore_case = false);

// Replaces up to `count` matches (count < 0: every match) found from `start`
// on, walking as text_find does. Replaced text is never searched again and
// bytes before the start offset are copied unchanged. A count of 0, an empty
// text or sought text, or a start past the end gives a copy of the text.
Text text_replace(const Text& text, const Text& sought, const Text& replacement = Text(),
                  int start = 0, int count = -1, bool ignore_case = false);

// Splits at every exact match of `delimiter` that begins at a character
// start. Empty pieces between delimiters are kept; an empty remainder after
// the last delimiter adds nothing ('a\r\n' gives one piece, '\r\n' one empty
// piece, the empty text no piece). An empty delimiter gives the whole text
// as one piece.
TextList text_split(const Text& text, const Text& delimiter);

// Without leading and trailing spaces. A lone first byte and everything
// after it is cut off; spaces just before it stay.
Text text_trim(const Text& text);

// Without any space; a lone first byte at the end is dropped.
Text text_strip_spaces(const Text& text);

// a-z that start a character become A-Z.
Text text_upper(const Text& text);

// Up to `length` bytes from byte position `start`; plain byte positions, so
// the result may cut a two-byte character. Empty for a start below 1 or past
// the end, or a length below 1.
Text text_middle(const Text& text, int start, int length);

// One byte, the low eight bits of `code`; empty when those are 0.
Text text_from_byte(int code);

// The bytes strictly between the first `left` at or after `start` and the
// first `right` after it, both found ignoring case; empty when either is
// missing.
Text text_between(const Text& text, const Text& left, const Text& right, int start = 0);

}  // namespace miyi
