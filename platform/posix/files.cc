#include "platform/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "platform/native_path.h"

namespace miyi::platform {
namespace {

// A name without a counterpart on the file system (a text that is not
// GB18030) names no file: opening it fails and nothing is created for it.
std::optional<std::string> native(const Text& name) { return native_path_from_text(name); }

int as_fd(std::intptr_t handle) { return static_cast<int>(handle); }

// The mode a new file gets from open(0666): the process's umask applied. Read
// from /proc rather than with umask(), which would change it for a moment
// under the host's other threads.
mode_t new_file_mode() {
  mode_t mask = 022;
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("Umask:", 0) == 0) {
      mask = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
      break;
    }
  }
  return 0666 & ~mask;
}

// A link is followed, so that the file it points to gets the new contents and
// the link stays a link.
std::string resolve_link(const std::string& path) {
  struct stat info{};
  if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
  char resolved[PATH_MAX];
  if (realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

}  // namespace

InputFile::~InputFile() {
  if (handle_ >= 0) close(as_fd(handle_));
}

OpenResult InputFile::open(const Text& name) {
  const std::optional<std::string> path = native(name);
  if (!path) return OpenResult::failed;
  const int fd = ::open(path->c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return (errno == ENOENT || errno == ENOTDIR) ? OpenResult::missing : OpenResult::failed;
  struct stat info{};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return OpenResult::failed;
  }
  handle_ = fd;
  return OpenResult::opened;
}

long InputFile::read(char* buffer, std::size_t size) {
  if (handle_ < 0) return -1;
  for (;;) {
    const ssize_t got = ::read(as_fd(handle_), buffer, size);
    if (got >= 0) return static_cast<long>(got);
    if (errno != EINTR) return -1;
  }
}

ReplacementFile::~ReplacementFile() {
  if (handle_ >= 0) close(as_fd(handle_));
  if (!temporary_.empty()) unlink(temporary_.c_str());
}

bool ReplacementFile::begin(const Text& name) {
  const std::optional<std::string> path = native(name);
  if (!path) return false;
  target_ = resolve_link(*path);
  const auto slash = target_.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".") : target_.substr(0, slash);
  const std::string base = slash == std::string::npos ? target_ : target_.substr(slash + 1);
  std::string pattern = folder + "/." + base + ".XXXXXX";
  const int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) return false;
  handle_ = fd;
  temporary_ = pattern;
  return true;
}

bool ReplacementFile::write(std::string_view bytes) {
  if (handle_ < 0 || failed_) return false;
  while (!bytes.empty()) {
    const ssize_t put = ::write(as_fd(handle_), bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      failed_ = true;  // a full disk ends here, before the old file is touched
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return true;
}

bool ReplacementFile::commit() {
  if (handle_ < 0 || failed_) return false;
  const int fd = as_fd(handle_);
  struct stat old{};
  const mode_t mode = stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : new_file_mode();
  bool ok = fchmod(fd, mode) == 0;
  // On disk before it takes the old file's name, so that even a power cut
  // leaves the old contents or the new ones.
  ok = ok && fdatasync(fd) == 0;
  ok = (close(fd) == 0) && ok;
  handle_ = -1;
  ok = ok && std::rename(temporary_.c_str(), target_.c_str()) == 0;
  if (ok) temporary_.clear();  // nothing left to remove
  return ok;
}

bool is_separator(char c) { return c == '/'; }

bool folder_exists(const Text& name) {
  struct stat info{};
  const std::optional<std::string> path = native(name);
  return path && stat(path->c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool make_folder(const Text& name) {
  const std::optional<std::string> path = native(name);
  if (!path) return false;
  if (mkdir(path->c_str(), 0777) == 0) return true;
  return errno == EEXIST && folder_exists(name);
}

}  // namespace miyi::platform
