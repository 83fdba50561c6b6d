// Fuzz target for the text operations and conversions of core/, and for the
// conversion between file names and texts. The input gives two numbers (its
// first eight bytes) and three texts (the rest, split at NUL bytes, which no
// text holds). Checked for every input:
//   - text_split's pieces joined with the delimiter give the text back;
//   - trimming and stripping never end in half a character, and are
//     idempotent (trimming: for texts of whole characters); replacing whole characters by whole characters, and
//     upper-casing, end in half a character only when the text did;
//   - a position text_find gives holds what was sought, at a character start;
//   - text_compare is an order that agrees with byte equality;
//   - text_to_int(int_to_text(n)) == n, and likewise through double_to_text;
//   - bytes_to_text stops at the first zero byte;
//   - a path converted to a text converts back to the same path, and a text
//     converted to a path converts back to the same text.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "core/convert.h"
#include "core/text.h"
#include "fuzz/smoke.h"
#include "platform/native_path.h"

namespace {

using miyi::Text;

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "text_fuzz: %s\n", what);
    std::abort();
  }
}

// Whether walking the text's characters (a byte of 0x80 or above starts two)
// ends inside one.
bool ends_in_half(std::string_view text) {
  std::size_t at = 0;
  while (at < text.size()) at += static_cast<unsigned char>(text[at]) >= 0x80 ? 2 : 1;
  return at > text.size();
}

bool is_character_start(std::string_view text, std::size_t offset) {
  std::size_t at = 0;
  while (at < offset) at += static_cast<unsigned char>(text[at]) >= 0x80 ? 2 : 1;
  return at == offset;
}

int sign(int n) { return (n > 0) - (n < 0); }

void check_split(const Text& text, const Text& delimiter) {
  const miyi::TextList pieces = miyi::text_split(text, delimiter);
  if (text.empty()) return check(pieces.empty(), "split of the empty text");
  Text joined;
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) joined += delimiter;
    joined += pieces[i];
  }
  // An empty remainder after the last delimiter adds no piece.
  check(joined == text || joined + delimiter == text, "split pieces joined differ from the text");
}

void check_spaces(const Text& text) {
  const Text trimmed = miyi::text_trim(text);
  check(!ends_in_half(trimmed), "text_trim ends in half a character");
  // Spaces before a lone first byte stay (the cut ends before it), so only
  // a text of whole characters trims to a text that trims to itself.
  if (!ends_in_half(text)) check(miyi::text_trim(trimmed) == trimmed, "text_trim is not idempotent");
  check(text.find(trimmed) != Text::npos, "text_trim gives bytes the text lacks");
  const Text stripped = miyi::text_strip_spaces(text);
  check(!ends_in_half(stripped), "text_strip_spaces ends in half a character");
  check(miyi::text_strip_spaces(stripped) == stripped, "text_strip_spaces is not idempotent");
  check(miyi::text_find(stripped, " ") == -1 && miyi::text_find(stripped, "\xA1\xA1") == -1,
        "text_strip_spaces leaves a space");
  const Text upper = miyi::text_upper(text);
  check(upper.size() == text.size(), "text_upper changes the length");
  check(ends_in_half(upper) == ends_in_half(text), "text_upper changes where characters end");
  check(miyi::text_upper(upper) == upper, "text_upper is not idempotent");
}

void check_find_and_replace(const Text& text, const Text& sought, const Text& replacement,
                            int start) {
  const int found = miyi::text_find(text, sought);
  if (found != -1) {
    const auto offset = static_cast<std::size_t>(found - 1);
    check(text.compare(offset, sought.size(), sought) == 0, "text_find's position holds other bytes");
    check(is_character_start(text, offset), "text_find's position is inside a character");
  }
  const Text replaced = miyi::text_replace(text, sought, replacement);
  if (found == -1) check(replaced == text, "text_replace changed a text without a match");
  if (!ends_in_half(sought) && !ends_in_half(replacement)) {
    check(ends_in_half(replaced) == ends_in_half(text),
          "text_replace of whole characters changed where characters end");
  }
  // Any start, count and case: no crash, and nothing before the start moves.
  const Text from_start = miyi::text_replace(text, sought, replacement, start, start % 3, true);
  const std::size_t kept = start > 1 ? static_cast<std::size_t>(start - 1) : 0;
  if (kept < text.size()) {
    check(from_start.compare(0, kept, text, 0, kept) == 0, "text_replace moved bytes before its start");
  }
  miyi::text_find(text, sought, start, true);
  miyi::text_between(text, sought, replacement, start);
  miyi::text_middle(text, start, start / 7);
}

