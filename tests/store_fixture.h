// The fixture shared by the settings store's tests on real files: the
// portable ones (core/store_test.cc) and the Windows ones next to the
// platform's own private-profile functions (tests/win32/store_test.cc).
// One temporary run directory serves the whole test program, emptied
// before each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <string_view>

#include "core/store.h"
#include "core/text.h"
#include "tests/testing.h"

namespace miyi::testing {

// One run directory for the whole program: it is fixed once, as at load.
inline const TempDir& store_run_folder() {
  static TempDir* dir = [] {
    auto* d = new TempDir;
    set_run_dir_for_testing(d->text());
    return d;
  }();
  return *dir;
}

class StoreFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    store_run_folder();
    for (const auto& entry : std::filesystem::directory_iterator(store_run_folder().path())) {
      std::filesystem::remove_all(entry);
    }
  }
  // A file of the run directory, named as the game names it.
  static Text name(const char* relative) { return text_concat(run_dir(), relative); }
  static std::filesystem::path path(std::u8string_view relative) {
    return utf8_path(store_run_folder().path(), relative);
  }
  // How many files and folders the run directory holds.
  static int entries() {
    int count = 0;
    for ([[maybe_unused]] const auto& e :
         std::filesystem::directory_iterator(store_run_folder().path())) {
      ++count;
    }
    return count;
  }
};

// A 512-byte question of GBK characters that differs with `seed`.
inline std::string question_of(unsigned seed) {
  std::string q;
  for (int i = 0; i < 256; ++i) {
    q += static_cast<char>(0xB0 + (seed + i) % 43);
    q += static_cast<char>(0xB0 + (seed * 7 + i) % 43);
  }
  return q;
}

}  // namespace miyi::testing
