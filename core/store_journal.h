// The rollback journal that makes the settings store's in-place writes and
// appends atomic, after SQLite's rollback journal.
//
// A change to a file that is not a whole-file replacement is one splice:
// the bytes from `offset` are overwritten with new ones and the file's size
// may change (an append, or a shorter or longer tail). Before the file is
// touched, a journal beside it records the file's identity (volume and file
// number), its size before and after, the offset, the bytes there before and
// the bytes written, with a checksum; the journal is synced, and so is its
// folder, so that its existence is durable. Then the file is changed and
// synced, and the journal is removed.
//
// Whoever opens the file next and finds a journal (recover()) checks it: a
// torn journal (short, or a wrong checksum) was never followed by a change
// and is discarded; one whose file has since been replaced (another volume
// or file number), or whose bytes another program has since changed (a
// size, or a byte in the spliced range, that is neither the old nor the new
// one), is stale and discarded; so is one whose file still holds the old
// bytes and size (its writer stopped before touching it); otherwise the old
// bytes and size are put back. A kill or a power cut at any moment thus leaves the value old or
// new. A journal that another process still holds is left alone.
#pragma once

#include <cstdint>
#include <string>

#include "core/types.h"
#include "platform/files.h"

namespace miyi::store {

struct Splice {
  std::uint64_t offset = 0;
  std::string old_bytes;  // the file's bytes from offset, before
  std::string new_bytes;  // and after
  std::uint64_t old_size = 0;
  std::uint64_t new_size = 0;
};

enum class SpliceResult {
  done,       // the file holds the new bytes, on disk
  untouched,  // nothing was changed (no journal could be made)
  failed,     // the change failed; the old bytes were put back or the journal stays
};

// Applies `splice` to `file` (open for writing, named `name`, with identity
// `identity`) under a journal.
SpliceResult apply_splice(platform::FileSystem& files, const Text& name, platform::File& file,
                          const platform::FileIdentity& identity, const Splice& splice);

enum class Recovery {
  none,        // no journal, or a torn or stale one, now removed
  rolled_back, // the file's old bytes were put back
  busy,        // a journal is held by another process or could not be handled
};

// Finds and handles the journal of file `name`; see above.
Recovery recover(platform::FileSystem& files, const Text& name);

// The journal's bytes for a splice (exposed for tests that tear it).
std::string journal_record(const platform::FileIdentity& identity, const Splice& splice);

// Reads `size` bytes from `offset` into `out`; false when fewer arrived.
bool read_range(platform::File& file, std::uint64_t offset, std::uint64_t size, std::string& out);

}  // namespace miyi::store
