// One temporary run directory for a whole game test program: the run
// directory is fixed once per process, as it is at load.
#pragma once

#include <filesystem>

#include "core/store.h"
#include "tests/testing.h"

namespace miyi::testing {

inline const TempDir& game_run_dir() {
  static TempDir* dir = [] {
    auto* d = new TempDir;
    set_run_dir_for_testing(d->text());
    return d;
  }();
  return *dir;
}

// Empties the run directory between tests.
inline void clear_game_run_dir() {
  for (const auto& entry : std::filesystem::directory_iterator(game_run_dir().path())) {
    std::filesystem::remove_all(entry);
  }
}

}  // namespace miyi::testing
