// The console's conversation with a fake plug-in: what reaches `plugmain`
// for each typed line, and how replies are shown.
#include "host/console.h"

#include <gtest/gtest.h>

#include <deque>
#include <sstream>
#include <string>
#include <vector>

namespace miyi::host {
namespace {

// UTF-8 text from a u8 literal (plain literals in this file are GBK).
std::string u8(std::u8string_view text) { return std::string(text.begin(), text.end()); }

// GBK bytes, spelled out so that they do not depend on how literals compile.
const std::string kGbkAh = "\xB0\xA1";  // 啊
const std::string kGbkWrong =           // 对不起您答错了，再接再厉吧
    "\xB6\xD4\xB2\xBB\xC6\xF0\xC4\xFA\xB4\xF0\xB4\xED\xC1\xCB\xA3\xAC"
    "\xD4\xD9\xBD\xD3\xD4\xD9\xC0\xF7\xB0\xC9";

// A question whose character i is the GBK pair (0xB0 + i / 16, 0xA1 + i % 16):
// every row of the grid holds characters of one first byte.
std::string numbered_question() {
  std::string question;
  for (int i = 0; i < 256; ++i) {
    question += static_cast<char>(0xB0 + i / 16);
    question += static_cast<char>(0xA1 + i % 16);
  }
  return question;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string without_spaces(std::string text) {
  std::erase(text, ' ');
  return text;
}

TEST(ReadLine, CommandsAndAnswers) {
  using K = Line::Kind;
  const std::string trigger = u8(u8"@觅异");
  const struct {
    std::string typed;
    K kind;
    std::string text;
  } cases[] = {
      {"", K::kAnswer, ""},
      {u8(u8"啊"), K::kAnswer, u8(u8"啊")},
      {u8(u8"@觅异"), K::kAnswer, ""},
      {u8(u8"@觅异 啊"), K::kAnswer, u8(u8" 啊")},
      {u8(u8"  @觅异啊\r"), K::kAnswer, u8(u8"啊")},
      {u8(u8"啊 @觅异"), K::kAnswer, u8(u8"啊 @觅异")},
      {u8(u8"@觅异 /quit"), K::kAnswer, " /quit"},  // how to send a slash
      {"\t", K::kAnswer, "\t"},
      {"/private", K::kPrivate, ""},
      {"/group 6000", K::kGroup, "6000"},
      {"/group", K::kGroup, ""},
      {"/as\t10002 \r", K::kAs, "10002"},
      {"/help", K::kHelp, ""},
      {"/quit\r", K::kQuit, ""},
      {"/groupie 1", K::kUnknownCommand, "/groupie"},
      {"/", K::kUnknownCommand, "/"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.typed);
    const Line line = read_line(c.typed, trigger);
    EXPECT_EQ(line.kind, c.kind);
    EXPECT_EQ(line.text, c.text);
  }
}

TEST(LayOutReply, LeadingQuestionBecomesASixteenBySixteenGrid) {
  const std::string question = numbered_question();
  for (const std::string& rest : {std::string("\r\n") + kGbkWrong + "\r\nab", std::string()}) {
    SCOPED_TRACE(rest.size());
    const auto lines = lines_of(lay_out_reply(question + rest));
    ASSERT_EQ(lines.size(), rest.empty() ? 16u : 18u);
    for (std::size_t row = 0; row < 16; ++row) {
      EXPECT_EQ(without_spaces(lines[row]), question.substr(row * 32, 32)) << "row " << row;
    }
    if (!rest.empty()) {
      EXPECT_EQ(lines[16], kGbkWrong);
      EXPECT_EQ(lines[17], "ab");
    }
  }
}

TEST(LayOutReply, OtherRepliesKeepTheirText) {
  const std::string question = numbered_question();
  std::string broken = question;
  broken[300] = 'a';  // a one-byte character inside: not a question
  const struct {
    std::string reply;
    std::string shown;
  } cases[] = {
      {"", ""},
      {kGbkWrong, kGbkWrong + "\n"},
      {"a\r\nb\r\n", "a\nb\n"},
      {"a\rb\nc", "a\rb\nc\n"},  // only CR LF is a line break
      {broken + "\r\nx", broken + "\nx\n"},
      {question + "x", question + "x\n"},             // too long to be a question
      {question.substr(2) + "\r\nx", question.substr(2) + "\nx\n"},  // too short
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.reply.size());
    EXPECT_EQ(lay_out_reply(c.reply), c.shown);
  }
}

// The fake plug-in: records every call and answers from a script.
struct Call {
  std::string answer, kind, group, sender, extra;
  bool operator==(const Call&) const = default;
};
std::vector<Call> calls;
std::deque<const char*> replies;
const char* descriptor = nullptr;

const char* MIYI_HOST_CALL fake_info() { return descriptor; }

const char* MIYI_HOST_CALL fake_plugmain(const char* answer, const char* kind, const char* group,
                                         const char* sender, const char* extra) {
  calls.push_back({answer, kind, group, sender, extra});
  if (replies.empty()) return nullptr;
  const char* reply = replies.front();
  replies.pop_front();
  return reply;
}

// The descriptor's first lines, GBK: 觅异游戏, 1.0版, 6Q8K-嘀嘀, 大家一起来觅异, then
// the trigger line.
std::string descriptor_with_trigger(const std::string& trigger_line) {
  return "\xC3\xD9\xD2\xEC\xD3\xCE\xCF\xB7\r\n1.0\xB0\xE6\r\n6Q8K-\xE0\xD6\xE0\xD6\r\n"
         "\xB4\xF3\xBC\xD2\xD2\xBB\xC6\xF0\xC0\xB4\xC3\xD9\xD2\xEC\r\n" +
         trigger_line + "\r\n\xB4\xF0\xB0\xB8\r\n\r\nplugmain\r\n1\r\n\xBC\xD9\r\n";
}

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    calls.clear();
    replies.clear();
    descriptor_text_ = descriptor_with_trigger("@\xC3\xD9\xD2\xEC");  // @觅异
    descriptor = descriptor_text_.c_str();
  }

