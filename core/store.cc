#include "core/store.h"

#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "core/gbk.h"
#include "core/ini_engine.h"
#include "core/ini_index.h"
#include "core/store_journal.h"
#include "platform/files.h"
#include "platform/run_dir.h"
#include "platform/run_dir_setting.h"

namespace miyi {
namespace {

struct RunDir {
  bool fixed = false;
  std::optional<Text> path;  // nothing when the platform could not tell
};

RunDir& the_run_dir() {
  static RunDir dir;
  return dir;
}

// Leading control characters and spaces are dropped from every name a read
// is given.
std::string_view without_leading_controls(std::string_view name) {
  while (!name.empty() && static_cast<unsigned char>(name.front()) >= 0x01 &&
         static_cast<unsigned char>(name.front()) <= 0x20) {
    name.remove_prefix(1);
  }
  return name;
}

// Section and key names as the reading side takes them: also without the
// blanks at the end.
std::string_view reading_name(std::string_view name) {
  return ini::plain_name(without_leading_controls(name));
}

// Names as the writing side takes them: without blanks at either end, so
// that what is written under a name is found under the same name.
std::string_view writing_name(std::string_view name) { return ini::plain_name(name); }

// Whether a name is read where it is written. One that starts with a control
// byte is not: reading drops the byte and finds another name's values, while
// writing keeps it and leaves values that no read ever finds (a number
// "\x01" "10001" would play account 10001's puzzle and store its own).
bool reads_where_written(std::string_view name) { return reading_name(name) == writing_name(name); }

bool names_accepted(std::string_view section, std::string_view key, std::string_view value) {
  return reads_where_written(section) && reads_where_written(key) &&
         ini::shape_safe(writing_name(section), writing_name(key), value);
}

// Folders as the platform separates them: a "\" in a POSIX name is part of
// a folder's name, and a folder cut there would be one the file never uses.
bool is_separator(char c) { return platform::is_separator(c); }

// Creates the missing folders between the run directory and the file, when
// the file lies inside the run directory: the points file's folder may not
// exist yet on a fresh robot. Names that climb out ("..") create nothing.
void make_folders_inside_run_dir(const Text& name) {
  if (!run_dir_known()) return;
  const Text root = run_dir();
  if (name.size() <= root.size() || name.compare(0, root.size(), root) != 0 ||
      !is_separator(name[root.size()])) {
    return;
  }
  // Every folder level between the run directory and the file, checked as a
  // whole before any of them is made.
  std::vector<Text> folders;
  std::size_t component = root.size() + 1;
  for (std::size_t at = component; at < name.size();) {
    if (is_separator(name[at])) {
      const std::string_view part(name.data() + component, at - component);
      if (part == ".." || part == ".") return;
      if (!part.empty()) folders.push_back(name.substr(0, at));
      component = ++at;
    } else {
      // Separators as the file system sees them: the platform's code page
      // (or GB18030, whose four-byte characters are two such pairs) starts
      // two-byte characters with 0x81..0xFE only.
      at += is_code_page_first_byte(name[at]) ? 2 : 1;
    }
  }
  for (const Text& folder : folders) {
    if (!platform::make_folder(folder)) return;
  }
}

// Gathers output into large writes.
class BufferedWriter {
 public:
  explicit BufferedWriter(platform::ReplacementFile& file) : file_(file) { buffer_.reserve(kSize); }
  bool put(std::string_view bytes) {
    if (buffer_.size() + bytes.size() > kSize && !flush()) return false;
    if (bytes.size() >= kSize) return file_.write(bytes);
    buffer_.append(bytes);
    return true;
  }
  bool flush() {
    const bool ok = buffer_.empty() || file_.write(buffer_);
    buffer_.clear();
    return ok;
  }

