// The run directory on Windows: the folder of the process's executable (the
// host robot), from GetModuleFileNameA.
#include <windows.h>

#include "core/gbk.h"
#include "platform/run_dir.h"
#include "platform/win32/module_path.h"

namespace miyi::platform {

Text folder_before_last_backslash(std::string_view path) {
  // The system wrote the path in its code page, so its characters are
  // walked by that code page's rule: 0x80 (the euro sign) is a character of
  // one byte, and a backslash after it is a separator.
  std::size_t last = std::string_view::npos;
  for (std::size_t at = 0; at < path.size();) {
    if (path[at] == '\\') last = at;
    at += is_code_page_first_byte(path[at]) ? 2 : 1;
  }
  return last == std::string_view::npos ? Text() : Text(path.substr(0, last));
}

std::optional<Text> executable_dir() {
  // Paths may be longer than MAX_PATH (a robot in a deep folder). A path
  // that does not fit arrives cut, filling the whole buffer (unterminated on
  // older systems), so the buffer grows until the length returned is less
  // than its size. A cut path would name another folder: past the longest
  // path Windows knows (32767 UTF-16 units, at most two bytes each here) it
  // gives no folder at all.
  constexpr std::size_t kLongest = 2 * 32768;
  Text path(MAX_PATH, '\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::nullopt;
    if (length < path.size()) {
      path.resize(length);
      return folder_before_last_backslash(path);
    }
    if (path.size() >= kLongest) return std::nullopt;
    path.resize(path.size() * 2);
  }
}

}  // namespace miyi::platform
