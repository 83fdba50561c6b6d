// The two rules for where a GBK character starts, kept apart on purpose.
//
// The game's text operations count a byte of 0x80 or above as the first byte
// of a two-byte character: that is how texts are measured, cut and compared
// everywhere in the game, and replies depend on it byte for byte.
//
// The host platform's code page 936 starts two-byte characters with
// 0x81..0xFE only; 0x80 (the euro sign) and 0xFF are characters of one byte.
// Whatever must see bytes as the platform does uses that rule: the INI
// engine's scanning of files that the platform's profile functions also read
// and write, and the cutting of file paths that the platform hands us.
#pragma once

namespace miyi {

// The text operations' rule: 0x80..0xFF starts a two-byte character.
constexpr bool is_text_first_byte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

// Code page 936's rule: 0x81..0xFE starts a two-byte character.
constexpr bool is_code_page_first_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return byte >= 0x81 && byte <= 0xFE;
}

}  // namespace miyi
