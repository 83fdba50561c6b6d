// Runs a fuzz target without a fuzzing engine: a fixed series of generated
// inputs, shaped like INI files, so the target's checks run in every test
// build. Build with clang's -fsanitize=fuzzer (MIYI_FUZZ=ON) to fuzz for real.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

int main() {
  static const char* const pieces[] = {"[a]", "[b]", "[ a ]", "k=v", "a=1", "b=2", ";c", "\r\n",
                                       "\n",  "\r",  "=",     "]",   "[",   "\xB0\x5D", " ", "\t",
                                       "\"q\"", "'x'", "[a]junk", "\0"};
  std::uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return state >> 8;
  };
#ifdef MIYI_SMOKE_RUNS
  const int runs = MIYI_SMOKE_RUNS;
#else
  const int runs = 20000;
#endif
  for (int run = 0; run < runs; ++run) {
    std::string input;
    input += static_cast<char>(next());
    input += static_cast<char>(next());
    input += static_cast<char>(next());
    const int count = 1 + static_cast<int>(next() % 12);
    for (int i = 0; i < count; ++i) {
      const char* piece = pieces[next() % (sizeof pieces / sizeof *pieces)];
      input += *piece ? std::string(piece) : std::string(1, '\0');
    }
    LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(input.data()), input.size());
  }
  std::printf("%d inputs checked\n", runs);
  return 0;
}
