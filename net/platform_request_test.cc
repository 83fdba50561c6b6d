// web_request with the platform's own request object, against an HTTP
// server on 127.0.0.1 that the test starts. These are the behaviours that a
// request object must show whatever client library it is built on.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/request_object.h"
#include "net/web_request.h"
#include "tests/http_server.h"
#include "tests/loopback_socket.h"

namespace miyi {
namespace {

using ::testing::HasSubstr;
using ::testing::IsEmpty;
using testing::HttpReply;
using testing::HttpRequest;
using testing::HttpServer;
using testing::http_reply;

Bytes bytes_of(std::string_view text) { return Bytes(text.begin(), text.end()); }

HttpReply ok(std::string_view body, const std::vector<std::string>& header_lines = {}) {
  return {http_reply("HTTP/1.1 200 OK", header_lines, body)};
}

// The result of one web_request call with all its variables.
struct Outcome {
  Bytes body;
  Text returned_headers;
  Text location;
  Text returned_cookies;
};

Outcome fetch(const Text& url, bool no_redirect = false, int timeout_seconds = 0) {
  Outcome out;
  out.body = web_request(url, nullptr, "", "", &out.returned_cookies, nullptr, &out.location,
                         no_redirect, "", "", "", timeout_seconds, &out.returned_headers);
  return out;
}

TEST(PlatformRequest, BodyBytesComeBackUnchangedNulIncluded) {
  const std::string body("ab\0cd\xff\r\n", 8);
  HttpServer server([&](const HttpRequest&) { return ok(body); });
  EXPECT_EQ(web_request(server.url("/data")), bytes_of(body));
}

TEST(PlatformRequest, ErrorStatusBodyComesBackLikeAnyOther) {
  HttpServer server([](const HttpRequest&) {
    return HttpReply{http_reply("HTTP/1.1 404 Not Found", {"X-Why: gone"}, "no such page")};
  });
  const Outcome out = fetch(server.url("/missing"));
  EXPECT_EQ(out.body, bytes_of("no such page"));
  EXPECT_EQ(out.returned_headers, "X-Why: gone\r\nContent-Length: 12\r\n\r\n");
}

TEST(PlatformRequest, ResponseHeaderTextIsTheHeaderLinesThenAnEmptyLine) {
  // Lines ended by a bare LF come back ended by CR LF like the others.
  HttpServer server([](const HttpRequest&) {
    return HttpReply{"HTTP/1.1 200 OK\r\nX-One: 1\nX-Two:  two words \r\nContent-Length: 2\r\n\r\nhi"};
  });
  const Outcome out = fetch(server.url("/"));
  EXPECT_EQ(out.body, bytes_of("hi"));
  EXPECT_EQ(out.returned_headers, "X-One: 1\r\nX-Two:  two words \r\nContent-Length: 2\r\n\r\n");
  // Without a Location line the location variable gets the whole text.
  EXPECT_EQ(out.location, out.returned_headers);
}

TEST(PlatformRequest, GetSendsTheHeadersAsGivenAndNoBody) {
  HttpServer server([](const HttpRequest&) { return ok("x"); });
  const Text url = server.url("/get?uins=1");
  web_request(url, nullptr, "", "sid=42");
  Text own_headers = "X-Tight:v\r\nX-Span: 10:20:30";
  web_request(url, nullptr, "", "", nullptr, &own_headers);

  const std::vector<HttpRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  const HttpRequest& with_defaults = requests[0];
  EXPECT_EQ(with_defaults.method, "GET");
  EXPECT_EQ(with_defaults.target, "/get?uins=1");
  // The value arrives as given; the client may put one blank after the
  // colon (libcurl puts none, WinHTTP one).
  EXPECT_THAT(with_defaults.header("Cookie"), ::testing::Optional(::testing::AnyOf("sid=42", " sid=42")));
  EXPECT_THAT(with_defaults.head, HasSubstr("\r\nReferer: " + url + "\r\n"));
  EXPECT_THAT(with_defaults.head, HasSubstr("\r\nAccept-Language: zh-cn\r\n"));
  EXPECT_THAT(with_defaults.head,
              HasSubstr("\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1)\r\n"));
  EXPECT_THAT(with_defaults.head,
              HasSubstr("\r\nContent-Type: application/x-www-form-urlencoded\r\n"));
  EXPECT_THAT(with_defaults.head, HasSubstr(", application/msword, */*\r\n"));
  EXPECT_FALSE(with_defaults.header("Content-Length"));
  EXPECT_FALSE(with_defaults.header("Transfer-Encoding"));
  EXPECT_THAT(with_defaults.body, IsEmpty());

  EXPECT_THAT(requests[1].header("X-Tight"), ::testing::Optional(::testing::AnyOf("v", " v")));
  EXPECT_THAT(requests[1].head, HasSubstr("\r\nX-Span: 10:20:30\r\n"));
  // No header the caller did not give.
  EXPECT_FALSE(requests[1].header("Content-Type"));
  EXPECT_FALSE(requests[1].header("Expect"));
}

TEST(PlatformRequest, PostSendsTextOrBytesWithTheirLength) {
  HttpServer server([](const HttpRequest&) { return ok("done"); });
  Text method = "post";
  EXPECT_EQ(web_request(server.url("/form"), &method, "a=1&b=2"), bytes_of("done"));
  const Bytes raw = {0x00, 0xB0, 0xA1, 0x0D, 0x0A};
  Text put = "PUT";
  web_request(server.url("/raw"), &put, "ignored", "", nullptr, nullptr, nullptr, false,
              "", "", "", 0, nullptr, raw);

  const std::vector<HttpRequest> requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].body, "a=1&b=2");
  EXPECT_EQ(requests[0].header("Content-Length"), " 7");
  EXPECT_EQ(requests[1].method, "PUT");
  EXPECT_EQ(requests[1].body, std::string(raw.begin(), raw.end()));
}

