#include "game/group_game.h"

#include "core/convert.h"
#include "core/random.h"
#include "core/store.h"
#include "core/text.h"
#include "game/puzzle_store.h"
#include "game/puzzle.h"
#include "net/nickname.h"

namespace miyi {
namespace {

const char kSettings[] = "觅异";
const char kGroupMarker[] = "发送者群号";

// Numbers come from the network. A group number stands in the points file's
// name, so it must not climb out of that file's folder; and both numbers
// must be sections the store can hold, or a command would write part of
// its work and lose the rest.
bool numbers_are_safe(const Text& group, const Text& sender) {
  if (group.find_first_of("/\\") != Text::npos || group == "." || group == "..") return false;
  return ini_accepts(group, "答案") && ini_accepts(sender, "次数");
}

// Balances and counts are whole numbers carried as floating values, so that
// a sum of two 32-bit numbers never overflows.
Text add_as_double(const Text& a, const Text& b, double sign = 1.0) {
  return double_to_text(static_cast<double>(text_to_int(a)) + sign * static_cast<double>(text_to_int(b)));
}

}  // namespace

Text play_group(const Text& answer, const Text& group, const Text& sender) {
  if (!numbers_are_safe(group, sender)) return Text();
  const Text store = puzzle_store();

  const Text file_setting = ini_read(store, kSettings, "配置");
  const Text points = text_concat(run_dir(), text_replace(file_setting, kGroupMarker, group));
  const Text balance_key = ini_read(store, kSettings, "积分名称");
  const Text old_balance = ini_read(points, sender, balance_key);
  const int top_reward = text_to_int(ini_read(store, kSettings, "最高分"));
  const Text today = date_to_text(date_part(local_now()));
  // Drawn on every command, whatever comes of it.
  const Text reward = int_to_text(random_int(1, top_reward));

  const StoredPuzzle puzzle = load_puzzle(group);
  if (puzzle.question_is_new) {
    // A new group puts the settings back to their defaults; this command
    // goes on with what it read above.
    ini_write(store, kSettings, "配置", "/config/签到数据发送者群号.ini");
    ini_write(store, kSettings, "积分名称", "积分");
    ini_write(store, kSettings, "最高分", "15");
  }

  // The day counter is brought up to date before the answer is judged.
  const Text counted_day = ini_read(points, sender, "觅异日期");
  if (text_compare(counted_day, "") == 0 || text_compare(counted_day, today) != 0) {
    ini_write(points, sender, "觅异日期", today);
    ini_write(points, sender, "次数", "0");
  }
  int count = 0;
  const Text count_text = ini_read(points, sender, "次数");
  if (text_compare(count_text, "") != 0) {
    count = text_to_int(count_text);
  } else {
    ini_write(points, sender, "次数", "0");
  }

  if (text_compare(answer, "") == 0) {
    return text_concat(puzzle.question, "\r\n觅异开始了 回复@觅异 答案即可参加");
  }
  if (text_compare(answer, puzzle.answer) != 0) {
    // The reply says the reward was deducted, so it is.
    ini_write(points, sender, balance_key, add_as_double(old_balance, reward, -1.0));
    return text_concat("对不起您答错了，被扣了", reward, "RMB！再接再厉吧");
  }

  const Text next_solution = make_answer();
  const Text next_question = make_question(next_solution);
  if (count < 10) {
    const Text new_count = double_to_text(static_cast<double>(count) + 1.0);
    store_puzzle(group, next_solution, next_question);
    ini_write(points, sender, balance_key, add_as_double(old_balance, reward));
    ini_write(points, sender, "次数", new_count);
    const Text nickname = lookup_nickname(sender);
    return text_concat(next_question, "\r\n恭喜", nickname, "答对了！获得", reward,
                       "人民币！今天已经参加", new_count, "次");
  }
  // Ten counted wins today: the puzzle stays for the others.
  const Text nickname = lookup_nickname(sender);
  return text_concat("对不起", nickname, "，您已经参加10次了，让别人找吧");
}

}  // namespace miyi
