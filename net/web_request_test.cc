// web_request's rules about which operations it calls, with which values and
// in which order, and what it makes of the response, on a recording fake.
#include "net/web_request.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>
#include <vector>

#include "net/recording_request_object.h"

namespace miyi {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::Recording;
using testing::RecordingRequestObject;

constexpr char kUrl[] = "http://host.test/p?q=1";

// Everything after "Referer: " + url in the default header text.
constexpr char kDefaultTail[] =
    "\r\nAccept-Language: zh-cn\r\nUser-Agent: Mozilla/4.0 (compatible; MSIE 8.0; Windows NT "
    "5.1)\r\nAccept: image/jpeg, application/x-ms-application, image/gif, "
    "application/xaml+xml, image/pjpeg, application/x-ms-xbap, application/x-shockwave-flash, "
    "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, "
    "*/*\r\nContent-Type: application/x-www-form-urlencoded";

class WebRequestTest : public ::testing::Test {
 protected:
  std::shared_ptr<Recording> recording = std::make_shared<Recording>();
  ScopedRequestObjectFactory factory{RecordingRequestObject::factory(recording)};

  std::vector<std::string> headers_set() const { return recording->calls_of("SetRequestHeader"); }
};

TEST_F(WebRequestTest, CallsTheOperationsInTheirFixedOrder) {
  Text method = "post";
  Text headers = "X-A: 1";
  recording->body = {'o', 'k'};
  const Bytes body = web_request(kUrl, &method, "a=1", "c=2", nullptr, &headers, nullptr, true,
                                 "proxy.test:3128", "user", "pw", 3);
  EXPECT_EQ(body, (Bytes{'o', 'k'}));
  EXPECT_THAT(recording->calls,
              ElementsAre("SetTimeouts(3000|3000|3000|3000)", "SetProxy(2|proxy.test:3128)",
                          "SetProxyCredentials(user|pw)",
                          std::string("Open(POST|") + kUrl + "|false)", "Option(6|0)",
                          "SetRequestHeader(Cookie|c=2)", "SetRequestHeader(X-A| 1)",
                          "Send(text|a=1)", "ResponseBody()", "GetAllResponseHeaders()"));
  EXPECT_EQ(recording->objects_made, 1);
}

TEST_F(WebRequestTest, UrlAloneIsAPlainGetWithDefaults) {
  web_request(kUrl);
  EXPECT_THAT(recording->calls_of("Open"), ElementsAre(std::string("Open(GET|") + kUrl + "|false)"));
  EXPECT_THAT(recording->calls_of("SetTimeouts"), ElementsAre("SetTimeouts(15000|15000|15000|15000)"));
  EXPECT_THAT(recording->calls_of("Send"), ElementsAre("Send(text|)"));
  EXPECT_THAT(recording->calls_of("SetProxy"), IsEmpty());
  EXPECT_THAT(recording->calls_of("SetProxyCredentials"), IsEmpty());
  EXPECT_THAT(recording->calls_of("Option"), IsEmpty());
  EXPECT_EQ(headers_set().size(), 5u);
}

TEST_F(WebRequestTest, TimeoutRule) {
  struct Case {
    std::optional<int> seconds;  // nullopt: omitted
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {std::nullopt, {"SetTimeouts(15000|15000|15000|15000)"}},
      {0, {"SetTimeouts(15000|15000|15000|15000)"}},
      {-1, {"SetTimeouts(15000|15000|15000|15000)"}},
      {INT_MIN, {"SetTimeouts(15000|15000|15000|15000)"}},
      {1, {}},
      {2, {"SetTimeouts(2000|2000|2000|2000)"}},
      {120, {"SetTimeouts(120000|120000|120000|120000)"}},
      {INT_MAX, {"SetTimeouts(2147483647|2147483647|2147483647|2147483647)"}},
  };
  for (const Case& c : cases) {
    recording->calls.clear();
    if (c.seconds) {
      web_request(kUrl, nullptr, "", "", nullptr, nullptr, nullptr, false, "", "", "", *c.seconds);
    } else {
      web_request(kUrl);
    }
    EXPECT_EQ(recording->calls_of("SetTimeouts"), c.expected)
        << "timeout_seconds " << (c.seconds ? std::to_string(*c.seconds) : "omitted");
  }
}

TEST_F(WebRequestTest, MethodIsNormalisedInTheCallersVariable) {
  const std::vector<std::pair<Text, Text>> cases = {
      {"post", "POST"}, {"", "GET"}, {"dElEtE", "DELETE"}, {"GET", "GET"}};
  for (const auto& [given, normalised] : cases) {
    recording->calls.clear();
    Text method = given;
    web_request(kUrl, &method);
    EXPECT_EQ(method, normalised) << given;
    EXPECT_THAT(recording->calls_of("Open"),
                ElementsAre("Open(" + normalised + "|" + kUrl + "|false)"));
  }
}

TEST_F(WebRequestTest, EmptyHeadersBecomeTheDefaultText) {
  ASSERT_EQ(sizeof kDefaultTail - 1, 369u);
  EXPECT_EQ(default_request_headers(kUrl), std::string("Referer: ") + kUrl + kDefaultTail);

  Text headers;
  web_request(kUrl, nullptr, "", "", nullptr, &headers);
  EXPECT_EQ(headers, std::string("Referer: ") + kUrl + kDefaultTail);
  EXPECT_THAT(
      headers_set(),
      ElementsAre(std::string("SetRequestHeader(Referer| ") + kUrl + ")",
                  "SetRequestHeader(Accept-Language| zh-cn)",
                  "SetRequestHeader(User-Agent| Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1))",
                  "SetRequestHeader(Accept| image/jpeg, application/x-ms-application, image/gif, "
                  "application/xaml+xml, image/pjpeg, application/x-ms-xbap, "
                  "application/x-shockwave-flash, application/vnd.ms-excel, "
                  "application/vnd.ms-powerpoint, application/msword, */*)",
                  "SetRequestHeader(Content-Type| application/x-www-form-urlencoded)"));
}

TEST_F(WebRequestTest, CookieHeaderComesBeforeAllOthers) {
  Text headers = "A: 1\r\nB: 2";
  web_request(kUrl, nullptr, "", "k=v; k2=v2", nullptr, &headers);
  EXPECT_THAT(headers_set(), ElementsAre("SetRequestHeader(Cookie|k=v; k2=v2)",
                                         "SetRequestHeader(A| 1)", "SetRequestHeader(B| 2)"));
  EXPECT_EQ(headers, "A: 1\r\nB: 2");

  recording->calls.clear();
  web_request(kUrl, nullptr, "", "k=v");
  ASSERT_EQ(headers_set().size(), 6u);
  EXPECT_EQ(headers_set()[0], "SetRequestHeader(Cookie|k=v)");
  EXPECT_EQ(headers_set()[1], std::string("SetRequestHeader(Referer| ") + kUrl + ")");
}

TEST_F(WebRequestTest, HeaderLinesSplitIntoNameAndUntrimmedValue) {
  const std::vector<std::pair<Text, std::vector<std::string>>> cases = {
      {"X-Span: 10:20:30", {"SetRequestHeader(X-Span| 10:20:30)"}},
      {"Foo", {}},
      {"Foo: bar", {"SetRequestHeader(Foo| bar)"}},
      {"A: 1\r\n\r\nB: 2", {"SetRequestHeader(A| 1)", "SetRequestHeader(B| 2)"}},
      {"A:1\r\n", {"SetRequestHeader(A|1)"}},
      {"NoColon\r\nC: 3", {"SetRequestHeader(C| 3)"}},
      {"X-Tag: a:", {"SetRequestHeader(X-Tag| a)"}},
      {"X-Tag: a::", {"SetRequestHeader(X-Tag| a:)"}},
      {"X-Empty:\r\nD: 4", {"SetRequestHeader(D| 4)"}},
      {" Lead : x ", {"SetRequestHeader( Lead | x )"}},
      {"\r\n", {}},
  };
  for (const auto& [text, expected] : cases) {
    recording->calls.clear();
    Text headers = text;
    web_request(kUrl, nullptr, "", "", nullptr, &headers);
    EXPECT_EQ(headers_set(), expected) << "headers '" << text << "'";
    EXPECT_EQ(headers, text);
  }
}

TEST_F(WebRequestTest, PostBytesWinOverPostText) {
  const Bytes three = {'a', 0, 'b'};
  web_request(kUrl, nullptr, "ignored", "", nullptr, nullptr, nullptr, false, "", "", "", 0,
              nullptr, three);
  EXPECT_THAT(recording->calls_of("Send"), ElementsAre(std::string("Send(bytes|a\0b)", 15)));

  recording->calls.clear();
  web_request(kUrl, nullptr, "sent", "", nullptr, nullptr, nullptr, false, "", "", "", 0, nullptr,
              Bytes());
  EXPECT_THAT(recording->calls_of("Send"), ElementsAre("Send(text|sent)"));
}

TEST_F(WebRequestTest, ProxyCredentialsNeedAProxyAndAUser) {
  struct Case {
    Text proxy, user, password;
    std::vector<std::string> expected;
  };
  const std::vector<Case> cases = {
      {"", "u", "p", {}},
      {"px:1", "", "p", {"SetProxy(2|px:1)"}},
      {"px:1", "u", "", {"SetProxy(2|px:1)", "SetProxyCredentials(u|)"}},
      {"px:1", "u", "p", {"SetProxy(2|px:1)", "SetProxyCredentials(u|p)"}},
  };
  for (const Case& c : cases) {
    recording->calls.clear();
    web_request(kUrl, nullptr, "", "", nullptr, nullptr, nullptr, false, c.proxy, c.user,
                c.password);
    std::vector<std::string> proxy_calls;
    for (const std::string& call : recording->calls) {
      if (call.starts_with("SetProxy")) proxy_calls.push_back(call);
    }
    EXPECT_EQ(proxy_calls, c.expected) << "proxy '" << c.proxy << "' user '" << c.user << "'";
  }
}

TEST_F(WebRequestTest, ResponseHeadersGiveLocationAndCookies) {
  struct Case {
    Text response;
    Text location_before, cookies_before;
    Text location_after, cookies_after;
  };
  const Text two_cookies = "Set-Cookie: a=1; path=/\r\nSet-Cookie: b=2; path=/\r\n\r\n";
  const std::vector<Case> cases = {
      {two_cookies, "", "", two_cookies, "a=1; b=2"},
      {two_cookies, "", "x=0", two_cookies, "x=0; a=1; b=2"},
      {"Set-Cookie: a=1\r\n\r\n", "L", "", "L", ""},
      {"Set-Cookie: a=; path=/\r\n\r\n", "L", "", "L", ""},
      {"set-cookie: a=1; path=/\r\n\r\n", "L", "", "L", ""},
      {"X-Set-Cookie: q=9; path=/\r\n\r\n", "L", "", "L", "q=9"},
      {"Set-Cookie:   s=1 ;\r\n\r\n", "L", "", "L", "s=1"},
      {"Location: /next\r\n\r\n", "", "", "/next", ""},
      {"Location: /first\r\nLocation:  /second  \r\n\r\n", "old", "", "/second", ""},
      {"Content-Location: /c\r\n\r\n", "", "", "Content- /c", ""},
      {"x location: y Location: z\r\n\r\n", "", "", "x  y Location: z", ""},
      {"location: /lower\r\n\r\n", "", "", "location: /lower\r\n\r\n", ""},
      {"Server: t\r\n\r\n", "", "", "Server: t\r\n\r\n", ""},
      {"Server: t\r\n\r\n", "kept", "", "kept", ""},
      {"", "", "", "", ""},
  };
  for (const Case& c : cases) {
    recording->response_headers = c.response;
    Text location = c.location_before;
    Text cookies = c.cookies_before;
    Text returned_headers = "stale";
    web_request(kUrl, nullptr, "", "", &cookies, nullptr, &location, false, "", "", "", 0,
                &returned_headers);
    EXPECT_EQ(returned_headers, c.response);
    EXPECT_EQ(location, c.location_after) << "response '" << c.response << "'";
    EXPECT_EQ(cookies, c.cookies_after) << "response '" << c.response << "'";
  }
}

TEST_F(WebRequestTest, FailedOperationsCountAsEmptyAndTheRoutineGoesOn) {
  recording->body = {'b'};
  recording->response_headers = "Location: /x\r\n\r\n";
  for (const bool by_throwing : {true, false}) {
    recording->calls.clear();
    auto& failing = by_throwing ? recording->throwing : recording->refusing;
    failing = {"SetTimeouts", "Open",         "SetRequestHeader",
               "Send",        "ResponseBody", "GetAllResponseHeaders"};
    Text method = "get";
    Text location = "L";
    Text cookies = "c=1";
    Text returned_headers = "stale";
    const Bytes body = web_request(kUrl, &method, "", "", &cookies, nullptr, &location, false, "",
                                   "", "", 0, &returned_headers);
    EXPECT_THAT(body, IsEmpty());
    EXPECT_EQ(method, "GET");
    EXPECT_EQ(returned_headers, "");
    EXPECT_EQ(location, "L");
    EXPECT_EQ(cookies, "c=1");
    // Every step was still tried after the ones before it had failed.
    EXPECT_EQ(recording->calls.size(), 10u) << (by_throwing ? "throwing" : "refusing");
    EXPECT_EQ(recording->calls.back(), "GetAllResponseHeaders()");
    failing.clear();
  }
}

TEST_F(WebRequestTest, NoObjectLeavesEveryVariableUnchanged) {
  const std::vector<RequestObjectFactory> failing_factories = {
      [] { return std::unique_ptr<RequestObject>(); },
      []() -> std::unique_ptr<RequestObject> { throw std::runtime_error("no object"); },
  };
  for (const RequestObjectFactory& failing : failing_factories) {
    ScopedRequestObjectFactory no_object(failing);
    Text method = "post";
    Text cookies = "c=1";
    Text headers;
    Text location;
    Text returned_headers = "stale";
    const Bytes body = web_request(kUrl, &method, "t", "k=v", &cookies, &headers, &location, true,
                                   "px", "u", "p", 2, &returned_headers, Bytes{1});
    EXPECT_THAT(body, IsEmpty());
    EXPECT_EQ(method, "post");
    EXPECT_EQ(cookies, "c=1");
    EXPECT_EQ(headers, "");
    EXPECT_EQ(location, "");
    EXPECT_EQ(returned_headers, "stale");
  }
  EXPECT_EQ(recording->objects_made, 0);
}

}  // namespace
}  // namespace miyi
