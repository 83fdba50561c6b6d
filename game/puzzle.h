// Drawing puzzles. A puzzle is 256 two-byte characters in which two filler
// characters X and S alternate, except at one place where an S has been
// swapped for the answer; members solve it by sending that odd character.
// Every byte of answers and fillers lies in 0xB0..0xDA, so each character is
// a Chinese character of the GB2312 set.
#pragma once

#include "core/types.h"

namespace miyi {

// A fresh answer: one character drawn from the generator as it stands (no
// seeding): first byte first.
Text make_answer();

// A fresh 512-byte question around `answer`: seeds the generator, draws X
// then S, repeats "XS" 128 times, draws a start r in 0..500 (made odd by
// adding 1 when even) and replaces the first S at or after that byte
// position with the answer. The answer lands on character 2, 4, ..., 252;
// when X equals S, on character (start + 1) / 2.
Text make_question(const Text& answer);

}  // namespace miyi
