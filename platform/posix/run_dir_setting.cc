#include "platform/run_dir_setting.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <memory>

#include "platform/posix/charset.h"

namespace miyi::platform {
namespace {

bool is_ascii(const std::string& text) {
  for (const char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// The UTF-8 name as the store's text, when the conversion is exact. The
// conversion hands back its input unchanged when it fails, and a non-ASCII
// name never converts to its own bytes, so an unchanged non-ASCII name is a
// failure; the way back must give the same name too.
std::optional<Text> exact_store_text(const std::string& utf8) {
  const Text text = utf8_to_gbk(utf8);
  if (text == utf8 && !is_ascii(utf8)) return std::nullopt;
  if (gbk_to_utf8(text) != utf8) return std::nullopt;
  return text;
}

}  // namespace

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
  setting.folder = exact_store_text(folder);
  return setting;
}

}  // namespace miyi::platform
