// A robot unloads a plug-in when an operator switches it off and loads it
// again when it is switched on: miyi.dll loaded, used and unloaded 1 100
// times in one process, more than the 1 088 TLS indexes a process has, so
// that anything a load takes from the system and an unload does not give
// back ends the run. The process's memory across the cycles is reported,
// not judged (under Wine part of it is Wine's).
#include <windows.h>
#include <psapi.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

using InfoFn = const char*(__stdcall*)();
using PlugmainFn = const char*(__stdcall*)(const char*, const char*, const char*, const char*,
                                           const char*);

constexpr int kCycles = 1100;

// The lowest TLS index free now: it grows when a cycle keeps an index.
DWORD lowest_free_tls_index() {
  const DWORD index = TlsAlloc();
  if (index != TLS_OUT_OF_INDEXES) TlsFree(index);
  return index;
}

std::string memory_figures() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return "unknown";
  char text[96];
  std::snprintf(text, sizeof text, "working set %.1f MB, committed %.1f MB",
                counters.WorkingSetSize / 1048576.0, counters.PagefileUsage / 1048576.0);
  return text;
}

TEST(Win32Reload, ElevenHundredLoadCallUnloadCycles) {
  // The run directory is this program's folder: start from an empty store.
  char own[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, own, MAX_PATH);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, static_cast<DWORD>(MAX_PATH));
  const std::string path(own, length);
  const std::string folder = path.substr(0, path.rfind('\\'));
  DeleteFileA((folder + "\\\xC3\xD9\xD2\xEC.ini").c_str());  // 觅异.ini
  // The built DLL, named from this program's folder.
  std::string library = folder + "\\" MIYI_LIBRARY_FROM_HERE;
  for (char& c : library) c = c == '/' ? '\\' : c;

  DWORD first_free = TLS_OUT_OF_INDEXES;
  for (int cycle = 1; cycle <= kCycles; ++cycle) {
    const HMODULE module = LoadLibraryA(library.c_str());
    ASSERT_NE(module, nullptr) << "cycle " << cycle << ": LoadLibraryA failed: " << GetLastError();
    const auto info =
        reinterpret_cast<InfoFn>(reinterpret_cast<void*>(GetProcAddress(module, "info")));
    const auto plugmain =
        reinterpret_cast<PlugmainFn>(reinterpret_cast<void*>(GetProcAddress(module, "plugmain")));
    ASSERT_NE(info, nullptr);
    ASSERT_NE(plugmain, nullptr);
    ASSERT_NE(info(), nullptr) << "cycle " << cycle;
    // A member's puzzle (made in the first cycle, read from the store in
    // the others) and a wrong answer: the generator, the store and a reply.
    const char* shown = plugmain("", "1", "", "10001", "");
    ASSERT_NE(shown, nullptr) << "cycle " << cycle;
    ASSERT_GE(std::string(shown).size(), 512u) << "cycle " << cycle;
    ASSERT_NE(plugmain("\xB0\xA1", "1", "", "10001", ""), nullptr) << "cycle " << cycle;
    ASSERT_TRUE(FreeLibrary(module)) << "cycle " << cycle;

    const DWORD free_now = lowest_free_tls_index();
    if (cycle == 1) first_free = free_now;
    ASSERT_EQ(free_now, first_free) << "cycle " << cycle << " kept a TLS index";
    if (cycle == 1 || cycle % 275 == 0) {
      const std::string figures = memory_figures();
      std::printf("after cycle %4d: %s\n", cycle, figures.c_str());
      RecordProperty("memory_after_cycle_" + std::to_string(cycle), figures);
    }
  }
}

}  // namespace
