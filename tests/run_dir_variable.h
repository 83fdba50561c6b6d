// MIYI_RUN_DIR set (or unset) for the length of a test, for the library in
// this process or for the programs a test starts, with the old value put
// back afterwards.
#pragma once

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/run_dir_setting.h"

namespace miyi::testing {

class RunDirVariable {
 public:
  // Unset when `value` is nothing.
  explicit RunDirVariable(const std::optional<std::string>& value) {
    if (const char* old = std::getenv(platform::kRunDirVariable)) old_ = old;
    set(value);
  }
  ~RunDirVariable() { set(old_); }
  RunDirVariable(const RunDirVariable&) = delete;
  RunDirVariable& operator=(const RunDirVariable&) = delete;

 private:
  static void set(const std::optional<std::string>& value) {
    if (value) {
      setenv(platform::kRunDirVariable, value->c_str(), 1);
    } else {
      unsetenv(platform::kRunDirVariable);
    }
  }
  std::optional<std::string> old_;
};

}  // namespace miyi::testing
