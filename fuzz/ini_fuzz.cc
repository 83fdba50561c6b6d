// Fuzz target for the INI engine. Any bytes are a file; a few of them choose
// a section, a key and a value. Whatever the file holds:
//   - a write the engine accepts reads back as written;
//   - writing the same value again changes nothing;
//   - the bytes before the edited line, and the file's other sections' values
//     that were readable before, stay readable and unchanged.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "core/ini_engine.h"
#include "fuzz/smoke.h"

namespace {

using miyi::ini::LineReader;

miyi::ini::Source from(std::string_view text) {
  return [text](char* buffer, std::size_t size) mutable -> long {
    const std::size_t n = text.size() < size ? text.size() : size;
    text.copy(buffer, n);
    text.remove_prefix(n);
    return static_cast<long>(n);
  };
}

std::string edit(std::string_view file, std::string_view section, std::string_view key,
                 std::string_view value) {
  LineReader lines(from(file));
  std::string out;
  if (!miyi::ini::store_value(lines, [&out](std::string_view b) { out.append(b); return true; },
                              section, key, value)) {
    std::abort();
  }
  return out;
}

std::optional<std::string> lookup(std::string_view file, std::string_view section,
                                  std::string_view key) {
  LineReader lines(from(file));
  return miyi::ini::find_value(lines, section, key);
}

// Names drawn from a small alphabet so that they often meet the file's own.
std::string name_from(const std::uint8_t* data, std::size_t size, std::size_t seed) {
  static const char alphabet[] = "ab[]=; \t\xB0\x5D\r\n";
  std::string name;
  for (std::size_t i = 0; i < 1 + seed % 3 && i < size; ++i) {
    name += alphabet[data[(seed + i * 7) % size] % (sizeof alphabet - 1)];
  }
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 4) return 0;
  const std::string file(reinterpret_cast<const char*>(data), size);
  // Names as the settings store hands them over.
  const std::string section(miyi::ini::plain_name(name_from(data, size, data[0])));
  const std::string key(miyi::ini::plain_name(name_from(data, size, data[1])));
  // Values without blanks or quotes at their ends read back unchanged.
  const std::string value = "v" + std::to_string(data[2]) + "w";
  if (!miyi::ini::shape_safe(section, key, value)) return 0;

  const std::string once = edit(file, section, key, value);
  if (lookup(once, section, key) != value) std::abort();
  if (edit(once, section, key, value) != once) std::abort();
  // Another section's value is untouched.
  const std::string other = section == "a" ? "b" : "a";
  if (lookup(file, other, key) != lookup(once, other, key)) std::abort();
  return 0;
}

// Smoke inputs: three bytes that choose the names and the value, then pieces
// of INI files.
std::string miyi::fuzz::smoke_input(SmokeRandom& random) {
  std::string input;
  for (int i = 0; i < 3; ++i) input += static_cast<char>(random.next());
  const int count = 1 + static_cast<int>(random.below(12));
  for (int i = 0; i < count; ++i) {
    input += random.pick({"[a]", "[b]", "[ a ]", "k=v", "a=1", "b=2", ";c", "\r\n", "\n", "\r", "=",
                          "]", "[", "\xB0\x5D", " ", "\t", "\"q\"", "'x'", "[a]junk",
                          std::string_view("\0", 1), "\x80", "\xFF", "\xBB"});
  }
  return input;
}
