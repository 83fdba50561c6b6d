// MIYI_RUN_DIR as the platform reads it: unset or empty means not set; a
// folder it names, relative or with separators at the end, comes back
// absolute and bare; a name that gives no folder gives nothing.
#include "platform/run_dir_setting.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/run_dir_variable.h"
#include "tests/testing.h"

namespace miyi::platform {
namespace {

namespace fs = std::filesystem;
using testing::RunDirVariable;

RunDirSetting setting_for(const std::optional<std::string>& value) {
  RunDirVariable variable(value);
  return run_dir_setting();
}

// The folder text names `expected`, absolutely, without a separator at its end.
void expect_names(const RunDirSetting& setting, const fs::path& expected) {
  ASSERT_TRUE(setting.set);
  ASSERT_TRUE(setting.folder.has_value());
  const std::string& folder = *setting.folder;
  ASSERT_FALSE(folder.empty());
  EXPECT_NE(folder.back(), '/') << folder;
  EXPECT_NE(folder.back(), '\\') << folder;
  EXPECT_TRUE(fs::path(folder).is_absolute()) << folder;
  EXPECT_TRUE(fs::equivalent(fs::path(folder), expected)) << folder;
}

TEST(RunDirSetting, UnsetOrEmptyIsNotSet) {
  for (const std::optional<std::string>& value : {std::optional<std::string>(), std::optional<std::string>("")}) {
    const RunDirSetting setting = setting_for(value);
    EXPECT_FALSE(setting.set);
    EXPECT_FALSE(setting.folder.has_value());
  }
}

TEST(RunDirSetting, AnExistingFolderComesBackAbsoluteWithoutTrailingSeparators) {
  testing::TempDir temp;
  const fs::path data = temp.path() / "data";
  fs::create_directories(data / "miyi");
  expect_names(setting_for(data.string()), data);
  expect_names(setting_for(data.string() + "/"), data);
  expect_names(setting_for((data / "miyi" / "..").string()), data);

  // A relative name is the folder it names from the working folder at the
  // time it is read.
  const fs::path before = fs::current_path();
  fs::current_path(temp.path());
  const RunDirSetting relative = setting_for("data");
  fs::current_path(before);
  expect_names(relative, data);
}

TEST(RunDirSetting, ANameThatGivesNoFolderGivesNothing) {
  testing::TempDir temp;
  testing::write_file(temp.path() / "a-file", "x");
  for (const fs::path& name : {temp.path() / "missing", temp.path() / "missing" / "deeper",
                               temp.path() / "a-file"}) {
    const RunDirSetting setting = setting_for(name.string());
    EXPECT_TRUE(setting.set) << name;
    EXPECT_FALSE(setting.folder.has_value()) << name << ": " << setting.folder.value_or("");
  }
  EXPECT_FALSE(fs::exists(temp.path() / "missing"));
}

}  // namespace
}  // namespace miyi::platform
