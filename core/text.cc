#include "core/text.h"

#include <cstring>

#include "core/gbk.h"

namespace miyi {
namespace {

// The text operations' own rule (core/gbk.h), not the code page's.
bool is_first_byte(char c) { return is_text_first_byte(c); }

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

// Whether `sought` stands at byte offset `at` of `text`; the caller has made
// sure enough bytes remain.
bool matches_at(const Text& text, std::size_t at, const Text& sought, bool ignore_case) {
  if (!ignore_case) return std::memcmp(text.data() + at, sought.data(), sought.size()) == 0;
  for (std::size_t i = 0; i < sought.size(); ++i) {
    if (fold(text[at + i]) != fold(sought[i])) return false;
  }
  return true;
}

// The byte offset a 1-based start position asks for: 0 for start 0, 1 and
// anything below.
std::size_t start_offset(int start) { return start > 1 ? static_cast<std::size_t>(start - 1) : 0; }

bool is_full_width_space(const Text& text, std::size_t at) {
  return at + 1 < text.size() && static_cast<unsigned char>(text[at]) == 0xA1 &&
         static_cast<unsigned char>(text[at + 1]) == 0xA1;
}

}  // namespace

int text_len(const Text& text) { return static_cast<int>(text.size()); }

Text text_concat(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (auto part : parts) total += part.size();
  Text result;
  result.reserve(total);
  for (auto part : parts) result.append(part);
  return result;
}

int text_compare(const Text& a, const Text& b) {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  const int order = std::memcmp(a.data(), b.data(), common);  // unsigned bytes
  if (order != 0) return order < 0 ? -1 : 1;
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

Text text_copy(const char* host_string) { return host_string ? Text(host_string) : Text(); }

int text_find(const Text& text, const Text& sought, int start, bool ignore_case) {
  const std::size_t n = text.size();
  const std::size_t m = sought.size();
  std::size_t at = start_offset(start);
  if (m == 0 || at >= n) return -1;
  while (n - at >= m) {
    if (matches_at(text, at, sought, ignore_case)) return static_cast<int>(at) + 1;
    if (is_first_byte(text[at])) {
      if (at + 1 >= n) return -1;  // lone first byte: it was tried, nothing follows
      at += 2;
    } else {
      at += 1;
    }
  }
  return -1;
}

Text text_replace(const Text& text, const Text& sought, const Text& replacement, int start,
                  int count, bool ignore_case) {
  const std::size_t n = text.size();
  const std::size_t m = sought.size();
  std::size_t at = start_offset(start);
  if (n == 0 || m == 0 || at >= n || count == 0) return text;

  Text result(text, 0, at);  // may cut a character; that is the caller's start
  int replaced = 0;
  while (n - at >= m) {
    if (matches_at(text, at, sought, ignore_case)) {
      result += replacement;
      at += m;
      if (++replaced == count) break;
      continue;
    }
    const std::size_t step = is_first_byte(text[at]) ? 2 : 1;
    if (at + step > n) break;  // lone first byte: copied with the rest below
    result.append(text, at, step);
    at += step;
  }
  result.append(text, at, Text::npos);
  return result;
}

TextList text_split(const Text& text, const Text& delimiter) {
  TextList pieces;
  const std::size_t n = text.size();
  const std::size_t m = delimiter.size();
  if (n == 0) return pieces;
  if (m == 0) return {text};
  std::size_t piece = 0;
  std::size_t at = 0;
  while (n - at >= m) {
    if (std::memcmp(text.data() + at, delimiter.data(), m) == 0) {
      pieces.emplace_back(text, piece, at - piece);
      at += m;
      piece = at;
      continue;
    }
    const std::size_t step = is_first_byte(text[at]) ? 2 : 1;
    if (at + step > n) break;  // lone first byte
    at += step;
  }
  if (piece < n) pieces.emplace_back(text, piece, Text::npos);
  return pieces;
}

Text text_trim(const Text& text) {
  const std::size_t n = text.size();
  std::size_t at = 0;
  while (at < n) {
    if (text[at] == ' ') {
      at += 1;
    } else if (is_full_width_space(text, at)) {
      at += 2;
    } else {
      break;
    }
  }
  const std::size_t begin = at;
  std::size_t end = n;
  std::size_t run = Text::npos;  // where the latest unbroken run of spaces began
  while (at < n) {
    if (text[at] == ' ' || is_full_width_space(text, at)) {
      if (run == Text::npos) run = at;
      at += text[at] == ' ' ? 1 : 2;
    } else if (is_first_byte(text[at])) {
      if (at + 1 >= n) {  // lone first byte: the result ends before it
        return Text(text, begin, at - begin);
      }
      run = Text::npos;
      at += 2;
    } else {
      run = Text::npos;
      at += 1;
    }
  }
  if (run != Text::npos) end = run;
  return Text(text, begin, end - begin);
}

Text text_strip_spaces(const Text& text) {
  const std::size_t n = text.size();
  Text result;
  result.reserve(n);
  for (std::size_t at = 0; at < n;) {
    if (text[at] == ' ') {
      at += 1;
    } else if (is_first_byte(text[at])) {
      if (at + 1 >= n) break;  // lone first byte at the end is dropped
      if (!is_full_width_space(text, at)) result.append(text, at, 2);
      at += 2;
    } else {
      result += text[at];
      at += 1;
    }
  }
  return result;
}

Text text_upper(const Text& text) {
  const std::size_t n = text.size();
  Text result = text;
  for (std::size_t at = 0; at < n;) {
    if (is_first_byte(text[at])) {
      at += 2;  // second byte unchanged; a lone first byte stays
    } else {
      if (text[at] >= 'a' && text[at] <= 'z') result[at] = static_cast<char>(text[at] - 0x20);
      at += 1;
    }
  }
  return result;
}

Text text_middle(const Text& text, int start, int length) {
  // Tested before subtracting: start - 1 overflows for the smallest int where
  // long has 32 bits, as on the plug-in's platform.
  if (start < 1 || length <= 0) return Text();
  const auto offset = static_cast<std::size_t>(start) - 1;
  if (offset >= text.size()) return Text();
  return Text(text, offset, static_cast<std::size_t>(length));
}

Text text_from_byte(int code) {
  const auto byte = static_cast<unsigned char>(static_cast<unsigned>(code) & 0xFFu);
  if (byte == 0) return Text();
  return Text(1, static_cast<char>(byte));
}

Text text_between(const Text& text, const Text& left, const Text& right, int start) {
  const int p = text_find(text, left, start, true);
  if (p == -1) return Text();
  const int b = p + text_len(left);
  const int e = text_find(text, right, b, true);
  if (e == -1) return Text();
  return text_middle(text, b, e - b);
}

}  // namespace miyi
