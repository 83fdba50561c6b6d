#include "platform/files.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <optional>
#include <string>
#include <unordered_map>

#include "platform/native_path.h"

namespace miyi::platform {
namespace {

// The file system's name for a GBK name. A name without a counterpart there
// (a text that is not GB18030) names no file: opening it fails and nothing
// is created for it. The store asks for the same few names on every call:
// each is converted once and kept (a bounded number of them).
std::optional<std::string> native(const Text& name) {
  static std::unordered_map<Text, std::optional<std::string>> converted;
  constexpr std::size_t kKept = 256;
  const auto found = converted.find(name);
  if (found != converted.end()) return found->second;
  if (converted.size() >= kKept) converted.clear();
  return converted.emplace(name, native_path_from_text(name)).first->second;
}

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

std::int64_t modified_ns(const struct stat& info) {
  return static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
}

void identity_from(const struct stat& info, FileIdentity& out) {
  out.volume = static_cast<std::uint64_t>(info.st_dev);
  out.file = static_cast<std::uint64_t>(info.st_ino);
  out.size = static_cast<std::uint64_t>(info.st_size);
  out.modified_ns = modified_ns(info);
}

bool identity_of(int fd, FileIdentity& out) {
  struct stat info{};
  if (fstat(fd, &info) != 0) return false;
  identity_from(info, out);
  return true;
}

// See File::mark_written.
bool mark_fd_written(int fd) {
  struct stat info{};
  if (fstat(fd, &info) != 0) return false;
  const std::int64_t wanted = modified_ns(info) - 1;
  const auto set = [fd](std::int64_t ns) {
    const timespec times[2] = {{0, UTIME_OMIT},
                               {static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)}};
    return futimens(fd, times) == 0;
  };
  if (wanted < 0 || !set(wanted)) return false;
  struct stat after{};
  if (fstat(fd, &after) == 0 && modified_ns(after) == wanted) return true;
  set(modified_ns(info));  // the file system rounds: keep the true time
  return false;
}

// The native name with a link followed, split into folder and base name;
// false for a name that names no file.
bool split_native(const Text& name, std::string& folder, std::string& base) {
  const std::optional<std::string> native_name = native(name);
  if (!native_name) return false;
  const std::string path = resolve_link(*native_name);
  const auto slash = path.rfind('/');
  folder = slash == std::string::npos ? std::string(".") : path.substr(0, slash);
  base = slash == std::string::npos ? path : path.substr(slash + 1);
  return true;
}

// The journal's name: hidden, beside the file it protects; nothing for a
// name that names no file.
std::optional<std::string> journal_path(const Text& name) {
  std::string folder, base;
  if (!split_native(name, folder, base)) return std::nullopt;
  return folder + "/." + base + "-journal";
}

class PosixFile final : public File {
 public:
  // `opened`: the status taken when it was opened, which answers the first
  // identity() (one status query per call of the store, not two).
  explicit PosixFile(int fd, const struct stat* opened = nullptr) : fd_(fd) {
    if (opened != nullptr) {
      identity_from(*opened, first_);
      has_first_ = true;
    }
  }
  ~PosixFile() override { close(fd_); }

  bool identity(FileIdentity& out) override {
    if (has_first_) {
      has_first_ = false;
      out = first_;
      return true;
    }
    return identity_of(fd_, out);
  }

  long read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    for (;;) {
      const ssize_t got = pread(fd_, buffer, size, static_cast<off_t>(offset));
      if (got >= 0) return static_cast<long>(got);
      if (errno != EINTR) return -1;
    }
  }

  bool write_at(std::uint64_t offset, std::string_view bytes) override {
    has_first_ = false;
    while (!bytes.empty()) {
      const ssize_t put = pwrite(fd_, bytes.data(), bytes.size(), static_cast<off_t>(offset));
      if (put < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      bytes.remove_prefix(static_cast<std::size_t>(put));
      offset += static_cast<std::uint64_t>(put);
    }
    return true;
  }

  bool truncate(std::uint64_t size) override {
    has_first_ = false;
    return ftruncate(fd_, static_cast<off_t>(size)) == 0;
  }
  bool sync() override { return fdatasync(fd_) == 0; }
  bool mark_written() override {
    has_first_ = false;
    return mark_fd_written(fd_);
  }

 private:
  int fd_;
  FileIdentity first_;
  bool has_first_ = false;
};

// A journal is held with an exclusive advisory lock for as long as it is
// open: another process of ours never takes over or rolls back a journal
// that is still being used.
int open_locked(const std::optional<std::string>& name, int flags) {
  if (!name) {
    errno = EINVAL;
    return -1;
  }
  const std::string& path = *name;
  const int fd = ::open(path.c_str(), flags | O_RDWR | O_CLOEXEC, 0666);
  if (fd < 0) return -1;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    errno = EWOULDBLOCK;
    return -1;
  }
  // Its writer may have removed it between our open and our lock.
  struct stat held{}, named{};
  if (fstat(fd, &held) != 0 || stat(path.c_str(), &named) != 0 || held.st_ino != named.st_ino ||
      held.st_dev != named.st_dev) {
    close(fd);
    errno = ENOENT;
    return -1;
  }
  return fd;
}

class PosixFileSystem final : public FileSystem {
 public:
  OpenResult open(const Text& name, bool writable, std::unique_ptr<File>& file) override {
    const std::optional<std::string> path = native(name);
    if (!path) return OpenResult::failed;
    const int fd = ::open(path->c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
    if (fd < 0) {
      return (errno == ENOENT || errno == ENOTDIR) ? OpenResult::missing : OpenResult::failed;
    }
    struct stat info{};
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
      close(fd);
      return OpenResult::failed;
    }
    file = std::make_unique<PosixFile>(fd, &info);
    return OpenResult::opened;
  }

  std::unique_ptr<File> create_journal(const Text& name) override {
    const int fd = open_locked(journal_path(name), O_CREAT);
    if (fd < 0) return nullptr;
    if (ftruncate(fd, 0) != 0) {
      close(fd);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }

  OpenResult open_journal(const Text& name, std::unique_ptr<File>& journal) override {
    const int fd = open_locked(journal_path(name), 0);
    if (fd < 0) return errno == ENOENT ? OpenResult::missing : OpenResult::failed;
    journal = std::make_unique<PosixFile>(fd);
    return OpenResult::opened;
  }

  bool remove_journal(const Text& name) override {
    const std::optional<std::string> path = journal_path(name);
    return !path || unlink(path->c_str()) == 0 || errno == ENOENT;
  }

  bool sync_journal_folder(const Text& name) override {
    std::string folder, base;
    if (!split_native(name, folder, base)) return false;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    const bool ok = fsync(fd) == 0;
    close(fd);
    return ok;
  }

  std::int64_t now_ns() override {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::int64_t>(now.tv_sec) * 1000000000 + now.tv_nsec;
  }
};

}  // namespace

FileSystem& native_file_system() {
  static PosixFileSystem files;
  return files;
}

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

bool ReplacementFile::commit(FileIdentity* produced, bool* marked) {
  if (handle_ < 0 || failed_) return false;
  const int fd = as_fd(handle_);
  struct stat old{};
  const mode_t mode = stat(target_.c_str(), &old) == 0 ? (old.st_mode & 07777) : new_file_mode();
  bool ok = fchmod(fd, mode) == 0;
  if (ok && produced != nullptr) {
    const bool held = mark_fd_written(fd);
    if (marked != nullptr) *marked = held;
    ok = identity_of(fd, *produced);
  }
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
