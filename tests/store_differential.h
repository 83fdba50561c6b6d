// The settings store's indexed paths against its reference, the whole-file
// rewrite: the same sequence of reads, writes and outside edits runs on two
// copies of a file, one through the index (in-place writes, appends, the
// journal) and one with the index switched off, and after every step both
// files must hold the same bytes and every read the same text. Shared by
// the differential test (core/store_differential_test.cc) and the fuzz
// target (fuzz/store_fuzz.cc).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>

#include "core/store.h"
#include "platform/files.h"

namespace miyi::testing {

// Bytes that the steps are made of, chosen to meet the engine's corners:
// duplicate and differently cased names, blanks and quotes, comments, every
// line ending, GBK characters whose second byte is "]" or "=".
inline constexpr std::string_view kFilePieces[] = {
    "[a]", "[b]", "[ a ]", "[A]", "[\xB0\x5D]", "[s 1]", "[10001]", "k=v", "K = 2", "a=1",
    "\xB0\x3D=x", ";c", "\r\n", "\n", "\r", "\r\n", "=", "]", "[", "\xB0\x5D", " ", "\t",
    "k=\"q\"", "k='x'", "[a]junk", std::string_view("\0", 1), "\xB4\xF0\xB0\xB8=\xB0\xA1",
    "k", "\xC0"};
inline constexpr std::string_view kSections[] = {"a", "A", "b", "s 1", "\xB0\x5D", "10001", "new",
                                                 "\xB0\x3D", "c"};
inline constexpr std::string_view kKeys[] = {"k", "K", "a", "\xB4\xF0\xB0\xB8", "\xB0\x3D", "z",
                                             "new key"};

// Takes bytes from a script one at a time; zeros once it is used up.
class Script {
 public:
  explicit Script(std::string_view bytes) : bytes_(bytes) {}
  bool done() const { return bytes_.empty(); }
  unsigned next() {
    if (bytes_.empty()) return 0;
    const auto b = static_cast<unsigned char>(bytes_.front());
    bytes_.remove_prefix(1);
    return b;
  }

 private:
  std::string_view bytes_;
};

// Forwards to the native file calls without syncing: the comparison is of
// bytes, and syncs cost milliseconds each (the crash tests cover them).
class UnsyncedFiles final : public platform::FileSystem {
 public:
  class Unsynced final : public platform::File {
   public:
    explicit Unsynced(std::unique_ptr<platform::File> file) : file_(std::move(file)) {}
    bool identity(platform::FileIdentity& out) override { return file_->identity(out); }
    long read_at(std::uint64_t o, char* b, std::size_t n) override { return file_->read_at(o, b, n); }
    bool write_at(std::uint64_t o, std::string_view b) override { return file_->write_at(o, b); }
    bool truncate(std::uint64_t n) override { return file_->truncate(n); }
    bool sync() override { return true; }
    bool mark_written() override { return file_->mark_written(); }

   private:
    std::unique_ptr<platform::File> file_;
  };
  platform::OpenResult open(const Text& name, bool writable,
                            std::unique_ptr<platform::File>& file) override {
    const platform::OpenResult r = native().open(name, writable, file);
    if (file) file = std::make_unique<Unsynced>(std::move(file));
    return r;
  }
  std::unique_ptr<platform::File> create_journal(const Text& name) override {
    auto journal = native().create_journal(name);
    return journal ? std::make_unique<Unsynced>(std::move(journal)) : nullptr;
  }
  platform::OpenResult open_journal(const Text& name, std::unique_ptr<platform::File>& j) override {
    return native().open_journal(name, j);
  }
  bool remove_journal(const Text& name) override { return native().remove_journal(name); }
  bool sync_journal_folder(const Text&) override { return true; }
  std::int64_t now_ns() override { return native().now_ns(); }

 private:
  static platform::FileSystem& native() { return platform::native_file_system(); }
};

class StoreDifferential {
 public:
  // `folder` must exist; the two files are made in it.
  explicit StoreDifferential(const std::filesystem::path& folder)
      : indexed_path_(folder / "indexed.ini"), reference_path_(folder / "reference.ini"),
        indexed_(indexed_path_.string()), reference_(reference_path_.string()) {}

