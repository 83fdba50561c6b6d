// The plug-in as a host sees it: the built library loaded with dlopen, its
// two exports called with the host's raw strings.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/testing.h"

namespace {

namespace fs = std::filesystem;

using InfoFn = const char* (*)();
using PlugmainFn = const char* (*)(const char*, const char*, const char*, const char*, const char*);

const char kDescriptor[] =
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

struct Plugin {
  void* handle = nullptr;
  InfoFn info = nullptr;
  PlugmainFn plugmain = nullptr;

  explicit Plugin(const std::string& path) {
    handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    info = reinterpret_cast<InfoFn>(dlsym(handle, "info"));
    plugmain = reinterpret_cast<PlugmainFn>(dlsym(handle, "plugmain"));
  }
  ~Plugin() {
    if (handle) dlclose(handle);
  }
};

// In the probe, run from a temporary folder: loads the library, exercises
// both exports, and prints what it saw as lines the test compares.
int probe(const char* library) {
  Plugin plugin(library);
  if (!plugin.info || !plugin.plugmain) {
    std::printf("load failed: %s\n", dlerror());
    return 1;
  }
  const std::string first = plugin.info();
  const std::string second = plugin.info();
  std::printf("descriptor %s\n", first == kDescriptor ? "exact" : "wrong");
  std::printf("second call %s\n", second == first ? "same" : "different");
  std::printf("null args %s\n", plugin.plugmain(nullptr, nullptr, nullptr, nullptr, nullptr)
                                    ? "reply" : "null");
  std::printf("kind 3 %s\n", plugin.plugmain("x", "3", "5000", "10001", "") ? "reply" : "null");
  return 0;
}

std::string run(const std::string& command) {
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return out;
  char buffer[256];
  while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
  pclose(pipe);
  return out;
}

TEST(Boundary, OnlyTheTwoExportsLeaveTheLibrary) {
  const std::string symbols = run("nm -D --defined-only '" MIYI_LIBRARY "' | awk '{print $3}'");
  EXPECT_EQ(symbols, "info\nplugmain\n");
}

TEST(Boundary, DescriptorAndNullRepliesInALoadedLibrary) {
  Plugin plugin(MIYI_LIBRARY);
  ASSERT_NE(plugin.info, nullptr) << dlerror();
  ASSERT_NE(plugin.plugmain, nullptr);

  const char* first = plugin.info();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::string(first), kDescriptor);
  EXPECT_EQ(std::string(first).size(), 76u);
  const std::string kept = first;
  const char* second = plugin.info();
  EXPECT_EQ(std::string(second), kept);

  for (const char* kind : {static_cast<const char*>(nullptr), "", "3", " 1", "01", "1 ", "２"}) {
    SCOPED_TRACE(kind ? kind : "(null)");
    EXPECT_EQ(plugin.plugmain("x", kind, "5000", "10001", "extra"), nullptr);
  }
  EXPECT_EQ(plugin.plugmain(nullptr, nullptr, nullptr, nullptr, nullptr), nullptr);
}

TEST(Boundary, LoadsFromAnExecutableInItsOwnFolder) {
  miyi::testing::TempDir folder;
  const fs::path probe_copy = folder.path() / "host-probe";
  fs::copy_file("/proc/self/exe", probe_copy);
  fs::permissions(probe_copy, fs::perms::owner_all);
  const std::string out = run("'" + probe_copy.string() + "' --probe '" MIYI_LIBRARY "'");
  EXPECT_EQ(out,
            "descriptor exact\n"
            "second call same\n"
            "null args null\n"
            "kind 3 null\n");
  // Odd kinds touch no file: the folder holds only the probe.
  int entries = 0;
  for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder.path())) ++entries;
  EXPECT_EQ(entries, 1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "--probe") return probe(argv[2]);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
