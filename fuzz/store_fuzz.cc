// Fuzz target for the settings store: the bytes are a file and a script of
// reads, writes, outside edits and restarts, run through the index and
// through the whole-file rewrite (tests/store_differential.h); any
// difference in the files' bytes or in a read aborts.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

#include "core/store.h"
#include "fuzz/smoke.h"
#include "tests/store_differential.h"

namespace {

const std::filesystem::path& folder() {
  static const std::filesystem::path* path = [] {
    auto* p = new std::filesystem::path(miyi::testing::quick_temp_base() /
                                        ("miyi-store-fuzz-" + std::to_string(std::rand()) + "-" +
                                         std::to_string(reinterpret_cast<std::uintptr_t>(&folder))));
    std::filesystem::create_directories(*p);
    miyi::set_run_dir_for_testing(p->string());
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(folder(), ec);
    });
    return p;
  }();
  return *path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  // The first byte says how much of the rest is the file.
  const std::size_t file_size = data[0] * (size - 1) / 255;
  static miyi::testing::StoreDifferential differential(folder());
  const std::string failure = differential.run(bytes.substr(1, file_size), bytes.substr(1 + file_size));
  if (!failure.empty()) {
    std::fprintf(stderr, "%s\n", failure.c_str());
    std::abort();
  }
  return 0;
}

// Smoke inputs: the share of the file, a file of the engine's corner cases,
// then a script of steps.
std::string miyi::fuzz::smoke_input(SmokeRandom& random) {
  std::string file;
  const std::uint32_t pieces = random.below(30);
  for (std::uint32_t i = 0; i < pieces; ++i) {
    file += miyi::testing::kFilePieces[random.below(std::size(miyi::testing::kFilePieces))];
  }
  std::string script(20 + random.below(120), '\0');
  for (char& c : script) c = static_cast<char>(random.next());
  const std::size_t total = file.size() + script.size();
  const auto share = static_cast<char>(total == 0 ? 0 : (file.size() * 255 + total - 1) / total);
  return share + file + script;
}
