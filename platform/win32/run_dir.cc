// The run directory on Windows: the folder of the process's executable (the
// host robot), from GetModuleFileNameA.
#include <windows.h>

#include "platform/run_dir.h"
#include "platform/win32/module_path.h"

namespace miyi::platform {

Text folder_before_last_backslash(std::string_view path) {
  std::size_t last = std::string_view::npos;
  for (std::size_t at = 0; at < path.size();) {
    if (path[at] == '\\') last = at;
    at += static_cast<unsigned char>(path[at]) >= 0x80 ? 2 : 1;
  }
  return last == std::string_view::npos ? Text() : Text(path.substr(0, last));
}

std::optional<Text> executable_dir() {
  // MAX_PATH bytes: a path of at most 259 bytes and its terminating zero.
  // A longer one would arrive cut (and unterminated on older systems), so
  // it gives no folder at all rather than a wrong one.
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::nullopt;
  return folder_before_last_backslash(std::string_view(path, length));
}

}  // namespace miyi::platform
