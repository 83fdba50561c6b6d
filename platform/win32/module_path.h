// The folder part of a Windows path that the ANSI functions gave, as GBK.
#pragma once

#include <string_view>

#include "core/types.h"

namespace miyi::platform {

// Everything before the path's last backslash, found by walking the
// characters of code page 936 (first bytes 0x81..0xFE) so that the second
// byte of a two-byte character (which may be 0x5C) is never taken for one.
// A path without a backslash gives the empty text. "C:\robot\qq.exe" gives
// "C:\robot"; "C:\qq.exe" gives "C:".
Text folder_before_last_backslash(std::string_view path);

}  // namespace miyi::platform