TEST(PlatformRequest, UrlWithBlanksIsStillRequested) {
  HttpServer server([](const HttpRequest&) { return ok("found"); });
  EXPECT_EQ(web_request(server.url("/p?uins= 10 01")), bytes_of("found"));
  ASSERT_EQ(server.requests().size(), 1u);
  EXPECT_EQ(server.requests()[0].target, "/p?uins=%2010%2001");
}

// /a -> 302 (with a cookie) -> /b -> 301 -> /c -> 200.
HttpReply redirect_chain(const HttpRequest& request) {
  if (request.target == "/a") {
    return {http_reply("HTTP/1.1 302 Found", {"Location: /b", "Set-Cookie: hop=1; path=/"},
                       "moved to b")};
  }
  if (request.target == "/b") {
    return {http_reply("HTTP/1.1 301 Moved Permanently", {"Location: /c"}, "moved to c")};
  }
  return ok("arrived", {"X-Final: yes"});
}

TEST(PlatformRequest, RedirectsAreFollowedByDefault) {
  HttpServer server(redirect_chain);
  const Outcome out = fetch(server.url("/a"));
  EXPECT_EQ(out.body, bytes_of("arrived"));
  // Only the final response's headers.
  EXPECT_EQ(out.returned_headers, "X-Final: yes\r\nContent-Length: 7\r\n\r\n");
  EXPECT_EQ(out.location, out.returned_headers);
  EXPECT_EQ(out.returned_cookies, "");
  ASSERT_EQ(server.requests().size(), 3u);
  EXPECT_EQ(server.requests()[2].target, "/c");
}

TEST(PlatformRequest, NoRedirectGivesTheRedirectResponseItself) {
  HttpServer server(redirect_chain);
  const Outcome out = fetch(server.url("/a"), /*no_redirect=*/true);
  EXPECT_EQ(out.body, bytes_of("moved to b"));
  EXPECT_EQ(out.location, "/b");
  EXPECT_EQ(out.returned_cookies, "hop=1");
  EXPECT_THAT(out.returned_headers, HasSubstr("Location: /b\r\n"));
  EXPECT_EQ(server.requests().size(), 1u);
}

