// MIYI_RUN_DIR on Windows: the variable as the ANSI environment gives it
// (GBK under code page 936), checked and made absolute by the ANSI file
// functions. A character code page 936 lacks arrives as "?", which names no
// folder: such a setting gives no run directory.
#include <windows.h>

#include <string>

#include "platform/run_dir_setting.h"

namespace miyi::platform {
namespace {

std::optional<std::string> environment_variable(const char* name) {
  std::string value(256, '\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableA(name, value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::string();
    }
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // the size needed, with the terminating zero
  }
}

std::optional<std::string> full_path(const std::string& path) {
  std::string full(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameA(path.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::nullopt;
    if (length < full.size()) {
      full.resize(length);
      return full;
    }
    full.resize(length);
  }
}

// Without the separators at its end, found by walking GBK characters: the
// second byte of a two-byte character may be 0x5C and is no separator.
std::string without_trailing_separators(const std::string& path) {
  std::size_t keep = 0;  // the length up to the last character that is no separator
  for (std::size_t at = 0; at < path.size();) {
    const std::size_t width = static_cast<unsigned char>(path[at]) >= 0x80 ? 2 : 1;
    if (width == 2 || (path[at] != '\\' && path[at] != '/')) keep = at + width;
    at += width;
  }
  return path.substr(0, keep);
}

}  // namespace

RunDirSetting run_dir_setting() {
  RunDirSetting setting;
  const std::optional<std::string> value = environment_variable(kRunDirVariable);
  if (!value || value->empty()) return setting;
  setting.set = true;
  const std::optional<std::string> folder = full_path(*value);
  if (!folder) return setting;
  const DWORD attributes = GetFileAttributesA(folder->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return setting;
  }
  setting.folder = without_trailing_separators(*folder);
  return setting;
}

}  // namespace miyi::platform
