// The private game through handle_command, on a puzzle store in a temporary
// run directory.
#include "game/command.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/store.h"
#include "core/text.h"
#include "game/puzzle_store.h"
#include "game/test_run_dir.h"
#include "tests/testing.h"

namespace miyi {
namespace {

namespace fs = std::filesystem;

const testing::TempDir& run_folder() { return testing::game_run_dir(); }

const char kStart[] = "\r\n觅异开始了 回复@觅异 答案即可参加";
const char kWrong[] = "对不起您答错了，再接再厉吧";
const char kRight[] = "\r\n恭喜你答对了！";

class PrivateGameTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::clear_game_run_dir(); }
  static fs::path store_path() { return testing::utf8_path(run_folder().path(), u8"觅异.ini"); }
  static std::string store_bytes() { return testing::read_file(store_path()); }
  static Text stored(const Text& section, const Text& key) {
    return ini_read(puzzle_store(), section, key);
  }
  static Text send(Text answer, Text kind = "1", Text sender = "10001") {
    Text group = "5000", extra = "";
    return handle_command(answer, kind, group, sender, extra);
  }
};

TEST_F(PrivateGameTest, AWholeGame) {
  // First contact: the puzzle is made, stored answer first, and shown.
  const Text shown = send("");
  const Text answer = stored("10001", "答案");
  const Text question = stored("10001", "问题");
  ASSERT_EQ(answer.size(), 2u);
  ASSERT_EQ(question.size(), 512u);
  EXPECT_EQ(shown, question + kStart);
  EXPECT_EQ(store_bytes(), "[10001]\r\n答案=" + answer + "\r\n问题=" + question + "\r\n");

  // Showing again and a wrong answer change nothing.
  const std::string before = store_bytes();
  EXPECT_EQ(send(""), question + kStart);
  const Text wrong = answer == "\xB0\xB0" ? "\xB0\xB1" : "\xB0\xB0";
  EXPECT_EQ(send(wrong), kWrong);
  EXPECT_EQ(store_bytes(), before);

  // The right answer deals a new puzzle and shows it.
  const Text reply = send(answer);
  const Text next_answer = stored("10001", "答案");
  const Text next_question = stored("10001", "问题");
  EXPECT_EQ(reply, next_question + kRight);
  EXPECT_EQ(next_question.size(), 512u);
  EXPECT_NE(next_question, question);
  if (next_answer != answer) {
    EXPECT_EQ(send(answer), kWrong);
  }
}

TEST_F(PrivateGameTest, AnswersAreNormalisedBeforeJudging) {
  send("");
  const Text answer = stored("10001", "答案");
  struct Case {
    Text sent;
    bool wins;
  } cases[] = {
      {" " + answer + "  ", true},
      {"\xA1\xA1" + answer + "\xA1\xA1", true},   // full-width spaces
      {"\r\n" + answer + "\r\n", true},
      {" \r\n \xA1\xA1" + answer + "\r\n\r\n", true},
      {"\t" + answer, false},
      {answer + "\n", false},                     // a lone line break stays
      {answer + "\r", false},
      {answer + "x", false},
      {answer.substr(0, 1), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sent);
    const Text current = stored("10001", "答案");
    Text message = c.sent;
    // Rebuild the case around the current answer: each win deals a new one.
    const auto at = message.find(answer);
    if (at != Text::npos) message.replace(at, answer.size(), current);
    const Text reply = send(message);
    EXPECT_EQ(reply.size() > 512 && reply.substr(512) == kRight, c.wins) << reply;
  }
}

TEST_F(PrivateGameTest, MissingHalvesOfAPuzzle) {
  // Only the question missing: a new question is built around the stored answer.
  ASSERT_TRUE(ini_write(puzzle_store(), "10001", "答案", "\xC1\xC2"));
  const Text shown = send("");
  const Text question = stored("10001", "问题");
  EXPECT_EQ(stored("10001", "答案"), "\xC1\xC2");
  EXPECT_EQ(shown, question + kStart);
  EXPECT_NE(question.find("\xC1\xC2"), Text::npos);

  // Only the answer missing: a new answer is drawn and the question is kept.
  ASSERT_TRUE(ini_write(puzzle_store(), "20002", "问题", question));
  EXPECT_EQ(send("", "1", "20002"), question + kStart);
  EXPECT_EQ(stored("20002", "答案").size(), 2u);
  EXPECT_EQ(stored("20002", "问题"), question);
}

TEST_F(PrivateGameTest, OtherKindsGetNoReplyAndTouchNothing) {
  for (const Text kind : {" 1", "01", "", "1 ", "3", "１"}) {
    SCOPED_TRACE(kind);
    EXPECT_EQ(send("", kind), "");
  }
  EXPECT_FALSE(fs::exists(store_path()));
  EXPECT_TRUE(fs::is_empty(run_folder().path()));
}

TEST_F(PrivateGameTest, HostileAccountNumbersNeverTouchAnotherPuzzle) {
  send("", "1", "10001");
  send("", "1", "20002");
  const std::string before = store_bytes();
  const Text answer = stored("10001", "答案");
  // Numbers that would reshape the store get no reply and write nothing; so
  // do numbers that a read finds under another name (a leading control byte
  // is dropped when reading, kept when writing).
  for (const Text sender : {"10001\r\n[20002]", "20002]", "10001\r\n答案=\xB0\xB0", "\n20002",
                            "20002\r", "", "   ", "\x01" "10001", "\x1f" "10001", " \x0c" "10001"}) {
    SCOPED_TRACE(sender);
    EXPECT_EQ(send("", "1", sender), "");
    EXPECT_EQ(send("\xB0\xB0", "1", sender), "");
    EXPECT_EQ(send(answer, "1", sender), "");
  }
  EXPECT_TRUE(store_bytes() == before);
  // An "=" is harmless in a section name: such a number plays in a section
  // of its own.
  EXPECT_EQ(send("", "1", "10001=\xB0\xB0").size(), 512u + std::string(kStart).size());
  const std::string after = store_bytes();
  EXPECT_TRUE(after.compare(0, before.size(), before) == 0);
  const std::string header = "[10001=\xB0\xB0]\r\n";
  EXPECT_EQ(after.compare(before.size(), header.size(), header), 0);
}

// An answer ending in half a character (a hand edit: the store never writes
// one) would make a question the store refuses: a new answer is dealt, and
// the question shown is the one stored.
TEST_F(PrivateGameTest, AHandEditedHalfCharacterAnswerIsDealtAgain) {
  testing::write_file(store_path(), "[10001]\r\n答案=\xBB\r\n");
  const Text shown = send("");
  const Text answer = stored("10001", "答案");
  EXPECT_EQ(answer.size(), 2u);
  EXPECT_EQ(shown, stored("10001", "问题") + kStart);
  EXPECT_EQ(send(""), shown);
}

TEST_F(PrivateGameTest, TheAnswerTextIsReplacedByItsNormalisedForm) {
  Text answer = " a\xA1\xA1\r\nb\t", kind = "7", group, sender, extra;
  handle_command(answer, kind, group, sender, extra);
  EXPECT_EQ(answer, "ab\t");
}

}  // namespace
}  // namespace miyi
