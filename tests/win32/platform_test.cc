// The Win32 platform layer: the run directory, the clocks, and the file
// calls under the settings store.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "platform/clock.h"
#include "platform/files.h"
#include "platform/run_dir.h"
#include "platform/win32/module_path.h"
#include "platform/win32/wide_names.h"
#include "tests/testing.h"
#include "tests/win32/process.h"

namespace miyi::platform {
namespace {

namespace fs = std::filesystem;

TEST(Win32RunDir, TheModulesFolderInTheCodePageOrNothing) {
  const struct {
    std::wstring path;
    std::optional<std::string> folder;
  } cases[] = {
      {L"C:\\robot\\qq.exe", "C:\\robot"},
      {L"C:\\qq.exe", "C:"},  // the root: "/觅异.ini" still makes a path
      {L"qq.exe", std::nullopt},
      {L"\\\\server\\share\\qq.exe", "\\\\server\\share"},
      {L"C:\\robot/sub/qq.exe", "C:"},  // only backslashes cut
      // The extended form, which a program started by such a name gets.
      {L"\\\\?\\C:\\robot\\qq.exe", "C:\\robot"},
      {L"\\\\?\\UNC\\server\\share\\qq.exe", "\\\\server\\share"},
      // 机器昞 in code page 936, the second byte of 昞 a backslash's.
      {L"C:\\\u673A\u5668\u661E\\qq.exe", "C:\\\xBB\xFA\xC6\xF7\x95\x5C"},
      {L"Z:\\tmp\\z\u20AC\\rd.exe", "Z:\\tmp\\z\x80"},  // € is the single byte 0x80
      // Characters code page 936 lacks: no stand-in, no folder.
      {L"C:\\j\u00F6rg\\qq.exe", std::nullopt},
      {L"C:\\\U0001F600\\qq.exe", std::nullopt},
      {L"C:\\j\u00F6rg\\robot\\qq.exe", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(folder_of_module(c.path), c.folder) << c.folder.value_or("(none)");
  }
}

TEST(Win32Names, TextsBecomeTidiedExtendedWideNamesOrNothing) {
  const std::wstring deep = L"C:\\" + std::wstring(300, L'd') + L"\\a.ini";
  const struct {
    std::string text;
    std::optional<std::wstring> name;
  } cases[] = {
      {"C:\\robot\\a.ini", L"\\\\?\\C:\\robot\\a.ini"},
      {"C:/robot/config/a.ini", L"\\\\?\\C:\\robot\\config\\a.ini"},
      {"C:\\robot\\config\\..\\.\\a.ini", L"\\\\?\\C:\\robot\\a.ini"},
      {"\\\\server\\share\\a.ini", L"\\\\?\\UNC\\server\\share\\a.ini"},
      {"C:\\" + std::string(300, 'd') + "\\a.ini", L"\\\\?\\" + deep},
      // 觅异, and 昞 whose second byte is a backslash's, and € (0x80).
      {"C:\\\xC3\xD9\xD2\xEC\\\x95\x5C\\\x80.ini", L"\\\\?\\C:\\\u89C5\u5F02\\\u661E\\\u20AC.ini"},
      {"C:\\a\xC3", std::nullopt},  // a character cut off
      {std::string("C:\\a\0b", 6), std::nullopt},
      {"", std::nullopt},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(wide_name(c.text), c.name) << c.text;
  }
  // A relative name is taken from the working folder, as the system takes it.
  std::wstring here(GetCurrentDirectoryW(0, nullptr), L'\0');
  here.resize(GetCurrentDirectoryW(static_cast<DWORD>(here.size()), here.data()));
  const std::optional<std::wstring> relative = wide_name("a.ini");
  ASSERT_TRUE(relative.has_value());
  EXPECT_EQ(without_extended_prefix(*relative), here + L"\\a.ini");
}

// A copy of this program, run from folders whose names are hard to cut,
// reports the folder the plug-in would use and keeps the store's files
// there, through the store, as the plug-in does. (A folder longer than
// MAX_PATH, and one code page 936 cannot name, are executable_folder.cmake's:
// Wine's CreateProcessA cannot start a program there.)
TEST(Win32RunDir, TheExecutablesFolderKeepsTheFiles) {
  const struct {
    std::u8string folder;  // as on disk, below a temporary folder
    std::string ansi;      // as the system names it in code page 936
  } cases[] = {
      // 机器昞a: the second byte of 昞 is 0x5C.
      {u8"机器\u661Ea", "\\\xBB\xFA\xC6\xF7\x95\x5C" "a"},
      // z€: € is the single byte 0x80.
      {u8"z\u20AC", "\\z\x80"},
  };
  for (const auto& c : cases) {
    testing::TempDir temp;
    const fs::path folder = testing::utf8_path(temp.path(), c.folder);
    fs::create_directories(folder);
    fs::copy_file(testing::own_executable(), folder / "probe.exe");
    const std::string ansi_folder = temp.text() + c.ansi;
    const testing::ProcessResult run = testing::run_process(
        testing::quoted(ansi_folder + "\\probe.exe") + " --as-plug-in", "", temp.text());
    SCOPED_TRACE(ansi_folder);
    EXPECT_EQ(run.exit_code, 0);
    EXPECT_EQ(run.output, ansi_folder + "\n");
    EXPECT_EQ(testing::read_file(testing::utf8_path(folder, u8"觅异.ini")), "[s]\r\nk=v\r\nn=1\r\n");
    EXPECT_EQ(testing::read_file(testing::utf8_path(folder, u8"config/签到数据5000.ini")),
              "[s]\r\nk=v\r\n");
    EXPECT_FALSE(fs::exists(testing::utf8_path(temp.path(), u8"觅异.ini")));
  }
}

TEST(Win32Clock, TickCountAndLocalTimeAreThePlatforms) {
  const DWORD before_tick = GetTickCount();
  const std::uint32_t tick = tick_count();
  const DWORD after_tick = GetTickCount();
  EXPECT_LE(before_tick, tick);
  EXPECT_LE(tick, after_tick);

  SYSTEMTIME before{}, after{};
  GetLocalTime(&before);
  const DateTime now = local_clock();
  GetLocalTime(&after);
  const auto key = [](int y, int mo, int d, int h, int mi, int s) {
    return ((((static_cast<long long>(y) * 13 + mo) * 32 + d) * 24 + h) * 60 + mi) * 60 + s;
  };
  const long long mine = key(now.year, now.month, now.day, now.hour, now.minute, now.second);
  EXPECT_LE(key(before.wYear, before.wMonth, before.wDay, before.wHour, before.wMinute,
                before.wSecond),
            mine);
  EXPECT_LE(mine,
            key(after.wYear, after.wMonth, after.wDay, after.wHour, after.wMinute, after.wSecond));
}

class Win32Files : public ::testing::Test {
 protected:
  // A file of the temporary folder named in GBK, as the store names it.
  Text name(const char* gbk_relative) const { return folder_.text() + gbk_relative; }
  fs::path path(std::u8string_view relative) const {
    return testing::utf8_path(folder_.path(), relative);
  }
  static bool replace(const Text& name, std::string_view bytes) {
    ReplacementFile file;
    return file.begin(name) && file.write(bytes) && file.commit();
  }
  static std::string read_all(const Text& name, OpenResult* result = nullptr) {
    InputFile file;
    const OpenResult opened = file.open(name);
    if (result) *result = opened;
    std::string out;
    char buffer[7];  // small, so that reading takes several calls
    for (long n; (n = file.read(buffer, sizeof buffer)) > 0;) out.append(buffer, static_cast<std::size_t>(n));
    return out;
  }
  int entries() const {
    int count = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(folder_.path())) ++count;
    return count;
  }

  testing::TempDir folder_;
};

TEST_F(Win32Files, GbkNamesWithEitherSeparatorAreTheUnicodeNamesOnDisk) {
  // 觅异.ini: C3 D9 D2 EC, through a "/" and through a "\".
  ASSERT_TRUE(replace(name("/\xC3\xD9\xD2\xEC.ini"), "[s]\r\nk=1\r\n"));
  EXPECT_EQ(testing::read_file(path(u8"觅异.ini")), "[s]\r\nk=1\r\n");
  OpenResult opened{};
  EXPECT_EQ(read_all(name("\\\xC3\xD9\xD2\xEC.ini"), &opened), "[s]\r\nk=1\r\n");
  EXPECT_EQ(opened, OpenResult::opened);
  EXPECT_EQ(entries(), 1);  // no temporary file left

  // A folder whose name's second byte is 0x5C (昞), made and written into.
  const Text folder = name("\\\x95\x5C");
  EXPECT_FALSE(folder_exists(folder));
  ASSERT_TRUE(make_folder(folder));
  EXPECT_TRUE(make_folder(folder));  // already there
  EXPECT_TRUE(folder_exists(folder));
  ASSERT_TRUE(replace(folder + "/a.ini", "x"));
  EXPECT_EQ(testing::read_file(path(u8"\u661E/a.ini")), "x");
}

TEST_F(Win32Files, MissingFailedAndRefusedNames) {
  OpenResult opened{};
  read_all(name("\\nothing.ini"), &opened);
  EXPECT_EQ(opened, OpenResult::missing);
  read_all(name("\\no folder\\nothing.ini"), &opened);
  EXPECT_EQ(opened, OpenResult::missing);
  fs::create_directory(path(u8"dir.ini"));
  read_all(name("\\dir.ini"), &opened);
  EXPECT_EQ(opened, OpenResult::failed);

  ReplacementFile into_missing_folder;
  EXPECT_FALSE(into_missing_folder.begin(name("\\no folder\\a.ini")));
  EXPECT_FALSE(replace(name("\\dir.ini"), "x"));
  EXPECT_TRUE(fs::is_directory(path(u8"dir.ini")));
  EXPECT_FALSE(make_folder(name("\\no folder\\deeper")));
}

TEST_F(Win32Files, AReplacedFileKeepsItsAttributesAndAReadOnlyOneIsNeverReplaced) {
  const Text hidden = name("\\hidden.ini");
  testing::write_file(path(u8"hidden.ini"), "old");
  SetFileAttributesA(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  ASSERT_TRUE(replace(hidden, "new"));
  EXPECT_EQ(read_all(hidden), "new");
  EXPECT_NE(GetFileAttributesA(hidden.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);

  const Text locked = name("\\read-only.ini");
  testing::write_file(path(u8"read-only.ini"), "old");
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_READONLY);
  EXPECT_FALSE(replace(locked, "new"));
  EXPECT_EQ(read_all(locked), "old");
  SetFileAttributesA(locked.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(entries(), 2);
}

TEST_F(Win32Files, AnAbandonedReplacementLeavesTheOldFileAndNoTrace) {
  const Text file = name("\\a.ini");
  testing::write_file(path(u8"a.ini"), "old");
  {
    ReplacementFile replacement;
    ASSERT_TRUE(replacement.begin(file));
    ASSERT_TRUE(replacement.write("half of the new"));
    EXPECT_EQ(entries(), 2);  // the temporary file beside it
  }
  EXPECT_EQ(read_all(file), "old");
  EXPECT_EQ(entries(), 1);
}

TEST_F(Win32Files, AFileThatAnotherProgramHoldsOpenIsReadAndNotTorn) {
  const Text file = name("\\shared.ini");
  testing::write_file(path(u8"shared.ini"), "old");
  // A reader that shares reading and writing, but not deletion: the file
  // cannot be replaced while it holds it.
  const HANDLE other = CreateFileA(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                   nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  EXPECT_EQ(read_all(file), "old");
  EXPECT_FALSE(replace(file, "new"));
  CloseHandle(other);
  EXPECT_EQ(read_all(file), "old");
  EXPECT_EQ(entries(), 1);
  EXPECT_TRUE(replace(file, "new"));
  EXPECT_EQ(read_all(file), "new");
}

}  // namespace
}  // namespace miyi::platform
