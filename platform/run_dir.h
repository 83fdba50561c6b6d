// Where the host's executable lives.
#pragma once

#include <optional>

#include "core/types.h"

namespace miyi::platform {

// The folder that holds the executable of the current process (the host, not
// the plug-in's library), as the store's text (platform/native_path.h),
// without a trailing separator; nothing when it cannot be found or has no
// such text. The empty text is a real answer (an executable at
// the root of the file system), so "not found" is told apart from it.
std::optional<Text> executable_dir();

}  // namespace miyi::platform
