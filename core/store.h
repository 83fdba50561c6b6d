// The settings store: reading and writing single values of INI files under
// the run directory (the host executable's folder, or the folder the host
// names in MIYI_RUN_DIR). Failures are never reported to the game: a
// missing file, section or key reads as the empty text.
//
// The file on disk is always the truth; what is cached only says where to
// look in it. For each of the last few files used, an index (core/ini_index.h)
// holds where every section and key line lies: offsets and lengths, not
// values. Every call first checks the file's identity (one open and status
// query: device and inode, or volume and file index; size; last-write time)
// and scans the whole file again when it differs, so that a change by
// another program is seen at the next call. A read then costs one
// positioned read of the value's line, which is checked to still hold the
// key. A file whose last-write time is within a clock tick of the index's
// last look ("racily clean": a same-size change in that tick would not show
// in the identity) is not trusted until a scan finds it older: reads answer
// from the section's bytes as they are in the file, or scan again, and
// writes check that the bytes they edit still are whole lines of the section
// the index names. After our own writes the file's time is marked
// (platform::File::mark_written), so that no later change can hide.
//
// Writes keep every other byte of the file and give exactly the bytes that
// streaming the whole file through the INI engine gives; that whole-file
// rewrite into a new file renamed over the old one remains the reference
// and the fallback. When the edit keeps the length of the section it
// changes, or changes only the file's last section (a new account's first
// command appends its section, then its keys), only the changed bytes are
// written in place, under a rollback journal beside the file
// (core/store_journal.h): a kill or a power cut leaves each value old or
// new, and the next access rolls a half-done change back. Every other write
// rewrites the whole file.
//
// The host never overlaps calls, so the store takes no lock. The memory
// used grows with the number of sections and keys (about 50 bytes a section
// and 12 a key: 7.2 MB for 100 000 accounts of two keys), never with the
// file's size: files are read in pieces, and a write holds at most one
// section's bytes (a section over 1 MB takes the streaming rewrite).
#pragma once

#include <cstddef>
#include <optional>

#include "core/types.h"

namespace miyi {
namespace platform {
class FileSystem;
}

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
// byte of the file, in one step that a crash never tears (see above).
// Refused (false, file untouched) when a text would change the file's
// shape: CR, LF or NUL anywhere, "]" in the section, "=" in the key, a key
// that starts with "[" or ";", an empty section or key, or any of the three
// ending in a lone first byte of code page 936; refused too when a section or key would not
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

// Seams for tests of the index and the journal:
// with false, every call takes the streaming path (the reference) and no
// index is used or kept up to date;
void set_store_cache_for_testing(bool enabled);
// drops every index, as a new process starts without them;
void forget_store_cache_for_testing();
// puts `files` (null: the native ones) under the indexed reads and writes;
void set_file_system_for_testing(platform::FileSystem* files);
// the bytes that the index of file `name` holds (0 when it has none).
std::size_t store_index_bytes_for_testing(const Text& name);

}  // namespace miyi
