// File access on Windows, through the wide functions of kernel32.
//
// The INI files are read and written by our own engine (core/ini_engine.h,
// core/store.h) on top of these calls, not by the platform's
// GetPrivateProfileStringA / WritePrivateProfileStringA: those rewrite the
// file in place (a crash or a full disk midway leaves it torn or empty) and
// write whatever texts they are given (a CR, LF or "]" in a name reshapes
// the file). Through our engine a write either changes the bytes in place
// under a rollback journal (core/store_journal.h) or builds the new file
// beside the old one and renames it over it in one step, and a write that
// would change the file's shape is refused, exactly as on Linux. Those
// functions rewrite the file in place, keeping its file index: the store
// sees their changes through the size and last-write time. The file format is the
// platform's own: files written by those functions read the same, and they
// read ours.
//
// Names are GBK texts, read through the ANSI code page (936 on the hosts'
// systems) as the ANSI functions read them, and handed to the wide functions
// in the extended form, so that a robot in a folder deeper than MAX_PATH
// keeps its files (platform/win32/wide_names.h). "/" and "\" both separate
// folders. A text that names no file there is a failure, never another name.
#include <windows.h>

#include <cstdint>
#include <cwchar>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "platform/files.h"
#include "platform/win32/wide_names.h"

namespace miyi::platform {
namespace {

HANDLE as_handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }
std::intptr_t from_handle(HANDLE handle) {
  return handle == INVALID_HANDLE_VALUE ? -1 : reinterpret_cast<std::intptr_t>(handle);
}

// The folder part of an extended-length name, its last "\" included, and
// the rest. (The tidied names hold no "/"; UTF-16 has no second bytes.)
std::pair<std::wstring, std::wstring> split_at_last_backslash(const std::wstring& name) {
  const std::size_t separator = name.rfind(L'\\');
  if (separator == std::wstring::npos) return {std::wstring(), name};
  return {name.substr(0, separator + 1), name.substr(separator + 1)};
}

// The error codes of a name that leads to no file.
bool is_missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// Attributes that a replaced file keeps. Read-only is not among them: a
// read-only file is never replaced.
constexpr DWORD kKeptAttributes = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                  FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// Another program may have the old file open for a moment (a reader that
// does not share deletion, a virus scanner): the rename is tried again for
// a short while before the write gives up.
constexpr int kRenameAttempts = 10;
constexpr DWORD kRenamePauseMs = 20;

// The name of the file that `name` leads to, links followed (symbolic links
// and junctions, on the file itself or on a folder on the way), so that a
// write puts the new contents into the file a link points to and the link
// stays a link. A name that leads to no file yet is used as it stands.
std::wstring final_name(const std::wstring& name) {
  const HANDLE file =
      CreateFileW(name.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return name;
  std::wstring path(MAX_PATH, L'\0');
  DWORD length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                           FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  if (length >= path.size()) {  // too small: the length asked for, zero included
    path.resize(length);
    length = GetFinalPathNameByHandleW(file, path.data(), static_cast<DWORD>(path.size()),
                                       FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  }
  CloseHandle(file);
  if (length == 0 || length >= path.size()) return name;
  path.resize(length);
  return path;  // in the extended form ("\\?\C:\..." or "\\?\UNC\...") already
}

// FILETIME counts 100 ns steps since 1601; FileIdentity nanoseconds since
// 1970.
constexpr std::int64_t kFileTimeTo1970 = 116444736000000000LL;

std::int64_t to_ns(FILETIME time) {
  const std::int64_t steps =
      static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
  return (steps - kFileTimeTo1970) * 100;
}

FILETIME from_ns(std::int64_t ns) {
  const auto steps = static_cast<std::uint64_t>(ns / 100 + kFileTimeTo1970);
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(steps & 0xFFFFFFFFu);
  time.dwHighDateTime = static_cast<DWORD>(steps >> 32);
  return time;
}

bool identity_of(HANDLE file, FileIdentity& out) {
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file, &info)) return false;
  out.volume = info.dwVolumeSerialNumber;
  out.file = (static_cast<std::uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow;
  out.size = (static_cast<std::uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  out.modified_ns = to_ns(info.ftLastWriteTime);
  return true;
}

// See File::mark_written.
bool mark_handle_written(HANDLE file) {
  FileIdentity before;
  if (!identity_of(file, before)) return false;
  const FILETIME wanted = from_ns(before.modified_ns - 100);
  if (!SetFileTime(file, nullptr, nullptr, &wanted)) return false;
  FileIdentity after;
  if (identity_of(file, after) && after.modified_ns == before.modified_ns - 100) return true;
  const FILETIME kept = from_ns(before.modified_ns);
  SetFileTime(file, nullptr, nullptr, &kept);  // the file system rounds: keep the true time
  return false;
}

// The journal's name: hidden (by its attribute, and "~" as our temporary
// files), beside the file it protects: beside the file a link leads to, as
// the data a write changes is.
std::optional<std::wstring> journal_path(const Text& linked_name) {
  const std::optional<std::wstring> name = wide_name(linked_name);
  if (!name) return std::nullopt;
  const auto [folder, base] = split_at_last_backslash(final_name(*name));
  return folder + L"~" + base + L".journal";
}

class Win32File final : public File {
 public:
  explicit Win32File(HANDLE handle) : handle_(handle) {}
  ~Win32File() override { CloseHandle(handle_); }

  bool identity(FileIdentity& out) override { return identity_of(handle_, out); }

  long read_at(std::uint64_t offset, char* buffer, std::size_t size) override {
    const DWORD wanted = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, wanted, &got, &at)) {
      return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
    }
    return static_cast<long>(got);
  }

  bool write_at(std::uint64_t offset, std::string_view bytes) override {
    while (!bytes.empty()) {
      const DWORD chunk = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
      OVERLAPPED at{};
      at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFFu);
      at.OffsetHigh = static_cast<DWORD>(offset >> 32);
      DWORD put = 0;
      if (!WriteFile(handle_, bytes.data(), chunk, &put, &at) || put == 0) return false;
      bytes.remove_prefix(put);
      offset += put;
    }
    return true;
  }

