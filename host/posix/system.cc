// The console host's operating-system needs on POSIX: dlopen, iconv,
// /proc/self/exe and isatty.
#include <dlfcn.h>
#include <iconv.h>
#include <unistd.h>

#include <cstddef>

#include "host/conversion.h"
#include "host/system.h"

namespace miyi::host {
namespace {

// The plug-in's code page. GB18030 gives every GBK character the same two
// bytes and is what the plug-in's own texts are compiled as.
constexpr const char kPluginCharset[] = "GB18030";

iconv_t as_descriptor(void* state) { return static_cast<iconv_t>(state); }
const iconv_t kNoDescriptor = reinterpret_cast<iconv_t>(-1);

}  // namespace

// One iconv descriptor for the length of a conversion.
CharacterConverter::CharacterConverter(Direction direction) : direction_(direction) {
  const bool to_gbk = direction_ == Direction::kUtf8ToGbk;
  const iconv_t cd =
      iconv_open(to_gbk ? kPluginCharset : "UTF-8", to_gbk ? "UTF-8" : kPluginCharset);
  state_ = cd == kNoDescriptor ? nullptr : cd;
}

CharacterConverter::~CharacterConverter() {
  if (state_) iconv_close(as_descriptor(state_));
}

CharacterConverter::Result CharacterConverter::one(std::string_view in, std::string& out) {
  // Converts exactly one whole character; leaves the descriptor ready for
  // the next.
  if (!state_) return Result::kNotACharacter;
  const iconv_t cd = as_descriptor(state_);
  char buffer[16];
  char* in_at = const_cast<char*>(in.data());
  std::size_t in_left = in.size();
  char* out_at = buffer;
  std::size_t out_left = sizeof buffer;
  const std::size_t rc = iconv(cd, &in_at, &in_left, &out_at, &out_left);
  iconv(cd, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
  if (rc == static_cast<std::size_t>(-1) || in_left != 0) return Result::kNotACharacter;
  out.assign(buffer, static_cast<std::size_t>(out_at - buffer));
  return Result::kConverted;
}

Library::~Library() {
  if (handle_) dlclose(handle_);
}

bool Library::open(const std::string& path, std::string& error) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* reason = dlerror();
    error = reason ? reason : "unknown error";
    return false;
  }
  return true;
}

void* Library::symbol(const char* name) const { return dlsym(handle_, name); }

std::string beside_executable(std::string_view file_name) {
  std::string path(4096, '\0');
  const ssize_t length = readlink("/proc/self/exe", path.data(), path.size());
  if (length <= 0 || static_cast<std::size_t>(length) >= path.size()) {
    return std::string(file_name);
  }
  path.resize(static_cast<std::size_t>(length));
  path.resize(path.rfind('/') + 1);  // the link is absolute: there is a '/'
  path += file_name;
  return path;
}

bool input_is_terminal() { return isatty(STDIN_FILENO) == 1; }

void prepare_console() {}

}  // namespace miyi::host
