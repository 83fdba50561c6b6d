// Where each section and key of an INI file lies, so that the settings
// store answers a read with one positioned read and finds the bytes a write
// changes without scanning the file.
//
// Built by one pass over the file's lines, classified by the INI engine
// itself (ini::classify), so that the index sees every line as find_value
// and store_value do. It holds offsets, lengths and hashes, not values:
// only the sections' names are copied (they are looked up by name). Only
// the first section of each name is kept, as only it is ever read or
// written; its key lines are kept in file order, duplicates included, so
// that the first matching line wins as in reading.
//
// The index knows nothing of the file's identity or of time: the store
// decides when it may be trusted (core/store.cc).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/ini_engine.h"

namespace miyi::ini {

class Index {
 public:
  struct Key {
    std::uint32_t at;      // the line's start, counted from its section's header
    std::uint32_t length;  // the line without its ending
    std::uint32_t hash;    // of the key's match_form
  };
  struct Section {
    std::uint64_t header;  // where its header line starts
    std::uint64_t end;     // where the next header line starts, or the file's end
    std::uint32_t name_at;
    std::uint32_t name_size;
    std::uint32_t first_key;
    std::uint32_t key_count;
  };

  // Indexes a whole file read from its start. False when the input failed,
  // or a section or line is too large to be held (4 GB): the index is then
  // empty and must not be used.
  bool build(LineReader& input);

  // Re-indexes after a change to the file's bytes from tail_start() on,
  // with `input` reading the new bytes from there to the file's end. False
  // as for build().
  bool rebuild_tail(LineReader& input);

  // The first section of that name (names as reading takes them), or null.
  const Section* find(std::string_view section) const;
  std::span<const Key> keys(const Section& section) const {
    return std::span<const Key>(keys_).subspan(section.first_key, section.key_count);
  }
  static std::uint32_t hash(std::string_view name);  // of match_form(name)

  // Where the file's last section header starts (0 without one): the bytes
  // from there on are the "tail" that an append rewrites.
  std::uint64_t tail_start() const { return tail_start_; }
  std::uint64_t size() const { return size_; }
  // Bytes that the index holds on the heap and in itself.
  std::size_t memory() const;

 private:
  bool add_line(std::string_view raw, std::string_view ending);
  bool read_lines(LineReader& input);
  std::uint32_t* slot_for(std::string_view form, std::uint32_t hash);
  void grow_table();
  std::string_view name_of(const Section& section) const {
    return std::string_view(names_).substr(section.name_at, section.name_size);
  }

  std::vector<Section> sections_;  // in file order
  std::vector<Key> keys_;          // in file order, section by section
  std::string names_;              // the sections' names in match_form, back to back
  std::vector<std::uint32_t> table_;  // open addressing: section number + 1, 0 when free
  std::uint64_t size_ = 0;            // bytes read so far
  std::uint64_t tail_start_ = 0;
  std::uint32_t current_ = 0;       // section number + 1 that lines now belong to; 0 for none
  bool tail_is_section_ = false;    // whether sections_.back() starts at tail_start_
};

}  // namespace miyi::ini
