// The private game: one puzzle per account in the puzzle store.
#pragma once

#include "core/types.h"

namespace miyi {

// The puzzle store's name: the run directory followed by "/觅异.ini".
Text puzzle_store();

// Judges `answer` (already normalised) against `sender`'s puzzle, creating
// the puzzle on first contact (answer written before question), and gives the
// reply. An account number the store would refuse as a section gets the
// empty reply and touches no file.
Text play_private(const Text& sender, const Text& answer);

}  // namespace miyi
