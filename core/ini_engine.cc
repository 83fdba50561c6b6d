#include "core/ini_engine.h"

#include <cstring>
#include <utility>

#include "core/gbk.h"

namespace miyi::ini {
namespace {

constexpr std::size_t kChunk = 64 * 1024;

// The files are read by the platform's profile functions too: characters are
// walked as its code page does, where 0x80 and 0xFF stand alone.
bool is_first_byte(char c) { return is_code_page_first_byte(c); }
bool is_blank(char c) { return c == ' ' || c == '\t'; }

std::string_view trim_blanks(std::string_view s) {
  while (!s.empty() && is_blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && is_blank(s.back())) s.remove_suffix(1);
  return s;
}

// Offset of the first character `c` (a byte below 0x80), walking GBK
// characters so that a second byte is never taken for it; npos if none.
std::size_t find_char(std::string_view s, char c) {
  for (std::size_t at = 0; at < s.size(); at += is_first_byte(s[at]) ? 2 : 1) {
    if (s[at] == c) return at;
  }
  return std::string_view::npos;
}

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 0x20) : c; }

// Equal ignoring the case of one-byte letters; two-byte characters must be
// equal byte for byte.
bool names_equal(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t at = 0; at < a.size();) {
    if (is_first_byte(a[at])) {
      const std::size_t width = at + 1 < a.size() ? 2 : 1;
      if (a.compare(at, width, b, at, width) != 0) return false;
      at += width;
    } else {
      if (fold(a[at]) != fold(b[at])) return false;
      at += 1;
    }
  }
  return true;
}

enum class Kind { other, comment, section, key };

struct Line {
  Kind kind = Kind::other;
  std::string_view name;      // section or key, trimmed
  std::string_view value;     // trimmed, outer quotes removed
  std::size_t after_eq = 0;   // offset just past "=" in the raw line
};

Line parse(std::string_view raw) {
  Line line;
  std::size_t lead = 0;
  while (lead < raw.size() && is_blank(raw[lead])) ++lead;
  if (lead == raw.size()) return line;
  if (raw[lead] == '[') {
    line.kind = Kind::section;
    std::string_view rest = raw.substr(lead + 1);
    const std::size_t close = find_char(rest, ']');
    line.name = trim_blanks(rest.substr(0, close));
    return line;
  }
  if (raw[lead] == ';') {
    line.kind = Kind::comment;
    return line;
  }
  const std::size_t eq = find_char(raw, '=');
  if (eq == std::string_view::npos) return line;
  line.kind = Kind::key;
  line.name = trim_blanks(raw.substr(0, eq));
  line.after_eq = eq + 1;
  std::string_view value = trim_blanks(raw.substr(eq + 1));
  // A value ends at its first NUL, as the platform's reader ends it, and
  // only then are its quotes looked at: "a<NUL>b" reads as `"a`.
  value = value.substr(0, value.find('\0'));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    value = value.substr(1, value.size() - 2);
  }
  line.value = value;
  return line;
}

// Whether a raw line is a section header, without parsing further: the
// common question while passing over other sections.
bool is_header(std::string_view raw) {
  for (char c : raw) {
    if (!is_blank(c)) return c == '[';
  }
  return false;
}

}  // namespace

LineReader::LineReader(Source source) : source_(std::move(source)), buffer_(kChunk, '\0') {}

LineReader::LineReader(Source source, std::size_t buffer_size)
    : source_(std::move(source)), buffer_(buffer_size > 0 ? buffer_size : 1, '\0') {}

bool LineReader::fill() {
  if (at_end_) return false;
  if (begin_ > 0) {  // keep the unconsumed tail at the front
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);  // a very long line
  const long got = source_(buffer_.data() + end_, buffer_.size() - end_);
  if (got <= 0) {
    at_end_ = true;
    failed_ = got < 0;
    return false;
  }
  end_ += static_cast<std::size_t>(got);
  return true;
}

bool LineReader::next(std::string_view& line, std::string_view& ending) {
  if (failed_) return false;
  std::size_t scanned = 0;  // bytes of the current line known to hold no break
  for (;;) {
    const char* data = buffer_.data() + begin_;
    const std::size_t available = end_ - begin_;
    const char* lf = static_cast<const char*>(
        std::memchr(data + scanned, '\n', available - scanned));
    const std::size_t lf_at = lf ? static_cast<std::size_t>(lf - data) : available;
    const char* cr = static_cast<const char*>(std::memchr(data + scanned, '\r', lf_at - scanned));
    if (cr != nullptr) {
      const std::size_t cr_at = static_cast<std::size_t>(cr - data);
      if (cr_at + 1 == available && fill()) continue;  // is an LF next?
      data = buffer_.data() + begin_;
      const bool crlf = cr_at + 1 < end_ - begin_ && data[cr_at + 1] == '\n';
      line = std::string_view(data, cr_at);
      ending = std::string_view(data + cr_at, crlf ? 2 : 1);
      begin_ += cr_at + ending.size();
      return true;
    }
    if (lf != nullptr) {
      line = std::string_view(data, lf_at);
      ending = std::string_view(data + lf_at, 1);
      begin_ += lf_at + 1;
      return true;
    }
    scanned = available;
    if (fill()) continue;
    if (failed_ || end_ == begin_) return false;
    line = std::string_view(buffer_.data() + begin_, end_ - begin_);
    ending = std::string_view();
    begin_ = end_;
    return true;
  }
}

