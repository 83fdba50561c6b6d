#include "game/puzzle_store.h"

#include "core/store.h"
#include "core/text.h"
#include "game/puzzle.h"

namespace miyi {

Text puzzle_store() { return text_concat(run_dir(), "/觅异.ini"); }

StoredPuzzle load_puzzle(const Text& section) {
  const Text store = puzzle_store();
  StoredPuzzle puzzle;
  puzzle.answer = ini_read(store, section, "答案");
  // A hand-edited answer that the store could not have written (one that
  // ends in half a character) would make a question that it cannot hold
  // either: every command would show another one. It counts as missing.
  if (text_compare(puzzle.answer, "") == 0 || !ini_accepts(section, "答案", puzzle.answer)) {
    puzzle.answer = make_answer();
    ini_write(store, section, "答案", puzzle.answer);
  }
  puzzle.question = ini_read(store, section, "问题");
  if (text_compare(puzzle.question, "") == 0) {
    puzzle.question = make_question(puzzle.answer);
    ini_write(store, section, "问题", puzzle.question);
    puzzle.question_is_new = true;
  }
  return puzzle;
}

void store_puzzle(const Text& section, const Text& answer, const Text& question) {
  const Text store = puzzle_store();
  ini_write(store, section, "答案", answer);
  ini_write(store, section, "问题", question);
}

}  // namespace miyi
