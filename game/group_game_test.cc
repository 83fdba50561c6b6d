// The group game through handle_command, on a temporary run directory with
// a loopback portrait service.
#include "game/group_game.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>

#include "core/convert.h"
#include "core/store.h"
#include "core/text.h"
#include "game/command.h"
#include "game/puzzle_store.h"
#include "game/test_run_dir.h"
#include "tests/http_server.h"

namespace miyi {
namespace {

namespace fs = std::filesystem;

const char kStart[] = "\r\n觅异开始了 回复@觅异 答案即可参加";

// Answers like the portrait service, in GBK: a nickname per account.
testing::HttpReply portrait(const testing::HttpRequest& request) {
  static const std::map<std::string, std::string> names = {{"10001", "小明"}, {"10002", "阿花"}};
  const auto at = request.target.find("uins=");
  const std::string account = at == std::string::npos ? "" : request.target.substr(at + 5);
  const auto name = names.find(account);
  const std::string body = name == names.end()
                               ? "cb({})"
                               : "cb({\"" + account + "\":[\"http://x/y.jpg\",0,0,0,\"" +
                                     name->second + "\",0]})";
  return {testing::http_reply("HTTP/1.1 200 OK", {"Content-Type: text/html"}, body)};
}

class GroupGameTest : public ::testing::Test {
 protected:
  void SetUp() override { testing::clear_game_run_dir(); }

  static Text send(Text answer, Text sender = "10001", Text group = "5000") {
    Text kind = "2", extra;
    return handle_command(answer, kind, group, sender, extra);
  }
  static Text setting(const Text& key) { return ini_read(puzzle_store(), "觅异", key); }
  static void set(const Text& key, const Text& value) {
    ASSERT_TRUE(ini_write(puzzle_store(), "觅异", key, value));
  }
  static Text points_name(const Text& group = "5000") {
    return text_concat(run_dir(), "/config/签到数据", group, ".ini");
  }
  static Text points(const Text& sender, const Text& key, const Text& group = "5000") {
    return ini_read(points_name(group), sender, key);
  }
  static void set_points(const Text& sender, const Text& key, const Text& value,
                         const Text& group = "5000") {
    ASSERT_TRUE(ini_write(points_name(group), sender, key, value));
  }
  static Text answer_of(const Text& group = "5000") { return ini_read(puzzle_store(), group, "答案"); }
  static Text question_of(const Text& group = "5000") {
    return ini_read(puzzle_store(), group, "问题");
  }
  static Text wrong_for(const Text& group = "5000") {
    return answer_of(group) == "\xB0\xB0" ? "\xB0\xB1" : "\xB0\xB0";
  }
  static Text today() { return date_to_text(date_part(local_now())); }

  // A group whose puzzle exists, with the portrait service and a top reward
  // set after the group's first command has put the defaults back.
  void open_group(const Text& top = "15", const Text& group = "5000") {
    send("", "10001", group);
    set("最高分", top);
    set("头像服务", server_.authority());
  }

