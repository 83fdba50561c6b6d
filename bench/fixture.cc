#include "bench/fixture.h"

#include <algorithm>
#include <ctime>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace miyi::bench {
namespace {

namespace fs = std::filesystem;

// Bytes of GB2312 Chinese characters, as the game's own puzzles use.
char gb_byte(std::uint32_t n) { return static_cast<char>(0xB0 + n % 43); }

std::string character(std::uint32_t seed) {
  return {gb_byte(seed), gb_byte(seed / 43 + seed * 7)};
}

// A puzzle's section as the game writes it: answer first, then question.
std::string puzzle_section(std::string_view name, std::uint32_t seed) {
  const std::string answer = answer_for(seed);
  std::string section;
  section.append("[").append(name).append("]\r\n答案=").append(answer);
  section.append("\r\n问题=").append(question_for(answer, seed)).append("\r\n");
  return section;
}

std::string account_section(int n) {
  return puzzle_section(account(n), static_cast<std::uint32_t>(n));
}

std::string group_section() { return puzzle_section(kGroup, 4242); }

}  // namespace

std::string account(int n) { return std::to_string(10001 + n); }

std::string answer_for(std::uint32_t seed) { return character(seed * 2654435761u); }

std::string question_for(const std::string& answer, std::uint32_t seed) {
  const std::string x = character(seed * 40503u + 1);
  const std::string s = character(seed * 40503u + 2);
  std::string question;
  question.reserve(512);
  const int odd = 1 + 2 * static_cast<int>(seed % 126);  // a character of S
  for (int i = 0; i < 256; ++i) question += (i % 2 == 0) ? x : (i == odd ? answer : s);
  return question;
}

std::uint64_t store_size(int accounts) {
  std::uint64_t size = group_section().size();
  for (int n = 0; n < accounts; ++n) size += account(n).size() + 532;
  return size;
}

void write_store(const fs::path& file, int accounts) {
  const fs::path partial = file.string() + ".partial";
  {
    std::ofstream out(partial, std::ios::binary | std::ios::trunc);
    std::string chunk;
    for (int n = 0; n < accounts; ++n) {
      chunk += account_section(n);
      if (chunk.size() >= (1u << 20)) {
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        chunk.clear();
      }
    }
    chunk += group_section();
    out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    if (!out.flush()) throw std::runtime_error("cannot write " + partial.string());
  }
  fs::rename(partial, file);
}

fs::path cached_store(const fs::path& dir, int accounts) {
  fs::create_directories(dir);
  const fs::path file = dir / ("store-" + std::to_string(accounts) + ".ini");
  std::error_code error;
  if (fs::file_size(file, error) != store_size(accounts) || error) write_store(file, accounts);
  return file;
}

std::string settings_section(std::string_view portrait_host) {
  std::string section =
      "[觅异]\r\n配置=/config/签到数据发送者群号.ini\r\n积分名称=积分\r\n最高分=15\r\n";
  if (!portrait_host.empty()) section += "头像服务=" + std::string(portrait_host) + "\r\n";
  return section;
}

std::string today_text() {
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return std::to_string(local->tm_year + 1900) + "年" + std::to_string(local->tm_mon + 1) + "月" +
         std::to_string(local->tm_mday) + "日";
}

std::string points_file(int members, std::string_view today) {
  std::string file;
  for (int n = 0; n < members; ++n) {
    file.append("[").append(account(n)).append("]\r\n积分=");
    file.append(std::to_string(100 + n * 37 % 900)).append("\r\n觅异日期=");
    file.append(today).append("\r\n次数=0\r\n");
  }
  return file;
}

ValuePeek::ValuePeek(fs::path file, std::string section)
    : file_(std::move(file)), header_("[" + section + "]\r\n") {}

std::string ValuePeek::read(std::string_view key) {
  bool header_there = false;
  if (known_) {
    std::string value = read_at(offset_, key, header_there);
    if (header_there) return value;
  }
  if (!find_header()) return std::string();
  return read_at(offset_, key, header_there);
}

std::string ValuePeek::read_at(std::uint64_t offset, std::string_view key, bool& header_there) {
  header_there = false;
  std::ifstream in(file_, std::ios::binary);
  if (!in.seekg(static_cast<std::streamoff>(offset))) return std::string();
  // A section of this shape: the header, a 2-byte answer and a 512-byte
  // question, with room to spare.
  std::string window(header_.size() + 2048, '\0');
  in.read(window.data(), static_cast<std::streamsize>(window.size()));
  window.resize(static_cast<std::size_t>(in.gcount()));
  if (!window.starts_with(header_)) return std::string();
  header_there = true;
  std::size_t at = header_.size();
  const std::string wanted = std::string(key) + "=";
  while (at < window.size() && window[at] != '[') {
    const std::size_t end = window.find("\r\n", at);
    if (end == std::string::npos) break;
    if (window.compare(at, wanted.size(), wanted) == 0) {
      return window.substr(at + wanted.size(), end - at - wanted.size());
    }
    at = end + 2;
  }
  return std::string();
}

bool ValuePeek::find_header() {
  std::ifstream in(file_, std::ios::binary);
  // "\n[section]\r\n", or the header on the file's first line: the text
  // searched starts with a line break as if one stood just before the file.
  const std::string needle = "\n" + header_;
  std::string text = "\n";
  std::int64_t base = -1;  // the file offset of text[0]
  std::vector<char> buffer(1 << 20);
  while (in) {
    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
    const auto got = static_cast<std::size_t>(in.gcount());
    if (got == 0) break;
    text.append(buffer.data(), got);
    const std::size_t found = text.find(needle);
    if (found != std::string::npos) {
      offset_ = static_cast<std::uint64_t>(base + static_cast<std::int64_t>(found) + 1);
      known_ = true;
      return true;
    }
    const std::size_t keep = std::min(text.size(), needle.size() - 1);
    base += static_cast<std::int64_t>(text.size() - keep);
    text.erase(0, text.size() - keep);
  }
  known_ = false;
  return false;
}

std::vector<int> parse_sizes(const std::string& list) {
  std::vector<int> sizes;
  std::size_t at = 0;
  while (at <= list.size()) {
    const std::size_t comma = std::min(list.find(',', at), list.size());
    if (comma > at) sizes.push_back(std::stoi(list.substr(at, comma - at)));
    at = comma + 1;
  }
  return sizes;
}

}  // namespace miyi::bench
