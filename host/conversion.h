// The per-OS half of the console host's charset conversions (gbk_to_utf8
// and utf8_to_gbk in host/system.h): converting one character at a time.
// host/conversion.cc walks the texts character by character, the same on
// every platform; host/posix/system.cc (iconv) and host/win32/system.cc
// (the Windows code page functions) implement this class.
#pragma once

#include <string>
#include <string_view>

namespace miyi::host {

// Converts single characters in one direction. Hold one for the length of a
// text's conversion: it may keep operating-system resources. Not copyable.
class CharacterConverter {
 public:
  enum class Direction { kGbkToUtf8, kUtf8ToGbk };
  enum class Result {
    kConverted,      // `out` holds the character in the target charset
    kNotACharacter,  // the bytes are not exactly one whole source character
    kNotHeld,        // a character that the target charset cannot hold
  };

  explicit CharacterConverter(Direction direction);
  CharacterConverter(const CharacterConverter&) = delete;
  CharacterConverter& operator=(const CharacterConverter&) = delete;
  ~CharacterConverter();

  // Converts `in`, which should be exactly one character, into `out`.
  // For GBK the target may be GBK's superset GB18030: the caller keeps only
  // two-byte results.
  Result one(std::string_view in, std::string& out);

 private:
  Direction direction_;
  void* state_ = nullptr;  // the platform's descriptor, if it needs one
};

}  // namespace miyi::host
