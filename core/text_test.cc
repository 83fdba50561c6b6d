// Tests of the GBK text operations: character steps over two-byte
// characters, the two space characters, case folding and 1-based positions.
#include "core/text.h"

#include <climits>
#include <string>

#include <gtest/gtest.h>

namespace miyi {
namespace {

// Every text literal in the plug-in is compiled to GBK bytes; the game's
// messages, INI names and dates depend on it.
TEST(TextCharset, LiteralsAreCompiledToGbkBytes) {
  EXPECT_EQ(Text("中"), Text("\xD6\xD0"));
  EXPECT_EQ(Text("年"), Text("\xC4\xEA"));
  EXPECT_EQ(Text("觅异"), Text("\xC3\xD9\xD2\xEC"));
  EXPECT_EQ(text_len("中a"), 3);
}

TEST(TextLenConcat, CountsBytesAndJoinsInOrder) {
  EXPECT_EQ(text_len(Text()), 0);
  EXPECT_EQ(text_len("ab中c"), 5);
  EXPECT_EQ(text_concat(Text(), Text()), Text());
  EXPECT_EQ(text_concat(Text("a"), Text(), "中", Text("\r\n")), Text("a\xD6\xD0\r\n"));
  EXPECT_EQ(text_concat({"x", "", "y", "z"}), Text("xyz"));
}

int sign(int v) { return (v > 0) - (v < 0); }

TEST(TextCompare, OrdersUnsignedBytesWithTheEndAsZero) {
  struct Case {
    Text a, b;
    int expected_sign;
  } cases[] = {
      {Text(), "", 0},
      {"abc", "abc", 0},
      {"中", "\xD6\xD0", 0},
      {"a", "b", -1},
      {"b", "a", 1},
      {"\x80", "a", 1},         // 0x80 is above 'a' as an unsigned byte
      {"a", "\xFF", -1},
      {"\xD6\xD0", "\xD6\xD1", -1},
      {"ab", "abc", -1},        // the shorter one's end counts as 0
      {"abc", "ab", 1},
      {"", "\x01", -1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("a='" + c.a + "' b='" + c.b + "'");
    EXPECT_EQ(sign(text_compare(c.a, c.b)), c.expected_sign);
    EXPECT_EQ(sign(text_compare(c.b, c.a)), -c.expected_sign);
  }
}

TEST(TextCopy, CopiesHostBytesAndTreatsNullAsEmpty) {
  EXPECT_EQ(text_copy(nullptr), Text());
  EXPECT_EQ(text_copy(""), Text());
  EXPECT_EQ(text_copy("\xD6\xD0x\xFF"), Text("\xD6\xD0x\xFF"));
}

TEST(TextFind, FindsMatchesOnlyWhereCharactersBegin) {
  struct Case {
    const char* name;
    Text text, sought;
    int start;
    bool ignore_case;
    int expected;
  } cases[] = {
      {"after a two-byte character", "ab中c", "c", 0, false, 5},
      {"start 0 is the first byte", "abca", "a", 0, false, 1},
      {"start 1 is the first byte", "abca", "a", 1, false, 1},
      {"negative start is the first byte", "abca", "a", -7, false, 1},
      {"start 2 skips the first match", "abca", "a", 2, false, 4},
      {"start at the last byte", "abc", "c", 3, false, 3},
      {"start beyond the last byte", "abc", "c", 4, false, -1},
      {"far beyond the end", "abc", "c", INT_MAX, false, -1},
      {"empty text", "", "a", 0, false, -1},
      {"empty sought", "abc", "", 0, false, -1},
      {"sought longer than text", "ab", "abc", 0, false, -1},
      {"second byte is no match", "\xB0" "A", "A", 0, false, -1},
      {"second byte is no match ignoring case", "\xB0" "A", "a", 0, true, -1},
      {"ignoring case at a second byte", "\xB0" "A", "\xB0" "a", 0, true, 1},
      {"exact case at a second byte", "\xB0" "A", "\xB0" "a", 0, false, -1},
      {"match straddling two characters", "中中", "\xD0\xD6", 0, false, -1},
      {"0x80 is a first byte", "\x80" "aa", "a", 0, false, 3},
      {"0xFF is a first byte", "\xFF" "aa", "a", 0, false, 3},
      {"start inside a character takes that byte as a first byte", "中c", "c", 2, false, -1},
      {"start at the byte after a character", "中c", "c", 3, false, 3},
      {"a lone first byte is itself tried", "a\xB0", "\xB0", 0, false, 2},
      {"a lone first byte ends the search", "a\xB0", "x", 0, false, -1},
      {"a match ending in a lone first byte", "ab\xB0", "b\xB0", 0, false, 2},
      {"ignoring case, lower-case header", "set-cookie: a=1", "Set-Cookie:", 0, true, 1},
      {"exact case, lower-case header", "set-cookie: a=1", "Set-Cookie", 0, false, -1},
      {"only letters fold: [ is not {", "{", "[", 0, true, -1},
      {"only letters fold: @ is not `", "`", "@", 0, true, -1},
      {"exact search of a two-byte text", "甲乙甲乙", "乙", 0, false, 3},
      {"second match after a start", "甲乙甲乙", "乙", 5, false, 7},
      {"start at a second byte walks out of step", "甲乙甲乙", "乙", 4, false, -1},
      {"CR LF", "Name: x\r\nb", "\r\n", 0, false, 8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text_find(c.text, c.sought, c.start, c.ignore_case), c.expected);
  }
  EXPECT_EQ(text_find("xa", "a"), 2);  // start and ignore_case omitted
}

TEST(TextReplace, ReplacesMatchesWalkingCharacterByCharacter) {
  struct Case {
    const char* name;
    Text text, sought, replacement;
    int start, count;
    bool ignore_case;
    Text expected;
  } cases[] = {
      {"every CR LF removed", "a\r\nb\r\n", "\r\n", "", 0, -1, false, "ab"},
      {"nothing to replace", "abc", "\r\n", "", 0, -1, false, "abc"},
      {"empty text", "", "\r\n", "", 0, -1, false, ""},
      {"count 1 ignoring case", "x location: y Location: z", "Location:", "", 0, 1, true,
       "x  y Location: z"},
      {"every match ignoring case", "x location: y Location: z", "LOCATION:", "", 0, -1, true,
       "x  y  z"},
      {"exact case keeps other spellings", "x location: y Location: z", "Location:", "", 0, -1,
       false, "x location: y  z"},
      {"count 1 from a start leaves earlier matches", "a-b-c-d", "-", "+", 4, 1, false,
       "a-b+c-d"},
      {"every match from a start", "a-b-c-d", "-", "+", 3, -1, false, "a-b+c+d"},
      {"count 2", "aaaa", "a", "b", 0, 2, false, "bbaa"},
      {"count 0 is a copy", "aaaa", "a", "b", 0, 0, false, "aaaa"},
      {"empty sought is a copy", "abc", "", "x", 0, -1, false, "abc"},
      {"start past the end is a copy", "abc", "c", "x", 4, -1, false, "abc"},
      {"start at the last byte", "abc", "c", "x", 3, -1, false, "abx"},
      {"replaced text is not searched again", "aaabb", "ab", "", 0, -1, false, "aab"},
      {"a replacement holding the sought text", "xx", "x", "xx", 0, -1, false, "xxxx"},
      {"second byte is not replaced", "\xB0" "A", "A", "x", 0, -1, true, "\xB0" "A"},
      {"match straddling two characters", "中中", "\xD0\xD6", "x", 0, -1, false, "中中"},
      {"start inside a character", "中A", "A", "x", 2, -1, false, "中A"},
      {"start after the character", "中A", "A", "x", 3, -1, false, "中x"},
      {"one character of a puzzle", "甲乙甲乙", "乙", "丙", 5, 1, true, "甲乙甲丙"},
      {"group number in the points file name", "/config/签到数据发送者群号.ini", "发送者群号",
       "12345", 0, -1, false, "/config/签到数据12345.ini"},
      {"trailing lone first byte is kept", "ab\xB0", "b", "x", 0, -1, false, "ax\xB0"},
      {"longer replacement", "a:b", ":", "::=", 0, -1, false, "a::=b"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text_replace(c.text, c.sought, c.replacement, c.start, c.count, c.ignore_case),
              c.expected);
  }
  // Replacement, start, count and ignore_case omitted: every match removed.
  EXPECT_EQ(text_replace("a\r\nb\r\n", "\r\n"), Text("ab"));
}

TEST(TextSplit, KeepsEmptyPiecesButNoEmptyRemainder) {
  struct Case {
    const char* name;
    Text text, delimiter;
    TextList expected;
  } cases[] = {
      {"two lines", "a\r\nb", "\r\n", {"a", "b"}},
      {"trailing delimiter", "a\r\n", "\r\n", {"a"}},
      {"leading delimiter", "\r\na", "\r\n", {"", "a"}},
      {"empty line between", "a\r\n\r\nb", "\r\n", {"a", "", "b"}},
      {"delimiter only", "\r\n", "\r\n", {""}},
      {"header block", "HTTP/1.1 302 Found\r\nLocation: /x\r\n\r\n", "\r\n",
       {"HTTP/1.1 302 Found", "Location: /x", ""}},
      {"name with colon", "Name:", ":", {"Name"}},
      {"three parts", "k:v:w", ":", {"k", "v", "w"}},
      {"two delimiters", "::", ":", {"", ""}},
      {"no delimiter", "abc", ":", {"abc"}},
      {"empty text", "", ":", {}},
      {"empty delimiter", "a:b", "", {"a:b"}},
      {"delimiter as a second byte", "\xB0:x", ":", {"\xB0:x"}},
      {"CR as a second byte", "\xB0\r\nx", "\r\n", {"\xB0\r\nx"}},
      {"two-byte characters around", "甲:乙", ":", {"甲", "乙"}},
      {"lone first byte at the end", "a:b\xB0", ":", {"a", "b\xB0"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text_split(c.text, c.delimiter), c.expected);
  }
}

TEST(TextTrim, CutsBothSpaceCharactersAtTheEnds) {
  struct Case {
    const char* name;
    Text text, expected;
  } cases[] = {
      {"mixed spaces", " \xA1\xA1 a b  ", "a b"},
      {"spaces only", "  \xA1\xA1 ", ""},
      {"empty", "", ""},
      {"nothing to trim", "a b", "a b"},
      {"trailing full-width space", "a\xA1\xA1", "a"},
      {"trailing mixed run", "a \xA1\xA1 ", "a"},
      {"only the last run is cut", "a b c ", "a b c"},
      {"tab, CR and LF are no spaces", "\ta\r\n", "\ta\r\n"},
      {"0x20 as a second byte stays", "\xB0 ", "\xB0 "},
      {"0xA1 0xA1 over two characters is no space", "\xB0\xA1\xA1" "b", "\xB0\xA1\xA1" "b"},
      {"spaces before a lone first byte stay", "ab \xB0", "ab "},
      {"a lone first byte after leading spaces", " \xB0", ""},
      {"a lone first byte and what follows it", " a\xB0", "a"},
      {"trailing lone 0xA1 after a character", "x\xB0\xA1\xA1", "x\xB0\xA1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text_trim(c.text), c.expected);
  }
}

TEST(TextStripSpaces, RemovesEverySpaceCharacter) {
  struct Case {
    const char* name;
    Text text, expected;
  } cases[] = {
      {"both spaces, other white space kept", " a\xA1\xA1" "b\t\r\n", "ab\t\r\n"},
      {"0x20 as a second byte stays", "\xB0 ", "\xB0 "},
      {"lone first byte at the end is dropped", "ab\xB0", "ab"},
      {"0xA1 0xA1 over two characters", "\xB0\xA1\xA1\xA1", "\xB0\xA1"},
      {"spaces only", " \xA1\xA1 ", ""},
      {"empty", "", ""},
      {"answer with inner spaces", " 乙 \xA1\xA1", "乙"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text_strip_spaces(c.text), c.expected);
  }
}

TEST(TextUpper, RaisesOnlyLettersThatStartACharacter) {
  struct Case {
    Text text, expected;
  } cases[] = {
      {"get", "GET"},
      {"", ""},
      {"\xB0\x61", "\xB0\x61"},
      {"\xB0" "ab", "\xB0" "aB"},
      {"Post中z", "POST中Z"},
      {"{`@[", "{`@["},
      {"a\xB0", "A\xB0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(text_upper(c.text), c.expected);
  }
}

TEST(TextMiddle, TakesPlainBytePositions) {
  struct Case {
    Text text;
    int start, length;
    Text expected;
  } cases[] = {
      {"abcdef", 3, 2, "cd"},
      {"abc", 3, 10, "c"},
      {"abc", 1, INT_MAX, "abc"},
      {"abc", 4, 1, ""},
      {"abc", 0, 2, ""},
      {"abc", -1, 5, ""},
      {"abc", INT_MIN, 5, ""},
      {"abc", 1, 0, ""},
      {"abc", 1, -1, ""},
      {"", 1, 1, ""},
      {"中文", 2, 2, "\xD0\xCE"},  // cuts both characters
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + " from " + std::to_string(c.start) + " length " +
                 std::to_string(c.length));
    EXPECT_EQ(text_middle(c.text, c.start, c.length), c.expected);
  }
}

TEST(TextFromByte, TakesTheLowEightBits) {
  struct Case {
    int code;
    Text expected;
  } cases[] = {
      {-38, "\xDA"}, {-80, "\xB0"}, {65, "A"},   {255, "\xFF"},
      {321, "A"},    {256, ""},     {0, ""},     {-256, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(text_from_byte(c.code), c.expected);
  }
}

TEST(TextBetween, CutsBetweenTheFirstMarkers) {
  struct Case {
    const char* name;
    Text text, left, right;
    int start;
    Text expected;
  } cases[] = {
      {"simple", "a=b;c", "=", ";", 0, "b"},
      {"right marker directly after", "a=;", "=", ";", 0, ""},
      {"no left marker", "ab;c", "=", ";", 0, ""},
      {"right marker only before", "a;b=c", "=", ";", 0, ""},
      {"no right marker", "a=bc", "=", ";", 0, ""},
      {"first pair wins", "a=1;b=2;", "=", ";", 0, "1"},
      {"from a start position", "a=1;b=2;", "=", ";", 5, "2"},
      {"markers ignore case", "set-cookie: sid=1; path=/", "Set-Cookie:", ";", 0, " sid=1"},
      {"right marker as a second byte is skipped", "=\xB0;x;", "=", ";", 0, "\xB0;x"},
      {"nickname in the portrait reply",
       "portraitCallBack({\"10001\":[\"http://q.example/10001\",0,\"小明\",0]})", ",\"",
       "\",0]})", 0, "小明"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text_between(c.text, c.left, c.right, c.start), c.expected);
  }
}

}  // namespace
}  // namespace miyi
