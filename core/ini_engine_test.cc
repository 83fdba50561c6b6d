// The INI engine against files as the host platform's profile functions and
// people with editors leave them: every case is a whole file before, one
// call, and the whole file after.
#include "core/ini_engine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>

namespace miyi::ini {
namespace {

// A source that hands the text out `chunk` bytes at a time, so that lines
// and CR LF pairs cross the reader's refills.
Source memory_source(const std::string& text, std::size_t chunk = 1 << 20) {
  auto offset = std::make_shared<std::size_t>(0);
  return [text, chunk, offset](char* buffer, std::size_t size) -> long {
    const std::size_t n = std::min({size, chunk, text.size() - *offset});
    std::copy_n(text.data() + *offset, n, buffer);
    *offset += n;
    return static_cast<long>(n);
  };
}

std::optional<Text> read(const std::string& file, std::string_view section, std::string_view key,
                         std::size_t chunk = 1 << 20) {
  LineReader lines(memory_source(file, chunk));
  return find_value(lines, section, key);
}

std::string write(const std::string& file, std::string_view section, std::string_view key,
                  std::string_view value, std::size_t chunk = 1 << 20) {
  LineReader lines(memory_source(file, chunk));
  std::string out;
  const bool ok = store_value(lines, [&out](std::string_view b) { out.append(b); return true; },
                              section, key, value);
  EXPECT_TRUE(ok);
  return out;
}

TEST(IniRead, FollowsTheProfileFunctions) {
  struct Case {
    std::string file, section, key;
    std::optional<std::string> value;
  } cases[] = {
      {"[s]\r\nk=v1\r\nk=v2", "s", "k", "v1"},                 // first key wins
      {"[s]\r\n[s]\r\nk=v", "s", "k", std::nullopt},            // first section wins
      {"[ sec ]\r\n k = \"  v \" \r\n", "sec", "k", "  v "},    // blanks, then quotes
      {"[s]\r\nk='v'\r\n", "s", "k", "v"},
      {"[s]\r\nk=\"v'\r\n", "s", "k", "\"v'"},                  // mixed quotes stay
      {"[s]\r\nk=\"\r\n", "s", "k", "\""},                      // one quote is no pair
      {"[s]\r\n;k=v\r\n", "s", ";k", std::nullopt},             // comment
      {"[s]\r\n;k=v\r\n", "s", "k", std::nullopt},
      {"[s]\r\n  ;k=v\r\n", "s", "k", std::nullopt},
      {"[s]\r\nk=;x\r\n", "s", "k", ";x"},                      // no inline comments
      {"[s]\r\nk=#x\r\n", "s", "k", "#x"},
      {"[sec]whoops]\r\nk=v\r\n", "sec", "k", "v"},
      {"[S]k=v\r\n", "S", "k", std::nullopt},                   // rest of a header is ignored
      {"[S   \r\nk=v", "S", "k", "v"},                          // header without "]"
      {"k=v\r\n[S]\r\n", "S", "k", std::nullopt},               // keys before any section
      {"[Sec]\r\nKey=V\r\n", "sEC", "kEY", "V"},                // ASCII case ignored
      {"[s]\nk=lf\n", "s", "k", "lf"},                          // LF only
      {"[s]\rk=cr\r", "s", "k", "cr"},                          // CR only
      {"[s]\r\n\r\n\r\nk=v", "s", "k", "v"},                    // blank lines, no final break
      {"[s]\r\njunk line\r\nk=v\r\n", "s", "k", "v"},
      {"[s]\r\nk=\r\n", "s", "k", ""},
      {"\xEF\xBB\xBF[s]\r\nk=v\r\n", "s", "k", std::nullopt},  // a BOM belongs to the line
      {"[a]\r\nk=1\r\n[b]\r\nk=2\r\n", "b", "k", "2"},
      {"[a]\r\nk=1\r\n[b]\r\n", "b", "k", std::nullopt},
      // 0x80 and 0xFF are characters of one byte in code page 936.
      {"[\x80]\nk=v", "\x80", "k", "v"},
      {"[\xFF]\r\nk=v\r\n", "\xFF", "k", "v"},
      {"[a\x80]b]\r\nk=v\r\n", "a\x80", "k", "v"},
      {"[s]\r\nk\xFF=v\r\n", "s", "k\xFF", "v"},
      // A value ends at its first NUL before its quotes are looked at.
      {std::string("[s]\r\nk=\"a\0b\"\r\n", 13), "s", "k", "\"a"},
      {std::string("[s]\r\nk='a'\0'\r\n", 13), "s", "k", "a"},
      {std::string("[s]\r\nk=a\0b\r\n", 11), "s", "k", "a"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    EXPECT_EQ(read(c.file, c.section, c.key), c.value);
  }
}

TEST(IniRead, TwoByteCharactersAreNeverDelimitersOrFolded) {
  // 0xB0 0x5D is one character whose second byte is "]"; 0xB0 0x41 one whose
  // second byte is "A".
  EXPECT_EQ(read("[\xB0\x5D]\r\nk=v\r\n", "\xB0\x5D", "k"), "v");
  EXPECT_EQ(read("[\xB0\x41]\r\nk=v\r\n", "\xB0\x61", "k"), std::nullopt);
  EXPECT_EQ(read("[10001]\r\n积分 = 100\r\n", "10001", "积分"), "100");
}

TEST(IniRead, LinesThatCrossRefillsReadTheSame) {
  std::string file = "[x]\r\n";
  for (int i = 0; i < 200; ++i) file += "k" + std::to_string(i) + "=" + std::string(i, 'v') + "\r\n";
  file += "[target]\r\nkey=found\r\n";
  for (std::size_t chunk : {1u, 2u, 3u, 7u, 64u}) {
    SCOPED_TRACE(chunk);
    EXPECT_EQ(read(file, "target", "key", chunk), "found");
    EXPECT_EQ(read(file, "x", "k150", chunk), std::string(150, 'v'));
  }
  // A CR LF split between two refills is one line break, not two.
  EXPECT_EQ(read("[s]\r\n\r\nk=v\r\n", "s", "k", 4), "v");
}

TEST(IniWrite, EditsInPlaceAsTheProfileFunctionsDo) {
  struct Step {
    std::string section, key, value;
  };
  struct Case {
    std::string before;
    std::vector<Step> steps;
    std::string after;
  } cases[] = {
      {"[S]\r\nKey=Val", {{"S", "KEY", "V2"}}, "[S]\r\nKey=V2\r\n"},
      {"[S]\r\nb=1\r\na=1\r\n",
       {{"S", "z", ""}, {"S", "b", ""}, {"S", "y", ""}, {"S", "a", ""}},
       "[S]\r\nb=\r\na=\r\nz=\r\ny=\r\n"},
      {";c0\r\n[S]\r\n;c1\r\nb=1\r\n;c2\r\na=1\r\n",
       {{"S", "z", ""}, {"S", "y", ""}, {"S", "a", ""}, {"S", "b", ""}},
       ";c0\r\n[S]\r\n;c1\r\nb=\r\n;c2\r\na=\r\nz=\r\ny=\r\n"},
      {"", {{"A", "k1", "1"}, {"A", "k2", "2"}, {"B", "k3", "3"}},
       "[A]\r\nk1=1\r\nk2=2\r\n[B]\r\nk3=3\r\n"},
      {"[10001]\r\n积分 = 100\r\n签到天数=7\r\n", {{"10001", "积分", "105"}},
       "[10001]\r\n积分 =105\r\n签到天数=7\r\n"},
      // A new key goes after the last key line, in front of the comments and
      // blank lines that close the section, and before the next header.
      {"[a]\r\nk=1\r\n; note\r\n\r\n[b]\r\nk=2\r\n", {{"a", "n", "9"}},
       "[a]\r\nk=1\r\nn=9\r\n; note\r\n\r\n[b]\r\nk=2\r\n"},
      // Header alone, no final line break.
      {"[a]", {{"a", "k", "v"}}, "[a]\r\nk=v\r\n"},
      // LF-only files keep their endings; only added lines are CR LF.
      {"[a]\nk=1\nj=2\n", {{"a", "k", "5"}, {"a", "n", "6"}}, "[a]\nk=5\nj=2\nn=6\r\n"},
      // The first of two equal sections is the one edited.
      {"[s]\r\n[s]\r\nk=v\r\n", {{"s", "k", "w"}}, "[s]\r\nk=w\r\n[s]\r\nk=v\r\n"},
      // Spelling of the existing names is kept.
      {"[Sec]\r\nKey=1\r\n", {{"SEC", "key", "2"}}, "[Sec]\r\nKey=2\r\n"},
      // A last line without a break before the new section.
      {"[a]\r\nk=1", {{"b", "k", "2"}}, "[a]\r\nk=1\r\n[b]\r\nk=2\r\n"},
      // A GBK section whose second byte is "]".
      {"", {{"\xB0\x5D", "k", "v"}}, "[\xB0\x5D]\r\nk=v\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.before);
    std::string file = c.before;
    for (const auto& step : c.steps) file = write(file, step.section, step.key, step.value);
    EXPECT_EQ(file, c.after);
    for (const auto& step : c.steps) {
      // Reading back what was written, except where an earlier step of the
      // same key was overwritten.
      EXPECT_TRUE(read(file, step.section, step.key).has_value());
    }
  }
}

TEST(IniWrite, KeepsJunkWithNulsByteForByte) {
  const std::string junk("\x01\x02junk\0\0 more\xFF\xB0 bytes\0 no header!", 31);
  ASSERT_EQ(junk.size(), 31u);
  EXPECT_EQ(write(junk, "s", "k", "v"), junk + "\r\n[s]\r\nk=v\r\n");
}

TEST(IniWrite, CrossingRefillsChangesNothing) {
  std::string file;
  for (int i = 0; i < 50; ++i) {
    file += "[" + std::to_string(i) + "]\r\n答案=\xB0\xB1\r\n问题=" + std::string(40, 'q') + "\n";
  }
  const std::string whole = write(file, "25", "答案", "\xC1\xC2");
  for (std::size_t chunk : {1u, 5u, 64u}) {
    SCOPED_TRACE(chunk);
    EXPECT_EQ(write(file, "25", "答案", "\xC1\xC2", chunk), whole);
  }
  EXPECT_EQ(read(whole, "25", "答案"), "\xC1\xC2");
  EXPECT_EQ(read(whole, "24", "答案"), "\xB0\xB1");
  EXPECT_EQ(whole.size(), file.size());
}

TEST(IniWrite, ShapeSafety) {
  struct Case {
    std::string section, key, value;
    bool safe;
  } cases[] = {
      {"10001", "答案", "\xB0\xB1", true},
      {"\xB0\x5D", "k", "v", true},            // "]" as a second byte is no "]"
      {"a]b", "k", "v", false},
      {"10001", "a=b", "v", false},
      {"10001", "[k", "v", false},
      {"10001", ";k", "v", false},
      {"10001\r\n[20002", "k", "v", false},
      {"10001", "k\n", "v", false},
      {"10001", "k", "v\r\nx=y", false},
      {"10001", "k", std::string("v\0w", 3), false},
      {"", "k", "v", false},
      {"s", "", "v", false},
      {"s\xB0", "k", "v", false},              // would swallow the "]"
      {"s", "k\xB0", "v", false},              // would swallow the "="
      {"s", "k", "v=w;[x]", true},             // a value may hold anything but breaks
      // A value ending in a lone first byte would take the line break after
      // it (and in an LF file the next line) into its last character.
      {"s", "k", "\xBB", false},
      {"s", "k", "1\xB0\xB1\xBB", false},
      {"s", "k", "\xB0\xB1\xBB\xBB", true},
      // 0x80 and 0xFF stand alone in code page 936.
      {"s\x80", "k\xFF", "v\x80", true},
      {"s", "k", "v\xFF", true},
      {"a\x80]", "k", "v", false},             // a "]" after 0x80 is a "]"
      {"s", "k\xFF=", "v", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.section + "/" + c.key + "/" + c.value);
    EXPECT_EQ(shape_safe(c.section, c.key, c.value), c.safe);
  }
}

TEST(LineReader, GivesEveryLineWithItsEnding) {
  LineReader lines(memory_source("a\r\nb\nc\rd\r\r\ne", 2));
  std::string_view line, ending;
  std::vector<std::pair<std::string, std::string>> seen;
  while (lines.next(line, ending)) seen.emplace_back(line, ending);
  const std::vector<std::pair<std::string, std::string>> expected = {
      {"a", "\r\n"}, {"b", "\n"}, {"c", "\r"}, {"d", "\r"}, {"", "\r\n"}, {"e", ""}};
  EXPECT_EQ(seen, expected);
  EXPECT_FALSE(lines.failed());
}

TEST(LineReader, StopsOnAReadError) {
  int calls = 0;
  LineReader lines([&calls](char* buffer, std::size_t) -> long {
    if (calls++ == 0) {
      buffer[0] = 'x';
      return 1;
    }
    return -1;
  });
  std::string_view line, ending;
  EXPECT_FALSE(lines.next(line, ending));
  EXPECT_TRUE(lines.failed());
  std::string out;
  LineReader again([](char*, std::size_t) -> long { return -1; });
  EXPECT_FALSE(store_value(again, [&out](std::string_view b) { out.append(b); return true; }, "s",
                           "k", "v"));
}

}  // namespace
}  // namespace miyi::ini
