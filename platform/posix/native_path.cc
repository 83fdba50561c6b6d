#include "platform/native_path.h"

#include <iconv.h>

#include <cerrno>

namespace miyi::platform {
namespace {

// One whole conversion with iconv; nothing when the input holds bytes that
// do not convert or ends inside a character.
std::optional<std::string> convert(const char* to, const char* from, const std::string& input) {
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  // GB18030 takes at most 4 bytes for what UTF-8 holds in 1 to 4, and UTF-8
  // at most 3 for what GB18030 holds in 2 (4 for 4): twice the input is
  // enough either way, but the loop grows the buffer if not.
  std::string output(input.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  std::size_t done = 0;
  bool ok = false;
  for (;;) {
    char* out = output.data() + done;
    std::size_t out_left = output.size() - done;
    const std::size_t rc = iconv(cd, &in, &in_left, &out, &out_left);
    done = output.size() - out_left;
    if (rc != static_cast<std::size_t>(-1)) {
      // Nothing was replaced: glibc counts irreversible conversions in rc.
      ok = in_left == 0 && rc == 0;
      break;
    }
    if (errno != E2BIG) break;  // invalid or incomplete input
    output.resize(output.size() * 2);
  }
  iconv_close(cd);
  if (!ok) return std::nullopt;
  output.resize(done);
  return output;
}

}  // namespace

std::optional<std::string> native_path_from_text(const Text& text) {
  return convert("UTF-8", "GB18030", text);
}

std::optional<Text> text_from_native_path(const std::string& path) {
  return convert("GB18030", "UTF-8", path);
}

}  // namespace miyi::platform
