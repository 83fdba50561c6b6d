// File access for the settings store: sequential reading, writing a new
// version of a file that replaces the old one in a single step, and the
// positioned access, identity and journal files under the store's index and
// in-place writes (FileSystem).
//
// Names are GBK texts. Each platform maps them onto its file system
// (platform/native_path.h: POSIX converts them to UTF-8 as GB18030, each name
// once and then kept; Windows reads them through the ANSI code page and
// hands them to the wide functions, in the extended form that takes names
// longer than MAX_PATH); a name without a counterpart there names no file.
// Both "/" and "\" separate folders on Windows; on POSIX only "/" does. A
// name that is a symbolic link reaches the file it points to, for reads,
// in-place writes and replacements alike; the journal lies beside the file
// the link points to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "core/types.h"

namespace miyi::platform {

enum class OpenResult { opened, missing, failed };

// What tells one version of a file from another without reading it: which
// file it is and its size and last-write time. POSIX: device, inode, size,
// modification time in nanoseconds. Windows: volume serial number, file
// index, size, last-write time (100 ns units, as nanoseconds).
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t file = 0;
  std::uint64_t size = 0;
  std::int64_t modified_ns = 0;  // since 1970-01-01 UTC
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// Reads a file front to back in pieces.
class InputFile {
 public:
  InputFile() = default;
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;
  ~InputFile();

  // `missing` only when no file of that name exists; a folder, a file that
  // may not be read, and every other failure give `failed`.
  OpenResult open(const Text& name);
  // Up to `size` bytes into `buffer`: the count read, 0 at the end, -1 on an
  // error.
  long read(char* buffer, std::size_t size);

 private:
  std::intptr_t handle_ = -1;
};

// Builds the new contents of a file in a temporary file beside it, then puts
// it in the old one's place at once: readers see the old file or the new
// one, never a torn one, whatever happens in between (a crash, a kill, a full
// disk). The old file's permissions are kept.
class ReplacementFile {
 public:
  ReplacementFile() = default;
  ReplacementFile(const ReplacementFile&) = delete;
  ReplacementFile& operator=(const ReplacementFile&) = delete;
  // Removes the temporary file unless commit() succeeded.
  ~ReplacementFile();

  // Creates the temporary file in the folder of `name`. False when that
  // folder does not exist or the file cannot be created.
  bool begin(const Text& name);
  bool write(std::string_view bytes);
  // Flushes the new contents to disk and renames them over `name`. After a
  // false return nothing has changed. With `produced`, the new file's
  // identity (see FileIdentity) is stored there, its last-write time marked
  // as File::mark_written does; `marked` says whether that mark held.
  bool commit(FileIdentity* produced = nullptr, bool* marked = nullptr);

 private:
  std::intptr_t handle_ = -1;
  // The system's names of the file replaced (links followed) and of the new
  // one, as UTF-8 (on Windows, of the wide names the calls take).
  std::string target_;
  std::string temporary_;
  bool failed_ = false;
};

// An open file with positioned reads and writes. Closed at destruction.
class File {
 public:
  virtual ~File() = default;
  // False when the system cannot tell.
  virtual bool identity(FileIdentity& out) = 0;
  // Up to `size` bytes from `offset`: the count, 0 at the end, -1 on error.
  virtual long read_at(std::uint64_t offset, char* buffer, std::size_t size) = 0;
  // All of `bytes` at `offset`, or false.
  virtual bool write_at(std::uint64_t offset, std::string_view bytes) = 0;
  virtual bool truncate(std::uint64_t size) = 0;
  // The file's contents and size on disk (fdatasync / FlushFileBuffers).
  virtual bool sync() = 0;
  // Sets the last-write time one unit (1 ns; 100 ns on Windows) before the
  // one the last write gave it. Every later write, ours or another
  // program's, sets the time anew from the clock, which never gives that
  // value again: so a change in the same clock tick as ours still changes
  // the identity. False (and the time left as it was) when the file system
  // cannot hold that time (FAT keeps 2 s steps).
  virtual bool mark_written() = 0;
};

// The file calls under the store's index and in-place writes. One native
// implementation per platform; tests put a fault-injecting one in front.
class FileSystem {
 public:
  virtual ~FileSystem() = default;
  // Opens an existing regular file for reading, or for reading and writing.
  // `missing` only when no file of that name exists.
  virtual OpenResult open(const Text& name, bool writable, std::unique_ptr<File>& file) = 0;

  // The journal of the store file `name`: a hidden file beside it (links
  // followed to the file they name). While one process holds it open, no
  // other can create or open it.
  //
  // Creates it empty, or takes over one that nobody holds; null when that
  // fails or another process holds it.
  virtual std::unique_ptr<File> create_journal(const Text& name) = 0;
  // Opens an existing journal: `missing` when there is none, `failed` when
  // another process holds it or it cannot be opened.
  virtual OpenResult open_journal(const Text& name, std::unique_ptr<File>& journal) = 0;
  // Removes the journal (it may still be open here). True when it is gone.
  virtual bool remove_journal(const Text& name) = 0;
  // Makes the journal's creation durable: syncs the folder that holds it
  // (POSIX); on Windows the journal's own flush covers it.
  virtual bool sync_journal_folder(const Text& name) = 0;

  // The wall clock, on the scale of FileIdentity::modified_ns.
  virtual std::int64_t now_ns() = 0;
};

// The platform's own file calls.
FileSystem& native_file_system();

// Whether the byte separates folders in a name: "/" everywhere, and "\" too
// on Windows. (The caller walks characters, so a second byte never counts.)
bool is_separator(char c);

// True when `name` exists and is a folder.
bool folder_exists(const Text& name);
// Creates one folder whose parent exists. True when it exists afterwards.
bool make_folder(const Text& name);

}  // namespace miyi::platform