  // Runs `script` on two copies of `initial`; the empty text when both
  // paths agreed throughout, else what differed.
  std::string run(std::string_view initial, std::string_view script_bytes) {
    set_file_system_for_testing(&files_);
    put(std::string(initial));
    Script script(script_bytes);
    std::string failure;
    for (int step = 0; step < 64 && !script.done() && failure.empty(); ++step) {
      failure = one_step(script);
      if (failure.empty() && read(indexed_path_) != read(reference_path_)) {
        failure = "the files differ";
      }
      if (!failure.empty()) failure += " at step " + std::to_string(step) + " (" + last_ + ")";
    }
    set_store_cache_for_testing(true);
    set_file_system_for_testing(nullptr);
    return failure;
  }

  const std::filesystem::path& indexed_path() const { return indexed_path_; }
  const std::filesystem::path& reference_path() const { return reference_path_; }

  static std::string read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

 private:
  // Another program's version of the file, written in place as the
  // platform's profile functions do (same file, new contents).
  void put(const std::string& bytes) {
    for (const auto* path : {&indexed_path_, &reference_path_}) {
      std::ofstream out(*path, std::ios::binary | std::ios::trunc);
      out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
  }

  std::string one_step(Script& script) {
    const unsigned op = script.next() % 10;
    const Text section(kSections[script.next() % std::size(kSections)]);
    const Text key(kKeys[script.next() % std::size(kKeys)]);
    if (op <= 4) {
      const Text value = value_for(script, section, key);
      last_ = "write [" + section + "] " + key + "=" + value;
      set_store_cache_for_testing(true);
      const bool a = ini_write(indexed_, section, key, value);
      set_store_cache_for_testing(false);
      const bool b = ini_write(reference_, section, key, value);
      return a == b ? "" : "the write's results differ";
    }
    if (op <= 7) {
      last_ = "read [" + section + "] " + key;
      set_store_cache_for_testing(true);
      const Text a = ini_read(indexed_, section, key);
      set_store_cache_for_testing(false);
      const Text b = ini_read(reference_, section, key);
      return a == b ? "" : "the reads differ: " + a + " / " + b;
    }
    if (op == 8) {
      // An outside edit: bytes inserted, or one byte changed (the size kept:
      // within one clock tick the identity cannot show it).
      std::string bytes = read(reference_path_);
      const std::size_t at = bytes.empty() ? 0 : script.next() * 257u % (bytes.size() + 1);
      if (script.next() % 2 == 0 || bytes.empty()) {
        const std::string_view piece = kFilePieces[script.next() % std::size(kFilePieces)];
        bytes.insert(at, piece);
        last_ = "outside insert";
      } else {
        bytes[at % bytes.size()] = kFilePieces[script.next() % std::size(kFilePieces)][0];
        last_ = "outside same-size change";
      }
      put(bytes);
      return "";
    }
    last_ = "a new process";
    forget_store_cache_for_testing();
    return "";
  }

  // Values of the lengths the fast paths care about: the current value's
  // own length (in place), short and long ones, blanks, quotes, odd bytes.
  Text value_for(Script& script, const Text& section, const Text& key) {
    switch (script.next() % 6) {
      case 0: {
        set_store_cache_for_testing(false);
        Text now = ini_read(reference_, section, key);
        for (char& c : now) c = static_cast<char>('0' + (static_cast<unsigned char>(c) + script.next()) % 10);
        return now;
      }
      case 1: return Text("\xB0\xA1");
      case 2: return Text(40 + script.next() % 500, static_cast<char>('a' + script.next() % 26));
      case 3: return Text();
      case 4: {
        static constexpr std::string_view odd[] = {" v ", "\"q\"", "'", ";x", "[", "]", "=",
                                                   "\xB0\x5D", "\xB0", "a\tb", "\x80"};
        return Text(odd[script.next() % std::size(odd)]);
      }
      default: return std::to_string(script.next() * 37);
    }
  }

  std::filesystem::path indexed_path_, reference_path_;
  Text indexed_, reference_;
  UnsyncedFiles files_;
  std::string last_;
};

// A folder in memory when the system has one (/dev/shm): the reference
// path syncs every rewrite.
inline std::filesystem::path quick_temp_base() {
  std::error_code ec;
  if (std::filesystem::is_directory("/dev/shm", ec)) return "/dev/shm";
  return std::filesystem::temp_directory_path();
}

}  // namespace miyi::testing
