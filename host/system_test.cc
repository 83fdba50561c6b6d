// The platform's charset conversions, as every platform's twin must behave.
#include "host/system.h"

#include <gtest/gtest.h>

#include <string>

namespace miyi::host {
namespace {

std::string u8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

TEST(Charset, EveryPuzzleCharacterSurvivesTheRoundTrip) {
  // Answers and fillers are the pairs of bytes 0xB0 to 0xDA; a person copies
  // them from the screen and types them back.
  for (int first = 0xB0; first <= 0xDA; ++first) {
    for (int second = 0xB0; second <= 0xDA; ++second) {
      const std::string gbk{static_cast<char>(first), static_cast<char>(second)};
      const std::string utf8 = gbk_to_utf8(gbk);
      ASSERT_EQ(utf8.size(), 3u) << std::hex << first << " " << second;
      ASSERT_EQ(utf8_to_gbk(utf8), gbk) << std::hex << first << " " << second;
    }
  }
}

TEST(Charset, KnownTextsAndWhatCannotBeConverted) {
  const struct {
    std::string utf8, gbk;
  } both_ways[] = {
      {"", ""},
      {"a 1\r\n", "a 1\r\n"},
      {u8(u8"觅异，答案"), "\xC3\xD9\xD2\xEC\xA3\xAC\xB4\xF0\xB0\xB8"},
  };
  for (const auto& c : both_ways) {
    EXPECT_EQ(utf8_to_gbk(c.utf8), c.gbk) << c.utf8;
    EXPECT_EQ(gbk_to_utf8(c.gbk), c.utf8) << c.utf8;
  }

  const std::string replacement = u8(u8"\uFFFD");
  const struct {
    std::string utf8, gbk;
  } to_gbk[] = {
      {u8(u8"a😀b"), "a?b"},              // not in GBK: one "?" for the character
      {"\xE8\xA7" "a", "?" "?" "a"},     // a cut sequence: one "?" per byte
      {"\xFF" "a", "?a"},
  };
  for (const auto& c : to_gbk) EXPECT_EQ(utf8_to_gbk(c.utf8), c.gbk) << c.utf8;

  const struct {
    std::string gbk, utf8;
  } to_utf8[] = {
      {"a\xB0", "a" + replacement},             // a lead byte at the end
      {"\xB0\xA1\xFF\xFF" "a", u8(u8"啊") + replacement + "a"},
  };
  for (const auto& c : to_utf8) EXPECT_EQ(gbk_to_utf8(c.gbk), c.utf8) << c.utf8;
}

}  // namespace
}  // namespace miyi::host
