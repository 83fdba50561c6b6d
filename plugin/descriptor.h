// The descriptor the host reads through `info`: ten lines, each ending in
// CR LF, 76 bytes in all.
#pragma once

#include "core/types.h"

namespace miyi {

// Builds the descriptor anew.
Text build_descriptor();

}  // namespace miyi
