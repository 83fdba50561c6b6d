// The value types every part of the plug-in passes around.
//
// A Text is a string of GBK bytes (code page 936): a byte below 0x80 is a
// one-byte character, a byte of 0x80 or above starts a two-byte character.
// Lengths and positions count bytes. Value semantics make every result a
// fresh text that its caller owns; a missing text is simply the empty one.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace miyi {

using Text = std::string;
using Bytes = std::vector<std::uint8_t>;
// Elements are addressed 1..n by the routines that describe them; in code
// they are list[0]..list[n-1].
using TextList = std::vector<Text>;

// A local calendar date and time of day to the second, without a time zone.
struct DateTime {
  int year = 100;   // 100..9999
  int month = 1;    // 1..12
  int day = 1;      // 1..31
  int hour = 0;     // 0..23
  int minute = 0;   // 0..59
  int second = 0;   // 0..59

  friend bool operator==(const DateTime&, const DateTime&) = default;
};

}  // namespace miyi
