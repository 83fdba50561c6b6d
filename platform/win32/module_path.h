// The folder part of the executable's path, as the store's text.
#pragma once

#include <optional>
#include <string_view>

#include "core/types.h"

namespace miyi::platform {

// The folder of the executable whose full path GetModuleFileNameW gave:
// everything before the path's last backslash, without the extended prefix
// ("\\?\C:\robot\qq.exe" gives "C:\robot"; "C:\qq.exe" gives "C:", the
// drive's root), in the ANSI code page. Nothing when the path has no
// backslash, or when a character of the folder has no exact counterpart in
// the code page: a folder named "jörg" must not become "jorg" or "j?rg",
// which are other folders or none.
std::optional<Text> folder_of_module(std::wstring_view path);

}  // namespace miyi::platform
