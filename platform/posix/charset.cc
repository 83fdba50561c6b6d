#include "platform/posix/charset.h"

#include <iconv.h>

#include <cerrno>

namespace miyi::platform {
namespace {

// One whole conversion; nullopt-like failure is signalled through `ok`.
std::string convert(const char* to, const char* from, const std::string& input, bool& ok) {
  ok = false;
  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::string();
  std::string output(input.size() * 2 + 8, '\0');
  char* in = const_cast<char*>(input.data());
  std::size_t in_left = input.size();
  std::size_t done = 0;
  for (;;) {
    char* out = output.data() + done;
    std::size_t out_left = output.size() - done;
    const std::size_t rc = iconv(cd, &in, &in_left, &out, &out_left);
    done = output.size() - out_left;
    if (rc != static_cast<std::size_t>(-1)) {
      ok = in_left == 0;
      break;
    }
    if (errno != E2BIG) break;  // invalid or incomplete input
    output.resize(output.size() * 2);
  }
  iconv_close(cd);
  output.resize(done);
  return output;
}

std::string convert_or_keep(const char* to, const char* from, const std::string& input) {
  bool ok = false;
  std::string converted = convert(to, from, input, ok);
  return ok ? converted : input;
}

}  // namespace

std::string gbk_to_utf8(const std::string& gbk) { return convert_or_keep("UTF-8", "GBK", gbk); }

std::string utf8_to_gbk(const std::string& utf8) { return convert_or_keep("GBK", "UTF-8", utf8); }

}  // namespace miyi::platform
