// What a fuzz target gives the smoke runner (smoke_main.cc): inputs of its
// own shape, drawn from a fixed series of pseudo-random numbers, so that the
// target's checks run in every test build without a fuzzing engine.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

namespace miyi::fuzz {

class SmokeRandom {
 public:
  std::uint32_t next() {
    state_ = state_ * 1103515245u + 12345u;
    return state_ >> 8;
  }
  std::uint32_t below(std::uint32_t n) { return n == 0 ? 0 : next() % n; }
  // One of the pieces; a piece may hold NULs.
  std::string pick(std::initializer_list<std::string_view> pieces) {
    const std::uint32_t at = below(static_cast<std::uint32_t>(pieces.size()));
    return std::string(*(pieces.begin() + at));
  }

 private:
  std::uint32_t state_ = 12345;
};

// Defined by each target: one input for the target.
std::string smoke_input(SmokeRandom& random);

}  // namespace miyi::fuzz
