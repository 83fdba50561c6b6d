// Puzzles kept in the puzzle store: one section per account (private game)
// or group (group game), holding "答案" (the answer) and "问题" (the
// question).
#pragma once

#include "core/types.h"

namespace miyi {

// The puzzle store's name: the run directory followed by "/觅异.ini".
Text puzzle_store();

struct StoredPuzzle {
  Text answer;
  Text question;
  bool question_is_new = false;  // the question was missing and has been made
};

// The section's puzzle, with a missing half made and written: a missing
// answer (or one the store could not have written, see ini_accepts) is
// drawn (and written) first, then a missing question is built
// around the answer the section now has. A question is kept even when only
// the answer was missing.
StoredPuzzle load_puzzle(const Text& section);

// Stores a solved section's next puzzle, answer first.
void store_puzzle(const Text& section, const Text& answer, const Text& question);

}  // namespace miyi
