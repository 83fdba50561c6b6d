// Tests of the random generator: its exact sequence, the bound rules of
// random_int, seeding from the tick count and the per-thread state.
#include "core/random.h"

#include <cstdint>

#include <gtest/gtest.h>

#include "tests/thread.h"

namespace miyi {
namespace {

// State 1 * 214013 + 2531011: the state after one draw from state 1.
constexpr std::uint32_t kStateAfterOneDraw = 2745024;

class RandomTest : public ::testing::Test {
 protected:
  void SetUp() override { set_random_state(1); }
  void TearDown() override { set_tick_source_for_testing(nullptr); }
};

TEST_F(RandomTest, StateOneGivesTheKnownSequence) {
  const int expected[] = {41, 18467, 6334, 26500, 19169};
  for (int value : expected) EXPECT_EQ(random_int(0, 32767), value);
}

TEST_F(RandomTest, OutputIsBitsSixteenToThirty) {
  // States chosen so that the next state is exactly the value shown; bit 31
  // must not reach the output and bits 0..15 must not either.
  struct Case {
    std::uint32_t state, next_state;
    int output;
  } cases[] = {
      {1880880705u, 0xFFFF0000u, 32767},
      {561051201u, 0x80000000u, 0},
      {4028364353u, 0x7FFF0000u, 32767},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    set_random_state(c.state);
    EXPECT_EQ(random_int(0, 32767), c.output);
    EXPECT_EQ(random_state(), c.next_state);
    set_random_state(c.state);
    EXPECT_EQ(random_int(0, 100000), c.output);  // never above 32767
  }
}

TEST_F(RandomTest, BoundsAreNormalisedBeforeTheDraw) {
  // From state 1 the next output is 41.
  struct Case {
    int lower, upper;
    int expected;
    bool draws;
  } cases[] = {
      {0, 32767, 41, true},
      {38, 80, 38 + 41 % 43, true},
      {80, 38, 38 + 41 % 43, true},  // either order
      {0, 500, 41, true},
      {1, 15, 1 + 41 % 15, true},
      {100, 200, 141, true},
      {-3, 2, 41 % 3, true},          // negative bound counts as 0
      {7, -2, 41 % 8, true},
      {1, 0, 1, true},
      {1, -4, 1, true},
      {0, 100000, 41, true},
      {0, 2147483647, 41, true},
      {2147483600, 2147483647, 2147483641, true},
      {5, 5, 5, false},               // equal bounds: no draw
      {-3, -7, 0, false},
      {0, -1, 0, false},
      {2147483647, 2147483647, 2147483647, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.lower << ", " << c.upper);
    set_random_state(1);
    EXPECT_EQ(random_int(c.lower, c.upper), c.expected);
    EXPECT_EQ(random_state(), c.draws ? kStateAfterOneDraw : 1u);
  }
}

TEST_F(RandomTest, ResultsStayWithinTheBounds) {
  set_random_state(20240601);
  for (int i = 0; i < 2000; ++i) {
    const int reward = random_int(1, 15);
    EXPECT_GE(reward, 1);
    EXPECT_LE(reward, 15);
    const int byte = random_int(80, 38);
    EXPECT_GE(byte, 38);
    EXPECT_LE(byte, 80);
    const int wide = random_int(0, 100000);
    EXPECT_GE(wide, 0);
    EXPECT_LE(wide, 32767);
  }
}

std::uint32_t tick_1000() { return 1000; }
std::uint32_t tick_max() { return 0xFFFFFFFFu; }

TEST_F(RandomTest, SeedingAddsAGrowingOffsetToTheTick) {
  set_tick_source_for_testing(tick_1000);
  EXPECT_EQ(seeding_offset_for_testing(), 0u);
  seed_random();
  EXPECT_EQ(random_state(), 1000u);
  EXPECT_EQ(seeding_offset_for_testing(), 332u);  // 1000 % 256 + 100
  seed_random();  // same millisecond, different seed
  EXPECT_EQ(random_state(), 1332u);
  EXPECT_EQ(seeding_offset_for_testing(), 484u);  // 332 + 1332 % 256 + 100
}

TEST_F(RandomTest, SeedingWrapsAroundIn32Bits) {
  set_tick_source_for_testing(tick_max);
  seed_random();
  EXPECT_EQ(random_state(), 0xFFFFFFFFu);
  EXPECT_EQ(seeding_offset_for_testing(), 355u);  // 255 + 100
  seed_random();
  EXPECT_EQ(random_state(), 354u);                // 0xFFFFFFFF + 355
  EXPECT_EQ(seeding_offset_for_testing(), 553u);  // 355 + 354 % 256 + 100
}

TEST_F(RandomTest, SettingATickSourceResetsTheOffset) {
  set_tick_source_for_testing(tick_1000);
  seed_random();
  ASSERT_NE(seeding_offset_for_testing(), 0u);
  set_tick_source_for_testing(tick_1000);
  EXPECT_EQ(seeding_offset_for_testing(), 0u);
  seed_random();
  EXPECT_EQ(random_state(), 1000u);
}

TEST_F(RandomTest, PlatformTickSeedsDiffer) {
  set_tick_source_for_testing(nullptr);
  seed_random();
  const std::uint32_t first = random_state();
  EXPECT_EQ(seeding_offset_for_testing(), first % 256u + 100u);
  seed_random();
  const std::uint32_t second = random_state();
  EXPECT_NE(first, second);
}

TEST_F(RandomTest, EachThreadHasItsOwnState) {
  set_tick_source_for_testing(tick_1000);
  set_random_state(12345);
  std::uint32_t thread_start_state = 0;
  int thread_first_draw = -1;
  std::uint32_t thread_seeded_state = 0;
  testing::Thread other([&] {
    thread_start_state = random_state();
    thread_first_draw = random_int(0, 32767);
    seed_random();
    thread_seeded_state = random_state();
  });
  other.join();
  EXPECT_EQ(thread_start_state, 1u);
  EXPECT_EQ(thread_first_draw, 41);
  EXPECT_EQ(thread_seeded_state, 1000u);
  EXPECT_EQ(random_state(), 12345u);                // the caller's state is untouched
  EXPECT_EQ(seeding_offset_for_testing(), 332u);  // the offset is shared
  seed_random();
  EXPECT_EQ(random_state(), 1332u);
}

}  // namespace
}  // namespace miyi