 private:
  static constexpr std::size_t kSize = 64 * 1024;
  platform::ReplacementFile& file_;
  std::string buffer_;
};

// --- The cache of indexes.
//
// Per file name: the index of the file as last seen, the identity it had
// then, and whether that identity can hide a change (see trusted()).

// The clock tick that a file's last-write time may lag behind: a change
// within one tick of another gets the same time. Times that have a fraction
// of a second come from a fine clock (the kernel's tick, ~16 ms on Windows);
// whole seconds may come from a file system that keeps 1 s or 2 s steps
// (FAT). Generous on purpose: a racily clean file costs only a re-read.
constexpr std::int64_t kFineTickNs = 100'000'000;
constexpr std::int64_t kCoarseTickNs = 2'100'000'000;

// The most bytes that one indexed read or write reads at once (a section,
// or the file's last section); beyond it the streaming path serves.
constexpr std::uint64_t kWindowLimit = 1u << 20;

// How many files keep an index: the game uses two or three.
constexpr std::size_t kCachedFiles = 8;

struct Cached {
  bool valid = false;  // the index describes the file with `identity`
  platform::FileIdentity identity;
  std::int64_t indexed_at = 0;  // the clock just before the look the index reflects
  bool marked = false;          // identity's time is our mark (File::mark_written)
  // What our last whole-file replacement produced, marked: a file that
  // still has this identity when it is next scanned holds what we wrote.
  platform::FileIdentity produced;
  bool produced_marked = false;
  std::uint64_t last_use = 0;
  ini::Index index;
};

struct Cache {
  bool enabled = true;
  platform::FileSystem* file_system = nullptr;  // the native one unless a test sets one
  std::unordered_map<Text, Cached> files;
  std::uint64_t uses = 0;
};

Cache& the_cache() {
  static Cache cache;  // freed at unload: a host may load and unload the library
  return cache;
}

platform::FileSystem& files() {
  Cache& cache = the_cache();
  return cache.file_system ? *cache.file_system : platform::native_file_system();
}

Cached& entry_for(const Text& name) {
  Cache& cache = the_cache();
  auto found = cache.files.find(name);
  if (found == cache.files.end()) {
    if (cache.files.size() >= kCachedFiles) {
      auto oldest = cache.files.begin();
      for (auto it = cache.files.begin(); it != cache.files.end(); ++it) {
        if (it->second.last_use < oldest->second.last_use) oldest = it;
      }
      cache.files.erase(oldest);
    }
    found = cache.files.emplace(name, Cached()).first;
  }
  found->second.last_use = ++cache.uses;
  return found->second;
}

// Whether the index may answer without looking at the file again. A change
// that another program makes in the same clock tick as the last change we
// saw, without changing the size, leaves the identity as it was; so does a
// change right after our scan of a file whose time was already that tick.
// As git does with racily clean index entries, such a file is trusted only
// once its time is safely older than the look the index reflects, or when
// its time is our own mark, which no later write can reproduce.
bool trusted(const Cached& entry) {
  if (entry.marked) return true;
  const std::int64_t time = entry.identity.modified_ns;
  const std::int64_t tick = time % 1'000'000'000 != 0 ? kFineTickNs : kCoarseTickNs;
  return time + tick < entry.indexed_at;
}

ini::Source source_of(platform::File& file) {
  return [&file, offset = std::uint64_t{0}](char* buffer, std::size_t size) mutable -> long {
    const long got = file.read_at(offset, buffer, size);
    if (got > 0) offset += static_cast<std::uint64_t>(got);
    return got;
  };
}

ini::Source source_of(std::string_view bytes) {
  return [bytes](char* buffer, std::size_t size) mutable -> long {
    const std::size_t n = bytes.size() < size ? bytes.size() : size;
    bytes.copy(buffer, n);
    bytes.remove_prefix(n);
    return static_cast<long>(n);
  };
}

// Reads the whole file into the entry's index.
bool scan(platform::File& file, Cached& entry) {
  entry.valid = false;
  const std::int64_t now = files().now_ns();
  platform::FileIdentity before, after;
  if (!file.identity(before)) return false;
  ini::LineReader lines(source_of(file));
  if (!entry.index.build(lines)) return false;
  // A file that changed while it was read is read again at the next call.
  if (!file.identity(after) || after != before || entry.index.size() != after.size) return false;
  entry.identity = after;
  entry.indexed_at = now;
  entry.marked = entry.produced_marked && after == entry.produced;
  entry.valid = true;
  return true;
}

// Opens `name` and brings its entry up to date: when the file is not the one
// the index describes, a journal left by a writer that stopped midway is
// handled first, then the file is scanned. `missing` when there is no file;
// `failed` when the index cannot serve (the streaming path then does).
platform::OpenResult open_indexed(const Text& name, bool writable,
                                  std::unique_ptr<platform::File>& file, Cached*& entry) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const platform::OpenResult opened = files().open(name, writable, file);
    if (opened != platform::OpenResult::opened) return opened;
    platform::FileIdentity now;
    if (!file->identity(now)) return platform::OpenResult::failed;
    entry = &entry_for(name);
    if (entry->valid && entry->identity == now) return platform::OpenResult::opened;
    switch (store::recover(files(), name)) {
      case store::Recovery::none:
        break;
      case store::Recovery::rolled_back:
        continue;  // open the restored file afresh
      case store::Recovery::busy:
        entry->valid = false;
        return platform::OpenResult::failed;
    }
    return scan(*file, *entry) ? platform::OpenResult::opened : platform::OpenResult::failed;
  }
  return platform::OpenResult::failed;
}

