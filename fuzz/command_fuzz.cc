// Fuzz target for whole commands: plugmain as a host calls it, in a
// temporary run directory whose puzzle store and points file start from
// bytes the input chooses, as a member, an operator's editor or another
// program may have left them. No portrait service answers: every request
// object the nickname lookup asks for is refused, so nothing leaves the
// machine.
//
// The input is kind, group, sender and answer, each ended by a NUL (the
// host's texts hold none), then the puzzle store's bytes, two NULs, and the
// points file's bytes, in which "@today@" stands for today's date text (so
// that the daily limit can be reached). Checked for every input:
//   - no crash and no sanitizer report;
//   - nothing is created outside the run directory, and inside it nothing
//     but the puzzle store, the points file and the points file's folders
//     (no temporary file is left behind);
//   - the reply is null or one of the game's replies: the fixed texts and
//     numbers are as they should be, and a reply with a freshly dealt
//     puzzle is valid GBK;
//   - the store reads back the puzzle the reply showed; a reply that shows
//     no new puzzle leaves the stored one as it was; a right answer is the
//     stored answer, a wrong one is not.
// A points-file setting that itself names a place outside the run directory,
// or the puzzle store, is the operator's choice, not an attack: such inputs
// are skipped.
#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>

#include "core/convert.h"
#include "core/random.h"
#include "core/store.h"
#include "core/text.h"
#include "fuzz/smoke.h"
#include "game/puzzle_store.h"
#include "net/request_object.h"
#include "platform/native_path.h"

extern "C" const char* plugmain(const char* answer, const char* kind, const char* group,
                                const char* sender, const char* extra);

namespace {

namespace fs = std::filesystem;
using miyi::Text;

const char kStart[] = "\r\n觅异开始了 回复@觅异 答案即可参加";
const char kPrivateWrong[] = "对不起您答错了，再接再厉吧";
const char kPrivateRight[] = "\r\n恭喜你答对了！";
const char kGroupWrongHead[] = "对不起您答错了，被扣了";
const char kGroupWrongTail[] = "RMB！再接再厉吧";
// Without a portrait service the nickname is empty.
const char kGroupWinHead[] = "\r\n恭喜答对了！获得";
const char kGroupWinMiddle[] = "人民币！今天已经参加";
const char kGroupWinTail[] = "次";
const char kGroupLimit[] = "对不起，您已经参加10次了，让别人找吧";
const char kSettings[] = "觅异";
const char kGroupMarker[] = "发送者群号";

void check(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "command_fuzz: %s\n", what);
    std::abort();
  }
}

// GBK proper: 0x81..0xFE followed by 0x40..0xFE other than 0x7F, or a byte
// below 0x80.
bool is_valid_gbk(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto first = static_cast<unsigned char>(text[at]);
    if (first < 0x80) {
      at += 1;
      continue;
    }
    if (first == 0x80 || first == 0xFF || at + 1 >= text.size()) return false;
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (second < 0x40 || second == 0x7F || second == 0xFF) return false;
    at += 2;
  }
  return true;
}

