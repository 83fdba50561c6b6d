// The store's indexed paths against the whole-file rewrite (see
// tests/store_differential.h), and that the fast paths are the ones taken.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <string>

#include "core/store.h"
#include "platform/files.h"
#include "tests/store_differential.h"
#include "tests/store_fixture.h"
#include "tests/testing.h"

namespace miyi {
namespace {

std::string hex(std::string_view bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (const char c : bytes) {
    out += digits[static_cast<unsigned char>(c) >> 4];
    out += digits[static_cast<unsigned char>(c) & 15];
  }
  return out;
}

class StoreDifferentialTest : public testing::StoreFixture {};

// Random files made of the engine's corner cases (duplicates, every line
// ending, no final line break, GBK second bytes "]" and "="), and random
// sequences of writes, reads, outside edits and restarts.
TEST_F(StoreDifferentialTest, IndexedPathsGiveTheRewritesBytesAndReads) {
  // Beside the run directory when that is on disk: the reference syncs
  // each rewrite.
  const std::filesystem::path folder =
      testing::quick_temp_base() / ("miyi-differential-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
                                    std::to_string(reinterpret_cast<std::uintptr_t>(&folder)));
  std::filesystem::create_directories(folder);
  testing::StoreDifferential differential(folder);
  std::mt19937 random(20261211);
  for (int run = 0; run < 400; ++run) {
    std::string file;
    const int pieces = static_cast<int>(random() % 40);
    for (int i = 0; i < pieces; ++i) {
      file += testing::kFilePieces[random() % std::size(testing::kFilePieces)];
    }
    std::string script(static_cast<std::size_t>(20 + random() % 200), '\0');
    for (char& c : script) c = static_cast<char>(random());
    const std::string failure = differential.run(file, script);
    ASSERT_EQ(failure, "") << "file " << hex(file) << "\nscript " << hex(script);
  }
  std::filesystem::remove_all(folder);
}

// The identity of a file, to see whether a write replaced it or changed it
// where it lies.
platform::FileIdentity identity_of(const Text& name) {
  std::unique_ptr<platform::File> file;
  platform::FileIdentity identity;
  EXPECT_EQ(platform::native_file_system().open(name, false, file), platform::OpenResult::opened);
  if (file) {
    EXPECT_TRUE(file->identity(identity));
  }
  return identity;
}

TEST_F(StoreDifferentialTest, SameLengthValuesAndNewSectionsAtTheEndKeepTheFileWhereItIs) {
  const Text store = name("/s.ini");
  ASSERT_TRUE(ini_write(store, "10001", "a", "12"));
  ASSERT_TRUE(ini_write(store, "10002", "a", "34"));
  const platform::FileIdentity created = identity_of(store);

  ASSERT_TRUE(ini_write(store, "10001", "a", "56"));   // same length, first section
  ASSERT_TRUE(ini_write(store, "10003", "a", "78"));   // a new section at the end
  ASSERT_TRUE(ini_write(store, "10003", "b", "9"));    // a new key in the last section
  ASSERT_TRUE(ini_write(store, "10003", "a", "7890")); // longer, in the last section
  EXPECT_EQ(identity_of(store).file, created.file);
  EXPECT_EQ(testing::read_file(path(u8"s.ini")),
            "[10001]\r\na=56\r\n[10002]\r\na=34\r\n[10003]\r\na=7890\r\nb=9\r\n");

  ASSERT_TRUE(ini_write(store, "10001", "a", "longer"));  // the rest of the file moves
  EXPECT_NE(identity_of(store).file, created.file);
  EXPECT_EQ(ini_read(store, "10001", "a"), "longer");
  EXPECT_EQ(entries(), 1);  // no journal or temporary file is left
}

// Another program changes the file without changing its size, right after
// we looked at it: within one clock tick its time stays the same too.
void change_in_place(const std::filesystem::path& file, std::streamoff at, std::string_view bytes,
                     bool keep_time) {
  const auto time = std::filesystem::last_write_time(file);
  {
    std::fstream out(file, std::ios::binary | std::ios::in | std::ios::out);
    out.seekp(at);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  }
  if (keep_time) std::filesystem::last_write_time(file, time);
}

TEST_F(StoreDifferentialTest, ASameSizeChangeRightAfterOurLookIsSeen) {
  const Text store = name("/s.ini");
  // Right after our write: the key renamed, same size.
  ASSERT_TRUE(ini_write(store, "10001", "a", "12"));
  ASSERT_EQ(ini_read(store, "10001", "a"), "12");
  change_in_place(path(u8"s.ini"), 9, "b", false);
  EXPECT_EQ(ini_read(store, "10001", "b"), "12");
  EXPECT_EQ(ini_read(store, "10001", "a"), "");

  // Another program wrote the file and we read it at once; it then changes
  // it again in the same tick (its time put back as the clock would leave
  // it): the index must not be trusted yet.
  testing::write_file(path(u8"s.ini"), "[10001]\r\na=12\r\n[10002]\r\nc=1\r\n");
  ASSERT_EQ(ini_read(store, "10001", "a"), "12");
  change_in_place(path(u8"s.ini"), 9, "b", true);
  EXPECT_EQ(ini_read(store, "10001", "b"), "12");
  EXPECT_EQ(ini_read(store, "10001", "a"), "");
  change_in_place(path(u8"s.ini"), 16, "10003", true);  // the second section renamed
  EXPECT_EQ(ini_read(store, "10003", "c"), "1");
  ASSERT_TRUE(ini_write(store, "10002", "c", "2"));
  EXPECT_EQ(testing::read_file(path(u8"s.ini")),
            "[10001]\r\nb=12\r\n[10003]\r\nc=1\r\n[10002]\r\nc=2\r\n");
}

TEST_F(StoreDifferentialTest, TheIndexOfAHundredThousandAccountsFitsInTenMegabytes) {
  std::string question(512, '\0');
  for (std::size_t i = 0; i < question.size(); ++i) question[i] = static_cast<char>(0xB0 + i % 40);
  std::string file;
  file.reserve(100000u * 540u);
  for (int i = 0; i < 100000; ++i) {
    file += "[" + std::to_string(10000 + i) + "]\r\n\xB4\xF0\xB0\xB8=\xB0\xA1\r\n\xCE\xCA\xCC\xE2=" +
            question + "\r\n";
  }
  testing::write_file(path(u8"big.ini"), file);
  const Text store = name("/big.ini");
  EXPECT_EQ(ini_read(store, "60000", "\xB4\xF0\xB0\xB8"), "\xB0\xA1");
  const std::size_t bytes = store_index_bytes_for_testing(store);
  EXPECT_GT(bytes, 0u);
  EXPECT_LT(bytes, 10u * 1024 * 1024) << bytes;
  std::printf("index of %zu file bytes: %zu bytes\n", file.size(), bytes);
}

}  // namespace
}  // namespace miyi