// The value of the first key line of `section` named `key`, read from the
// file at the place the index gives; nothing when the index and the file
// disagree.
std::optional<std::optional<Text>> value_from_index(platform::File& file, const ini::Index& index,
                                                    std::string_view section, std::string_view key) {
  const ini::Index::Section* found = index.find(section);
  if (found == nullptr) return std::optional<Text>();
  const std::uint32_t hash = ini::Index::hash(key);
  const std::string form = ini::match_form(key);
  std::string line;
  for (const ini::Index::Key& k : index.keys(*found)) {
    if (k.hash != hash) continue;
    if (!store::read_range(file, found->header + k.at, k.length, line)) return std::nullopt;
    const ini::LineShape shape = ini::classify(line);
    if (shape.kind != ini::LineKind::key) return std::nullopt;
    if (ini::match_form(shape.name) == form) return std::optional<Text>(Text(shape.value));
  }
  return std::optional<Text>();
}

// The value as the index finds it, or nothing when the streaming path must
// answer.
std::optional<Text> indexed_read(const Text& name, std::string_view section, std::string_view key) {
  if (!the_cache().enabled) return std::nullopt;
  std::unique_ptr<platform::File> file;
  Cached* entry = nullptr;
  const platform::OpenResult opened = open_indexed(name, false, file, entry);
  if (opened == platform::OpenResult::missing) return Text();
  if (opened != platform::OpenResult::opened) return std::nullopt;

  if (!trusted(*entry)) {
    // Racily clean: answer from the section as it is in the file now,
    // checking that it still starts where the index says; otherwise read the
    // whole file again.
    const ini::Index::Section* found = entry->index.find(section);
    std::string window;
    if (found != nullptr && found->end - found->header <= kWindowLimit &&
        store::read_range(*file, found->header, found->end - found->header, window)) {
      ini::LineReader lines(source_of(window), window.size());
      std::string_view first, ending;
      if (lines.next(first, ending)) {
        const ini::LineShape shape = ini::classify(first);
        if (shape.kind == ini::LineKind::section &&
            ini::match_form(shape.name) == ini::match_form(section)) {
          ini::LineReader again(source_of(window), window.size());
          if (std::optional<Text> value = ini::find_value(again, section, key)) return value;
        }
      }
    }
    if (!scan(*file, *entry)) return std::nullopt;
  }
  const std::optional<std::optional<Text>> value = value_from_index(*file, entry->index, section, key);
  if (!value) {
    entry->valid = false;  // the file is not what the index says: scan it next time
    return std::nullopt;
  }
  return value->value_or(Text());
}

std::optional<Text> streamed_read(const Text& name, std::string_view section, std::string_view key) {
  platform::InputFile file;
  if (file.open(name) != platform::OpenResult::opened) return Text();
  ini::LineReader lines([&file](char* buffer, std::size_t size) { return file.read(buffer, size); });
  return ini::find_value(lines, section, key).value_or(Text());
}

enum class WriteResult { written, refused, not_here };

