// miyi-host.exe end to end under Windows: the host and miyi.dll copied into
// a folder of their own, driven through a pipe, the game's state read back
// from the store file that lands beside them under its GBK name (the same
// UTF-8 name on disk as on Linux).
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tests/http_server.h"
#include "tests/testing.h"
#include "tests/win32/process.h"

namespace {

namespace fs = std::filesystem;
using miyi::testing::read_file;
using miyi::testing::TempDir;
using miyi::testing::utf8_path;
using miyi::testing::write_file;

std::string u8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

const char kAnswerKey[] = "\xB4\xF0\xB0\xB8";    // 答案
const char kQuestionKey[] = "\xCE\xCA\xCC\xE2";  // 问题

// GBK to UTF-8 through the system's code page 936, independent of the
// host's own character-by-character conversion.
std::string gbk_to_utf8(const std::string& gbk) {
  if (gbk.empty()) return gbk;
  std::wstring wide(gbk.size(), L'\0');
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(
      936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()), wide.data(),
      static_cast<int>(wide.size()))));
  std::string out(wide.size() * 3, '\0');
  out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(),
                                                          static_cast<int>(wide.size()), out.data(),
                                                          static_cast<int>(out.size()), nullptr,
                                                          nullptr)));
  return out;
}

// A value of an INI file as a curious member reads it: the first
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

// Every 16 x 16 grid the host printed, each as its 256 characters joined.
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

// The host and the plug-in in a folder of their own, started from another
// folder, so that any file beside the host was written by the plug-in for
// its run directory.
class HostFolder {
 public:
  explicit HostFolder(bool with_plugin = true) {
    const fs::path built = fs::path(miyi::testing::own_executable()).parent_path();
    fs::copy_file(built / MIYI_HOST_NAME, folder_.path() / MIYI_HOST_NAME);
    if (with_plugin) fs::copy_file(built / MIYI_LIBRARY_NAME, folder_.path() / MIYI_LIBRARY_NAME);
  }

  fs::path store() const { return utf8_path(folder_.path(), u8"觅异.ini"); }
  const fs::path& path() const { return folder_.path(); }

  miyi::testing::ProcessResult run(const std::string& input) const {
    return miyi::testing::run_process(miyi::testing::quoted(folder_.text() + "\\" MIYI_HOST_NAME),
                                      input, elsewhere_.text());
  }

  std::string answer(std::string_view member) const {
    return ini_value(read_file(store()), member, kAnswerKey);
  }
  std::string question(std::string_view member) const {
    return ini_value(read_file(store()), member, kQuestionKey);
  }

 private:
  TempDir folder_;
  TempDir elsewhere_;
};

std::size_t position(const std::string& haystack, const std::string& needle, std::size_t from = 0) {
  const auto at = haystack.find(needle, from);
  EXPECT_NE(at, std::string::npos) << "\"" << needle << "\" missing after byte " << from
                                   << " of:\n" << haystack;
  return at == std::string::npos ? haystack.size() : at;
}

int caught_number(const std::string& text, const std::string& pattern) {
  std::smatch match;
  if (!std::regex_search(text, match, std::regex(pattern))) return -1;
  return std::stoi(match[1]);
}

const std::string kStarted = u8(u8"觅异开始了 回复@觅异 答案即可参加");
const std::string kWrong = u8(u8"对不起您答错了，再接再厉吧");
const std::string kRight = u8(u8"恭喜你答对了！");

