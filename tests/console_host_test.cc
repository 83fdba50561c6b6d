// The console host end to end, on every platform: the built miyi-host and
// plug-in copied into a folder of their own, driven through a pipe as a
// script would, with the game's state read back from the store file beside
// them (under its GBK name, which is the same UTF-8 name on disk on Linux
// and under Wine). Running the host and the reference GBK conversion are
// the per-OS part: tests/host_process.h.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/host_process.h"
#include "tests/http_server.h"
#include "tests/run_dir_variable.h"
#include "tests/testing.h"

namespace {

namespace fs = std::filesystem;
using miyi::testing::HostRun;
using miyi::testing::read_file;
using miyi::testing::RunDirVariable;
using miyi::testing::TempDir;
using miyi::testing::utf8_path;
using miyi::testing::write_file;

std::string u8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// The store's keys, GBK.
const char kAnswerKey[] = "\xB4\xF0\xB0\xB8";    // 答案
const char kQuestionKey[] = "\xCE\xCA\xCC\xE2";  // 问题

// GBK to UTF-8 through the system, independent of the host's own conversion.
std::string gbk_to_utf8(const std::string& gbk) { return miyi::testing::system_gbk_to_utf8(gbk); }

// A value of an INI file, read as a curious member would: the first
// "key=value" line under "[section]", blanks around both trimmed.
std::string ini_value(const std::string& file, std::string_view section, std::string_view key) {
  auto trim = [](std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return std::string_view();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
  };
  std::istringstream in(file);
  bool inside = false;
  for (std::string line; std::getline(in, line);) {
    if (line.ends_with('\r')) line.pop_back();
    const std::string_view text = trim(line);
    if (text.starts_with('[')) {
      inside = text == "[" + std::string(section) + "]";
      continue;
    }
    const auto equals = text.find('=');
    if (inside && equals != std::string_view::npos && trim(text.substr(0, equals)) == key) {
      return std::string(trim(text.substr(equals + 1)));
    }
  }
  return std::string();
}

// Every 16 x 16 grid the host printed, each as its 256 characters joined:
// sixteen lines in a row that hold sixteen three-byte UTF-8 characters once
// spaces are left out.
std::vector<std::string> grids(const std::string& output) {
  std::vector<std::string> found;
  std::string grid;
  int rows = 0;
  std::istringstream in(output);
  for (std::string line; std::getline(in, line);) {
    std::erase(line, ' ');
    bool row = line.size() == 48;
    for (std::size_t at = 0; row && at < line.size(); at += 3) {
      row = (static_cast<unsigned char>(line[at]) & 0xF0) == 0xE0;
    }
    if (!row) {
      rows = 0;
      grid.clear();
      continue;
    }
    grid += line;
    if (++rows == 16) {
      found.push_back(grid);
      rows = 0;
      grid.clear();
    }
  }
  return found;
}

// The names in a folder, sorted.
std::vector<fs::path> names_in(const fs::path& folder) {
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// The host and the plug-in in a folder of their own, started from another
// folder, so that any file written beside the host was written by the
// plug-in for its run directory. The folder has a Chinese name, as robots'
// folders often do: 机器人昞, whose last character's second byte in GBK is
// 0x5C, the backslash.
class HostFolder {
 public:
  // In the folder `name` (UTF-8, may be nested) made inside a temporary
  // one; by default 机器人昞.
  explicit HostFolder(bool with_plugin = true, std::u8string_view name = u8"机器人\u661E")
      : path_(utf8_path(parent_.path(), name)) {
    fs::create_directories(path_);
    const fs::path built = miyi::testing::built_programs_folder();
    fs::copy_file(built / MIYI_HOST_NAME, host());
    if (with_plugin) fs::copy_file(built / MIYI_LIBRARY_NAME, path_ / MIYI_LIBRARY_NAME);
  }

  fs::path host() const { return path_ / MIYI_HOST_NAME; }
  fs::path store() const { return utf8_path(path_, u8"觅异.ini"); }
  const fs::path& path() const { return path_; }

  // One run of the host with `input` on its standard input, and with
  // MIYI_RUN_DIR set to `run_dir_variable` (unset when nothing).
  HostRun run(const std::string& input,
              const std::optional<std::string>& run_dir_variable = std::nullopt) const {
    RunDirVariable variable(run_dir_variable);
    return miyi::testing::run_program(host(), input, elsewhere_.path());
  }
  // The folder the host is started from.
  const fs::path& working_folder() const { return elsewhere_.path(); }

  // A member's puzzle as the store file holds it, GBK.
  std::string answer(std::string_view member) const {
    return ini_value(read_file(store()), member, kAnswerKey);
  }
  std::string question(std::string_view member) const {
    return ini_value(read_file(store()), member, kQuestionKey);
  }

 private:
  TempDir parent_;
  TempDir elsewhere_;
  fs::path path_;
};

// Where `needle` first appears in `haystack` at or after `from`; fails the
// test when it does not.
std::size_t position(const std::string& haystack, const std::string& needle, std::size_t from = 0) {
  const auto at = haystack.find(needle, from);
  EXPECT_NE(at, std::string::npos) << "\"" << needle << "\" missing after byte " << from
                                   << " of:\n" << haystack;
  return at == std::string::npos ? haystack.size() : at;
}

// Whether the question holds the answer as one of its characters.
bool holds_answer(const std::string& question, const std::string& answer) {
  for (std::size_t at = 0; at + 2 <= question.size(); at += 2) {
    if (question.compare(at, 2, answer) == 0) return true;
  }
  return false;
}

const std::string kStarted = u8(u8"觅异开始了 回复@觅异 答案即可参加");
const std::string kWrong = u8(u8"对不起您答错了，再接再厉吧");
const std::string kRight = u8(u8"恭喜你答对了！");

TEST(ConsoleHost, AWholePrivateGameAcrossTwoRuns) {
  HostFolder folder;

  // Show the puzzle, then a guess that can never be right (啊 is B0 A1, and
  // answers use bytes B0 to DA only).
  const HostRun first = folder.run(u8(u8"\n@觅异 啊\n"));
  EXPECT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(first.err, "");
  const std::string answer = folder.answer("10001");
  const std::string question = folder.question("10001");
  ASSERT_EQ(answer.size(), 2u) << read_file(folder.store());
  ASSERT_EQ(question.size(), 512u);
  EXPECT_TRUE(holds_answer(question, answer));

  EXPECT_EQ(grids(first.out), std::vector<std::string>{gbk_to_utf8(question)}) << first.out;
  const auto grid = position(first.out, gbk_to_utf8(question.substr(0, 2)));
  const auto started = position(first.out, kStarted, grid);
  position(first.out, kWrong, started);
  EXPECT_EQ(first.out.find(kRight), std::string::npos);
  EXPECT_EQ(first.out.find('\r'), std::string::npos);  // "\n" line ends on every platform

  // A second run finds the same puzzle in the store and takes the answer,
  // typed in UTF-8 as read from the file.
  const HostRun second = folder.run("\n" + u8(u8"@觅异 ") + gbk_to_utf8(answer) + "\n");
  EXPECT_EQ(second.status, 0) << second.err;
  const std::string new_question = folder.question("10001");
  const std::string new_answer = folder.answer("10001");
  ASSERT_EQ(new_question.size(), 512u);
  ASSERT_EQ(new_answer.size(), 2u);
  EXPECT_NE(new_question, question);
  EXPECT_TRUE(holds_answer(new_question, new_answer));

  const std::vector<std::string> shown = {gbk_to_utf8(question), gbk_to_utf8(new_question)};
  EXPECT_EQ(grids(second.out), shown) << second.out;
  position(second.out, kRight, position(second.out, kStarted));
  EXPECT_EQ(second.out.find(kWrong), std::string::npos) << second.out;

  // Nothing went to the folder the host was started from, and nothing but
  // the store was written beside the host.
  std::vector<fs::path> expected_names = {MIYI_HOST_NAME, MIYI_LIBRARY_NAME,
                                          folder.store().filename()};
  std::sort(expected_names.begin(), expected_names.end());
  EXPECT_EQ(names_in(folder.path()), expected_names);
}

// A host names the folder for the game's files in MIYI_RUN_DIR; a name that
// gives no folder means no files at all, while the game still answers; an
// empty value is no setting.
TEST(ConsoleHost, MiyiRunDirChoosesWhereTheFilesGo) {
  HostFolder folder;
  TempDir data;
  // (Names with Chinese characters: tests/run_dir_setting_test.cc.)
  const fs::path chosen = data.path() / "game data";
  fs::create_directories(chosen);
  const std::vector<fs::path> host_alone = names_in(folder.path());
  const std::vector<fs::path> run_leftovers = {"input", "stderr"};

  // The folder named: the whole private game's store lands there, in GBK.
  const HostRun shown = folder.run("\n", chosen.string());
  EXPECT_EQ(shown.status, 0) << shown.err;
  const fs::path store = utf8_path(chosen, u8"觅异.ini");
  const std::string answer = ini_value(read_file(store), "10001", kAnswerKey);
  ASSERT_EQ(answer.size(), 2u) << read_file(store);
  const HostRun solved = folder.run(gbk_to_utf8(answer) + "\n", chosen.string() + "/");
  position(solved.out, kRight);
  EXPECT_NE(ini_value(read_file(store), "10001", kAnswerKey), "");
  EXPECT_EQ(names_in(chosen), std::vector<fs::path>{store.filename()});
  EXPECT_EQ(names_in(folder.path()), host_alone);
  EXPECT_EQ(names_in(folder.working_folder()), run_leftovers);

  // A missing folder: the puzzle is still shown and judged, no file is made
  // anywhere, and the folder is not created.
  const fs::path missing = data.path() / "missing";
  const HostRun nowhere = folder.run(u8(u8"\n@觅异 啊\n"), missing.string());
  EXPECT_EQ(nowhere.status, 0) << nowhere.err;
  EXPECT_EQ(grids(nowhere.out).size(), 1u) << nowhere.out;
  position(nowhere.out, kWrong, position(nowhere.out, kStarted));
  EXPECT_FALSE(fs::exists(missing));
  EXPECT_EQ(names_in(chosen), std::vector<fs::path>{store.filename()});
  EXPECT_EQ(names_in(folder.path()), host_alone);
  EXPECT_EQ(names_in(folder.working_folder()), run_leftovers);

  // Empty is no setting: beside the host, as without the variable.
  const HostRun beside = folder.run("\n", "");
  EXPECT_EQ(beside.status, 0) << beside.err;
  EXPECT_EQ(folder.answer("10001").size(), 2u);
}

// Whatever the host's folder is called, the store appears beside it under
// its own name, holds the puzzle shown, and the next run shows the same one.
TEST(ConsoleHost, KeepsTheGameInAFolderOfAnyName) {
  const struct {
    std::u8string name;
    bool beyond_gbk;
  } folders[] = {{u8"robot", false},   {u8"jörg/robot", true}, {u8"😀", true},
                 {u8"中文", false},    {u8"my robot", false}};
  for (const auto& f : folders) {
    if (f.beyond_gbk && !miyi::testing::folder_names_beyond_gbk()) continue;
    SCOPED_TRACE(u8(f.name));
    HostFolder folder(true, f.name);
    const HostRun first = folder.run("\n");
    EXPECT_EQ(first.status, 0) << first.err;
    const std::string question = folder.question("10001");
    ASSERT_EQ(question.size(), 512u) << "no store beside the host";
    EXPECT_EQ(grids(first.out), std::vector<std::string>{gbk_to_utf8(question)}) << first.out;
    const HostRun second = folder.run("\n");
    EXPECT_EQ(grids(second.out), std::vector<std::string>{gbk_to_utf8(question)}) << second.out;
    EXPECT_EQ(folder.question("10001"), question);
  }
}

// A folder whose name is not UTF-8 (Latin-1 "jörg") has no text for the
// plug-in: it keeps no file at all, rather than one under another name, and
// still answers.
TEST(ConsoleHost, AFolderNamedInNoCharacterSetKeepsNothingAnywhere) {
  if (!miyi::testing::folder_names_beyond_gbk()) GTEST_SKIP() << "POSIX names only";
  TempDir top;
  const fs::path folder = top.path() / std::string("j\xF6rg");
  fs::create_directories(folder);
  const fs::path built = miyi::testing::built_programs_folder();
  fs::copy_file(built / MIYI_HOST_NAME, folder / MIYI_HOST_NAME);
  fs::copy_file(built / MIYI_LIBRARY_NAME, folder / MIYI_LIBRARY_NAME);
  const HostRun run = miyi::testing::run_program(folder / MIYI_HOST_NAME, "\n\n", top.path());
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(grids(run.out).size(), 2u) << run.out;  // answered twice
  std::vector<fs::path> found;
  for (const auto& entry : fs::recursive_directory_iterator(top.path())) found.push_back(entry.path());
  std::sort(found.begin(), found.end());
  std::vector<fs::path> expected = {folder, folder / MIYI_HOST_NAME, folder / MIYI_LIBRARY_NAME,
                                    top.path() / "input", top.path() / "stderr"};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(found, expected);
}

TEST(ConsoleHost, AsSwitchesBetweenMembersWithPuzzlesOfTheirOwn) {
  HostFolder folder;
  const HostRun shown = folder.run("\n/as 10002\n\n");
  const std::string first_question = folder.question("10001");
  const std::string second_question = folder.question("10002");
  ASSERT_EQ(first_question.size(), 512u) << read_file(folder.store());
  ASSERT_EQ(second_question.size(), 512u);
  EXPECT_NE(first_question, second_question);
  const std::vector<std::string> expected = {gbk_to_utf8(first_question),
                                             gbk_to_utf8(second_question)};
  EXPECT_EQ(grids(shown.out), expected) << shown.out;

  // Solving one member's puzzle leaves the other's as it was, and the other
  // can still solve theirs.
  const std::string second_answer = folder.answer("10002");
  const HostRun solved = folder.run(gbk_to_utf8(folder.answer("10001")) + "\n");
  position(solved.out, kRight);
  EXPECT_NE(folder.question("10001"), first_question);
  EXPECT_EQ(folder.question("10002"), second_question);
  EXPECT_EQ(folder.answer("10002"), second_answer);

  const std::string first_after = folder.question("10001");
  const HostRun other = folder.run("/as 10002\n" + gbk_to_utf8(second_answer) + "\n");
  position(other.out, kRight);
  EXPECT_NE(folder.question("10002"), second_question);
  EXPECT_EQ(folder.question("10001"), first_after);
}

// The number that `pattern`'s one group catches in `text`, or -1.
int caught_number(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) return -1;
  return std::stoi(match[1]);
}

// Answers like the portrait service, in GBK (plain literals in this file
// compile to GBK): a nickname for 10002 only.
miyi::testing::HttpReply portrait(const miyi::testing::HttpRequest&) {
  return {miyi::testing::http_reply("HTTP/1.1 200 OK", {"Content-Type: text/html"},
                                    "cb({\"10002\":[\"http://x/y.jpg\",0,0,0,\"阿花\",0]})")};
}

TEST(ConsoleHost, TwoMembersPlayOneGroupPuzzle) {
  miyi::testing::HttpServer service(portrait);
  HostFolder folder;
  write_file(folder.store(), "[觅异]\r\n头像服务=" + service.authority() + "\r\n");
  const fs::path points = utf8_path(folder.path(), u8"config/签到数据5000.ini");

  // Both members see the group's one puzzle; 10002 guesses wrong and pays
  // the reward the reply names.
  const HostRun first = folder.run(u8(u8"/group 5000\n\n/as 10002\n\n@觅异 啊\n"));
  EXPECT_EQ(first.status, 0) << first.err;
  const std::string question = folder.question("5000");
  const std::string answer = folder.answer("5000");
  ASSERT_EQ(question.size(), 512u) << read_file(folder.store());
  ASSERT_EQ(answer.size(), 2u);
  const std::vector<std::string> same_puzzle_twice = {gbk_to_utf8(question),
                                                      gbk_to_utf8(question)};
  EXPECT_EQ(grids(first.out), same_puzzle_twice) << first.out;
  const int fine = caught_number(first.out, u8(u8"对不起您答错了，被扣了([0-9]+)RMB！再接再厉吧"));
  EXPECT_GE(fine, 1) << first.out;
  EXPECT_LE(fine, 15);
  EXPECT_EQ(ini_value(read_file(points), "10002", "积分"), std::to_string(-fine))
      << read_file(points);
  EXPECT_EQ(ini_value(read_file(points), "10002", "次数"), "0");
  EXPECT_TRUE(service.requests().empty());

  // 10002 solves it, greeted by the nickname; 10001 then sees the new puzzle.
  const HostRun second =
      folder.run("/group\n/as 10002\n" + gbk_to_utf8(answer) + "\n/as 10001\n\n");
  EXPECT_EQ(second.status, 0) << second.err;
  const std::string new_question = folder.question("5000");
  ASSERT_EQ(new_question.size(), 512u);
  EXPECT_NE(new_question, question);
  const std::vector<std::string> new_puzzle_twice = {gbk_to_utf8(new_question),
                                                     gbk_to_utf8(new_question)};
  EXPECT_EQ(grids(second.out), new_puzzle_twice) << second.out;
  const int reward = caught_number(
      second.out, u8(u8"恭喜阿花答对了！获得([0-9]+)人民币！今天已经参加1次\n"));
  EXPECT_GE(reward, 1) << second.out;
  EXPECT_LE(reward, 15);
  EXPECT_EQ(ini_value(read_file(points), "10002", "积分"), std::to_string(reward - fine))
      << read_file(points);
  EXPECT_EQ(ini_value(read_file(points), "10002", "次数"), "1");
  ASSERT_EQ(service.requests().size(), 1u);
  EXPECT_TRUE(service.requests()[0].target.ends_with("uins=10002")) << service.requests()[0].target;
}

TEST(ConsoleHost, AMissingPlugInIsNamedAndNothingIsWritten) {
  HostFolder folder(/*with_plugin=*/false);
  const HostRun run = folder.run("\n");
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, "");
  EXPECT_NE(run.err.find("cannot load the plug-in"), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(MIYI_LIBRARY_NAME), std::string::npos) << run.err;
  EXPECT_NE(run.err.find(miyi::testing::native_path(folder.path() / MIYI_LIBRARY_NAME)),
            std::string::npos)
      << run.err;
  EXPECT_FALSE(fs::exists(folder.store()));
}

}  // namespace