// Whether `window`, read where the index puts a section (or the file's last
// section, `at_end`), still is one: it starts a line (the file's first,
// `at_start`, or one after the byte `previous`), opens with the header of
// `section` when the index has that section (else with a header, or at the
// file's start), and ends a line (the file's end is checked by the
// identity's size).
bool window_still_holds(std::string_view window, bool at_start, char previous,
                        std::string_view section, bool has_section, bool at_end) {
  const auto ends_line = [](char c) { return c == '\n' || c == '\r'; };
  if (!ends_line(previous) || (previous == '\r' && !window.empty() && window.front() == '\n')) {
    return false;
  }
  if (!at_end && (window.empty() || !ends_line(window.back()))) return false;
  if (window.empty()) return !has_section;
  ini::LineReader lines(source_of(window), window.size());
  std::string_view first, ending;
  if (!lines.next(first, ending)) return false;
  const ini::LineShape shape = ini::classify(first);
  if (has_section) {
    return shape.kind == ini::LineKind::section &&
           ini::match_form(shape.name) == ini::match_form(section);
  }
  return shape.kind == ini::LineKind::section || at_start;
}

// A write through the index: the engine edits the bytes of the one section
// the write changes (or of the file's last section, for a section that is
// not there yet), and when the result has the same length, or that section
// ends the file, only the changed bytes are written, under the journal.
// `not_here` when the whole-file rewrite must do it.
WriteResult indexed_write(const Text& name, std::string_view section, std::string_view key,
                          std::string_view value) {
  if (!the_cache().enabled) return WriteResult::not_here;
  std::unique_ptr<platform::File> file;
  Cached* entry = nullptr;
  if (open_indexed(name, true, file, entry) != platform::OpenResult::opened) {
    return WriteResult::not_here;
  }
  const bool was_trusted = trusted(*entry);

  const ini::Index& index = entry->index;
  const ini::Index::Section* found = index.find(section);
  const bool at_end = found == nullptr || found->end == index.size();
  const std::uint64_t begin = at_end ? index.tail_start() : found->header;
  const std::uint64_t end = at_end ? index.size() : found->end;
  if (end - begin > kWindowLimit) return WriteResult::not_here;
  std::string before;
  // With the byte before it, to see that it starts a line.
  const std::uint64_t from = begin > 0 ? begin - 1 : 0;
  if (!store::read_range(*file, from, end - from, before)) return WriteResult::not_here;
  const char previous = begin > 0 ? before.front() : '\n';
  before.erase(0, begin - from);
  // A racily clean file may hold a change the index does not show: the
  // bytes edited must still be the section (or the last section) the index
  // says, whole lines of it.
  if (!was_trusted && !window_still_holds(before, begin == 0, previous, section, found != nullptr, at_end)) {
    return WriteResult::not_here;
  }

  // The section's bytes (up to the next header, which the edit never
  // passes), or the file's tail, edited as the whole file would be.
  std::string after;
  ini::LineReader lines(source_of(before), before.size());
  const ini::Sink sink = [&after](std::string_view bytes) {
    after.append(bytes);
    return true;
  };
  if (!ini::store_value(lines, sink, section, key, value)) return WriteResult::not_here;
  if (after == before) return WriteResult::written;
  if (after.size() != before.size() && !at_end) return WriteResult::not_here;

  std::size_t first = 0;
  while (first < before.size() && first < after.size() && before[first] == after[first]) ++first;
  std::size_t last_old = before.size(), last_new = after.size();
  if (before.size() == after.size()) {
    while (last_old > first && before[last_old - 1] == after[last_new - 1]) --last_old, --last_new;
  }
  store::Splice splice;
  splice.offset = begin + first;
  splice.old_bytes = before.substr(first, last_old - first);
  splice.new_bytes = after.substr(first, last_new - first);
  splice.old_size = index.size();
  splice.new_size = index.size() - before.size() + after.size();

  const std::int64_t now = files().now_ns();
  switch (store::apply_splice(files(), name, *file, entry->identity, splice)) {
    case store::SpliceResult::untouched:
      return WriteResult::not_here;
    case store::SpliceResult::failed:
      entry->valid = false;
      return WriteResult::refused;
    case store::SpliceResult::done:
      break;
  }
  // The index follows the change: a same-length edit moves no line; a new
  // tail is indexed again.
  entry->valid = false;
  const bool marked = file->mark_written();
  platform::FileIdentity identity;
  if (!file->identity(identity)) return WriteResult::written;
  if (at_end) {
    ini::LineReader tail(source_of(after), after.size());
    if (!entry->index.rebuild_tail(tail)) return WriteResult::written;
  }
  if (entry->index.size() != identity.size) return WriteResult::written;
  entry->identity = identity;
  entry->valid = true;
  if (was_trusted) {
    entry->indexed_at = now;
    entry->marked = marked;
  } else {
    // The rest of the index is as unsure as before; once a scan finds the
    // file as we left it, it holds what we wrote.
    entry->produced = identity;
    entry->produced_marked = marked;
  }
  return WriteResult::written;
}