  bool truncate(std::uint64_t size) override {
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size);
    return SetFilePointerEx(handle_, at, nullptr, FILE_BEGIN) && SetEndOfFile(handle_);
  }

  bool sync() override { return FlushFileBuffers(handle_) != 0; }
  bool mark_written() override { return mark_handle_written(handle_); }

 private:
  HANDLE handle_;
};

// A journal is opened sharing nothing but deletion: while one process holds
// it, no other can open it, so none takes over or rolls back a journal that
// is still being used.
HANDLE open_journal_handle(const Text& name, DWORD disposition) {
  const std::optional<std::wstring> path = journal_path(name);
  if (!path) {
    SetLastError(ERROR_INVALID_NAME);
    return INVALID_HANDLE_VALUE;
  }
  return CreateFileW(path->c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                     disposition, FILE_ATTRIBUTE_HIDDEN, nullptr);
}

class Win32FileSystem final : public FileSystem {
 public:
  OpenResult open(const Text& name, bool writable, std::unique_ptr<File>& file) override {
    // Sharing everything, as the sequential reader does: other programs may
    // read, write and replace the file meanwhile. A link is followed.
    const std::optional<std::wstring> path = wide_name(name);
    if (!path) return OpenResult::failed;
    const HANDLE handle = CreateFileW(
        path->c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
      return is_missing(GetLastError()) ? OpenResult::missing : OpenResult::failed;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
      CloseHandle(handle);
      return OpenResult::failed;
    }
    file = std::make_unique<Win32File>(handle);
    return OpenResult::opened;
  }

  std::unique_ptr<File> create_journal(const Text& name) override {
    const HANDLE handle = open_journal_handle(name, OPEN_ALWAYS);
    if (handle == INVALID_HANDLE_VALUE) return nullptr;
    auto journal = std::make_unique<Win32File>(handle);
    if (!journal->truncate(0)) return nullptr;
    return journal;
  }

  OpenResult open_journal(const Text& name, std::unique_ptr<File>& journal) override {
    const HANDLE handle = open_journal_handle(name, OPEN_EXISTING);
    if (handle == INVALID_HANDLE_VALUE) {
      return is_missing(GetLastError()) ? OpenResult::missing : OpenResult::failed;
    }
    journal = std::make_unique<Win32File>(handle);
    return OpenResult::opened;
  }

  bool remove_journal(const Text& name) override {
    const std::optional<std::wstring> path = journal_path(name);
    if (!path) return true;  // a name that names no file has no journal
    return DeleteFileW(path->c_str()) || is_missing(GetLastError());
  }

  // Windows has no folder to sync: the journal's FlushFileBuffers writes its
  // directory entry with it.
  bool sync_journal_folder(const Text&) override { return true; }

  std::int64_t now_ns() override {
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return to_ns(now);
  }
};

}  // namespace

FileSystem& native_file_system() {
  static Win32FileSystem files;
  return files;
}

// An input file whose end has been read: its handle is closed already.
constexpr std::intptr_t kReadToTheEnd = -2;

InputFile::~InputFile() {
  if (handle_ >= 0) CloseHandle(as_handle(handle_));
}

OpenResult InputFile::open(const Text& name) {
  // Sharing everything, so that other programs may write, and replace the
  // file, while it is being read.
  const std::optional<std::wstring> path = wide_name(name);
  if (!path) return OpenResult::failed;
  const HANDLE file =
      CreateFileW(path->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    return is_missing(GetLastError()) ? OpenResult::missing : OpenResult::failed;
  }
  // A folder cannot be opened this way; a device (a name such as "CON")
  // can, and is no INI file.
  if (GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    return OpenResult::failed;
  }
  handle_ = from_handle(file);
  return OpenResult::opened;
}

