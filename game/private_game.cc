#include "game/private_game.h"

#include "core/store.h"
#include "core/text.h"
#include "game/puzzle.h"
#include "game/puzzle_store.h"

namespace miyi {

Text play_private(const Text& sender, const Text& answer) {
  // The account number comes from the network: one that would reshape the
  // store gets no reply rather than a puzzle that could never be kept.
  if (!ini_accepts(sender, "答案")) return Text();

  const StoredPuzzle puzzle = load_puzzle(sender);
  if (text_compare(answer, "") == 0) {
    return text_concat(puzzle.question, "\r\n觅异开始了 回复@觅异 答案即可参加");
  }
  if (text_compare(answer, puzzle.answer) != 0) return "对不起您答错了，再接再厉吧";

  const Text next_answer = make_answer();
  const Text next_question = make_question(next_answer);
  store_puzzle(sender, next_answer, next_question);
  return text_concat(next_question, "\r\n恭喜你答对了！");
}

}  // namespace miyi