// The reference path: the whole file streamed through the engine into a
// new file that replaces it.
bool rewrite(const Text& name, std::string_view section, std::string_view key, std::string_view value) {
  platform::InputFile old_file;
  const platform::OpenResult opened = old_file.open(name);
  // A file that exists but cannot be read is never overwritten: its other
  // values would be lost.
  if (opened == platform::OpenResult::failed) return false;
  const bool has_old = opened == platform::OpenResult::opened;

  platform::ReplacementFile new_file;
  if (!new_file.begin(name)) {
    make_folders_inside_run_dir(name);
    if (!new_file.begin(name)) return false;
  }
  ini::LineReader lines([&](char* buffer, std::size_t size) -> long {
    return has_old ? old_file.read(buffer, size) : 0;
  });
  BufferedWriter writer(new_file);
  const ini::Sink sink = [&writer](std::string_view bytes) { return writer.put(bytes); };
  if (!ini::store_value(lines, sink, section, key, value)) return false;
  if (!writer.flush()) return false;
  if (!the_cache().enabled) return new_file.commit();
  Cached& entry = entry_for(name);
  entry.valid = false;  // scanned at the next call
  platform::FileIdentity produced;
  bool marked = false;
  if (!new_file.commit(&produced, &marked)) return false;
  entry.produced = produced;
  entry.produced_marked = marked;
  return true;
}

}  // namespace

void init_run_dir() {
  RunDir& dir = the_run_dir();
  if (dir.fixed) return;
  // A folder the host names is the run directory; a name that gives no
  // folder means none at all, never the executable's folder, where the host
  // did not want the game's files.
  const platform::RunDirSetting setting = platform::run_dir_setting();
  dir.path = setting.set ? setting.folder : platform::executable_dir();
  dir.fixed = true;
}

Text run_dir() {
  init_run_dir();  // a no-op after load; covers code linked without a loader
  return the_run_dir().path.value_or(Text());
}

bool run_dir_known() {
  init_run_dir();
  return the_run_dir().path.has_value();
}

void set_run_dir_for_testing(std::optional<Text> dir) {
  the_run_dir().path = std::move(dir);
  the_run_dir().fixed = true;
}

Text ini_read(const Text& name, const Text& section, const Text& key) {
  const std::string_view file_name = without_leading_controls(name);
  const std::string_view section_name = reading_name(section);
  const std::string_view key_name = reading_name(key);
  if (file_name.empty() || section_name.empty() || key_name.empty()) return Text();
  if (!run_dir_known()) return Text();

  std::optional<Text> value = indexed_read(Text(file_name), section_name, key_name);
  if (!value) value = streamed_read(Text(file_name), section_name, key_name);
  // The engine has ended the value at its first NUL; it arrives through a
  // buffer of kIniReadLimit + 1 bytes.
  Text result = std::move(*value);
  if (result.size() > static_cast<std::size_t>(kIniReadLimit)) result.resize(kIniReadLimit);
  return result;
}

bool ini_accepts(const Text& section, const Text& key, const Text& value) {
  return names_accepted(section, key, value);
}

bool ini_write(const Text& name, const Text& section, const Text& key, const Text& value) {
  const std::string_view section_name = writing_name(section);
  const std::string_view key_name = writing_name(key);
  if (name.empty() || !names_accepted(section, key, value)) return false;
  if (!run_dir_known()) return false;

  const WriteResult written = indexed_write(name, section_name, key_name, value);
  if (written != WriteResult::not_here) return written == WriteResult::written;
  return rewrite(name, section_name, key_name, value);
}

void set_store_cache_for_testing(bool enabled) {
  the_cache().enabled = enabled;
}

void forget_store_cache_for_testing() {
  the_cache().files.clear();
}

void set_file_system_for_testing(platform::FileSystem* files) {
  the_cache().files.clear();
  the_cache().file_system = files;
}

std::size_t store_index_bytes_for_testing(const Text& name) {
  const auto found = the_cache().files.find(name);
  return found == the_cache().files.end() || !found->second.valid ? 0 : found->second.index.memory();
}

}  // namespace miyi
