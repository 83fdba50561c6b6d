// The settings store on real files in a temporary run directory.
#include "core/store.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "core/text.h"
#include "tests/store_fixture.h"
#include "tests/testing.h"

namespace miyi {
namespace {

namespace fs = std::filesystem;
using testing::question_of;
using testing::read_file;
using testing::write_file;

class StoreTest : public testing::StoreFixture {};

TEST_F(StoreTest, RoundTripsTheGamesValuesInAGbkNamedFile) {
  const Text store = name("/觅异.ini");
  EXPECT_EQ(ini_read(store, "10001", "答案"), "");  // no file yet
  EXPECT_FALSE(fs::exists(path(u8"觅异.ini")));

  const std::string question = question_of(3);
  ASSERT_EQ(question.size(), 512u);
  EXPECT_TRUE(ini_write(store, "10001", "答案", "\xB0\xB1"));
  EXPECT_TRUE(ini_write(store, "10001", "问题", question));
  EXPECT_TRUE(ini_write(store, "20002", "积分", "-2147483649"));
  EXPECT_TRUE(ini_write(store, "20002", "觅异日期", "2013年12月25日"));

  EXPECT_TRUE(fs::exists(path(u8"觅异.ini")));  // the GBK name is UTF-8 on disk
  EXPECT_EQ(ini_read(store, "10001", "答案"), "\xB0\xB1");
  EXPECT_EQ(ini_read(store, "10001", "问题"), question);
  EXPECT_EQ(ini_read(store, "20002", "积分"), "-2147483649");
  EXPECT_EQ(ini_read(store, "20002", "觅异日期"), "2013年12月25日");
  EXPECT_EQ(ini_read(store, "20002", "答案"), "");     // missing key
  EXPECT_EQ(ini_read(store, "30003", "答案"), "");     // missing section
  EXPECT_EQ(read_file(path(u8"觅异.ini")),
            "[10001]\r\n答案=\xB0\xB1\r\n问题=" + question +
                "\r\n[20002]\r\n积分=-2147483649\r\n觅异日期=2013年12月25日\r\n");
}

TEST_F(StoreTest, ReadNamesLoseLeadingControlCharactersAndEmptyNamesReadNothing) {
  write_file(path(u8"s.ini"), "[10001]\r\nk=v\r\n[ ]\r\n =blank\r\n");
  EXPECT_EQ(ini_read(name("/s.ini"), " \t\x01" "10001", "k"), "v");
  EXPECT_EQ(ini_read(name("/s.ini"), "10001", "\x1F k"), "v");
  EXPECT_EQ(ini_read(text_concat("\x0A  ", name("/s.ini")), "10001", "k"), "v");
  EXPECT_EQ(ini_read(name("/s.ini"), "10001", ""), "");
  EXPECT_EQ(ini_read(name("/s.ini"), "10001", "   "), "");
  EXPECT_EQ(ini_read(name("/s.ini"), " ", "k"), "");
  EXPECT_EQ(ini_read("", "10001", "k"), "");
}

TEST_F(StoreTest, ReadsAtMostTheLimit) {
  const std::string big(20000, 'x');
  ASSERT_TRUE(ini_write(name("/big.ini"), "s", "k", big));
  EXPECT_EQ(ini_read(name("/big.ini"), "s", "k"), std::string(kIniReadLimit, 'x'));
  ASSERT_TRUE(ini_write(name("/big.ini"), "s", "k", std::string(kIniReadLimit, 'y')));
  EXPECT_EQ(ini_read(name("/big.ini"), "s", "k"), std::string(kIniReadLimit, 'y'));
  // A NUL in a hand-edited file ends the value, as it ends any text.
  write_file(path(u8"nul.ini"), std::string("[s]\r\nk=ab\0cd\r\n", 15));
  EXPECT_EQ(ini_read(name("/nul.ini"), "s", "k"), "ab");
}

TEST_F(StoreTest, EditingAPointsFileKeepsEveryOtherByte) {
  // A check-in plug-in's file, edited by hand: LF and CR LF mixed, blanks,
  // quotes, comments and other programs' keys.
  const std::string before =
      "; check-in data\n"
      "[10001]\r\n"
      "积分 = 100\r\n"
      "签到天数=7\r\n"
      "[10002]\n"
      "昵称=\"小 明\"\n"
      "积分='42'\n"
      "\n"
      "; trailing comment";
  write_file(path(u8"config/签到数据5000.ini"), before);
  const Text points = name("/config/签到数据5000.ini");
  EXPECT_EQ(ini_read(points, "10001", "积分"), "100");
  EXPECT_EQ(ini_read(points, "10002", "积分"), "42");
  EXPECT_EQ(ini_read(points, "10002", "昵称"), "小 明");

  ASSERT_TRUE(ini_write(points, "10001", "积分", "105"));
  std::string expected = before;
  expected.replace(expected.find("积分 = 100"), std::string("积分 = 100").size(), "积分 =105");
  EXPECT_EQ(read_file(path(u8"config/签到数据5000.ini")), expected);

  ASSERT_TRUE(ini_write(points, "10002", "次数", "1"));
  expected.replace(expected.find("积分='42'\n") + std::string("积分='42'\n").size(), 0,
                   "次数=1\r\n");
  EXPECT_EQ(read_file(path(u8"config/签到数据5000.ini")), expected);
  EXPECT_EQ(ini_read(points, "10001", "积分"), "105");
  EXPECT_EQ(ini_read(points, "10001", "签到天数"), "7");
}

TEST_F(StoreTest, RefusesWritesThatWouldChangeTheFilesShape) {
  const Text store = name("/觅异.ini");
  ASSERT_TRUE(ini_write(store, "10001", "答案", "\xB0\xB1"));
  const std::string before = read_file(path(u8"觅异.ini"));
  const struct {
    Text section, key, value;
  } hostile[] = {
      {"10001\r\n[20002", "答案", "x"},  {"10001]", "答案", "x"},
      {"10001", "答案=", "x"},           {"10001", "[答案", "x"},
      {"10001", ";答案", "x"},           {"10001", "答案", "x\r\n答案=y"},
      {"10001", "答案", "x\n"},          {Text("100\0" "01", 6), "答案", "x"},
      {"", "答案", "x"},                 {"10001", "  ", "x"},
      // A lone first byte at the end of a value joins the line break.
      {"10001", "答案", "\xBB"},         {"10001", "答案", "x\xB0\xB1\xC1"},
      // Names that a read takes for other names.
      {"\x01" "10001", "答案", "x"},     {"10001", "\x0C", "x"},
      {" \x1F" "10001", "答案", "x"},
  };
  for (const auto& h : hostile) {
    SCOPED_TRACE(h.section + "/" + h.key);
    EXPECT_FALSE(ini_write(store, h.section, h.key, h.value));
    if (h.value == "x") {
      EXPECT_FALSE(ini_accepts(h.section, h.key));
    }
  }
  // Blanks around a name are no such difference: reading and writing both
  // drop them.
  EXPECT_TRUE(ini_accepts(" 10001\t", " 答案 "));
  EXPECT_EQ(read_file(path(u8"觅异.ini")), before);
  EXPECT_EQ(ini_read(store, "10001", "答案"), "\xB0\xB1");
}

TEST_F(StoreTest, CreatesMissingFoldersOnlyInsideTheRunDirectory) {
  EXPECT_TRUE(ini_write(name("/config/deeper/p.ini"), "10001", "积分", "3"));
  EXPECT_EQ(ini_read(name("/config/deeper/p.ini"), "10001", "积分"), "3");
  // A backslash is part of a POSIX folder's name: one folder "a\b", and no
  // folder "a" beside it.
  EXPECT_TRUE(ini_write(name("/a\\b/p.ini"), "s", "k", "v"));
  EXPECT_TRUE(fs::exists(path(u8"a\\b/p.ini")));
  EXPECT_FALSE(fs::exists(path(u8"a")));

  // Climbing out of the run directory, or a name elsewhere, creates nothing.
  EXPECT_FALSE(ini_write(name("/x/../../escaped/p.ini"), "s", "k", "v"));
  EXPECT_FALSE(fs::exists(testing::store_run_folder().path() / "x"));
  EXPECT_FALSE(fs::exists(testing::store_run_folder().path().parent_path() / "escaped"));
  testing::TempDir elsewhere;
  EXPECT_FALSE(ini_write(elsewhere.text() + "/missing/p.ini", "s", "k", "v"));
  EXPECT_FALSE(fs::exists(elsewhere.path() / "missing"));
  EXPECT_EQ(ini_read(elsewhere.text() + "/missing/p.ini", "s", "k"), "");
  // A name without a separator after the run directory is another folder.
  EXPECT_FALSE(ini_write(text_concat(run_dir(), "x/p.ini"), "s", "k", "v"));
}

TEST_F(StoreTest, WithoutARunDirectoryNoFileIsTouched) {
  ASSERT_TRUE(ini_write(name("/s.ini"), "s", "k", "old"));
  const std::string before = read_file(path(u8"s.ini"));
  const Text folder = run_dir();

  set_run_dir_for_testing(std::nullopt);
  EXPECT_FALSE(run_dir_known());
  EXPECT_EQ(run_dir(), "");
  // The same absolute name the store could use a moment ago: neither read
  // nor written, and no folder made.
  EXPECT_EQ(ini_read(text_concat(folder, "/s.ini"), "s", "k"), "");
  EXPECT_FALSE(ini_write(text_concat(folder, "/s.ini"), "s", "k", "new"));
  EXPECT_FALSE(ini_write(text_concat(folder, "/config/p.ini"), "s", "k", "v"));
  set_run_dir_for_testing(folder);

  EXPECT_EQ(read_file(path(u8"s.ini")), before);
  EXPECT_EQ(entries(), 1);
}

// Names reach the file system as GB18030: a character GBK lacks is a
// UTF-8 name like any other, and bytes that are not GB18030 name no file
// at all rather than some other file.
TEST_F(StoreTest, NamesAreGb18030AndBytesWithoutACharacterNameNoFile) {
  const Text emoji_and_o = "/\x94\x39\xFC\x36j\x81\x30\x8B\x32rg.ini";
  ASSERT_TRUE(ini_write(name(emoji_and_o.c_str()), "s", "k", "v"));
  EXPECT_EQ(read_file(path(u8"😀jörg.ini")), "[s]\r\nk=v\r\n");
  EXPECT_EQ(ini_read(name(emoji_and_o.c_str()), "s", "k"), "v");
  ASSERT_TRUE(ini_write(name("/config/\x94\x39\xFC\x36/p.ini"), "s", "k", "v"));
  EXPECT_TRUE(fs::exists(path(u8"config/😀/p.ini")));

  for (const char* bad : {"/\xFF.ini", "/\x80.ini", "/a\x81.ini", "/\x81\x30.ini", "/x\xFF/p.ini"}) {
    SCOPED_TRACE(bad);
    EXPECT_FALSE(ini_write(name(bad), "s", "k", "v"));
    EXPECT_EQ(ini_read(name(bad), "s", "k"), "");
  }
  EXPECT_EQ(entries(), 2);  // the two files above, nothing for the others
}

TEST_F(StoreTest, AFolderOrAnUnreadableFileIsNeverReplaced) {
  fs::create_directories(path(u8"dir.ini"));
  EXPECT_FALSE(ini_write(name("/dir.ini"), "s", "k", "v"));
  EXPECT_TRUE(fs::is_directory(path(u8"dir.ini")));
  EXPECT_EQ(ini_read(name("/dir.ini"), "s", "k"), "");
  // The run directory itself, as the points file's name when its setting is
  // empty.
  EXPECT_FALSE(ini_write(run_dir(), "s", "k", "v"));
  EXPECT_EQ(ini_read(run_dir(), "s", "k"), "");
}

TEST_F(StoreTest, KeepsPermissionsAndLinks) {
  write_file(path(u8"real.ini"), "[s]\r\nk=1\r\n");
  fs::permissions(path(u8"real.ini"), fs::perms(0640));
  fs::create_symlink(path(u8"real.ini"), path(u8"link.ini"));
  ASSERT_TRUE(ini_write(name("/link.ini"), "s", "k", "2"));
  EXPECT_TRUE(fs::is_symlink(path(u8"link.ini")));
  EXPECT_EQ(read_file(path(u8"real.ini")), "[s]\r\nk=2\r\n");
  EXPECT_EQ(fs::status(path(u8"real.ini")).permissions() & fs::perms::all, fs::perms(0640));
  // No temporary file is left beside it.
  EXPECT_EQ(entries(), 2);
}

// A writer killed at any moment leaves the old file or the new one: every
// value written before the kill is there, and the file always reads.
TEST_F(StoreTest, AKilledWriterNeverTearsTheFile) {
  const Text store = name("/觅异.ini");
  const std::string question = question_of(1);
  for (int round = 0; round < 12; ++round) {
    SCOPED_TRACE(round);
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(progress[0]);
      for (int i = 0;; ++i) {
        const Text section = std::to_string(round * 100000 + i);
        if (!ini_write(store, section, "问题", question)) _exit(3);
        // Tell the parent this value is on disk.
        if (write(progress[1], &i, sizeof i) != sizeof i) _exit(4);
      }
    }
    close(progress[1]);
    // Once the first write is done (a slow machine may take a while), kill
    // the writer at a moment that differs from round to round.
    int done = -1, i = 0;
    ASSERT_EQ(read(progress[0], &done, sizeof done), static_cast<ssize_t>(sizeof done));
    usleep(static_cast<useconds_t>(1000 + round * 7919 % 40000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    while (read(progress[0], &i, sizeof i) == sizeof i) done = i;
    close(progress[0]);

    for (int k = 0; k <= done; ++k) {
      ASSERT_EQ(ini_read(store, std::to_string(round * 100000 + k), "问题"), question) << k;
    }
    const std::string file = read_file(path(u8"觅异.ini"));
    ASSERT_TRUE(file.size() >= 2 && file.compare(file.size() - 2, 2, "\r\n") == 0);
  }
}

// The same at scale: hundreds of kills while a writer changes answers and
// questions in place and appends new accounts to a 100 000-account store
// (54 MB). After each kill the value being written is old or new; at the
// end the file is byte for byte what the completed writes make of it, and
// every value reads back.
TEST_F(StoreTest, HundredsOfKillsOverAHundredThousandAccountsLoseNothing) {
  constexpr int kAccounts = 100000;
  constexpr int kRounds = 200;
  const Text store = name("/big.ini");
  const auto answer_of = [](int seed) {
    return std::string{static_cast<char>(0xB0 + seed % 40), static_cast<char>(0xA1 + seed / 40 % 90)};
  };
  // Each account's answer and question seeds; -1 for a key not written yet.
  std::vector<int> answers(kAccounts), questions(kAccounts);
  for (int i = 0; i < kAccounts; ++i) answers[i] = questions[i] = i;
  const auto expected_file = [&] {
    std::string file;
    file.reserve(answers.size() * 540);
    for (std::size_t i = 0; i < answers.size(); ++i) {
      file += "[" + std::to_string(10000 + i) + "]\r\n";
      if (answers[i] >= 0) file += "答案=" + answer_of(answers[i]) + "\r\n";
      if (questions[i] >= 0) file += "问题=" + question_of(questions[i]) + "\r\n";
    }
    return file;
  };
  write_file(path(u8"big.ini"), expected_file());
  fs::last_write_time(path(u8"big.ini"), fs::file_time_type::clock::now() - std::chrono::hours(1));

  struct Op {
    int account, key, seed, done;  // key 0: answer, 1: question
  };
  int in_place = 0, appended = 0, in_flight = 0, journals = 0;
  for (int round = 0; round < kRounds; ++round) {
    SCOPED_TRACE(round);
    int progress[2];
    ASSERT_EQ(pipe(progress), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      close(progress[0]);
      std::uint32_t state = static_cast<std::uint32_t>(round) * 2654435761u + 1;
      const auto next = [&state] { return (state = state * 1103515245u + 12345u) >> 8; };
      int accounts = static_cast<int>(answers.size());
      const auto run = [&](Op op) {
        if (write(progress[1], &op, sizeof op) != sizeof op) _exit(4);
        const Text section = std::to_string(10000 + op.account);
        const bool ok = op.key == 0 ? ini_write(store, section, "答案", answer_of(op.seed))
                                    : ini_write(store, section, "问题", question_of(op.seed));
        if (!ok) _exit(3);
        op.done = 1;
        if (write(progress[1], &op, sizeof op) != sizeof op) _exit(4);
      };
      for (;;) {
        if (next() % 3 == 0) {  // a new account's first command
          const int account = accounts++;
          run(Op{account, 0, static_cast<int>(next() % 100000), 0});
          run(Op{account, 1, static_cast<int>(next() % 100000), 0});
        } else {
          run(Op{static_cast<int>(next() % static_cast<std::uint32_t>(accounts)),
                 static_cast<int>(next() % 2), static_cast<int>(next() % 100000), 0});
        }
      }
    }
    close(progress[1]);
    Op op{};
    ASSERT_EQ(read(progress[0], &op, sizeof op), static_cast<ssize_t>(sizeof op));
    usleep(static_cast<useconds_t>(round * 7919 % 30000));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    bool interrupted = false;
    Op pending{};
    do {
      interrupted = op.done == 0;
      if (interrupted) {
        pending = op;
        continue;
      }
      if (op.account >= static_cast<int>(answers.size())) {
        answers.resize(op.account + 1, -1);
        questions.resize(op.account + 1, -1);
        ++appended;
      } else {
        ++in_place;
      }
      (op.key == 0 ? answers : questions)[op.account] = op.seed;
    } while (read(progress[0], &op, sizeof op) == static_cast<ssize_t>(sizeof op));
    close(progress[0]);

    if (fs::exists(path(u8".big.ini-journal"))) ++journals;
    if (interrupted) {  // the write the kill interrupted: old or new
      ++in_flight;
      const Op& p = pending;
      const bool fresh = p.account >= static_cast<int>(answers.size());
      const int old_seed = fresh ? -1 : (p.key == 0 ? answers : questions)[p.account];
      const std::string new_value = p.key == 0 ? answer_of(p.seed) : question_of(p.seed);
      const std::string old_value =
          old_seed < 0 ? "" : (p.key == 0 ? answer_of(old_seed) : question_of(old_seed));
      const Text got = ini_read(store, std::to_string(10000 + p.account), p.key == 0 ? "答案" : "问题");
      ASSERT_TRUE(got == old_value || got == new_value) << "torn value of account " << p.account;
      if (got == new_value) {
        if (fresh) {
          answers.resize(p.account + 1, -1);
          questions.resize(p.account + 1, -1);
        }
        (p.key == 0 ? answers : questions)[p.account] = p.seed;
      }
    }
  }
  std::printf("%d kills: %d writes in place and %d appends completed, %d interrupted, %d journals "
              "left\n", kRounds, in_place, appended, in_flight, journals);

  // A new process, whose first access handles a journal that the last kill
  // may have left.
  forget_store_cache_for_testing();
  ASSERT_EQ(ini_read(store, "10000", "答案"), answers[0] < 0 ? "" : answer_of(answers[0]));
  EXPECT_FALSE(fs::exists(path(u8".big.ini-journal")));
  ASSERT_TRUE(read_file(path(u8"big.ini")) == expected_file());
  for (std::size_t i = 0; i < answers.size(); ++i) {
    const Text section = std::to_string(10000 + i);
    ASSERT_EQ(ini_read(store, section, "答案"), answers[i] < 0 ? "" : answer_of(answers[i])) << i;
    ASSERT_EQ(ini_read(store, section, "问题"), questions[i] < 0 ? "" : question_of(questions[i])) << i;
  }
}

}  // namespace
}  // namespace miyi
