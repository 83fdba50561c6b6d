#include "core/ini_index.h"

#include <limits>

namespace miyi::ini {
namespace {

constexpr std::uint64_t kMax32 = std::numeric_limits<std::uint32_t>::max();

std::uint32_t fnv1a(std::string_view bytes) {
  std::uint32_t h = 2166136261u;
  for (const char c : bytes) {
    h ^= static_cast<unsigned char>(c);
    h *= 16777619u;
  }
  return h;
}

// Where a hash's probe starts: its bits mixed first (names such as account
// numbers differ in a few bytes, and FNV-1a leaves their low bits close).
std::size_t home(std::uint32_t h, std::size_t mask) {
  h ^= h >> 16;
  h *= 0x45d9f3bu;
  h ^= h >> 16;
  return h & mask;
}

}  // namespace

std::uint32_t Index::hash(std::string_view name) { return fnv1a(match_form(name)); }

std::uint32_t* Index::slot_for(std::string_view form, std::uint32_t h) {
  const std::size_t mask = table_.size() - 1;
  for (std::size_t at = home(h, mask);; at = (at + 1) & mask) {
    std::uint32_t& slot = table_[at];
    if (slot == 0 || name_of(sections_[slot - 1]) == form) return &slot;
  }
}

const Index::Section* Index::find(std::string_view section) const {
  if (table_.empty()) return nullptr;
  const std::string form = match_form(section);
  const std::size_t mask = table_.size() - 1;
  for (std::size_t at = home(fnv1a(form), mask);; at = (at + 1) & mask) {
    const std::uint32_t slot = table_[at];
    if (slot == 0) return nullptr;
    if (name_of(sections_[slot - 1]) == form) return &sections_[slot - 1];
  }
}

// Keeps the table at most half full; sections go back in in file order, so
// the last section is still the last one placed (rebuild_tail relies on it).
void Index::grow_table() {
  table_.assign(table_.empty() ? 1024 : table_.size() * 2, 0);
  for (std::uint32_t n = 0; n < sections_.size(); ++n) {
    const std::string_view form = name_of(sections_[n]);
    *slot_for(form, fnv1a(form)) = n + 1;
  }
}

bool Index::add_line(std::string_view raw, std::string_view ending) {
  const std::uint64_t at = size_;
  size_ += raw.size() + ending.size();
  const LineShape line = classify(raw);
  if (line.kind == LineKind::section) {
    if (current_ != 0) sections_[current_ - 1].end = at;
    current_ = 0;
    tail_start_ = at;
    tail_is_section_ = false;
    const std::string form = match_form(line.name);
    if ((sections_.size() + 1) * 2 > table_.size()) grow_table();
    std::uint32_t* slot = slot_for(form, fnv1a(form));
    if (*slot != 0) return true;  // a later section of a name already seen: never read
    if (names_.size() + form.size() > kMax32 || sections_.size() >= kMax32) return false;
    sections_.push_back(Section{at, at, static_cast<std::uint32_t>(names_.size()),
                                static_cast<std::uint32_t>(form.size()),
                                static_cast<std::uint32_t>(keys_.size()), 0});
    names_.append(form);
    *slot = static_cast<std::uint32_t>(sections_.size());
    current_ = *slot;
    tail_is_section_ = true;
    return true;
  }
  if (line.kind == LineKind::key && current_ != 0) {
    Section& section = sections_[current_ - 1];
    if (at - section.header > kMax32 || raw.size() > kMax32 || keys_.size() >= kMax32) return false;
    keys_.push_back(Key{static_cast<std::uint32_t>(at - section.header),
                        static_cast<std::uint32_t>(raw.size()), fnv1a(match_form(line.name))});
    ++section.key_count;
  }
  return true;
}

bool Index::read_lines(LineReader& input) {
  std::string_view raw, ending;
  while (input.next(raw, ending)) {
    if (!add_line(raw, ending)) return false;
  }
  if (input.failed()) return false;
  if (current_ != 0) sections_[current_ - 1].end = size_;
  return true;
}

bool Index::build(LineReader& input) {
  *this = Index();
  if (!read_lines(input)) {
    *this = Index();
    return false;
  }
  sections_.shrink_to_fit();
  keys_.shrink_to_fit();
  names_.shrink_to_fit();
  return true;
}

bool Index::rebuild_tail(LineReader& input) {
  if (tail_is_section_) {
    // The last section is the newest in the table, the names and the keys:
    // taking it out leaves them as they were before it.
    const Section last = sections_.back();
    const std::string form(name_of(last));
    *slot_for(form, fnv1a(form)) = 0;
    names_.resize(last.name_at);
    keys_.resize(last.first_key);
    sections_.pop_back();
  }
  size_ = tail_start_;
  current_ = 0;
  tail_is_section_ = false;
  if (!read_lines(input)) {
    *this = Index();
    return false;
  }
  return true;
}

std::size_t Index::memory() const {
  return sizeof *this + sections_.capacity() * sizeof(Section) + keys_.capacity() * sizeof(Key) +
         names_.capacity() + table_.capacity() * sizeof(std::uint32_t);
}

}  // namespace miyi::ini
