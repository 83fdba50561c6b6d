// The handler behind the plug-in's command export.
#pragma once

#include "core/types.h"

namespace miyi {

// Handles one command: normalises the answer in place (every space and every
// "\r\n" removed), seeds the random generator and runs the private game for
// kind "1" or the group game for kind "2". Any other kind gets the empty
// reply and touches no file. `extra` is never used.
Text handle_command(Text& answer, Text& kind, Text& group, Text& sender, Text& extra);

}  // namespace miyi