TEST(PlatformRequest, EndlessRedirectsStopAfterTen) {
  HttpServer server([](const HttpRequest& request) {
    const int hop = std::atoi(request.target.c_str() + 1);
    return HttpReply{http_reply("HTTP/1.1 302 Found", {"Location: /" + std::to_string(hop + 1)},
                                "again")};
  });
  const Outcome out = fetch(server.url("/0"), false, 5);
  EXPECT_THAT(out.body, IsEmpty());
  EXPECT_EQ(out.returned_headers, "");
  EXPECT_EQ(server.requests().size(), 11u);  // the request and ten redirects
}

TEST(PlatformRequest, TwoSetCookieLinesAreCollected) {
  HttpServer server([](const HttpRequest&) {
    return ok("", {"Set-Cookie: a=1; path=/", "Set-Cookie: b=2; path=/; HttpOnly"});
  });
  Outcome out;
  out.returned_cookies = "x=0";
  out.body = web_request(server.url("/login"), nullptr, "", "", &out.returned_cookies);
  EXPECT_EQ(out.returned_cookies, "x=0; a=1; b=2");
  EXPECT_THAT(out.body, IsEmpty());
}

TEST(PlatformRequest, ProxyReceivesAbsoluteUriAndCredentials) {
  // The loopback server plays the proxy; the origin's name is never looked
  // up, so it can be one that does not exist.
  HttpServer proxy([](const HttpRequest& request) {
    if (request.header("Proxy-Authorization") != " Basic bWl5aTpzM2NyOmV0") {
      return HttpReply{http_reply("HTTP/1.1 407 Proxy Authentication Required",
                                  {"Proxy-Authenticate: Basic realm=\"t\""}, "who are you")};
    }
    return ok("via proxy");
  });
  const Text origin = "http://origin.invalid/path?q=1";
  const Bytes body = web_request(origin, nullptr, "", "", nullptr, nullptr, nullptr, false,
                                 proxy.authority(), "miyi", "s3cr:et");
  EXPECT_EQ(body, bytes_of("via proxy"));
  ASSERT_FALSE(proxy.requests().empty());
  EXPECT_EQ(proxy.requests().back().method, "GET");
  EXPECT_EQ(proxy.requests().back().target, origin);

  // Credentials are sent only with a proxy user.
  const Bytes refused = web_request(origin, nullptr, "", "", nullptr, nullptr, nullptr, false,
                                     proxy.authority(), "", "s3cr:et");
  EXPECT_EQ(refused, bytes_of("who are you"));
  EXPECT_FALSE(proxy.requests().back().header("Proxy-Authorization"));
}

TEST(PlatformRequest, ProxyEnvironmentVariablesAreIgnored) {
  HttpServer server([](const HttpRequest&) { return ok("direct"); });
  const std::string dead_proxy =
      "http://127.0.0.1:" + std::to_string(testing::unused_loopback_port());
  setenv("http_proxy", dead_proxy.c_str(), 1);
  setenv("HTTP_PROXY", dead_proxy.c_str(), 1);
  const Bytes body = web_request(server.url("/"));
  unsetenv("http_proxy");
  unsetenv("HTTP_PROXY");
  EXPECT_EQ(body, bytes_of("direct"));
}

TEST(PlatformRequest, UnreachableServerLeavesEverythingEmpty) {
  const Text url = "http://127.0.0.1:" + std::to_string(testing::unused_loopback_port()) + "/";
  Outcome out;
  out.location = "kept";
  out.returned_cookies = "c=1";
  out.returned_headers = "stale";
  out.body = web_request(url, nullptr, "", "", &out.returned_cookies, nullptr, &out.location, false,
                         "", "", "", 2, &out.returned_headers);
  EXPECT_THAT(out.body, IsEmpty());
  EXPECT_EQ(out.returned_headers, "");
  EXPECT_EQ(out.location, "kept");
  EXPECT_EQ(out.returned_cookies, "c=1");
}

