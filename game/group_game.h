// The group game: one puzzle per group, rewards into a points file, at most
// ten counted wins a day per member.
#pragma once

#include "core/types.h"

namespace miyi {

// Judges `answer` (already normalised) against `group`'s puzzle for member
// `sender` and gives the reply.
Text play_group(const Text& answer, const Text& group, const Text& sender);

}  // namespace miyi
