// File access for the settings store: sequential reading, and writing a new
// version of a file that replaces the old one in a single step.
//
// Names are GBK texts. Each platform maps them onto its file system
// (platform/native_path.h: POSIX converts them to UTF-8 as GB18030, Windows
// hands them to the ANSI functions); a name without a counterpart there
// names no file. Both "/" and "\" separate folders on Windows; on POSIX only
// "/" does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "core/types.h"

namespace miyi::platform {

enum class OpenResult { opened, missing, failed };

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
  // false return nothing has changed.
  bool commit();

 private:
  std::intptr_t handle_ = -1;
  Text target_;
  Text temporary_;
  bool failed_ = false;
};

// Whether the byte separates folders in a name: "/" everywhere, and "\" too
// on Windows. (The caller walks characters, so a second byte never counts.)
bool is_separator(char c);

// True when `name` exists and is a folder.
bool folder_exists(const Text& name);
// Creates one folder whose parent exists. True when it exists afterwards.
bool make_folder(const Text& name);

}  // namespace miyi::platform
