// lookup_nickname built with the portrait host "fallback.invalid:8080" (see
// net/CMakeLists.txt): the puzzle store's setting wins over it, and it
// serves when the setting is missing or empty. A recording request object
// shows the URL; nothing goes on the network.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "core/store.h"
#include "core/text.h"
#include "net/nickname.h"
#include "net/recording_request_object.h"
#include "net/request_object.h"
#include "tests/testing.h"

namespace miyi {
namespace {

using ::testing::ElementsAre;

TEST(NicknameFallback, StoreSettingWinsOverTheBuildsHost) {
  static testing::TempDir run_directory;
  set_run_dir_for_testing(run_directory.text());
  const Text store = text_concat(run_dir(), "/觅异.ini");

  auto recording = std::make_shared<testing::Recording>();
  ScopedRequestObjectFactory fake(testing::RecordingRequestObject::factory(recording));
  const auto url_for = [&](const char* account) {
    recording->calls.clear();
    lookup_nickname(account);
    return recording->calls_of("Open");
  };
  const std::string path = "/fcg-bin/cgi_get_portrait.fcg?uins=";

  // No store file at all.
  EXPECT_THAT(url_for("1"), ElementsAre("Open(GET|http://fallback.invalid:8080" + path + "1|false)"));

  ASSERT_TRUE(ini_write(store, "觅异", "头像服务", "set.example:99"));
  EXPECT_THAT(url_for("2"), ElementsAre("Open(GET|http://set.example:99" + path + "2|false)"));

  ASSERT_TRUE(ini_write(store, "觅异", "头像服务", ""));
  EXPECT_THAT(url_for("3"), ElementsAre("Open(GET|http://fallback.invalid:8080" + path + "3|false)"));
}

}  // namespace
}  // namespace miyi
