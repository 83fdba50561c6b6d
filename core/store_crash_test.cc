// The store's in-place writes and appends under a crash at every step of
// the journal's protocol: a file layer that "dies" at a chosen step (and may
// tear that step's write in half) sits under the store; afterwards a fresh
// start must find every value old or new and the file whole.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "core/ini_engine.h"
#include "core/store.h"
#include "core/store_journal.h"
#include "platform/files.h"
#include "tests/store_fixture.h"
#include "tests/testing.h"

namespace miyi {
namespace {

namespace fs = std::filesystem;

// Thrown at the step where the process dies: nothing after it runs.
struct Crash {};

// The native file calls, counted step by step; at step `crash_at` the
// process dies, after writing half the bytes when `tear` is set.
class FaultyFiles final : public platform::FileSystem {
 public:
  int crash_at = -1;
  bool tear = false;
  std::vector<std::string> log;  // the steps that changed something, in order

  class Faulty final : public platform::File {
   public:
    Faulty(FaultyFiles& owner, std::unique_ptr<platform::File> file, std::string what)
        : owner_(owner), file_(std::move(file)), what_(std::move(what)) {}
    bool identity(platform::FileIdentity& out) override { return file_->identity(out); }
    long read_at(std::uint64_t o, char* b, std::size_t n) override { return file_->read_at(o, b, n); }
    bool write_at(std::uint64_t o, std::string_view bytes) override {
      if (owner_.dies_now(what_ + " write")) {
        if (owner_.tear) file_->write_at(o, bytes.substr(0, bytes.size() / 2));
        throw Crash();
      }
      return file_->write_at(o, bytes);
    }
    bool truncate(std::uint64_t n) override {
      if (owner_.dies_now(what_ + " truncate")) throw Crash();
      return file_->truncate(n);
    }
    bool sync() override {
      if (owner_.dies_now(what_ + " sync")) throw Crash();
      return file_->sync();
    }
    bool mark_written() override { return file_->mark_written(); }

   private:
    FaultyFiles& owner_;
    std::unique_ptr<platform::File> file_;
    std::string what_;
  };

  platform::OpenResult open(const Text& name, bool writable,
                            std::unique_ptr<platform::File>& file) override {
    const platform::OpenResult r = native().open(name, writable, file);
    if (file) file = std::make_unique<Faulty>(*this, std::move(file), "file");
    return r;
  }
  std::unique_ptr<platform::File> create_journal(const Text& name) override {
    if (dies_now("journal create")) throw Crash();
    auto journal = native().create_journal(name);
    return journal ? std::make_unique<Faulty>(*this, std::move(journal), "journal") : nullptr;
  }
  platform::OpenResult open_journal(const Text& name, std::unique_ptr<platform::File>& j) override {
    return native().open_journal(name, j);
  }
  bool remove_journal(const Text& name) override {
    if (dies_now("journal remove")) throw Crash();
    return native().remove_journal(name);
  }
  bool sync_journal_folder(const Text& name) override {
    if (dies_now("folder sync")) throw Crash();
    return native().sync_journal_folder(name);
  }
  std::int64_t now_ns() override { return native().now_ns(); }

  bool dies_now(const std::string& step) {
    log.push_back(step);
    return static_cast<int>(log.size()) - 1 == crash_at;
  }

 private:
  static platform::FileSystem& native() { return platform::native_file_system(); }
};

class StoreCrashTest : public testing::StoreFixture {
 protected:
  void TearDown() override { set_file_system_for_testing(nullptr); }

