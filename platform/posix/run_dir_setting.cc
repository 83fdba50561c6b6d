#include "platform/run_dir_setting.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/native_path.h"

namespace miyi::platform {

RunDirSetting run_dir_setting() {
  RunDirSetting setting;
  const char* value = std::getenv(kRunDirVariable);
  if (value == nullptr || *value == '\0') return setting;
  setting.set = true;
  // Absolute and with links resolved, as the executable's folder is: a
  // relative name stays the folder it named at load even if the host later
  // changes its working folder.
  const std::unique_ptr<char, decltype(&std::free)> resolved(realpath(value, nullptr), &std::free);
  if (!resolved) return setting;
  struct stat info {};
  if (stat(resolved.get(), &info) != 0 || !S_ISDIR(info.st_mode)) return setting;
  std::string folder = resolved.get();
  if (folder == "/") folder.clear();  // names then start at "/"
  setting.folder = text_from_native_path(folder);
  return setting;
}

}  // namespace miyi::platform
