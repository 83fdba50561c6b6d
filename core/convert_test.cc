// Tests of the number, date and byte conversions and of the local clock.
#include "core/convert.h"

#include <climits>
#include <ctime>
#include <string>
#include <tuple>

#include <gtest/gtest.h>

namespace miyi {
namespace {

TEST(IntToText, WritesPlainDecimal) {
  struct Case {
    int value;
    Text expected;
  } cases[] = {
      {0, "0"},
      {-5, "-5"},
      {15, "15"},
      {2147483647, "2147483647"},
      {INT_MIN, "-2147483648"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(int_to_text(c.value), c.expected);
  }
}

TEST(DoubleToText, WritesThirteenSignificantDigitsWithThreeDigitExponents) {
  struct Case {
    double value;
    Text expected;
  } cases[] = {
      {25.0, "25"},
      {1.0, "1"},
      {0.0, "0"},
      {0.5, "0.5"},
      {250.0, "250"},
      {249.5, "249.5"},
      {-3.0, "-3"},
      {-7.5, "-7.5"},
      {4294967294.0, "4294967294"},
      {1234567890123.0, "1234567890123"},
      {1234567890123.6, "1234567890124"},  // rounded to 13 digits
      {2.0 / 3.0, "0.6666666666667"},
      {0.1, "0.1"},
      {0.0001, "0.0001"},
      {0.000099999999999999, "0.0001"},  // the exponent is that of the rounded value
      {1e13, "1e+013"},
      {9999999999999.6, "1e+013"},
      {12345678901234.0, "1.234567890123e+013"},
      {-1.5e13, "-1.5e+013"},
      {0.00001, "1e-005"},
      {1.25e-7, "1.25e-007"},
      {1e100, "1e+100"},
      {1e-100, "1e-100"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(double_to_text(c.value), c.expected);
  }
}

TEST(DoubleToText, WritesEveryGameValueInPlainForm) {
  // Halves of 0..500 as the puzzle generator makes them: whole ones without a
  // point, the others ending in ".5".
  for (int n = 0; n <= 500; ++n) {
    const Text text = double_to_text(n / 2.0);
    const Text whole = std::to_string(n / 2);
    EXPECT_EQ(text, n % 2 == 0 ? whole : whole + ".5") << n;
  }
}

DateTime at(int year, int month, int day, int hour, int minute, int second) {
  return DateTime{year, month, day, hour, minute, second};
}

TEST(DateToText, AppendsTheTimeFromTheLastNonZeroField) {
  struct Case {
    DateTime date;
    Text expected;
  } cases[] = {
      {at(2013, 12, 25, 0, 0, 0), "2013年12月25日"},
      {at(2013, 12, 25, 8, 0, 0), "2013年12月25日8时"},
      {at(2013, 12, 25, 8, 30, 0), "2013年12月25日8时30分"},
      {at(2013, 12, 25, 8, 0, 5), "2013年12月25日8时0分5秒"},
      {at(2013, 12, 25, 0, 30, 0), "2013年12月25日0时30分"},
      {at(2013, 12, 25, 0, 0, 1), "2013年12月25日0时0分1秒"},
      {at(2013, 5, 7, 0, 0, 0), "2013年5月7日"},
      {at(100, 1, 1, 0, 0, 0), "100年1月1日"},
      {at(9999, 12, 31, 23, 59, 59), "9999年12月31日23时59分59秒"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.expected);
    EXPECT_EQ(date_to_text(c.date), c.expected);
  }
  // The stored day is GBK: 2013 0xC4 0xEA 5 0xD4 0xC2 7 0xC8 0xD5.
  EXPECT_EQ(date_to_text(at(2013, 5, 7, 0, 0, 0)), Text("2013\xC4\xEA" "5\xD4\xC2" "7\xC8\xD5"));
}

TEST(BytesToText, StopsAtTheFirstZeroByte) {
  struct Case {
    const char* name;
    Bytes bytes;
    Text expected;
  } cases[] = {
      {"empty", {}, ""},
      {"zero inside", {0x41, 0x00, 0x42}, "A"},
      {"zero first", {0x00, 0x41}, ""},
      {"no zero", {0xD6, 0xD0, 0x41, 0xFF}, "\xD6\xD0" "A\xFF"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(bytes_to_text(c.bytes), c.expected);
  }
}

TEST(TextToInt, ReadsTheLeadingIntegerAfterNarrowingFullWidthForms) {
  struct Case {
    const char* name;
    Text text;
    int expected;
  } cases[] = {
      {"empty", "", 0},
      {"digits", "15", 15},
      {"leading space", " 15", 15},
      {"leading tab", "\t15", 15},
      {"every white space byte", "\n\v\f\r 15", 15},
      {"control byte is no space", "\x1F" "15", 0},
      {"plus", "+7", 7},
      {"minus", "-3", -3},
      {"space after the sign", "- 5", 0},
      {"two signs", "+-5", 0},
      {"no digits", "abc", 0},
      {"trailing letters", "12abc", 12},
      {"decimal point", "3.9", 3},
      {"full-width digits", "\xA3\xB1\xA3\xB5", 15},
      {"behind a full-width space", "\xA1\xA1\xA3\xB1\xA3\xB5", 15},
      {"full-width minus", "\xA3\xAD\xA3\xB7", -7},
      {"full-width plus and ASCII digit", "\xA3\xAB" "8", 8},
      {"full-width digit then letters", "\xA3\xB2\xA3\xB0x", 20},
      {"0xA3 0xA0 is not narrowed", "\xA3\xA0" "5", 0},
      {"digit as a second byte", "\xB0" "12", 0},
      {"lone first byte after digits", "12\xB0", 12},
      {"full-width tilde is no sign", "\xA1\xAB" "5", 0},
      {"largest", "2147483647", 2147483647},
      {"one past the largest wraps", "2147483648", INT_MIN},
      {"smallest", "-2147483648", INT_MIN},
      {"2^32 + 1 wraps to 1", "4294967297", 1},
      {"2^32 - 1 wraps to -1", "4294967295", -1},
      {"negated wrap", "-4294967297", -1},
      {"eleven digits", "99999999999", 1215752191},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(text_to_int(c.text), c.expected);
  }
}

TEST(DatePart, KeepsTheDayAtMidnight) {
  const DateTime moments[] = {at(2013, 12, 25, 8, 0, 5), at(2024, 2, 29, 23, 59, 59),
                              at(100, 1, 1, 0, 0, 0), at(9999, 12, 31, 0, 1, 0)};
  for (const DateTime& moment : moments) {
    const DateTime day = date_part(moment);
    SCOPED_TRACE(date_to_text(moment));
    EXPECT_EQ(day, at(moment.year, moment.month, moment.day, 0, 0, 0));
    const Text text = date_to_text(day);
    EXPECT_EQ(text, int_to_text(moment.year) + "年" + int_to_text(moment.month) + "月" +
                        int_to_text(moment.day) + "日");
  }
}

auto fields(const DateTime& d) { return std::tie(d.year, d.month, d.day, d.hour, d.minute, d.second); }

DateTime from_tm(const std::tm& t) {
  return at(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min,
            t.tm_sec > 59 ? 59 : t.tm_sec);
}

DateTime system_local_now() {
  const std::time_t now = std::time(nullptr);
  return from_tm(*std::localtime(&now));
}

TEST(LocalNow, IsTheLocalWallClockToTheSecond) {
  const DateTime before = system_local_now();
  const DateTime now = local_now();
  const DateTime after = system_local_now();
  EXPECT_LE(fields(before), fields(now));
  EXPECT_LE(fields(now), fields(after));
}

}  // namespace
}  // namespace miyi