void check_compare(const Text& a, const Text& b) {
  const int ab = miyi::text_compare(a, b);
  check(sign(ab) == -sign(miyi::text_compare(b, a)), "text_compare is not antisymmetric");
  check((ab == 0) == (a == b), "text_compare disagrees with equality");
  check(miyi::text_compare(a, a) == 0, "text_compare of a text with itself");
}

void check_numbers(std::int32_t n, std::int32_t m, const Text& text, std::string_view raw) {
  check(miyi::text_to_int(miyi::int_to_text(n)) == n, "text_to_int(int_to_text(n)) != n");
  check(miyi::text_to_int(miyi::double_to_text(static_cast<double>(n))) == n,
        "text_to_int(double_to_text(n)) != n");
  // Any double: the two numbers' bits, infinities and NaNs among them.
  const std::uint64_t bits = (static_cast<std::uint64_t>(static_cast<std::uint32_t>(m)) << 32) |
                             static_cast<std::uint32_t>(n);
  double value = 0;
  std::memcpy(&value, &bits, sizeof value);
  const Text shown = miyi::double_to_text(value);
  check(!shown.empty() && shown.find(',') == Text::npos, "double_to_text gave no text or a comma");
  miyi::text_to_int(text);
  const miyi::Bytes bytes(raw.begin(), raw.end());
  check(miyi::bytes_to_text(bytes) == raw.substr(0, raw.find('\0')),
        "bytes_to_text does not stop at the first zero");
  miyi::DateTime date;
  date.year = 100 + static_cast<int>(static_cast<std::uint32_t>(n) % 9900);
  date.month = 1 + static_cast<int>(static_cast<std::uint32_t>(m) % 12);
  date.day = 1 + static_cast<int>((static_cast<std::uint32_t>(m) >> 4) % 31);
  date.hour = static_cast<int>((static_cast<std::uint32_t>(m) >> 9) % 24);
  date.minute = static_cast<int>((static_cast<std::uint32_t>(m) >> 14) % 60);
  date.second = static_cast<int>((static_cast<std::uint32_t>(m) >> 20) % 60);
  const Text day = miyi::date_to_text(date);
  check(miyi::text_to_int(day) == date.year, "date_to_text does not start with the year");
  check(!ends_in_half(day), "date_to_text ends in half a character");
}

void check_paths(const std::string& bytes) {
  if (const auto text = miyi::platform::text_from_native_path(bytes)) {
    check(miyi::platform::native_path_from_text(*text) == bytes, "a path does not come back");
  }
  if (const auto path = miyi::platform::native_path_from_text(bytes)) {
    check(miyi::platform::text_from_native_path(*path) == bytes, "a text does not come back");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::int32_t n = 0, m = 0;
  if (size >= 8) {
    std::memcpy(&n, data, 4);
    std::memcpy(&m, data + 4, 4);
    data += 8;
    size -= 8;
  }
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  Text parts[3];
  std::size_t at = 0;
  for (int i = 0; i < 3 && at <= input.size(); ++i) {
    const std::size_t end = i == 2 ? input.size() : std::min(input.find('\0', at), input.size());
    parts[i] = Text(input.substr(at, end - at));
    at = end + 1;
  }
  const Text& text = parts[0];
  const Text& sought = parts[1];
  const Text& replacement = parts[2];

  check_split(text, sought);
  check_spaces(text);
  check_find_and_replace(text, sought, replacement, static_cast<int>(m % 1000));
  check_compare(text, sought);
  check_numbers(n, m, text, input);
  check_paths(text);
  return 0;
}

// Smoke inputs: two numbers, then texts of spaces, GBK characters, lone
// first bytes, delimiters and UTF-8.
std::string miyi::fuzz::smoke_input(SmokeRandom& random) {
  std::string input;
  for (int i = 0; i < 8; ++i) input += static_cast<char>(random.next());
  const int count = static_cast<int>(random.below(14));
  for (int i = 0; i < count; ++i) {
    input += random.pick({"a", "Ab", " ", "\xA1\xA1", "\xB0\xA1", "\xB0", "\x80", "\xFF", "\r\n",
                          std::string_view("\0", 1), "-12", "2147483648", "\xA3\xB1", "\xC3\xB6",
                          "\xF0\x9F\x98\x80", "\x81\x30\x8B\x32", "/", ".."});
  }
  return input;
}