// Returns how long `call` took.
template <class Call>
std::chrono::duration<double> timed(Call&& call) {
  const auto start = std::chrono::steady_clock::now();
  call();
  return std::chrono::steady_clock::now() - start;
}

TEST(PlatformRequest, StalledServerIsDroppedAfterTheTimeout) {
  // Silent after reading the request; silent in the middle of the body.
  const std::vector<HttpReply> stalls = {
      {.bytes = "", .hold_open = true},
      {.bytes = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\npartial", .hold_open = true},
  };
  for (const HttpReply& stall : stalls) {
    HttpServer server([&](const HttpRequest&) { return stall; });
    Outcome out;
    const auto elapsed = timed([&] { out = fetch(server.url("/slow"), false, 2); });
    EXPECT_LT(elapsed.count(), 6.0) << "reply '" << stall.bytes << "'";
    EXPECT_THAT(out.body, IsEmpty());
    EXPECT_EQ(out.returned_headers, "");
    EXPECT_EQ(server.requests().size(), 1u);
  }
}

TEST(PlatformRequest, TricklingServerIsDroppedWithinTheSumOfThePhaseLimits) {
  // The headers at once, then a body byte every 300 ms: never a stall of
  // 2 s, but the whole body would take 30 s; the four 2-second phases bound
  // the call at 8 s.
  HttpServer server([](const HttpRequest&) {
    const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
    return HttpReply{.bytes = head + std::string(100, 'x'),
                     .trickle_interval_ms = 300,
                     .trickle_after = head.size()};
  });
  Outcome out;
  const auto elapsed = timed([&] { out = fetch(server.url("/trickle"), false, 2); });
  EXPECT_LT(elapsed.count(), 12.0);
  EXPECT_THAT(out.body, IsEmpty());
}

TEST(PlatformRequest, LargeBodyIsCutAtTheCap) {
  std::string pattern(3 * kMaxResponseBodyBytes, '\0');
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>('a' + i % 23);
  struct Case {
    std::size_t length;
    bool with_length;  // Content-Length given, or the body ends with the connection
  };
  const std::vector<Case> cases = {{kMaxResponseBodyBytes, true},
                                   {kMaxResponseBodyBytes + 1, true},
                                   {3 * kMaxResponseBodyBytes, true},
                                   {3 * kMaxResponseBodyBytes, false}};
  for (const Case& c : cases) {
    const std::string_view body(pattern.data(), c.length);
    HttpServer server([&](const HttpRequest&) {
      if (c.with_length) return ok(body, {"X-Big: 1"});
      return HttpReply{
          .bytes = "HTTP/1.1 200 OK\r\nX-Big: 1\r\nConnection: close\r\n\r\n" + std::string(body),
          .close_after = true};
    });
    const Outcome out = fetch(server.url("/big"), false, 5);
    const std::size_t expected = std::min(c.length, kMaxResponseBodyBytes);
    ASSERT_EQ(out.body.size(), expected) << c.length << (c.with_length ? " with" : " without");
    EXPECT_TRUE(std::equal(out.body.begin(), out.body.end(), pattern.begin()));
    EXPECT_THAT(out.returned_headers, HasSubstr("X-Big: 1\r\n"));
  }
}

TEST(PlatformRequest, OversizedHeaderBlockFailsTheRequest) {
  std::vector<std::string> many_lines;
  for (std::size_t total = 0; total <= kMaxResponseHeaderBytes; total += many_lines.back().size()) {
    many_lines.push_back("X-Filler-" + std::to_string(many_lines.size()) + ": " +
                         std::string(40, 'h'));
  }
  HttpServer server([&](const HttpRequest&) { return ok("body", many_lines); });
  const Outcome out = fetch(server.url("/headers"), false, 5);
  EXPECT_THAT(out.body, IsEmpty());
  EXPECT_EQ(out.returned_headers, "");
}

}  // namespace
}  // namespace miyi
