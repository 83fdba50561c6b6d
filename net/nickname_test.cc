// lookup_nickname against a loopback portrait service, with the host named
// in the puzzle store of a temporary run directory. The run directory is
// fixed once per process, so these tests have a program of their own.
#include "net/nickname.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/store.h"
#include "core/text.h"
#include "net/recording_request_object.h"
#include "net/request_object.h"
#include "tests/http_server.h"
#include "tests/loopback_socket.h"
#include "tests/testing.h"

namespace miyi {
namespace {

using ::testing::ElementsAre;
using testing::HttpReply;
using testing::HttpRequest;
using testing::HttpServer;
using testing::http_reply;

constexpr char kPath[] = "/fcg-bin/cgi_get_portrait.fcg?uins=";

class NicknameTest : public ::testing::Test {
 protected:
  // One run directory for the whole program, removed at its end.
  static testing::TempDir& run_directory() {
    static testing::TempDir directory;
    return directory;
  }

  static void SetUpTestSuite() { set_run_dir_for_testing(run_directory().text()); }

  void SetUp() override {
    std::filesystem::remove(testing::utf8_path(run_directory().path(), u8"觅异.ini"));
  }

  static void set_portrait_host(const Text& host) {
    ASSERT_TRUE(ini_write(text_concat(run_dir(), "/觅异.ini"), "觅异", "头像服务", host));
  }

};

TEST_F(NicknameTest, ReadsTheNicknameFromThePortraitService) {
  HttpServer service([](const HttpRequest&) {
    return HttpReply{http_reply("HTTP/1.1 200 OK", {"Content-Type: text/html"},
                                "cb({\"10001\":[\"http://x/y.jpg\",0,0,0,\"小明\",0]})")};
  });
  set_portrait_host(service.authority());

  EXPECT_EQ(lookup_nickname("10001"), "小明");

  ASSERT_EQ(service.requests().size(), 1u);
  const HttpRequest request = service.requests()[0];
  EXPECT_EQ(request.method, "GET");
  EXPECT_EQ(request.target, std::string(kPath) + "10001");
  EXPECT_EQ(request.header("Referer"), " " + service.url(kPath) + "10001");
}

TEST_F(NicknameTest, EmptyAccountStillSendsTheRequest) {
  HttpServer service([](const HttpRequest&) {
    return HttpReply{http_reply("HTTP/1.1 200 OK", {}, "cb({\"\":[\"u\",0,0,0,\"none\",0]})")};
  });
  set_portrait_host(service.authority());
  EXPECT_EQ(lookup_nickname(""), "none");
  ASSERT_EQ(service.requests().size(), 1u);
  EXPECT_EQ(service.requests()[0].target, kPath);
}

TEST_F(NicknameTest, NicknameLiesBetweenTheMarkers) {
  struct Case {
    std::string reply_body;
    Text nickname;
  };
  const std::vector<Case> cases = {
      {"x,\"Nick\",0]})", "Nick"},
      {",\"a\",\"b\",0]})", "a\",\"b"},
      {"x,\"Nick\",0]", ""},
      {"x\"Nick\",0]})", ""},
      {",\"\",0]})", ""},
      {std::string("x\0,\"Nick\",0]})", 14), ""},
      {std::string("x,\"Nick\",0]})\0tail", 18), "Nick"},
      {"", ""},
  };
  for (const Case& c : cases) {
    HttpServer service([&](const HttpRequest&) {
      return HttpReply{http_reply("HTTP/1.1 200 OK", {}, c.reply_body)};
    });
    set_portrait_host(service.authority());
    EXPECT_EQ(lookup_nickname("7"), c.nickname) << "reply '" << c.reply_body << "'";
    EXPECT_EQ(service.requests().size(), 1u);
  }
}

TEST_F(NicknameTest, ErrorStatusBodyIsReadAsWell) {
  HttpServer service([](const HttpRequest&) {
    return HttpReply{http_reply("HTTP/1.1 500 Internal Server Error", {}, "x,\"Err\",0]})")};
  });
  set_portrait_host(service.authority());
  EXPECT_EQ(lookup_nickname("1"), "Err");
}

TEST_F(NicknameTest, UnreachableServiceGivesTheEmptyText) {
  set_portrait_host("127.0.0.1:" + std::to_string(testing::unused_loopback_port()));
  EXPECT_EQ(lookup_nickname("10001"), "");
}

TEST_F(NicknameTest, AccountGoesIntoTheUrlUnchanged) {
  auto recording = std::make_shared<testing::Recording>();
  ScopedRequestObjectFactory fake(testing::RecordingRequestObject::factory(recording));
  set_portrait_host("portrait.test:81");
  lookup_nickname(" 10 01&x=%20");
  const std::string url = std::string("http://portrait.test:81") + kPath + " 10 01&x=%20";
  EXPECT_THAT(recording->calls_of("Open"), ElementsAre("Open(GET|" + url + "|false)"));
  EXPECT_THAT(recording->calls_of("SetTimeouts"),
              ElementsAre("SetTimeouts(15000|15000|15000|15000)"));
  EXPECT_THAT(recording->calls_of("Send"), ElementsAre("Send(text|)"));
}

TEST_F(NicknameTest, NoHostAnywhereSendsNothing) {
  if (std::string(MIYI_PORTRAIT_HOST) != "") {
    GTEST_SKIP() << "built with a portrait host: " << MIYI_PORTRAIT_HOST;
  }
  auto recording = std::make_shared<testing::Recording>();
  ScopedRequestObjectFactory fake(testing::RecordingRequestObject::factory(recording));
  EXPECT_EQ(lookup_nickname("10001"), "");  // no store file
  set_portrait_host("");
  EXPECT_EQ(lookup_nickname("10001"), "");  // an empty setting
  EXPECT_EQ(recording->objects_made, 0);
}

}  // namespace
}  // namespace miyi
