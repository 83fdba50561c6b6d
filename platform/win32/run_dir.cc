// The run directory on Windows: the folder of the process's executable (the
// host robot), from GetModuleFileNameW.
#include <windows.h>

#include <string>

#include "platform/run_dir.h"
#include "platform/win32/module_path.h"
#include "platform/win32/wide_names.h"

namespace miyi::platform {

std::optional<Text> folder_of_module(std::wstring_view path) {
  // UTF-16 has no second bytes that could be taken for a backslash.
  const std::size_t last = path.rfind(L'\\');
  if (last == std::wstring_view::npos) return std::nullopt;
  return code_page_from_wide(without_extended_prefix(path.substr(0, last)));
}

std::optional<Text> executable_dir() {
  // Paths may be longer than MAX_PATH (a robot in a deep folder). A path
  // that does not fit arrives cut, filling the whole buffer (unterminated on
  // older systems), so the buffer grows until the length returned is less
  // than its size. A cut path would name another folder: past the longest
  // path Windows knows (32 767 units) it gives no folder at all.
  constexpr std::size_t kLongest = 32768;
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::nullopt;
    if (length < path.size()) {
      path.resize(length);
      return folder_of_module(path);
    }
    if (path.size() >= kLongest) return std::nullopt;
    path.resize(path.size() * 2);
  }
}

}  // namespace miyi::platform
