// Where the host's executable lives.
#pragma once

#include "core/types.h"

namespace miyi::platform {

// The folder that holds the executable of the current process (the host, not
// the plug-in's library), as GBK text, without a trailing separator. Empty
// when it cannot be found.
Text executable_dir();

}  // namespace miyi::platform
