// The INI engine: reads and edits INI text in the format that the host
// platform's private-profile functions read and write, working line by line
// on a stream of bytes so that a store of any size is scanned once, in
// constant memory, and every byte it does not change passes through as it
// was.
//
// Reading, as those functions do:
//   - a line whose first non-blank character is "[" opens a section named by
//     what follows, up to the first "]" character (never a GBK second byte),
//     or the rest of the line without one; blanks (space, tab) around the
//     name are ignored;
//   - a line whose first non-blank character is ";" is a comment;
//   - any other line with "=" inside a section is a key: blanks around the
//     key and the value are ignored, the value ends at its first NUL, and
//     then one outer pair of matching quotes is removed from it; lines
//     without "=" are ignored;
//   - names match ignoring the case of ASCII letters (one-byte characters
//     only); the first occurrence of a section, and of a key within it, wins;
//   - characters are walked as code page 936 walks them: 0x81..0xFE starts a
//     two-byte character, 0x80 and 0xFF stand alone (core/gbk.h);
//   - lines end in CR LF, LF or CR; the last may end without one.
// Writing replaces the value of an existing key after its "=", or adds
// "key=value" after the section's last key line, or adds the section at the
// end; every added line ends in CR LF.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/types.h"

namespace miyi::ini {

// Supplies bytes: fills `buffer` with up to `size` bytes and gives the count,
// 0 at the end, -1 on an error.
using Source = std::function<long(char* buffer, std::size_t size)>;
// Takes output bytes; false stops the edit.
using Sink = std::function<bool(std::string_view bytes)>;

// Splits a stream into lines without copying them one by one. Memory grows
// only with the longest line.
class LineReader {
 public:
  explicit LineReader(Source source);
  // With a first buffer of `buffer_size` bytes (it still grows for a long
  // line): for short inputs.
  LineReader(Source source, std::size_t buffer_size);

  // The next line without its ending, and the ending ("\r\n", "\n", "\r", or
  // empty for a last line without one). The views stay valid until the next
  // call. False at the end of the input or after a read error.
  bool next(std::string_view& line, std::string_view& ending);
  bool failed() const { return failed_; }
  // Hands everything not yet returned as lines to `output` as it stands, in
  // large pieces. False when the output refused bytes or the input failed.
  bool drain(const std::function<bool(std::string_view)>& output);

 private:
  bool fill();  // reads more; false when nothing more came

  Source source_;
  std::string buffer_;
  std::size_t begin_ = 0;  // first unconsumed byte
  std::size_t end_ = 0;    // one past the last byte read
  bool at_end_ = false;
  bool failed_ = false;
};

// The value stored under `key` in `section`, or nothing when the section or
// the key is missing. The names are compared as given.
std::optional<Text> find_value(LineReader& input, std::string_view section, std::string_view key);

// Copies the input to `output` with `value` stored under `key` in `section`.
// The names are written as given; the caller has made sure that they and the
// value keep the file's shape (shape_safe). False when the output refused
// bytes or the input failed.
bool store_value(LineReader& input, const Sink& output, std::string_view section,
                 std::string_view key, std::string_view value);

// One line as reading classifies it, for the store's index (core/ini_index.h),
// which must see lines exactly as find_value and store_value do.
enum class LineKind { other, comment, section, key };
struct LineShape {
  LineKind kind = LineKind::other;
  std::string_view name;   // a section's or key's name, as matching compares it
  std::string_view value;  // a key's value, as find_value gives it
};
// The views point into `raw`.
LineShape classify(std::string_view raw);

// A name in the form in which two names that match are equal byte for byte
// (one-byte letters folded to lower case, two-byte characters kept): what
// an index may hash and compare.
std::string match_form(std::string_view name);

// A caller's section or key name as the file can hold it: without the
// blanks (space, tab) at its ends, which reading ignores around the file's
// own names; a name kept with them could be written but never found.
std::string_view plain_name(std::string_view name);

// Whether writing these texts keeps the file's shape: no CR, LF or NUL
// anywhere; no "]" character in the section; no "=" character in the key; a
// key that does not start with "[" or ";"; neither name empty; and none of
// the three ending in a lone first byte, which the platform's reader pairs
// with the byte after it: the "]" or "=" after a name, the line break after
// a value (in a file with LF endings the next line then joins the value).
bool shape_safe(std::string_view section, std::string_view key, std::string_view value);

}  // namespace miyi::ini