  testing::HttpServer server_{portrait};
};

TEST_F(GroupGameTest, ANewGroupPutsTheSettingsBackAndUsesWhatItRead) {
  set("配置", "/shared.ini");
  set("积分名称", "金币");
  set("最高分", "99");
  set("头像服务", "127.0.0.1:1");
  const Text reply = send("");
  EXPECT_EQ(reply, question_of() + kStart);
  EXPECT_EQ(setting("配置"), "/config/签到数据发送者群号.ini");
  EXPECT_EQ(setting("积分名称"), "积分");
  EXPECT_EQ(setting("最高分"), "15");
  EXPECT_EQ(setting("头像服务"), "127.0.0.1:1");  // not one of the game's three
  // This command still counted the day in the file it had read.
  EXPECT_EQ(ini_read(text_concat(run_dir(), "/shared.ini"), "10001", "觅异日期"), today());
  EXPECT_EQ(ini_read(text_concat(run_dir(), "/shared.ini"), "10001", "次数"), "0");
  // The next command uses the defaults: the group's own points file.
  send("", "10002");
  EXPECT_EQ(points("10002", "次数"), "0");
  EXPECT_EQ(points("10002", "觅异日期"), today());
}

TEST_F(GroupGameTest, AFreshStoreFirstCommandLosesItsPointsWritesButPlays) {
  // No settings at all: the points file's name is the run directory itself.
  const Text reply = send("");
  EXPECT_EQ(reply, question_of() + kStart);
  EXPECT_EQ(setting("最高分"), "15");
  EXPECT_TRUE(fs::is_directory(testing::game_run_dir().path()));
  EXPECT_FALSE(fs::exists(testing::game_run_dir().path() / "config"));
}

TEST_F(GroupGameTest, AWinPaysTheRewardIntoTheGroupsPointsFileAndGreetsByNickname) {
  open_group("1");
  set_points("10001", "积分", "100");
  const Text reply = send(answer_of());
  EXPECT_EQ(reply, question_of() + "\r\n恭喜小明答对了！获得1人民币！今天已经参加1次");
  EXPECT_EQ(points("10001", "积分"), "101");
  EXPECT_EQ(points("10001", "次数"), "1");
  EXPECT_EQ(points("10001", "觅异日期"), today());
  // The lookup asked for this account, through the default headers.
  const auto requests = server_.requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back().target, "/fcg-bin/cgi_get_portrait.fcg?uins=10001");
  // Another group keeps its own balance.
  EXPECT_EQ(points("10001", "积分", "6000"), "");
}

TEST_F(GroupGameTest, TenWinsADayThenThePuzzleIsLeftToOthers) {
  open_group("1");
  set_points("10001", "觅异日期", today());
  set_points("10001", "次数", "9");
  set_points("10001", "积分", "5");
  const Text tenth = send(answer_of());
  EXPECT_EQ(tenth, question_of() + "\r\n恭喜小明答对了！获得1人民币！今天已经参加10次");
  EXPECT_EQ(points("10001", "次数"), "10");

  const Text kept_answer = answer_of();
  const Text kept_question = question_of();
  EXPECT_EQ(send(kept_answer), "对不起小明，您已经参加10次了，让别人找吧");
  EXPECT_EQ(answer_of(), kept_answer);
  EXPECT_EQ(question_of(), kept_question);
  EXPECT_EQ(points("10001", "积分"), "6");
  EXPECT_EQ(points("10001", "次数"), "10");

  const Text other = send(kept_answer, "10002");
  EXPECT_EQ(other, question_of() + "\r\n恭喜阿花答对了！获得1人民币！今天已经参加1次");
  EXPECT_NE(question_of(), kept_question);
}

TEST_F(GroupGameTest, ANewDayResetsTheCountWhateverTheAnswer) {
  open_group("1");
  for (const Text& answer : {Text(""), wrong_for()}) {
    SCOPED_TRACE(answer);
    set_points("10001", "觅异日期", "2013年12月25日");
    set_points("10001", "次数", "10");
    send(answer);
    EXPECT_EQ(points("10001", "觅异日期"), today());
    EXPECT_EQ(points("10001", "次数"), "0");
  }
  // A count without leading digits counts as 0; a missing one is written.
  set_points("10001", "次数", "x9");
  EXPECT_EQ(send(answer_of()).substr(512), "\r\n恭喜小明答对了！获得1人民币！今天已经参加1次");
}

TEST_F(GroupGameTest, AWrongAnswerCostsTheRewardItNames) {
  open_group();
  set_points("10001", "积分", "50");
  const Text before_question = question_of();
  const Text reply = send(wrong_for());
  const Text prefix = "对不起您答错了，被扣了", suffix = "RMB！再接再厉吧";
  ASSERT_EQ(reply.compare(0, prefix.size(), prefix), 0) << reply;
  ASSERT_GT(reply.size(), prefix.size() + suffix.size());
  const Text reward = reply.substr(prefix.size(), reply.size() - prefix.size() - suffix.size());
  EXPECT_EQ(reply.substr(reply.size() - suffix.size()), suffix);
  EXPECT_EQ(points("10001", "积分"), int_to_text(50 - text_to_int(reward)));
  EXPECT_EQ(question_of(), before_question);
  EXPECT_EQ(points("10001", "次数"), "0");
  // Showing the puzzle costs nothing.
  const Text after_wrong = points("10001", "积分");
  EXPECT_EQ(send(""), before_question + kStart);
  EXPECT_EQ(points("10001", "积分"), after_wrong);
}

TEST_F(GroupGameTest, TheTopRewardSettingBoundsTheReward) {
  struct Case {
    Text top;
    int low, high;
  } cases[] = {{"15", 1, 15}, {"1", 1, 1}, {"0", 0, 1}, {"", 0, 1}, {"-4", 0, 1}, {"３", 1, 3}};
  open_group();
  const Text prefix = "对不起您答错了，被扣了", suffix = "RMB！再接再厉吧";
  for (const auto& c : cases) {
    SCOPED_TRACE(c.top);
    set("最高分", c.top);
    std::set<int> seen;
    for (int i = 0; i < 40; ++i) {
      const Text reply = send(wrong_for());
      seen.insert(text_to_int(reply.substr(prefix.size())));
    }
    EXPECT_GE(*seen.begin(), c.low);
    EXPECT_LE(*seen.rbegin(), c.high);
    if (c.high - c.low <= 2) {  // small ranges are met end to end in 40 draws
      EXPECT_EQ(*seen.begin(), c.low);
      EXPECT_EQ(*seen.rbegin(), c.high);
    }
  }
}

TEST_F(GroupGameTest, ASettingWithoutTheGroupMarkerMakesGroupsShareOnePointsFile) {
  open_group("1", "5000");
  open_group("1", "6000");
  set("配置", "/config/all.ini");
  send(answer_of("5000"), "10001", "5000");
  send(answer_of("6000"), "10001", "6000");
  const Text shared = text_concat(run_dir(), "/config/all.ini");
  EXPECT_EQ(ini_read(shared, "10001", "积分"), "2");
  EXPECT_EQ(ini_read(shared, "10001", "次数"), "2");
}

TEST_F(GroupGameTest, BalancesBeyondThirtyTwoBitsAreWrittenInFull) {
  open_group("1");
  set_points("10001", "积分", "2147483647");
  send(answer_of());
  EXPECT_EQ(points("10001", "积分"), "2147483648");
  set_points("10001", "积分", "-2147483648");
  send(wrong_for());
  EXPECT_EQ(points("10001", "积分"), "-2147483649");
}

TEST_F(GroupGameTest, PointsFilesFromOtherProgramsSurviveByteForByte) {
  open_group("1");
  const fs::path file = testing::utf8_path(testing::game_run_dir().path(), u8"config/签到数据5000.ini");
  const std::string before =
      "; kept by the check-in plug-in\n[10001]\n积分 = \"100\"\n签到天数=7\n觅异日期=" + today() +
      "\n次数=3\n[20002]\n积分=1\n";
  testing::write_file(file, before);
  send(answer_of());
  std::string expected = before;
  expected.replace(expected.find("积分 = \"100\""), std::string("积分 = \"100\"").size(), "积分 =101");
  expected.replace(expected.find("次数=3"), std::string("次数=3").size(), "次数=4");
  EXPECT_EQ(testing::read_file(file), expected);
}

TEST_F(GroupGameTest, HostileNumbersTouchNothing) {
  open_group();
  set_points("10001", "积分", "7");
  // A points file named by the group number alone, so that a group number
  // with ".." in it would name a file outside the run directory.
  set("配置", "/发送者群号.ini");
  const fs::path run = testing::game_run_dir().path();
  const std::string escape = "miyi-escape-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                             "-" + run.filename().string();
  const auto snapshot = [&run] {
    std::map<std::string, std::string> entries;
    for (const auto& e : fs::recursive_directory_iterator(run)) {
      entries[e.path().string()] = e.is_regular_file() ? testing::read_file(e.path()) : "(folder)";
    }
    return entries;
  };
  const auto before = snapshot();
  const struct {
    Text group, sender;
  } hostile[] = {{"../" + escape, "10001"}, {"a/b", "10001"},         {"a\\b", "10001"},
                 {".", "10001"},            {"..", "10001"},           {"5000\r\n[x]", "10001"},
                 {"5000]", "10001"},        {"", "10001"},             {"5000", "10001]"},
                 {"5000", "1\r\n积分=9"}, {"5000", ""},
                 // Read under one name, written under another.
                 {"5000", "\x01" "10001"}, {"\x1f" "5000", "10001"}, {"\x1f" "5000", "\x01" "10001"}};
  for (const auto& h : hostile) {
    SCOPED_TRACE(h.group + " / " + h.sender);
    EXPECT_EQ(send("", h.sender, h.group), "");
    EXPECT_EQ(send(answer_of(), h.sender, h.group), "");
    EXPECT_EQ(send(wrong_for(), h.sender, h.group), "");
  }
  EXPECT_TRUE(snapshot() == before);
  EXPECT_FALSE(fs::exists(run.parent_path() / (escape + ".ini")));
}

}  // namespace
}  // namespace miyi