  std::string run(const std::string& input, bool interactive = false) {
    std::istringstream in(input);
    std::ostringstream out;
    run_console(Plugin{fake_info, fake_plugmain}, in, out, interactive);
    return out.str();
  }

  std::string descriptor_text_;
};

TEST_F(ConsoleTest, EachLineReachesThePluginAsTheCurrentMemberInTheCurrentChat) {
  const std::string input = u8(
      u8"\n"
      u8"@觅异 啊\n"
      u8"/as 10002\n"
      u8"/group 6000\n"
      u8"啊\n"
      u8"/help\n"
      u8"/bogus\n"
      u8"/private\n"
      u8"\n"
      u8"/group\n"
      u8"\n"
      u8"/quit\n"
      u8"never sent\n");
  const std::string out = run(input);
  const std::vector<Call> expected = {
      {"", "1", "", "10001", ""},
      {" " + kGbkAh, "1", "", "10001", ""},
      {kGbkAh, "2", "6000", "10002", ""},
      {"", "1", "", "10002", ""},
      {"", "2", "6000", "10002", ""},  // the group is remembered
  };
  EXPECT_EQ(calls, expected);
  EXPECT_NE(out.find("/bogus"), std::string::npos) << out;
  EXPECT_EQ(out.find("private as 10001> "), std::string::npos)
      << "no prompts without a terminal:\n" << out;
}

TEST_F(ConsoleTest, DefaultGroupAndTheEndOfInputWithoutQuit) {
  run("/group\n/as 7\nx");
  const std::vector<Call> expected = {{"x", "2", kDefaultGroup, "7", ""}};
  EXPECT_EQ(calls, expected);
}

TEST_F(ConsoleTest, RepliesAreShownInUtf8AndANullReplySaysSo) {
  const std::string question = numbered_question();
  const std::string shown_question = question + "\r\n" + kGbkWrong;
  replies = {kGbkWrong.c_str(), nullptr, shown_question.c_str()};
  const std::string out = run("a\nb\n\n");
  ASSERT_EQ(calls.size(), 3u);

  const auto wrong = out.find(u8(u8"对不起您答错了，再接再厉吧\n"));
  const auto none = out.find("(no reply)\n");
  ASSERT_NE(wrong, std::string::npos) << out;
  ASSERT_NE(none, std::string::npos) << out;
  EXPECT_LT(wrong, none);
  // The grid's first row in UTF-8: the characters B0A1 to B0B0, after the
  // replies before it.
  const std::string first_row = u8(u8"啊阿埃挨哎唉哀皑癌蔼矮艾碍爱隘鞍");
  const auto row = out.find(first_row.substr(0, 3), none);
  ASSERT_NE(row, std::string::npos) << out;
  EXPECT_EQ(without_spaces(out.substr(row, out.find('\n', row) - row)), first_row) << out;
  EXPECT_NE(out.find(u8(u8"觅异游戏")), std::string::npos) << "descriptor shown:\n" << out;
}

TEST_F(ConsoleTest, TheTriggerComesFromTheDescriptor) {
  descriptor_text_ = descriptor_with_trigger("@\xD5\xD2");  // @找
  descriptor = descriptor_text_.c_str();
  run(u8(u8"@找 啊\n@觅异啊\n"));
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].answer, " " + kGbkAh);
  EXPECT_EQ(calls[1].answer, "@" + std::string("\xC3\xD9\xD2\xEC") + kGbkAh);
}

TEST_F(ConsoleTest, APromptNamesTheChatAndMemberOnATerminal) {
  const std::string out = run("/group 6000\n/as 10002\n/private\n", true);
  for (const char* prompt : {"private as 10001> ", "group 6000 as 10001> ",
                             "group 6000 as 10002> ", "private as 10002> "}) {
    EXPECT_NE(out.find(prompt), std::string::npos) << prompt << " in\n" << out;
  }
}

}  // namespace
}  // namespace miyi::host
