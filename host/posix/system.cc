// The console host's operating-system needs on POSIX: dlopen, iconv,
// /proc/self/exe and isatty.
#include <dlfcn.h>
#include <iconv.h>
#include <unistd.h>

#include <cstddef>

#include "host/system.h"

namespace miyi::host {
namespace {

// The plug-in's code page. GB18030 gives every GBK character the same two
// bytes and is what the plug-in's own texts are compiled as.
constexpr const char kPluginCharset[] = "GB18030";
constexpr const char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// One iconv descriptor for the length of a conversion.
class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts exactly one whole character; false when it is not one, or
  // cannot be converted. Leaves the descriptor ready for the next.
  bool one(std::string_view in, std::string& out) {
    if (!ok()) return false;
    char buffer[16];
    char* in_at = const_cast<char*>(in.data());
    std::size_t in_left = in.size();
    char* out_at = buffer;
    std::size_t out_left = sizeof buffer;
    const std::size_t rc = iconv(cd_, &in_at, &in_left, &out_at, &out_left);
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);  // back to the initial state
    if (rc == static_cast<std::size_t>(-1) || in_left != 0) return false;
    out.assign(buffer, static_cast<std::size_t>(out_at - buffer));
    return true;
  }

 private:
  iconv_t cd_;
};

// The length of the UTF-8 sequence that starts with `lead`, 0 when `lead`
// cannot start one.
std::size_t utf8_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

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

std::string gbk_to_utf8(std::string_view gbk) {
  // Walks characters as the plug-in does: a byte below 0x80 alone, any other
  // byte with the one after it.
  Converter converter("UTF-8", kPluginCharset);
  std::string out;
  std::string character;
  std::size_t at = 0;
  while (at < gbk.size()) {
    const auto lead = static_cast<unsigned char>(gbk[at]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++at;
      continue;
    }
    if (at + 1 < gbk.size() && converter.one(gbk.substr(at, 2), character)) {
      out += character;
    } else {
      out += kReplacementCharacter;
    }
    at += 2;
  }
  return out;
}

std::string utf8_to_gbk(std::string_view utf8) {
  Converter converter(kPluginCharset, "UTF-8");
  std::string out;
  std::string character;
  std::size_t at = 0;
  while (at < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++at;
      continue;
    }
    const std::size_t length = utf8_length(lead);
    if (length == 0 || at + length > utf8.size()) {
      out += '?';
      ++at;
      continue;
    }
    const bool converted = converter.one(utf8.substr(at, length), character);
    // GB18030's four-byte forms are not GBK: those characters become "?".
    if (converted && character.size() == 2) {
      out += character;
    } else {
      out += '?';
    }
    // A character that GBK lacks goes as a whole; a broken sequence loses
    // only its first byte.
    at += converted ? length : 1;
  }
  return out;
}

bool input_is_terminal() { return isatty(STDIN_FILENO) == 1; }

void prepare_console() {}

}  // namespace miyi::host