TEST(Win32ConsoleHost, AWholePrivateGameAcrossTwoRuns) {
  HostFolder folder;
  // Show the puzzle, then a guess that can never be right (啊 is B0 A1).
  const auto first = folder.run(u8(u8"\n@觅异 啊\n"));
  EXPECT_EQ(first.exit_code, 0) << first.output;
  const std::string answer = folder.answer("10001");
  const std::string question = folder.question("10001");
  ASSERT_EQ(answer.size(), 2u) << first.output;
  ASSERT_EQ(question.size(), 512u);
  EXPECT_EQ(grids(first.output), std::vector<std::string>{gbk_to_utf8(question)}) << first.output;
  position(first.output, kWrong, position(first.output, kStarted));
  EXPECT_EQ(first.output.find(kRight), std::string::npos);
  EXPECT_EQ(first.output.find('\r'), std::string::npos);  // "\n" line ends, as on POSIX

  // A second run finds the same puzzle and takes the answer, typed in UTF-8.
  const auto second = folder.run("\n" + u8(u8"@觅异 ") + gbk_to_utf8(answer) + "\n");
  EXPECT_EQ(second.exit_code, 0) << second.output;
  const std::string new_question = folder.question("10001");
  ASSERT_EQ(new_question.size(), 512u);
  EXPECT_NE(new_question, question);
  const std::vector<std::string> shown = {gbk_to_utf8(question), gbk_to_utf8(new_question)};
  EXPECT_EQ(grids(second.output), shown) << second.output;
  position(second.output, kRight, position(second.output, kStarted));

  // Beside the host: the host, the plug-in and the store, nothing else.
  std::vector<fs::path> names;
  for (const auto& entry : fs::directory_iterator(folder.path())) {
    names.push_back(entry.path().filename());
  }
  std::sort(names.begin(), names.end());
  std::vector<fs::path> expected = {MIYI_HOST_NAME, MIYI_LIBRARY_NAME, folder.store().filename()};
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(names, expected);
}

// Answers like the portrait service, in GBK: a nickname for 10002 only.
miyi::testing::HttpReply portrait(const miyi::testing::HttpRequest&) {
  return {miyi::testing::http_reply("HTTP/1.1 200 OK", {"Content-Type: text/html"},
                                    "cb({\"10002\":[\"http://x/y.jpg\",0,0,0,\"阿花\",0]})")};
}

TEST(Win32ConsoleHost, TwoMembersPlayOneGroupPuzzle) {
  miyi::testing::HttpServer service(portrait);
  HostFolder folder;
  write_file(folder.store(), "[觅异]\r\n头像服务=" + service.authority() + "\r\n");
  const fs::path points = utf8_path(folder.path(), u8"config/签到数据5000.ini");

  const auto first = folder.run(u8(u8"/group 5000\n\n/as 10002\n\n@觅异 啊\n"));
  EXPECT_EQ(first.exit_code, 0) << first.output;
  const std::string question = folder.question("5000");
  const std::string answer = folder.answer("5000");
  ASSERT_EQ(question.size(), 512u) << first.output;
  ASSERT_EQ(answer.size(), 2u);
  const std::vector<std::string> same_twice = {gbk_to_utf8(question), gbk_to_utf8(question)};
  EXPECT_EQ(grids(first.output), same_twice) << first.output;
  const int fine = caught_number(first.output, u8(u8"对不起您答错了，被扣了([0-9]+)RMB！再接再厉吧"));
  EXPECT_GE(fine, 1) << first.output;
  EXPECT_LE(fine, 15);
  EXPECT_EQ(ini_value(read_file(points), "10002", "积分"), std::to_string(-fine))
      << read_file(points);
  EXPECT_TRUE(service.requests().empty());

  const auto second = folder.run("/group\n/as 10002\n" + gbk_to_utf8(answer) + "\n/as 10001\n\n");
  EXPECT_EQ(second.exit_code, 0) << second.output;
  const std::string new_question = folder.question("5000");
  ASSERT_EQ(new_question.size(), 512u);
  EXPECT_NE(new_question, question);
  const int reward = caught_number(
      second.output, u8(u8"恭喜阿花答对了！获得([0-9]+)人民币！今天已经参加1次\n"));
  EXPECT_GE(reward, 1) << second.output;
  EXPECT_LE(reward, 15);
  EXPECT_EQ(ini_value(read_file(points), "10002", "积分"), std::to_string(reward - fine))
      << read_file(points);
  EXPECT_EQ(ini_value(read_file(points), "10002", "次数"), "1");
  ASSERT_EQ(service.requests().size(), 1u);
  EXPECT_TRUE(service.requests()[0].target.ends_with("uins=10002")) << service.requests()[0].target;
}

TEST(Win32ConsoleHost, AMissingPlugInIsNamedAndNothingIsWritten) {
  HostFolder folder(/*with_plugin=*/false);
  const auto run = folder.run("\n");
  EXPECT_EQ(run.exit_code, 1);
  EXPECT_NE(run.output.find("cannot load the plug-in"), std::string::npos) << run.output;
  EXPECT_NE(run.output.find(MIYI_LIBRARY_NAME), std::string::npos) << run.output;
  EXPECT_FALSE(fs::exists(folder.store()));
}

}  // namespace
