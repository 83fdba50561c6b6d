// ini_read and ini_write on a puzzle store in the game's shape: one section
// per account with a 2-byte answer and a 512-byte question. The index makes
// the first access to a file (and the first after another program changed
// it) a scan: BM_IniFirstRead measures it; the others the calls after it.
// Writes sync the journal, its folder and the file: their figures are the
// disk's sync time more than ours.
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "core/store.h"
#include "core/text.h"
#include "tests/testing.h"

namespace {

using miyi::Text;

const miyi::testing::TempDir& run_folder() {
  static auto* dir = [] {
    auto* d = new miyi::testing::TempDir;
    miyi::set_run_dir_for_testing(d->text());
    return d;
  }();
  return *dir;
}

// Writes a store of `sections` accounts (10000, 10001, ...) and gives its name.
Text make_store(int sections) {
  run_folder();
  const Text name = miyi::text_concat(miyi::run_dir(), "/bench", std::to_string(sections), ".ini");
  std::string question;
  for (int i = 0; i < 256; ++i) question += (i % 2) ? "\xB0\xA1" : "\xB0\xA2";
  std::string file;
  file.reserve(static_cast<std::size_t>(sections) * 560);
  for (int i = 0; i < sections; ++i) {
    file += "[" + std::to_string(10000 + i) + "]\r\n答案=\xC1\xC2\r\n问题=" + question + "\r\n";
  }
  miyi::testing::write_file(name, file);
  // A store as a robot has it: written long ago.
  std::filesystem::last_write_time(name, std::filesystem::file_time_type::clock::now() - std::chrono::hours(1));
  miyi::forget_store_cache_for_testing();
  return name;
}

void BM_IniReadMiddle(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  const Text name = make_store(sections);
  const Text section = std::to_string(10000 + sections / 2);
  for (auto _ : state) {
    benchmark::DoNotOptimize(miyi::ini_read(name, section, "问题"));
  }
}

void BM_IniReadMissing(benchmark::State& state) {
  const Text name = make_store(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    benchmark::DoNotOptimize(miyi::ini_read(name, "99999999", "答案"));
  }
}

void BM_IniWriteMiddle(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  const Text name = make_store(sections);
  const Text section = std::to_string(10000 + sections / 2);
  bool flip = false;
  for (auto _ : state) {
    flip = !flip;
    benchmark::DoNotOptimize(miyi::ini_write(name, section, "答案", flip ? "\xB0\xB1" : "\xC1\xC2"));
  }
}

// A new account's first command: its section and both keys, appended.
void BM_IniWriteNewAccount(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  const Text name = make_store(sections);
  std::string question;
  for (int i = 0; i < 256; ++i) question += "\xB0\xA3";
  int next = 10000 + sections;
  for (auto _ : state) {
    const Text section = std::to_string(next++);
    benchmark::DoNotOptimize(miyi::ini_write(name, section, "答案", "\xB0\xB1"));
    benchmark::DoNotOptimize(miyi::ini_write(name, section, "问题", question));
  }
}

// The first read of a file (or the first after another program changed it):
// the whole file is scanned into the index.
void BM_IniFirstRead(benchmark::State& state) {
  const int sections = static_cast<int>(state.range(0));
  const Text name = make_store(sections);
  const Text section = std::to_string(10000 + sections / 2);
  for (auto _ : state) {
    miyi::forget_store_cache_for_testing();
    benchmark::DoNotOptimize(miyi::ini_read(name, section, "问题"));
  }
  state.counters["index_bytes"] = static_cast<double>(miyi::store_index_bytes_for_testing(name));
}

}  // namespace

BENCHMARK(BM_IniReadMiddle)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniReadMissing)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniWriteMiddle)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniWriteNewAccount)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IniFirstRead)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
