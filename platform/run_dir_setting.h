// The run directory a host chooses: the environment variable MIYI_RUN_DIR.
//
// A host started by an interpreter (a Node.js robot, say) has its executable
// in a system folder where no game files belong; it names the folder for
// the game's files in MIYI_RUN_DIR before it loads the library. The
// variable is read once, at load.
#pragma once

#include <optional>

#include "core/types.h"

namespace miyi::platform {

inline constexpr char kRunDirVariable[] = "MIYI_RUN_DIR";

struct RunDirSetting {
  // MIYI_RUN_DIR is set to a text that is not empty. An empty value counts
  // as not set, as shells and service managers commonly write "unset".
  bool set = false;
  // When set: the folder it names, absolute, as GBK text without a trailing
  // separator (the empty text for the root of the file system). Nothing when
  // it names no existing folder or its name cannot be converted exactly:
  // then there is no run directory at all, never a fallback to another
  // folder the host did not ask for.
  std::optional<Text> folder;
};

// What MIYI_RUN_DIR says now.
RunDirSetting run_dir_setting();

}  // namespace miyi::platform
