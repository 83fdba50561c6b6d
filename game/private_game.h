// The private game: one puzzle per account in the puzzle store.
#pragma once

#include "core/types.h"

namespace miyi {

// Judges `answer` (already normalised) against `sender`'s puzzle, creating
// the puzzle on first contact (answer written before question), and gives the
// reply. An account number the store would refuse as a section gets the
// empty reply and touches no file.
Text play_private(const Text& sender, const Text& answer);

}  // namespace miyi
