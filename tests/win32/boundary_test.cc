// miyi.dll as a robot's host sees it: loaded with LoadLibraryA from the
// executable's folder, its exports found under their plain names and
// called __stdcall with the host's raw strings.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "tests/boundary.h"

namespace {

using InfoFn = const char*(__stdcall*)();
using PlugmainFn = const char*(__stdcall*)(const char*, const char*, const char*, const char*,
                                           const char*);

template <class Function>
Function export_of(HMODULE module, const char* name) {
  return module ? reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)))
                : nullptr;
}

struct Plugin {
  HMODULE module = LoadLibraryA(MIYI_LIBRARY_NAME);
  InfoFn info = export_of<InfoFn>(module, "info");
  PlugmainFn plugmain = export_of<PlugmainFn>(module, "plugmain");
  ~Plugin() {
    if (module) FreeLibrary(module);
  }
};

TEST(Win32Boundary, DescriptorByItsPlainName) {
  Plugin plugin;
  ASSERT_NE(plugin.module, nullptr) << "LoadLibraryA failed: " << GetLastError();
  miyi::testing::expect_descriptor(plugin.info);
  // The decorated names are not exported.
  EXPECT_EQ(GetProcAddress(plugin.module, "plugmain@20"), nullptr);
  EXPECT_EQ(GetProcAddress(plugin.module, "_plugmain@20"), nullptr);
}

TEST(Win32Boundary, OddKindsAndNullArgumentsGiveNoReply) {
  Plugin plugin;
  miyi::testing::expect_no_reply_to_odd_kinds(plugin.plugmain);
}

// Bytes of arguments still on the stack after plugmain returns, called with
// five null pointers: 0 when plugmain removes its arguments itself, as a
// __stdcall function must; 20 when it leaves them to the caller.
unsigned bytes_left_by_plugmain(PlugmainFn plugmain) {
#if defined(__i386__)
  unsigned left = 0;
  asm volatile(
      "movl %%esp, %%esi\n\t"
      "pushl $0\n\tpushl $0\n\tpushl $0\n\tpushl $0\n\tpushl $0\n\t"
      "call *%1\n\t"
      "movl %%esi, %0\n\t"
      "subl %%esp, %0\n\t"
      "movl %%esi, %%esp\n\t"
      : "=&r"(left)
      : "r"(plugmain)
      : "eax", "ecx", "edx", "esi", "memory", "cc");
  return left;
#else
  (void)plugmain;
  return 0;
#endif
}

TEST(Win32Boundary, PlugmainRemovesItsFiveArguments) {
#if !defined(__i386__)
  GTEST_SKIP() << "only 32-bit code has a callee-cleans convention";
#endif
  Plugin plugin;
  ASSERT_NE(plugin.plugmain, nullptr);
  EXPECT_EQ(bytes_left_by_plugmain(plugin.plugmain), 0u);
}

}  // namespace
