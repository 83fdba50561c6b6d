// MIYI_RUN_DIR's names on POSIX: file names are UTF-8 on disk and the
// store's texts GBK, so a folder's name must convert exactly both ways.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/run_dir_setting.h"
#include "tests/testing.h"

namespace miyi::platform {
namespace {

namespace fs = std::filesystem;

class RunDirNames : public ::testing::Test {
 protected:
  void TearDown() override { unsetenv(kRunDirVariable); }
  static RunDirSetting setting_for(const fs::path& folder) {
    setenv(kRunDirVariable, folder.c_str(), 1);
    return run_dir_setting();
  }
  testing::TempDir temp_;
};

TEST_F(RunDirNames, AChineseNamedFolderComesBackAsGbk) {
  const fs::path folder = testing::utf8_path(temp_.path(), u8"机器人");
  fs::create_directories(folder);
  const RunDirSetting setting = setting_for(folder);
  ASSERT_TRUE(setting.folder.has_value());
  const std::string canonical = fs::canonical(temp_.path()).string();
  EXPECT_EQ(*setting.folder, canonical + "/\xBB\xFA\xC6\xF7\xC8\xCB");
}

TEST_F(RunDirNames, AFolderWhoseNameIsNoUtf8GivesNothing) {
  const fs::path folder = temp_.path() / std::string("bad\xFF\xFEname");
  fs::create_directories(folder);
  const RunDirSetting setting = setting_for(folder);
  EXPECT_TRUE(setting.set);
  EXPECT_FALSE(setting.folder.has_value()) << setting.folder.value_or("");
}

}  // namespace
}  // namespace miyi::platform
