// The console host's conversions between GBK and UTF-8, portable: they walk
// the texts character by character and leave each character to the
// platform's CharacterConverter (host/conversion.h).
#include "host/conversion.h"

#include <cstddef>

#include "host/system.h"

namespace miyi::host {
namespace {

constexpr char kReplacementCharacter[] = "\xEF\xBF\xBD";  // U+FFFD in UTF-8

// The length of the UTF-8 sequence that starts with `lead`, 0 when `lead`
// cannot start one.
std::size_t utf8_length(unsigned char lead) {
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) return 2;
  if (lead >= 0xE0 && lead <= 0xEF) return 3;
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  return 0;
}

}  // namespace

std::string gbk_to_utf8(std::string_view gbk) {
  // Walks characters as the plug-in does: a byte below 0x80 alone, any other
  // byte with the one after it.
  CharacterConverter converter(CharacterConverter::Direction::kGbkToUtf8);
  std::string out;
  std::string character;
  std::size_t at = 0;
  while (at < gbk.size()) {
    const auto lead = static_cast<unsigned char>(gbk[at]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++at;
      continue;
    }
    if (at + 1 < gbk.size() && converter.one(gbk.substr(at, 2), character) ==
                                   CharacterConverter::Result::kConverted) {
      out += character;
    } else {
      out += kReplacementCharacter;
    }
    at += 2;
  }
  return out;
}

std::string utf8_to_gbk(std::string_view utf8) {
  CharacterConverter converter(CharacterConverter::Direction::kUtf8ToGbk);
  std::string out;
  std::string character;
  std::size_t at = 0;
  while (at < utf8.size()) {
    const auto lead = static_cast<unsigned char>(utf8[at]);
    if (lead < 0x80) {
      out += static_cast<char>(lead);
      ++at;
      continue;
    }
    const std::size_t length = utf8_length(lead);
    const auto result = (length == 0 || at + length > utf8.size())
                            ? CharacterConverter::Result::kNotACharacter
                            : converter.one(utf8.substr(at, length), character);
    if (result == CharacterConverter::Result::kNotACharacter) {
      out += '?';  // a broken sequence loses only its first byte
      ++at;
      continue;
    }
    // A character that GBK lacks goes as a whole, as one "?" (GB18030's
    // four-byte forms are not GBK).
    out += result == CharacterConverter::Result::kConverted && character.size() == 2 ? character
                                                                                      : "?";
    at += length;
  }
  return out;
}

}  // namespace miyi::host
