#include "game/private_game.h"

#include "core/store.h"
#include "core/text.h"
#include "game/puzzle.h"

namespace miyi {

Text puzzle_store() { return text_concat(run_dir(), "/觅异.ini"); }

Text play_private(const Text& sender, const Text& answer) {
  // The account number comes from the network: one that would reshape the
  // store gets no reply rather than a puzzle that could never be kept.
  if (!ini_accepts(sender, "答案")) return Text();
  const Text store = puzzle_store();

  Text solution = ini_read(store, sender, "答案");
  if (text_compare(solution, "") == 0) {
    solution = make_answer();
    ini_write(store, sender, "答案", solution);
  }
  Text question = ini_read(store, sender, "问题");
  if (text_compare(question, "") == 0) {
    question = make_question(solution);
    ini_write(store, sender, "问题", question);
  }

  if (text_compare(answer, "") == 0) {
    return text_concat(question, "\r\n觅异开始了 回复@觅异 答案即可参加");
  }
  if (text_compare(answer, solution) != 0) return "对不起您答错了，再接再厉吧";

  const Text next_solution = make_answer();
  const Text next_question = make_question(next_solution);
  ini_write(store, sender, "答案", next_solution);
  ini_write(store, sender, "问题", next_question);
  return text_concat(next_question, "\r\n恭喜你答对了！");
}

}  // namespace miyi