bool is_number(std::string_view text) {
  if (!text.empty() && text.front() == '-') text.remove_prefix(1);
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

bool starts_with(std::string_view text, std::string_view head) {
  return text.substr(0, head.size()) == head;
}
bool ends_with(std::string_view text, std::string_view tail) {
  return text.size() >= tail.size() && text.substr(text.size() - tail.size()) == tail;
}

// A file name relative to the run directory that stays inside it.
bool stays_inside(const Text& relative) {
  if (relative.empty()) return true;  // the run directory itself: no file
  if (relative.front() != '/') return false;
  std::size_t begin = 1;
  for (;;) {
    const std::size_t end = std::min(relative.find('/', begin), relative.size());
    if (relative.compare(begin, end - begin, "..") == 0) return false;
    if (end == relative.size()) return true;
    begin = end + 1;
  }
}

struct Place {
  fs::path top;  // made for this process; holds only outer/run
  fs::path outer;
  fs::path run;
};

std::uint32_t fixed_tick() { return 20131225; }

const Place& place() {
  static const Place* made = [] {
    // In memory where there is such a file system: every write syncs.
    std::string pattern = fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
    pattern += "/miyi-command-fuzz-XXXXXX";
    check(mkdtemp(pattern.data()) != nullptr, "no temporary folder");
    auto* p = new Place{pattern, fs::path(pattern) / "outer", fs::path(pattern) / "outer" / "run"};
    fs::create_directories(p->run);
    const std::optional<Text> text = miyi::platform::text_from_native_path(p->run.string());
    check(text.has_value(), "the temporary folder has no text");
    miyi::set_run_dir_for_testing(*text);
    // No portrait service: no request object is ever made.
    miyi::swap_request_object_factory(
        [] { return std::unique_ptr<miyi::RequestObject>(); });
    std::atexit([] {
      std::error_code ignored;
      fs::remove_all(place().top, ignored);
    });
    // The replies above are GBK only if the build made its literals GBK.
    check(std::string_view(kSettings) == "\xC3\xD9\xD2\xEC", "this build's literals are not GBK");
    return p;
  }();
  return *made;
}

fs::path native(const Text& name) {
  const std::optional<std::string> path = miyi::platform::native_path_from_text(name);
  return path ? fs::path(*path).lexically_normal() : fs::path();
}

void write_bytes(const fs::path& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Everything under `folder`, as normal paths.
std::set<fs::path> entries_under(const fs::path& folder) {
  std::set<fs::path> found;
  std::error_code error;
  for (fs::recursive_directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    found.insert(it->path().lexically_normal());
  }
  return found;
}

struct Input {
  Text kind, group, sender, answer;
  std::string store, points;
};

Input split(std::string_view data) {
  Input input;
  Text* texts[] = {&input.kind, &input.group, &input.sender, &input.answer};
  for (Text* text : texts) {
    const std::size_t end = std::min(data.find('\0'), data.size());
    *text = Text(data.substr(0, end));
    data.remove_prefix(std::min(end + 1, data.size()));
  }
  const std::size_t files = data.find(std::string_view("\0\0", 2));
  input.store = std::string(data.substr(0, files));
  if (files != std::string_view::npos) input.points = std::string(data.substr(files + 2));
  return input;
}

void check_puzzle_kept(const Text& store, const Text& section, const Text& question,
                       const Text& answer) {
  if (!question.empty()) {
    check(miyi::ini_read(store, section, "问题") == question, "the stored question changed");
  }
  if (!answer.empty()) {
    check(miyi::ini_read(store, section, "答案") == answer, "the stored answer changed");
  }
}

// A freshly dealt puzzle: shown whole and valid, stored as shown, and
// holding its stored answer.
void check_new_puzzle(const Text& store, const Text& section, const Text& question) {
  check(question.size() == 512 && is_valid_gbk(question), "a new question is not 256 characters");
  check(miyi::ini_read(store, section, "问题") == question, "the store lost the question shown");
  const Text answer = miyi::ini_read(store, section, "答案");
  check(answer.size() == 2 && is_valid_gbk(answer), "a new answer is not one character");
  check(miyi::text_find(question, answer) != -1, "the new question lacks its answer");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Place& where = place();
  const Input input = split(std::string_view(reinterpret_cast<const char*>(data), size));
  for (const auto& entry : fs::directory_iterator(where.run)) fs::remove_all(entry.path());
  miyi::set_tick_source_for_testing(fixed_tick);  // the same puzzles for the same input

  const Text store = miyi::puzzle_store();
  const fs::path store_path = native(store);
  if (!input.store.empty()) write_bytes(store_path, input.store);

  // The points file, as the game will name it.
  const Text setting = miyi::ini_read(store, kSettings, "配置");
  if (!stays_inside(miyi::text_replace(setting, kGroupMarker, "0"))) return 0;
  const Text points_relative = miyi::text_replace(setting, kGroupMarker, input.group);
  const fs::path points_path =
      stays_inside(points_relative) ? native(miyi::text_concat(miyi::run_dir(), points_relative))
                                    : fs::path();
  // A setting may make the points file the puzzle store itself, whose
  // sections then hold balances beside puzzles as the operator chose: the
  // game's promise about the puzzles shown does not cover that.
  if (points_path == store_path) return 0;
  if (!input.points.empty() && !points_path.empty()) {
    std::error_code error;
    fs::create_directories(points_path.parent_path(), error);
    const Text today = miyi::date_to_text(miyi::date_part(miyi::local_now()));
    if (!error) write_bytes(points_path, miyi::text_replace(input.points, "@today@", today));
  }

  const bool is_private = miyi::text_compare(input.kind, "1") == 0;
  const bool is_group = miyi::text_compare(input.kind, "2") == 0;
  const Text section = is_private ? input.sender : input.group;
  const Text question_before = miyi::ini_read(store, section, "问题");
  // An answer the store could not have written counts as missing.
  Text answer_before = miyi::ini_read(store, section, "答案");
  if (!miyi::ini_accepts(section, "答案", answer_before)) answer_before.clear();
  const Text answer_given =
      miyi::text_replace(miyi::text_strip_spaces(input.answer), "\r\n", "");
  std::set<fs::path> allowed = entries_under(where.run);  // what the input put there
  allowed.insert(store_path);
  for (fs::path p = points_path; !p.empty() && p != where.run && p != p.parent_path();
       p = p.parent_path()) {
    allowed.insert(p);
  }

  const char* reply_pointer = plugmain(input.answer.c_str(), input.kind.c_str(),
                                       input.group.c_str(), input.sender.c_str(), "");
  const std::string_view reply = reply_pointer ? reply_pointer : "";
  check(reply_pointer == nullptr || !reply.empty(), "an empty reply that is not null");

  // Nothing outside the run directory, nothing unexpected inside it.
  std::set<fs::path> outside = entries_under(where.top);
  for (const fs::path& p : entries_under(where.run)) outside.erase(p);
  check(outside == std::set<fs::path>{where.outer, where.run},
        "something was created outside the run directory");
  for (const fs::path& p : entries_under(where.run)) {
    if (allowed.count(p) == 0) {
      std::fprintf(stderr, "unexpected: %s\n", p.c_str());
      check(false, "a file the game has no business with was created");
    }
  }

  if (reply.empty()) return 0;
  check(is_private || is_group, "a reply to a kind that is neither game");
  const Text& old_question = question_before;
  if (ends_with(reply, kStart)) {
    const Text shown(reply.substr(0, reply.size() - std::string_view(kStart).size()));
    check(miyi::ini_read(store, section, "问题") == shown, "the store lost the question shown");
    if (!old_question.empty()) check(shown == old_question, "another question than the stored one");
    check(answer_given.empty(), "the puzzle shown for an answer");
    check_puzzle_kept(store, section, old_question, answer_before);
    return 0;
  }
  check(is_valid_gbk(reply), "a reply without a new puzzle that is not GBK");
  if (is_private) {
    if (reply == kPrivateWrong) {
      check(answer_given != answer_before || answer_before.empty(), "the right answer judged wrong");
      check_puzzle_kept(store, section, old_question, answer_before);
      return 0;
    }
    check(ends_with(reply, kPrivateRight), "an unknown private reply");
    if (!answer_before.empty()) check(answer_given == answer_before, "a wrong answer judged right");
    check_new_puzzle(store, section,
                     Text(reply.substr(0, reply.size() - std::string_view(kPrivateRight).size())));
    return 0;
  }
  if (starts_with(reply, kGroupWrongHead) && ends_with(reply, kGroupWrongTail)) {
    const std::string_view reward =
        reply.substr(std::string_view(kGroupWrongHead).size(),
                     reply.size() - std::string_view(kGroupWrongHead).size() -
                         std::string_view(kGroupWrongTail).size());
    check(is_number(reward), "the deducted reward is no number");
    check(answer_given != answer_before || answer_before.empty(), "the right answer judged wrong");
    check_puzzle_kept(store, section, old_question, answer_before);
    return 0;
  }
  if (reply == kGroupLimit) {
    if (!answer_before.empty()) check(answer_given == answer_before, "a wrong answer met the limit");
    check_puzzle_kept(store, section, old_question, answer_before);
    return 0;
  }
  const std::size_t win = reply.rfind(kGroupWinHead);
  check(win != std::string_view::npos && ends_with(reply, kGroupWinTail), "an unknown group reply");
  const std::string_view rest = reply.substr(win + std::string_view(kGroupWinHead).size());
  const std::size_t middle = rest.find(kGroupWinMiddle);
  check(middle != std::string_view::npos, "a win without its reward");
  const std::string_view count = rest.substr(
      middle + std::string_view(kGroupWinMiddle).size(),
      rest.size() - middle - std::string_view(kGroupWinMiddle).size() -
          std::string_view(kGroupWinTail).size());
  check(is_number(rest.substr(0, middle)), "the reward is no number");
  check(is_number(count) && miyi::text_to_int(Text(count)) <= 10, "the count is no number up to 10");
  if (!answer_before.empty()) check(answer_given == answer_before, "a wrong answer judged right");
  check_new_puzzle(store, section, Text(reply.substr(0, win)));
  return 0;
}

// Smoke inputs: the game's kinds, numbers that are fine and numbers that are
// not, answers, and store and points files made of the game's own lines,
// hand edits and junk.
std::string miyi::fuzz::smoke_input(SmokeRandom& random) {
  std::string input;
  input += random.pick({"1", "2", "2", "3", ""});
  input += '\0';
  input += random.pick({"5000", "5000", "6000", "", "..", "a/b", "\x1f" "5000", "觅异", "5000]"});
  input += '\0';
  input += random.pick({"10001", "10001", "10002", "", "\x01" "10001", "10001\r\n[x]", "觅异"});
  input += '\0';
  input += random.pick({"", "", "\xB0\xB0", "\xB0\xA1", " \xB0\xB0\r\n", "x", "\xBB"});
  input += '\0';
  const int store_lines = static_cast<int>(random.below(8));
  for (int i = 0; i < store_lines; ++i) {
    input += random.pick({"[觅异]\r\n", "配置=/config/签到数据发送者群号.ini\r\n",
                          "配置=/发送者群号.ini\r\n", "配置=/../x.ini\r\n", "积分名称=积分\r\n",
                          "最高分=15\r\n", "最高分=-3\r\n", "[5000]\r\n", "[10001]\r\n",
                          "答案=\xB0\xB0\r\n", "答案=\xBB\r\n", "问题=\xB0\xA1\xB0\xB0\r\n",
                          "问题=\xB1\xB1\r\n", "junk\xFF\n", std::string_view("\0", 1), "\r"});
  }
  if (random.below(3) != 0) {
    input += std::string_view("\0\0", 2);
    const int points_lines = static_cast<int>(random.below(6));
    for (int i = 0; i < points_lines; ++i) {
      input += random.pick({"[10001]\r\n", "积分=7\r\n", "积分=2147483647\r\n",
                            "觅异日期=@today@\r\n", "次数=9\r\n", "次数=10\r\n", "次数=-2147483648\r\n",
                            "[10002]\n", "; note\n"});
    }
  }
  return input;
}
