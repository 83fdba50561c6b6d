#include "game/puzzle.h"

#include "core/random.h"
#include "core/text.h"

namespace miyi {
namespace {

// One character: each byte is 256 - k for a k drawn in 38..80.
Text draw_character() {
  const Text first = text_from_byte(-random_int(38, 80));
  const Text second = text_from_byte(-random_int(38, 80));
  return text_concat(first, second);
}

}  // namespace

Text make_answer() { return draw_character(); }

Text make_question(const Text& answer) {
  seed_random();
  const Text x = draw_character();
  const Text s = draw_character();
  Text question = text_concat(x, s);
  for (int doubling = 0; doubling < 7; ++doubling) question = text_concat(question, question);
  const int r = random_int(0, 500);
  const int start = (r % 2 == 1) ? r : r + 1;
  // Start positions are odd, so the search only looks at character starts.
  return text_replace(question, s, answer, start, 1, true);
}

}  // namespace miyi
