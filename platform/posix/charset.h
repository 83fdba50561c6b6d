// GBK and the UTF-8 of POSIX file names.
#pragma once

#include <string>

namespace miyi::platform {

// The GBK text as UTF-8, or the bytes unchanged when they are not GBK.
std::string gbk_to_utf8(const std::string& gbk);
// The UTF-8 text as GBK, or the bytes unchanged when GBK cannot hold them.
std::string utf8_to_gbk(const std::string& utf8);

}  // namespace miyi::platform
