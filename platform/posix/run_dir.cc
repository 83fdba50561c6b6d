#include "platform/run_dir.h"

#include <unistd.h>

#include "platform/native_path.h"

namespace miyi::platform {

std::optional<Text> executable_dir() {
  // The link names the executable itself, links resolved: the folder a host
  // was started from by any route.
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) return std::nullopt;
  path.resize(static_cast<std::size_t>(length));
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return std::nullopt;
  path.resize(slash);  // "" for an executable at the root: names then start at "/"
  // A folder whose name is not UTF-8 has no text: with no run directory the
  // store touches no file, rather than files under some other name.
  return text_from_native_path(path);
}

}  // namespace miyi::platform
