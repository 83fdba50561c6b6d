// The settings store on Windows: our engine over the Win32 file calls, next
// to the platform's own private-profile functions, which other programs
// use on the same files.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "core/store.h"
#include "core/text.h"
#include "platform/run_dir.h"
#include "tests/store_fixture.h"
#include "tests/testing.h"
#include "tests/win32/process.h"

namespace miyi {
namespace {

namespace fs = std::filesystem;
using testing::question_of;
using testing::read_file;
using testing::write_file;

class Win32Store : public testing::StoreFixture {};

// What the platform's reader gives: up to 10239 bytes, "" by default.
std::string profile_read(const Text& file, const Text& section, const Text& key) {
  std::string buffer(10240, '\0');
  const DWORD n = GetPrivateProfileStringA(section.c_str(), key.c_str(), "", buffer.data(),
                                           static_cast<DWORD>(buffer.size()), file.c_str());
  buffer.resize(n);
  return buffer;
}

bool profile_write(const Text& file, const Text& section, const Text& key, const Text& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) != 0;
}

TEST_F(Win32Store, TheGamesValuesInAGbkNamedFileUnderTheRunDirectory) {
  const Text store = name("/觅异.ini");
  EXPECT_EQ(ini_read(store, "10001", "答案"), "");
  const std::string question = question_of(3);
  EXPECT_TRUE(ini_write(store, "10001", "答案", "\xB0\xB1"));
  EXPECT_TRUE(ini_write(store, "10001", "问题", question));
  EXPECT_TRUE(ini_write(store, "20002", "觅异日期", "2013年12月25日"));
  EXPECT_EQ(ini_read(store, "10001", "问题"), question);
  EXPECT_EQ(read_file(path(u8"觅异.ini")),
            "[10001]\r\n答案=\xB0\xB1\r\n问题=" + question + "\r\n[20002]\r\n觅异日期=2013年12月25日\r\n");
  // The points file's folder is made inside the run directory.
  EXPECT_TRUE(ini_write(name("/config/签到数据5000.ini"), "10001", "积分", "7"));
  EXPECT_EQ(read_file(path(u8"config/签到数据5000.ini")), "[10001]\r\n积分=7\r\n");
  EXPECT_EQ(entries(), 2);  // the store and the folder, no temporary file
}

TEST_F(Win32Store, WritesThatWouldReshapeTheFileChangeNothing) {
  const Text points = name("/points.ini");
  const std::string before = "[10001]\r\n积分=100\r\n";
  write_file(path(u8"points.ini"), before);
  const struct {
    Text section, key, value;
  } refused[] = {
      {"10001", "积分", "1\r\n[evil]"}, {"10001", "a\nb", "1"}, {"a]b", "k", "1"},
      {"10001", "a=b", "1"},           {"10001", "[k", "1"},   {"10001", ";k", "1"},
      {"", "k", "1"},                  {"10001", "", "1"},     {"10001", "k", Text("1\0" "2", 3)},
      {"10001", "积分", "1\xBB"},      {"\x01" "10001", "积分", "1"}, {"10001", "\x0C", "1"},
  };
  for (const auto& c : refused) {
    EXPECT_FALSE(ini_write(points, c.section, c.key, c.value)) << c.section << "/" << c.key;
  }
  EXPECT_EQ(read_file(path(u8"points.ini")), before);
  EXPECT_EQ(entries(), 1);
}

// A writer killed at any moment leaves the old file or the new one: every
// value written before the kill is there, and the file always reads.
TEST_F(Win32Store, AKilledWriterNeverTearsTheFile) {
  const Text store = name("/觅异.ini");
  const std::string question = question_of(1);
  for (int round = 0; round < 4; ++round) {
    SCOPED_TRACE(round);
    testing::ChildProcess writer;
    ASSERT_TRUE(writer.start(testing::quoted(testing::own_executable()) + " --writer " +
                             testing::quoted(store) + " " + std::to_string(round)));
    // Once the first write is done, kill the writer at a moment that
    // differs from round to round.
    std::string progress;
    char buffer[64];
    while (progress.find('\n') == std::string::npos) {
      const std::size_t n = writer.read_output(buffer, sizeof buffer);
      ASSERT_GT(n, 0u) << "the writer ended: " << progress;
      progress.append(buffer, n);
    }
    Sleep(static_cast<DWORD>(1 + round * 7919 % 60));
    writer.kill();
    progress += writer.read_all_output();

    // The last complete line is the last value known to be on disk.
    const auto last_break = progress.rfind('\n');
    const auto line_start = progress.rfind('\n', last_break - 1);
    const int done = std::stoi(progress.substr(line_start == std::string::npos ? 0 : line_start + 1));
    for (int k = 0; k <= done; ++k) {
      ASSERT_EQ(ini_read(store, std::to_string(round * 100000 + k), "问题"), question) << k;
    }
    const std::string file = read_file(path(u8"觅异.ini"));
    ASSERT_TRUE(file.size() >= 2 && file.compare(file.size() - 2, 2, "\r\n") == 0);
  }
}

// --- Files shared with programs that use the platform's functions.

TEST_F(Win32Store, WhatThePlatformWritesOurStoreReads) {
  const Text points = name("/config.ini");
  const std::string question = question_of(5);
  ASSERT_TRUE(profile_write(points, "10001", "积分", "100"));
  ASSERT_TRUE(profile_write(points, "10001", "签到天数", "7"));
  ASSERT_TRUE(profile_write(points, "10002", "问题", question));
  ASSERT_TRUE(profile_write(points, "\xB0\x5D", "k", "gbk 0x5D"));  // a second byte "]"
  ASSERT_TRUE(profile_write(points, "10001", "积分", "105"));

  EXPECT_EQ(ini_read(points, "10001", "积分"), "105");
  EXPECT_EQ(ini_read(points, "10001", "签到天数"), "7");
  EXPECT_EQ(ini_read(points, "10002", "问题"), question);
  EXPECT_EQ(ini_read(points, "\xB0\x5D", "k"), "gbk 0x5D");
  EXPECT_EQ(ini_read(points, "10001", "次数"), "");
}

TEST_F(Win32Store, WhatOurStoreWritesThePlatformReads) {
  const Text points = name("/config.ini");
  // Another program's keys and a comment, then our writes among them.
  write_file(path(u8"config.ini"), ";check-in data\r\n[10001]\r\n积分 = 100\r\n签到天数=7\r\n");
  const std::string question = question_of(6);
  ASSERT_TRUE(ini_write(points, "10001", "积分", "105"));
  ASSERT_TRUE(ini_write(points, "10001", "次数", "1"));
  ASSERT_TRUE(ini_write(points, "10002", "问题", question));
  ASSERT_TRUE(ini_write(points, "\xB0\x5D", "k", "gbk 0x5D"));

  EXPECT_EQ(profile_read(points, "10001", "积分"), "105");
  EXPECT_EQ(profile_read(points, "10001", "签到天数"), "7");
  EXPECT_EQ(profile_read(points, "10001", "次数"), "1");
  EXPECT_EQ(profile_read(points, "10002", "问题"), question);
  EXPECT_EQ(profile_read(points, "\xB0\x5D", "k"), "gbk 0x5D");

  // Turn about on the same file: each sees the other's latest value.
  ASSERT_TRUE(profile_write(points, "10001", "积分", "110"));
  EXPECT_EQ(ini_read(points, "10001", "积分"), "110");
  ASSERT_TRUE(ini_write(points, "10001", "积分", "111"));
  EXPECT_EQ(profile_read(points, "10001", "积分"), "111");
  EXPECT_EQ(read_file(path(u8"config.ini")).rfind(";check-in data\r\n[10001]\r\n", 0), 0u);
}

// Files as operators and other programs leave them: both readers agree.
TEST_F(Win32Store, OurReaderAgreesWithThePlatformsOnHandWrittenFiles) {
  const struct {
    std::string file;
    Text section, key, value;
  } cases[] = {
      {"[s]\r\nk=v1\r\nk=v2", "s", "k", "v1"},
      {"[ sec ]\r\n k = \"  v \" \r\n", "sec", "k", "  v "},
      {"[s]\r\nk=\"v'\r\n", "s", "k", "\"v'"},
      {"[s]\r\n;k=v\r\n", "s", "k", ""},
      {"[s]\r\nk=;x\r\n", "s", "k", ";x"},
      {"[S]\r\nKEY=v\r\n", "s", "key", "v"},
      {"[s]\nk=lf\n", "s", "k", "lf"},
      {"k=v\r\n[S]\r\n", "S", "k", ""},
      {"[10001]\r\n积分 = 100\r\n签到天数=7\r\n", "10001", "积分", "100"},
      // 0x80 and 0xFF stand alone in code page 936: they take no "]" or "="
      // with them.
      {"[\x80]\nk=v", "\x80", "k", "v"},
      {"[a\xFF]\nk=v", "a\xFF", "k", "v"},
      {"[a\x80]\r\nk=v\r\n", "a\x80", "k", "v"},
      {"[s]\r\nk\x80=v\r\n", "s", "k\x80", "v"},
      // The value ends at its first NUL, then its quotes are looked at.
      {std::string("[s]\r\nk=\"a\0b\"\r\n", 13), "s", "k", "\"a"},
      {std::string("[s]\r\nk='a'\0'\r\n", 13), "s", "k", "a"},
  };
  for (const auto& c : cases) {
    write_file(path(u8"hand.ini"), c.file);
    const Text file = name("/hand.ini");
    EXPECT_EQ(profile_read(file, c.section, c.key), c.value) << "platform: " << c.file;
    EXPECT_EQ(ini_read(file, c.section, c.key), c.value) << "ours: " << c.file;
  }
}

// A value ending in a lone first byte takes the line break after it into
// its last character when the platform reads it: in a file with LF endings
// the next line, a section header of another program's data among them,
// joins the value. Such a value is refused; one ending in 0x80 or 0xFF
// (characters of one byte) is not, and reads back as written.
TEST_F(Win32Store, ValuesEndingInALoneFirstByteNeverReachTheFile) {
  const Text points = name("/points.ini");
  const std::string before = "[s]\nk=1\n[t]\nj=2\n";
  write_file(path(u8"points.ini"), "[s]\nk=\xBB\n[t]\nj=2\n");
  EXPECT_EQ(profile_read(points, "t", "j"), "") << "what the platform makes of such a value";

  write_file(path(u8"points.ini"), before);
  for (const Text value : {"\xBB", "1\xB0\xB1\xC1"}) {
    EXPECT_FALSE(ini_write(points, "s", "k", value));
  }
  EXPECT_EQ(read_file(path(u8"points.ini")), before);
  for (const Text value : {"1\x80", "1\xFF", "\xB0\xB1", "\xBB\xBB"}) {
    ASSERT_TRUE(ini_write(points, "s", "k", value));
    EXPECT_EQ(profile_read(points, "s", "k"), value);
    EXPECT_EQ(ini_read(points, "s", "k"), value);
    EXPECT_EQ(profile_read(points, "t", "j"), "2");
  }
}

// The child side of AKilledWriterNeverTearsTheFile: writes value after value
// and reports each one once it is on disk.
int write_until_killed(const Text& store, int round) {
  const std::string question = question_of(1);
  for (int i = 0;; ++i) {
    if (!ini_write(store, std::to_string(round * 100000 + i), "问题", question)) return 3;
    std::printf("%d\n", i);
    std::fflush(stdout);
  }
}

}  // namespace
}  // namespace miyi

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--writer") {
    return miyi::write_until_killed(argv[2], std::atoi(argv[3]));
  }
  if (argc == 6 && std::string(argv[1]) == "--write") {
    // One write through the store, for tests that prepare files Windows
    // programs cannot make (linked_file.cmake).
    return miyi::ini_write(argv[2], argv[3], argv[4], argv[5]) ? 0 : 4;
  }
  if (argc == 2 && std::string(argv[1]) == "--as-plug-in") {
    // The run directory as the plug-in fixes it at load, and the store's
    // files written under it, in both ways a write takes: a new file (the
    // points file, in a folder made for it) is written whole, and a key
    // added to an existing one goes in place under the journal.
    const std::string line = miyi::platform::executable_dir().value_or("(none)") + "\n";
    DWORD put = 0;
    WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), line.data(), static_cast<DWORD>(line.size()), &put,
              nullptr);
    miyi::init_run_dir();
    const miyi::Text puzzles = miyi::text_concat(miyi::run_dir(), "/觅异.ini");
    const bool written =
        miyi::ini_write(puzzles, "s", "k", "v") &&
        miyi::ini_write(miyi::text_concat(miyi::run_dir(), "/config/签到数据5000.ini"), "s", "k", "v") &&
        miyi::ini_write(puzzles, "s", "n", "1") && miyi::ini_read(puzzles, "s", "n") == "1";
    return written ? 0 : 4;
  }
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
