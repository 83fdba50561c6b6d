// Runs a fuzz target without a fuzzing engine over a fixed series of inputs
// that the target shapes (fuzz/smoke.h), so the target's checks run in every
// test build. Build with clang's -fsanitize=fuzzer (MIYI_FUZZ=ON) to fuzz for
// real.
//   <target>_smoke [runs]                 checks `runs` inputs
//   <target>_smoke runs --corpus <dir>    also writes them to <dir>, as a
//                                         seed corpus for the fuzzer
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/smoke.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::atoi(argv[1]) : 20000;
  const char* corpus = argc > 3 && std::string(argv[2]) == "--corpus" ? argv[3] : nullptr;
  miyi::fuzz::SmokeRandom random;
  for (int run = 0; run < runs; ++run) {
    const std::string input = miyi::fuzz::smoke_input(random);
    if (corpus != nullptr) {
      const std::string name = std::string(corpus) + "/smoke-" + std::to_string(run);
      if (std::FILE* file = std::fopen(name.c_str(), "wb")) {
        std::fwrite(input.data(), 1, input.size(), file);
        std::fclose(file);
      }
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  }
  std::printf("%d inputs checked\n", runs);
  return 0;
}
