// What a host sees of the built plug-in, for the boundary tests of both
// platforms (tests/boundary_test.cc loads it with dlopen,
// tests/win32/boundary_test.cc with LoadLibraryA and __stdcall exports).
#pragma once

#include <gtest/gtest.h>

#include <string>

namespace miyi::testing {

// The descriptor info() gives, byte for byte: 76 bytes of GBK.
inline constexpr char kDescriptor[] =
    "\xC3\xD9\xD2\xEC\xD3\xCE\xCF\xB7\r\n"  // 觅异游戏
    "1.0\xB0\xE6\r\n"                       // 1.0版
    "6Q8K-\xE0\xD6\xE0\xD6\r\n"             // 6Q8K-嘀嘀
    "\xB4\xF3\xBC\xD2\xD2\xBB\xC6\xF0\xC0\xB4\xC3\xD9\xD2\xEC\r\n"  // 大家一起来觅异
    "@\xC3\xD9\xD2\xEC\r\n"                 // @觅异
    "\xB4\xF0\xB0\xB8\r\n"                  // 答案
    "\r\n"
    "plugmain\r\n"
    "1\r\n"
    "\xBC\xD9\r\n";                         // 假

// Checks the loaded library's info export (any calling convention): the
// exact descriptor, and the same text again on a second call.
template <class InfoFn>
void expect_descriptor(InfoFn info) {
  ASSERT_NE(info, nullptr);
  const char* first = info();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::string(first), kDescriptor);
  EXPECT_EQ(std::string(first).size(), 76u);
  const std::string kept = first;
  const char* second = info();
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(std::string(second), kept);
}

// Message kinds that plugmain answers with no reply at all.
inline const char* const kOddKinds[] = {nullptr, "", "3", " 1", "01", "1 ", "２"};

// Checks that plugmain gives no reply to odd kinds, nor to null arguments.
template <class PlugmainFn>
void expect_no_reply_to_odd_kinds(PlugmainFn plugmain) {
  ASSERT_NE(plugmain, nullptr);
  for (const char* kind : kOddKinds) {
    SCOPED_TRACE(kind ? kind : "(null)");
    EXPECT_EQ(plugmain("x", kind, "5000", "10001", "extra"), nullptr);
  }
  EXPECT_EQ(plugmain(nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
}

}  // namespace miyi::testing
