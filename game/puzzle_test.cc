// Where the answer lands, checked against the generator's documented
// sequence: the test draws X, S and the start position itself from the same
// linear congruential steps and builds the question it expects.
#include "game/puzzle.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <set>
#include <string>

#include "core/random.h"

namespace miyi {
namespace {

std::uint32_t fixed_tick_value = 0;
std::uint32_t fixed_tick() { return fixed_tick_value; }

// The draws make_question makes from a seed, in its order.
struct Draws {
  std::string x, s;
  int r = 0;
};

Draws draws_from(std::uint32_t seed) {
  std::uint32_t state = seed;
  auto next = [&state] {
    state = state * 214013u + 2531011u;
    return static_cast<int>((state >> 16) & 0x7FFF);
  };
  auto character = [&] {
    std::string c;
    c += static_cast<char>(256 - (38 + next() % 43));
    c += static_cast<char>(256 - (38 + next() % 43));
    return c;
  };
  Draws d;
  d.x = character();
  d.s = character();
  d.r = next() % 501;
  return d;
}

// The first seed whose draws satisfy `wanted`.
template <class Pred>
std::uint32_t find_seed(Pred wanted) {
  for (std::uint32_t seed = 1;; ++seed) {
    if (wanted(draws_from(seed))) return seed;
  }
}

class PuzzleTest : public ::testing::Test {
 protected:
  void TearDown() override { set_tick_source_for_testing(nullptr); }

  // The question made from `seed` (the seeding offset starts at 0, so the
  // seed is the tick itself).
  static std::string question_from(std::uint32_t seed, const std::string& answer) {
    fixed_tick_value = seed;
    set_tick_source_for_testing(fixed_tick);
    return make_question(answer);
  }
};

// An answer outside the fillers' byte range, so it can only be where it was put.
const std::string kAnswer = "\xDB\xDC";

TEST_F(PuzzleTest, TheAnswerLandsWhereTheStartPositionSays) {
  struct Case {
    int start;           // odd start position the draw must give
    int answer_byte;     // 1-based byte where the answer must begin
  } cases[] = {{1, 3}, {3, 3}, {499, 499}, {501, 503}, {5, 7}, {7, 7}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.start);
    const std::uint32_t seed = find_seed([&](const Draws& d) {
      const int start = d.r % 2 == 1 ? d.r : d.r + 1;
      return start == c.start && d.x != d.s;
    });
    const Draws d = draws_from(seed);
    std::string expected;
    for (int i = 0; i < 128; ++i) expected += d.x + d.s;
    expected.replace(static_cast<std::size_t>(c.answer_byte - 1), 2, kAnswer);
    EXPECT_EQ(question_from(seed, kAnswer), expected);
  }
}

TEST_F(PuzzleTest, WhenTheFillersAreEqualTheAnswerReplacesTheCharacterAtTheStart) {
  const std::uint32_t seed = find_seed([](const Draws& d) { return d.x == d.s && d.r > 10; });
  const Draws d = draws_from(seed);
  const int start = d.r % 2 == 1 ? d.r : d.r + 1;
  std::string expected;
  for (int i = 0; i < 256; ++i) expected += d.x;
  expected.replace(static_cast<std::size_t>(start - 1), 2, kAnswer);
  EXPECT_EQ(question_from(seed, kAnswer), expected);
}

TEST_F(PuzzleTest, AnswersAndQuestionsAreGb2312CharactersOnly) {
  std::set<std::string> answers;
  for (std::uint32_t seed = 1; seed <= 300; ++seed) {
    set_random_state(seed);
    const std::string answer = make_answer();
    ASSERT_EQ(answer.size(), 2u);
    answers.insert(answer);
    const std::string question = question_from(seed * 7919, answer);
    ASSERT_EQ(question.size(), 512u);
    for (unsigned char byte : answer + question) {
      ASSERT_GE(byte, 0xB0);
      ASSERT_LE(byte, 0xDA);
    }
    // The answer sits on an even character, never among the last four.
    bool found = false;
    for (std::size_t at = 2; at <= 502; at += 4) found = found || question.compare(at, 2, answer) == 0;
    const bool fillers_equal = question.compare(0, 2, question, 2, 2) == 0;
    if (!fillers_equal && answer != question.substr(2, 2)) {
      EXPECT_TRUE(found);
    }
  }
  EXPECT_GT(answers.size(), 250u);  // draws differ from seed to seed
}

TEST_F(PuzzleTest, MakeAnswerDrawsFromTheStateAsItStands) {
  // From state 1 the generator gives 41 then 18467: bytes 256-(38+41%43)
  // and 256-(38+18467%43).
  set_random_state(1);
  EXPECT_EQ(make_answer(), std::string({static_cast<char>(256 - 79), static_cast<char>(256 - 38 - 18467 % 43)}));
}

}  // namespace
}  // namespace miyi