  // A file as another program left it long ago: the index trusts it at once.
  void put_old_file(const std::string& bytes) {
    testing::write_file(path(u8"s.ini"), bytes);
    fs::last_write_time(path(u8"s.ini"), fs::file_time_type::clock::now() - std::chrono::hours(1));
  }
  static ini::Source source_of(std::string_view& rest) {
    return [&rest](char* buffer, std::size_t size) -> long {
      const std::size_t n = rest.size() < size ? rest.size() : size;
      rest.copy(buffer, n);
      rest.remove_prefix(n);
      return static_cast<long>(n);
    };
  }
  static std::string reference_read(const std::string& file, const Text& section, const Text& key) {
    std::string_view rest = file;
    ini::LineReader lines(source_of(rest));
    return ini::find_value(lines, section, key).value_or("");
  }
  static std::string reference_edit(const std::string& file, const Text& section, const Text& key,
                                    const Text& value) {
    std::string_view rest = file;
    ini::LineReader lines(source_of(rest));
    std::string out;
    ini::store_value(lines, [&out](std::string_view b) { out.append(b); return true; }, section, key,
                     value);
    return out;
  }
};

TEST_F(StoreCrashTest, ACrashAtAnyStepLeavesTheOldFileOrTheNewOne) {
  const std::string question(512, '\xB1');
  const std::string store = "[10001]\r\nk=12\r\nq=" + question + "\r\n[10002]\r\nk=34\r\n";
  const struct {
    const char* what;
    std::string file;
    Text section, key, value;
  } cases[] = {
      {"same length, mid-file", store, "10001", "k", "56"},
      {"same length, long value", store, "10001", "q", std::string(512, '\xB2')},
      {"new key, last section", store, "10002", "q", question},
      {"new section", store, "10003", "k", "78"},
      {"new section, no final line break", "[10001]\r\nk=12", "10003", "k", "78"},
      {"shorter value, last section", store, "10002", "k", "3"},
      {"longer value, last section", store, "10002", "k", "3456"},
  };
  const Text name = StoreFixture::name("/s.ini");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string after = reference_edit(c.file, c.section, c.key, c.value);
    for (const bool tear : {false, true}) {
      for (int crash_at = 0;; ++crash_at) {
        SCOPED_TRACE(std::to_string(crash_at) + (tear ? " torn" : ""));
        put_old_file(c.file);
        FaultyFiles faulty;
        faulty.crash_at = crash_at;
        faulty.tear = tear;
        set_file_system_for_testing(&faulty);
        bool crashed = false;
        try {
          ASSERT_TRUE(ini_write(name, c.section, c.key, c.value));
        } catch (const Crash&) {
          crashed = true;
        }
        // A new process with the native file calls.
        set_file_system_for_testing(nullptr);
        const std::string died_at = crashed ? faulty.log.back() : "";
        EXPECT_EQ(ini_read(name, c.section, c.key),
                  crashed ? reference_read(c.file, c.section, c.key) : c.value);
        const std::string now = testing::read_file(path(u8"s.ini"));
        // Until the journal is gone the change is rolled back; after, it
        // stands.
        EXPECT_EQ(now, crashed ? c.file : after) << died_at;
        EXPECT_EQ(entries(), 1) << "a journal was left";
        if (!crashed) {
          // The journal was durable (file and folder synced) before the
          // file was touched, and removed once the file was synced.
          ASSERT_GE(faulty.log.size(), 5u);
          EXPECT_EQ(faulty.log[0], "journal create");
          EXPECT_EQ(faulty.log[1], "journal write");
          EXPECT_EQ(faulty.log[2], "journal sync");
          EXPECT_EQ(faulty.log[3], "folder sync");
          EXPECT_EQ(faulty.log.back(), "journal remove");
          EXPECT_EQ(faulty.log[faulty.log.size() - 2], "file sync");
          break;
        }
      }
    }
  }
}

// A journal left by a crash whose file another program has since replaced
// or rewritten is stale: the other program's file stays as it wrote it.
TEST_F(StoreCrashTest, AJournalWhoseFileChangedSinceIsDiscarded) {
  const Text name = StoreFixture::name("/s.ini");
  const std::string before = "[10001]\r\nk=12\r\n[10002]\r\nk=34\r\n";
  const struct {
    const char* what;
    bool replace;  // a new file renamed over the old one, or the old one rewritten
    std::string bytes;
  } others[] = {
      {"replaced", true, before},
      {"rewritten, another size", false, "[10001]\r\nk=1\r\n"},
      {"rewritten, the same size", false, "[10001]\r\nk=99\r\n[10002]\r\nk=34\r\n"},
  };
  for (const auto& other : others) {
    SCOPED_TRACE(other.what);
    put_old_file(before);
    FaultyFiles faulty;
    faulty.crash_at = 5;  // after the file's write, before its sync
    set_file_system_for_testing(&faulty);
    EXPECT_THROW(ini_write(name, "10001", "k", "56"), Crash);
    set_file_system_for_testing(nullptr);
    ASSERT_EQ(faulty.log[4], "file write");
    ASSERT_EQ(entries(), 2);  // the file and its journal
    if (other.replace) {
      testing::write_file(path(u8"new.ini"), other.bytes);
      fs::rename(path(u8"new.ini"), path(u8"s.ini"));
    } else {
      testing::write_file(path(u8"s.ini"), other.bytes);
    }
    EXPECT_EQ(ini_read(name, "10001", "k"), reference_read(other.bytes, "10001", "k"));
    EXPECT_EQ(testing::read_file(path(u8"s.ini")), other.bytes);
    EXPECT_EQ(entries(), 1);
  }
}

// A journal that another process still holds is neither rolled back nor
// taken over: that process is in the middle of its write.
TEST_F(StoreCrashTest, AJournalHeldByAnotherWriterIsLeftAlone) {
  const Text name = StoreFixture::name("/s.ini");
  put_old_file("[10001]\r\nk=12\r\n");
  std::unique_ptr<platform::File> held = platform::native_file_system().create_journal(name);
  ASSERT_TRUE(held);
  ASSERT_TRUE(held->write_at(0, "anything"));
  std::unique_ptr<platform::File> second;
  EXPECT_EQ(platform::native_file_system().open_journal(name, second), platform::OpenResult::failed);
  EXPECT_FALSE(platform::native_file_system().create_journal(name));
  // The store still reads and writes, by the streaming path.
  EXPECT_EQ(ini_read(name, "10001", "k"), "12");
  EXPECT_TRUE(ini_write(name, "10001", "k", "34"));
  EXPECT_EQ(ini_read(name, "10001", "k"), "34");
  EXPECT_TRUE(platform::native_file_system().remove_journal(name));
  held.reset();
  EXPECT_EQ(entries(), 1);
}

}  // namespace
}  // namespace miyi
