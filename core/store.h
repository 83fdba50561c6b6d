// The settings store: reading and writing single values of INI files under
// the run directory (the host executable's folder, or the folder the host
// names in MIYI_RUN_DIR).
//
// Nothing is cached: every read and write goes to the file, so changes that
// other programs make are seen at the next read. Failures are never reported
// to the game: a missing file, section or key reads as the empty text.
#pragma once

#include <optional>

#include "core/types.h"

namespace miyi {

// Values longer than this arrive cut to this many bytes.
inline constexpr int kIniReadLimit = 10239;

// Fixes the run directory from the platform: the folder MIYI_RUN_DIR names
// when the host sets it (none when it names no folder), else the host
// executable's folder. Called once at load; later calls, and calls after
// set_run_dir_for_testing, change nothing.
void init_run_dir();

// A copy of the run directory, without a trailing separator; the empty text
// when none could be had.
Text run_dir();

// Whether a run directory could be had. Without one every file name would
// point somewhere unintended (the root of the file system or of a drive), so
// ini_read and ini_write then touch no file at all: reads give the empty
// text, writes are refused, and the game still replies.
bool run_dir_known();

// The value under `key` in `section` of file `name`, at most kIniReadLimit
// bytes, or the empty text. Leading bytes 0x01..0x20 are dropped from all
// three names first; when one of them is then empty, or no run directory
// could be had, the file is not read.
Text ini_read(const Text& name, const Text& section, const Text& key);

// Stores `value` under `key` in `section` of file `name`, keeping every other
// byte of the file, and replacing the file in one step. Refused (false, file
// untouched) when a text would change the file's shape: CR, LF or NUL
// anywhere, "]" in the section, "=" in the key, a key that starts with "["
// or ";", an empty section or key, or any of the three ending in a lone
// first byte of code page 936; refused too when a section or key would not
// be read where it is written (one that, after its blanks, starts with a
// control byte, which ini_read drops), and when no run directory could be
// had. Missing folders are created only for a file inside the run
// directory.
bool ini_write(const Text& name, const Text& section, const Text& key, const Text& value);

// Whether ini_write would accept `section`, `key` and `value`: lets a caller
// refuse a command before it writes anything, or tell a value that this
// store could not have written.
bool ini_accepts(const Text& section, const Text& key, const Text& value = Text());

// Seam for tests: fixes the run directory (or its absence) before first use.
void set_run_dir_for_testing(std::optional<Text> dir);

}  // namespace miyi
