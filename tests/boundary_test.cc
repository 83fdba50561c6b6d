// The plug-in as a host sees it: the built library loaded with dlopen, its
// two exports called with the host's raw strings.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "tests/boundary.h"
#include "tests/testing.h"

namespace {

namespace fs = std::filesystem;

using InfoFn = const char* (*)();
using PlugmainFn = const char* (*)(const char*, const char*, const char*, const char*, const char*);

using miyi::testing::kDescriptor;

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

  miyi::testing::expect_descriptor(plugin.info);
  miyi::testing::expect_no_reply_to_odd_kinds(plugin.plugmain);
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