bool LineReader::drain(const std::function<bool(std::string_view)>& output) {
  if (failed_) return false;
  do {
    if (end_ > begin_ && !output(std::string_view(buffer_.data() + begin_, end_ - begin_))) {
      return false;
    }
    begin_ = end_ = 0;
  } while (fill());
  return !failed_;
}

std::optional<Text> find_value(LineReader& input, std::string_view section, std::string_view key) {
  std::string_view raw, ending;
  bool inside = false;
  while (input.next(raw, ending)) {
    if (!inside) {
      if (is_header(raw) && names_equal(parse(raw).name, section)) inside = true;
      continue;
    }
    const Line line = parse(raw);
    if (line.kind == Kind::section) return std::nullopt;  // only the first such section counts
    if (line.kind == Kind::key && names_equal(line.name, key)) return Text(line.value);
  }
  return std::nullopt;
}

bool store_value(LineReader& input, const Sink& output, std::string_view section,
                 std::string_view key, std::string_view value) {
  enum class State { searching, inside, done } state = State::searching;
  std::string_view raw, ending;
  // Inside the section: lines after its last key line (comments, blanks),
  // held back so that a new key can go in front of them.
  std::string held;
  bool last_unterminated = false;  // the last line passed on had no ending
  bool ok = true;
  const auto emit = [&](std::string_view bytes) {
    if (ok && !bytes.empty()) ok = output(bytes);
  };
  const auto new_key = [&] {
    std::string text;
    text.reserve(key.size() + value.size() + 3);
    text.append(key).append("=").append(value).append("\r\n");
    return text;
  };

  while (ok && state != State::done && input.next(raw, ending)) {
    switch (state) {
      case State::searching:
        emit(raw);
        emit(ending);
        if (is_header(raw) && names_equal(parse(raw).name, section)) state = State::inside;
        break;
      case State::inside: {
        const Line line = parse(raw);
        if (line.kind == Kind::section) {
          emit(new_key());
          emit(held);
          emit(raw);
          emit(ending);
          state = State::done;
        } else if (line.kind == Kind::key) {
          emit(held);
          held.clear();
          if (names_equal(line.name, key)) {
            emit(raw.substr(0, line.after_eq));
            emit(value);
            emit(ending.empty() ? std::string_view("\r\n") : ending);
            state = State::done;
          } else {
            emit(raw);
            emit(ending);
          }
        } else {
          held.append(raw).append(ending);
        }
        break;
      }
      case State::done:
        break;
    }
    last_unterminated = ending.empty();
  }
  if (state == State::done) return ok && input.drain(output);  // the rest passes as it is
  if (input.failed()) return false;
  if (state == State::inside) {
    if (last_unterminated && held.empty()) emit("\r\n");
    emit(new_key());
    emit(held);
  } else if (state == State::searching) {
    if (last_unterminated) emit("\r\n");
    std::string text;
    text.append("[").append(section).append("]\r\n").append(new_key());
    emit(text);
  }
  return ok;
}

LineShape classify(std::string_view raw) {
  static_assert(static_cast<int>(Kind::key) == static_cast<int>(LineKind::key));
  const Line line = parse(raw);
  return LineShape{static_cast<LineKind>(line.kind), line.name, line.value};
}

// Walks the characters as names_equal does, so that match_form(a) ==
// match_form(b) exactly when names_equal(a, b).
std::string match_form(std::string_view name) {
  std::string form(name);
  for (std::size_t at = 0; at < form.size();) {
    if (is_first_byte(form[at])) {
      at += 2;
    } else {
      form[at] = fold(form[at]);
      at += 1;
    }
  }
  return form;
}

std::string_view plain_name(std::string_view name) { return trim_blanks(name); }

bool shape_safe(std::string_view section, std::string_view key, std::string_view value) {
  const auto has_break = [](std::string_view s) {
    return s.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
  };
  // The platform's reader pairs a lone first byte with the byte after it:
  // the "]" or "=" after a name, the line break after a value.
  const auto ends_in_lone_first_byte = [](std::string_view s) {
    std::size_t at = 0;
    while (at < s.size()) at += is_first_byte(s[at]) ? 2 : 1;
    return at > s.size();
  };
  if (section.empty() || key.empty()) return false;
  if (has_break(section) || has_break(key) || has_break(value)) return false;
  if (find_char(section, ']') != std::string_view::npos) return false;
  if (find_char(key, '=') != std::string_view::npos) return false;
  if (key.front() == '[' || key.front() == ';') return false;
  return !ends_in_lone_first_byte(section) && !ends_in_lone_first_byte(key) &&
         !ends_in_lone_first_byte(value);
}

}  // namespace miyi::ini
