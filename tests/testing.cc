#include "tests/testing.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>
#include <system_error>

namespace miyi::testing {

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto base = std::filesystem::temp_directory_path();
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    auto candidate = base / ("miyi-test-" + std::to_string(stamp) + "-" +
                             std::to_string(counter.fetch_add(1)));
    std::error_code ec;
    if (std::filesystem::create_directory(candidate, ec)) {
      path_ = candidate;
      return;
    }
  }
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void write_file(const std::filesystem::path& file, std::string_view bytes) {
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path utf8_path(const std::filesystem::path& dir, std::u8string_view name) {
  return dir / std::filesystem::path(name);
}

}  // namespace miyi::testing
