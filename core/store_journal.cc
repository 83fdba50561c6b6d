#include "core/store_journal.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string_view>

namespace miyi::store {
namespace {

// Layout, all numbers little-endian:
//   0  "miyi-jnl"        8  version 1 (u32)   12 0 (u32)
//   16 volume (u64)      24 file (u64)
//   32 old size (u64)    40 new size (u64)    48 offset (u64)
//   56 old length (u64)  64 new length (u64)
//   72 old bytes, new bytes, then an FNV-1a 64 checksum of all before it.
constexpr char kMagic[8] = {'m', 'i', 'y', 'i', '-', 'j', 'n', 'l'};
constexpr std::size_t kHeader = 72;
constexpr std::uint64_t kLargest = 1u << 30;  // no splice comes near; guards a corrupt length

void put64(std::string& out, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}
std::uint64_t get64(std::string_view in, std::size_t at) {
  std::uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
  return v;
}

std::uint64_t checksum(std::string_view bytes) {
  std::uint64_t h = 14695981039346656037ull;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 1099511628211ull;
  }
  return h;
}


struct Record {
  platform::FileIdentity identity;
  Splice splice;
};

bool parse(std::string_view bytes, Record& record) {
  if (bytes.size() < kHeader + 8 || std::memcmp(bytes.data(), kMagic, 8) != 0) return false;
  if (get64(bytes, 8) != 1) return false;
  const std::uint64_t old_length = get64(bytes, 56), new_length = get64(bytes, 64);
  if (old_length > kLargest || new_length > kLargest) return false;
  if (bytes.size() != kHeader + old_length + new_length + 8) return false;
  if (checksum(bytes.substr(0, bytes.size() - 8)) != get64(bytes, bytes.size() - 8)) return false;
  record.identity.volume = get64(bytes, 16);
  record.identity.file = get64(bytes, 24);

  Splice& s = record.splice;
  s.old_size = get64(bytes, 32);
  s.new_size = get64(bytes, 40);
  s.offset = get64(bytes, 48);
  s.old_bytes = std::string(bytes.substr(kHeader, old_length));
  s.new_bytes = std::string(bytes.substr(kHeader + old_length, new_length));
  return true;
}

bool put_back(platform::File& file, const Splice& s) {
  return file.write_at(s.offset, s.old_bytes) && file.truncate(s.old_size) && file.sync();
}

// Whether the file still shows our splice, done, half done or not begun:
// its size between the two sizes, and each byte of the spliced range the old
// one or the new one (past the old size, the new one or a zero: an append
// torn by a power cut may leave zeros there).
enum class Shows { other, untouched, splice };
Shows shows_splice(platform::File& file, const platform::FileIdentity& now, const Splice& s) {
  if (now.size < std::min(s.old_size, s.new_size) || now.size > std::max(s.old_size, s.new_size)) {
    return Shows::other;
  }
  const std::uint64_t range = std::max(s.old_bytes.size(), s.new_bytes.size());
  const std::uint64_t present = now.size > s.offset ? std::min(range, now.size - s.offset) : 0;
  std::string bytes;
  if (!read_range(file, s.offset, present, bytes)) return Shows::other;
  bool untouched = now.size == s.old_size;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const bool appended = s.offset + i >= s.old_size;
    const bool old_byte = !appended && i < s.old_bytes.size() && bytes[i] == s.old_bytes[i];
    const bool new_byte = i < s.new_bytes.size() && bytes[i] == s.new_bytes[i];
    if (!old_byte && !new_byte && !(appended && bytes[i] == '\0')) return Shows::other;
    untouched = untouched && old_byte;
  }
  return untouched ? Shows::untouched : Shows::splice;
}

}  // namespace

std::string journal_record(const platform::FileIdentity& identity, const Splice& splice) {
  std::string out(kMagic, sizeof kMagic);
  out.append("\x01\0\0\0\0\0\0\0", 8);
  put64(out, identity.volume);
  put64(out, identity.file);
  put64(out, splice.old_size);
  put64(out, splice.new_size);
  put64(out, splice.offset);
  put64(out, splice.old_bytes.size());
  put64(out, splice.new_bytes.size());
  out.append(splice.old_bytes).append(splice.new_bytes);
  put64(out, checksum(out));
  return out;
}

SpliceResult apply_splice(platform::FileSystem& files, const Text& name, platform::File& file,
                          const platform::FileIdentity& identity, const Splice& splice) {
  std::unique_ptr<platform::File> journal = files.create_journal(name);
  if (!journal) return SpliceResult::untouched;
  // The journal, whole and durable, before the first byte of the file moves.
  if (!journal->write_at(0, journal_record(identity, splice)) || !journal->sync() ||
      !files.sync_journal_folder(name)) {
    files.remove_journal(name);
    return SpliceResult::untouched;
  }
  bool ok = file.write_at(splice.offset, splice.new_bytes);
  if (ok && splice.new_size < splice.old_size) ok = file.truncate(splice.new_size);
  ok = ok && file.sync();
  if (!ok) {
    // Put the old bytes back at once; if even that fails, the journal stays
    // for the next access.
    if (put_back(file, splice)) files.remove_journal(name);
    return SpliceResult::failed;
  }
  // Once the journal is gone the change stands. A journal that cannot be
  // removed is emptied instead: an empty journal is a torn one.
  if (!files.remove_journal(name) && !(journal->truncate(0) && journal->sync())) {
    return SpliceResult::failed;
  }
  return SpliceResult::done;
}

Recovery recover(platform::FileSystem& files, const Text& name) {
  std::unique_ptr<platform::File> journal;
  const platform::OpenResult opened = files.open_journal(name, journal);
  if (opened == platform::OpenResult::missing) return Recovery::none;
  if (opened == platform::OpenResult::failed) return Recovery::busy;

  platform::FileIdentity journal_identity;
  std::string bytes;
  Record record;
  if (!journal->identity(journal_identity) || journal_identity.size > 2 * kLargest ||
      !read_range(*journal, 0, journal_identity.size, bytes) || !parse(bytes, record)) {
    // Torn: its writer stopped before the file was touched.
    return files.remove_journal(name) ? Recovery::none : Recovery::busy;
  }
  std::unique_ptr<platform::File> file;
  const platform::OpenResult file_opened = files.open(name, true, file);
  if (file_opened == platform::OpenResult::missing) {
    return files.remove_journal(name) ? Recovery::none : Recovery::busy;
  }
  platform::FileIdentity now;
  if (file_opened != platform::OpenResult::opened || !file->identity(now)) return Recovery::busy;
  const Shows shows = now.volume == record.identity.volume && now.file == record.identity.file
                          ? shows_splice(*file, now, record.splice)
                          : Shows::other;
  if (shows != Shows::splice) {
    // Stale (the file was replaced or changed by another program since), or
    // its writer stopped before touching the file: nothing to put back.
    return files.remove_journal(name) ? Recovery::none : Recovery::busy;
  }
  if (!put_back(*file, record.splice)) return Recovery::busy;
  files.remove_journal(name);
  return Recovery::rolled_back;
}

bool read_range(platform::File& file, std::uint64_t offset, std::uint64_t size, std::string& out) {
  out.assign(static_cast<std::size_t>(size), '\0');
  std::size_t done = 0;
  while (done < out.size()) {
    const long got = file.read_at(offset + done, out.data() + done, out.size() - done);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  out.resize(done);
  return done == size;
}

}  // namespace miyi::store