long InputFile::read(char* buffer, std::size_t size) {
  if (handle_ == kReadToTheEnd) return 0;
  if (handle_ < 0) return -1;
  const DWORD wanted = size > 0x40000000 ? 0x40000000 : static_cast<DWORD>(size);
  DWORD got = 0;
  if (!ReadFile(as_handle(handle_), buffer, wanted, &got, nullptr)) return -1;
  if (got == 0 && wanted > 0) {
    // Closed as soon as it is read through: a write reads the old file to
    // its end and then renames the new one over it, and Windows refuses to
    // replace a file that is still open, even by the same process.
    CloseHandle(as_handle(handle_));
    handle_ = kReadToTheEnd;
  }
  return static_cast<long>(got);
}

// The two names ReplacementFile keeps are the wide extended names, held as
// UTF-8. (A name with no UTF-8 form, a lone surrogate in a link's target,
// is refused by begin.)
std::wstring held_name(const std::string& utf8) { return wide_from_utf8(utf8).value_or(std::wstring()); }

ReplacementFile::~ReplacementFile() {
  if (handle_ != -1) CloseHandle(as_handle(handle_));
  if (!temporary_.empty()) DeleteFileW(held_name(temporary_).c_str());
}

bool ReplacementFile::begin(const Text& name) {
  const std::optional<std::wstring> path = wide_name(name);
  if (!path) return false;
  const DWORD old_attributes = GetFileAttributesW(path->c_str());
  if (old_attributes != INVALID_FILE_ATTRIBUTES &&
      (old_attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
    return false;
  }
  const std::wstring target = final_name(*path);
  const std::optional<std::string> held_target = utf8_from_wide(target);
  if (!held_target) return false;
  const auto [folder, base] = split_at_last_backslash(target);

  // A name of our own in the same folder (a rename never crosses volumes),
  // made from the process, the moment and the attempt; CREATE_NEW never
  // takes over a file that exists.
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[48];
    std::swprintf(suffix, sizeof suffix / sizeof suffix[0], L".%lx-%lx-%d.tmp",
                  static_cast<unsigned long>(GetCurrentProcessId()),
                  static_cast<unsigned long>(GetTickCount()), attempt);
    const std::wstring candidate = folder + L"~" + base + suffix;
    const HANDLE file = CreateFileW(candidate.c_str(), GENERIC_WRITE | FILE_READ_ATTRIBUTES, 0,
                                    nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = from_handle(file);
      target_ = *held_target;
      temporary_ = utf8_from_wide(candidate).value_or(std::string());
      return true;
    }
    // A missing folder, a name too long, no right to create files: trying
    // another name changes nothing.
    if (GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool ReplacementFile::write(std::string_view bytes) {
  if (handle_ == -1 || failed_) return false;
  while (!bytes.empty()) {
    const DWORD chunk = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
    DWORD put = 0;
    if (!WriteFile(as_handle(handle_), bytes.data(), chunk, &put, nullptr) || put == 0) {
      failed_ = true;  // a full disk ends here, before the old file is touched
      return false;
    }
    bytes.remove_prefix(put);
  }
  return true;
}

bool ReplacementFile::commit(FileIdentity* produced, bool* marked) {
  if (handle_ == -1 || failed_) return false;
  bool ok = true;
  if (produced != nullptr) {
    const bool held = mark_handle_written(as_handle(handle_));
    if (marked != nullptr) *marked = held;
    ok = identity_of(as_handle(handle_), *produced);
  }
  // On disk before it takes the old file's name, so that even a power cut
  // leaves the old contents or the new ones.
  ok = ok && FlushFileBuffers(as_handle(handle_)) != 0;
  ok = (CloseHandle(as_handle(handle_)) != 0) && ok;
  handle_ = -1;
  if (!ok) return false;

  const std::wstring target = held_name(target_);
  const std::wstring temporary = held_name(temporary_);
  const DWORD old_attributes = GetFileAttributesW(target.c_str());
  if (old_attributes != INVALID_FILE_ATTRIBUTES && (old_attributes & kKeptAttributes) != 0) {
    SetFileAttributesW(temporary.c_str(), old_attributes & kKeptAttributes);
  }
  // One rename that replaces the old file: readers see the old file or the
  // new one. (ReplaceFileW would keep more of the old file's metadata, but
  // it works in several steps, and a failure between them can leave the
  // name without a file.)
  for (int attempt = 0; attempt < kRenameAttempts; ++attempt) {
    if (MoveFileExW(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      temporary_.clear();  // nothing left to remove
      return true;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) break;
    const DWORD attributes = GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES &&
        (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY)) != 0) {
      break;  // not a passing lock
    }
    Sleep(kRenamePauseMs);
  }
  return false;
}

bool is_separator(char c) { return c == '/' || c == '\\'; }

bool folder_exists(const Text& name) {
  const std::optional<std::wstring> path = wide_name(name);
  if (!path) return false;
  const DWORD attributes = GetFileAttributesW(path->c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool make_folder(const Text& name) {
  const std::optional<std::wstring> path = wide_name(name);
  if (!path) return false;
  if (CreateDirectoryW(path->c_str(), nullptr)) return true;
  return GetLastError() == ERROR_ALREADY_EXISTS && folder_exists(name);
}

}  // namespace miyi::platform
