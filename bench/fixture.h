// The game's two files at benchmark scale, built directly in the platform's
// INI shape (CR LF lines, new sections appended at the end) instead of
// through a hundred thousand single writes.
//
// The puzzle store holds, in this order: one section per account (accounts
// 10001, 10002, ...) with "答案" (a 2-byte answer) and "问题" (a 512-byte
// question around it), then the group's section, then the settings section
// "觅异", which the group's first command appends after the group's own
// section and an operator extends with "头像服务". The settings are not part
// of the cached store: their portrait service's port changes from run to run,
// so they are appended when a store is put in place.
//
// The points file holds one section per member: the balance "积分",
// "觅异日期" (today, as the game writes it) and "次数" 0, so that every member
// may still score ten counted wins today.
//
// Plain standard C++: the Linux benchmark and the Windows program that times
// the platform's profile functions share it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace miyi::bench {

// The group whose puzzle sits at the end of the store and whose points file
// the group game uses.
inline constexpr char kGroup[] = "80000001";

// What a member types that is never an answer: answers use bytes 0xB0..0xDA
// only, and the second byte of "啊" is 0xA1.
inline constexpr char kWrongAnswer[] = "啊";

// The n-th account (0-based): "10001", "10002", ...
std::string account(int n);

// A puzzle as the game stores it: a 2-byte answer and a 512-byte question of
// two alternating characters with the answer in place of one of them.
std::string answer_for(std::uint32_t seed);
std::string question_for(const std::string& answer, std::uint32_t seed);

// The bytes of a puzzle store of `accounts` accounts followed by the group's
// section (without the settings), as the game would have left them.
std::uint64_t store_size(int accounts);

// Writes that store to `file` (through a temporary name, so an interrupted
// run never leaves a truncated cache behind). Streams: never holds the file.
void write_store(const std::filesystem::path& file, int accounts);

// `dir`/store-<accounts>.ini, written when missing (or of the wrong size).
std::filesystem::path cached_store(const std::filesystem::path& dir, int accounts);

// The settings section "觅异" with the defaults the game writes, and the
// portrait service's host:port when one is given.
std::string settings_section(std::string_view portrait_host);

// Today's date as the game writes it: "2026年1月9日", local time.
std::string today_text();

// The points file of `members` members: accounts 10001, 10002, ... each with
// a balance, today's date and no win yet.
std::string points_file(int members, std::string_view today);

// Reads one value from an INI file written in this shape, as a curious member
// could between two commands: the first "key=" line of "[section]". It
// remembers where the section's header lay and reads only a few hundred
// bytes from there while the header is still there; otherwise it searches
// the whole file again. Empty when not found.
class ValuePeek {
 public:
  ValuePeek(std::filesystem::path file, std::string section);
  std::string read(std::string_view key);

 private:
  std::string read_at(std::uint64_t offset, std::string_view key, bool& header_there);
  bool find_header();

  std::filesystem::path file_;
  std::string header_;  // "[section]\r\n"
  std::uint64_t offset_ = 0;
  bool known_ = false;
};

// The sizes of a "--sizes=1000,10000" option: "1000,10000" gives 1000 and
// 10000.
std::vector<int> parse_sizes(const std::string& list);

}  // namespace miyi::bench
