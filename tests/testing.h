// Helpers shared by the test programs: temporary folders and whole-file
// access, independent of the code under test.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace miyi::testing {

// A fresh empty folder, removed with everything in it at destruction.
class TempDir {
 public:
  TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  ~TempDir();

  const std::filesystem::path& path() const { return path_; }
  // The folder as the plug-in names it: a native path in bytes.
  std::string text() const { return path_.string(); }

 private:
  std::filesystem::path path_;
};

// The whole file's bytes; empty when it cannot be read.
std::string read_file(const std::filesystem::path& file);
// Writes the bytes, creating missing folders.
void write_file(const std::filesystem::path& file, std::string_view bytes);

// A path under `dir` for a name given in UTF-8 (file names on disk are
// UTF-8 whatever the plug-in's texts are).
std::filesystem::path utf8_path(const std::filesystem::path& dir, std::u8string_view name);

}  // namespace miyi::testing
