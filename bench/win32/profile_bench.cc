// The platform's own profile functions on the game's files, for comparison
// with plugmain_bench: the same stores (bench/fixture.h) and, for each of the
// game's commands, the same sequence of GetPrivateProfileStringA and
// WritePrivateProfileStringA calls that the game makes, in the same order.
// The nickname lookup's web request is left out; its read of the portrait
// service's host is not.
//
// Run it under Wine with the locale zh_CN.UTF-8 (code page 936), as
// scripts/bench.sh does:
//   profile_bench [--sizes=1000,10000,100000] [--members=2000] [--seconds=2]
//                 [--fixtures=DIR] [--work=DIR]
// Each command runs once untimed, then is timed call sequence by call
// sequence until `seconds` have passed and at least five sequences ran
// (exactly one with --seconds=0); it prints the median and the count. The
// files count as just written by another member's command before each
// sequence (see measure()); private_wrong_quiet is the private wrong answer
// on files that nobody wrote for a few seconds.
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "bench/fixture.h"

namespace {

namespace fs = std::filesystem;
using miyi::bench::account;
using miyi::bench::kGroup;
using miyi::bench::kWrongAnswer;

struct Options {
  std::vector<int> sizes{1000, 10000, 100000};
  int members = 2000;
  double seconds = 2.0;
  fs::path fixtures;
  fs::path work;
};

const char kSettings[] = "觅异";

class Files {
 public:
  Files(const Options& options, int accounts)
      : options_(options),
        cached_(miyi::bench::cached_store(options.fixtures, accounts)),
        store_((options.work / "store.ini").string()),
        points_((options.work / "points.ini").string()) {
    put_store();
    put_points();
  }
  // The settings name a portrait service that is never asked.
  void put_store() {
    const fs::path fresh = store_ + ".new";
    fs::copy_file(cached_, fresh, fs::copy_options::overwrite_existing);
    std::ofstream(fresh, std::ios::binary | std::ios::app)
        << miyi::bench::settings_section("127.0.0.1:9");
    fs::rename(fresh, store_);
  }
  void put_points() {
    std::ofstream(points_, std::ios::binary | std::ios::trunc)
        << miyi::bench::points_file(options_.members, miyi::bench::today_text());
  }
  // As after another member's command: both files written a moment ago.
  void touch() const {
    const auto now = fs::file_time_type::clock::now();
    fs::last_write_time(store_, now);
    fs::last_write_time(points_, now);
  }
  const std::string& store() const { return store_; }
  const std::string& points() const { return points_; }

 private:
  const Options& options_;
  fs::path cached_;
  std::string store_;
  std::string points_;
};

std::string get(const std::string& file, const std::string& section, const char* key) {
  std::vector<char> buffer(10240);
  GetPrivateProfileStringA(section.c_str(), key, "", buffer.data(),
                           static_cast<DWORD>(buffer.size()), file.c_str());
  return buffer.data();
}

void put(const std::string& file, const std::string& section, const char* key,
         const std::string& value) {
  WritePrivateProfileStringA(section.c_str(), key, value.c_str(), file.c_str());
}

// What one group command reads before it judges, in the game's order.
struct GroupReads {
  std::string balance, answer, count;
};
GroupReads group_reads(const Files& files, const std::string& member) {
  GroupReads r;
  get(files.store(), kSettings, "配置");
  get(files.store(), kSettings, "积分名称");
  r.balance = get(files.points(), member, "积分");
  get(files.store(), kSettings, "最高分");
  r.answer = get(files.store(), kGroup, "答案");
  get(files.store(), kGroup, "问题");
  get(files.points(), member, "觅异日期");
  r.count = get(files.points(), member, "次数");
  return r;
}

// Runs `step` once untimed, then timed until the time is up; the median.
//
// Wine's profile functions keep recently used files in memory, but read a
// file whose last write is less than 2.1 seconds old afresh from disk at
// every call (a guard against file systems with coarse timestamps). On a
// robot in use other members' commands write the store and the points file
// all the time, so a busy measurement touches both files (untimed) before
// each sequence; a quiet one leaves them alone for 2.2 seconds first, and
// the functions answer from memory. When reading a file takes longer than
// those 2.1 seconds (the 100 000-account store), the later calls of a busy
// sequence find it old enough and answer from memory too.
struct Figure {
  double median_ms = 0;
  int samples = 0;
  int faults = 0;  // sequences whose reads were not what the files hold
};
enum class Traffic { busy, quiet };
Figure measure(const Options& options, const Files& files, Traffic traffic,
               const std::function<bool()>& step) {
  Figure figure;
  if (traffic == Traffic::quiet) Sleep(2200);
  if (traffic == Traffic::busy) files.touch();
  if (!step()) ++figure.faults;
  std::vector<double> samples;
  const auto start = std::chrono::steady_clock::now();
  do {
    if (traffic == Traffic::busy) files.touch();
    const auto before = std::chrono::steady_clock::now();
    if (!step()) ++figure.faults;
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - before;
    samples.push_back(took.count());
    if (options.seconds <= 0) break;
  } while (samples.size() < 5 ||
           std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() <
               options.seconds);
  std::sort(samples.begin(), samples.end());
  const std::size_t half = samples.size() / 2;
  figure.median_ms = samples.size() % 2 ? samples[half] : (samples[half - 1] + samples[half]) / 2;
  figure.samples = static_cast<int>(samples.size());
  return figure;
}

// Each command's calls, as the game makes them. The right answers are read
// from the file beside the timed calls (not through the profile functions,
// whose cache they would warm), and every sequence checks what it read.
Figure private_wrong_in(Traffic traffic, const Options& options, int accounts) {
  Files files(options, accounts);
  const std::string sender = account(accounts / 2);
  return measure(options, files, traffic, [&] {
    const std::string answer = get(files.store(), sender, "答案");
    const std::string question = get(files.store(), sender, "问题");
    return answer.size() == 2 && question.size() == 512 && answer != kWrongAnswer;
  });
}

Figure private_wrong(const Options& options, int accounts) {
  return private_wrong_in(Traffic::busy, options, accounts);
}

Figure private_wrong_quiet(const Options& options, int accounts) {
  return private_wrong_in(Traffic::quiet, options, accounts);
}

Figure private_solve(const Options& options, int accounts) {
  Files files(options, accounts);
  const std::string sender = account(accounts / 2);
  miyi::bench::ValuePeek peek(files.store(), sender);
  std::uint32_t seed = 1;
  return measure(options, files, Traffic::busy, [&] {
    const std::string right = peek.read("答案");
    const std::string next = miyi::bench::answer_for(seed);
    const std::string next_question = miyi::bench::question_for(next, seed++);
    const std::string answer = get(files.store(), sender, "答案");
    const std::string question = get(files.store(), sender, "问题");
    const bool solved = answer == right && question.size() == 512;
    put(files.store(), sender, "答案", next);
    put(files.store(), sender, "问题", next_question);
    return solved;
  });
}

Figure new_account(const Options& options, int accounts) {
  Files files(options, accounts);
  const int put_back_every = std::max(20, accounts / 20);
  int next = accounts;
  std::uint32_t seed = 1;
  return measure(options, files, Traffic::busy, [&] {
    if (next - accounts == put_back_every) {
      files.put_store();
      get(files.store(), account(accounts / 2), "答案");  // the first look at the fresh file
      next = accounts;
    }
    const std::string sender = account(next++);
    const std::string answer = miyi::bench::answer_for(seed);
    const std::string question = miyi::bench::question_for(answer, seed++);
    const bool fresh = get(files.store(), sender, "答案").empty();
    put(files.store(), sender, "答案", answer);
    const bool no_question = get(files.store(), sender, "问题").empty();
    put(files.store(), sender, "问题", question);
    return fresh && no_question;
  });
}

Figure group_wrong(const Options& options, int accounts) {
  Files files(options, accounts);
  int turn = 0;
  return measure(options, files, Traffic::busy, [&] {
    const std::string member = account(turn++ % options.members);
    const GroupReads r = group_reads(files, member);
    put(files.points(), member, "积分", std::to_string(std::stoi(r.balance) - 7));
    return r.answer.size() == 2 && r.count == "0";
  });
}

Figure group_win(const Options& options, int accounts) {
  Files files(options, accounts);
  int turn = 0;
  std::uint32_t seed = 1;
  return measure(options, files, Traffic::busy, [&] {
    if (turn == options.members * 10) {
      files.put_points();
      turn = 0;
    }
    const std::string member = account(turn++ % options.members);
    const std::string next = miyi::bench::answer_for(seed);
    const std::string next_question = miyi::bench::question_for(next, seed++);
    const GroupReads r = group_reads(files, member);
    put(files.store(), kGroup, "答案", next);
    put(files.store(), kGroup, "问题", next_question);
    put(files.points(), member, "积分", std::to_string(std::stoi(r.balance) + 7));
    put(files.points(), member, "次数", std::to_string(std::stoi(r.count) + 1));
    get(files.store(), kSettings, "头像服务");  // the nickname lookup's host
    return r.answer.size() == 2 && std::stoi(r.count) < 10;
  });
}

fs::path executable_dir() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  return fs::path(path).parent_path();
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  options.fixtures = executable_dir() / "fixtures";
  options.work = executable_dir() / "profile-work";
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--sizes=")) {
      options.sizes = miyi::bench::parse_sizes(arg.substr(8));
    } else if (arg.starts_with("--members=")) {
      options.members = std::max(1, std::stoi(arg.substr(10)));
    } else if (arg.starts_with("--seconds=")) {
      options.seconds = std::stod(arg.substr(10));
    } else if (arg.starts_with("--fixtures=")) {
      options.fixtures = arg.substr(11);
    } else if (arg.starts_with("--work=")) {
      options.work = arg.substr(7);
    } else {
      std::fprintf(stderr, "unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  fs::create_directories(options.work);
  fs::create_directories(options.fixtures);

  const struct {
    const char* name;
    Figure (*fn)(const Options&, int);
  } operations[] = {{"private_wrong", private_wrong}, {"private_solve", private_solve},
                    {"new_account", new_account},     {"group_wrong", group_wrong},
                    {"group_win", group_win},         {"private_wrong_quiet", private_wrong_quiet}};
  int faults = 0;
  std::printf("%-20s %9s %12s %8s\n", "profile", "accounts", "median_ms", "samples");
  std::fflush(stdout);
  for (const int size : options.sizes) {
    for (const auto& op : operations) {
      const Figure figure = op.fn(options, size);
      std::printf("%-20s %9d %12.3f %8d%s\n", op.name, size, figure.median_ms, figure.samples,
                  figure.faults ? "  (reads not as expected!)" : "");
      std::fflush(stdout);
      faults += figure.faults;
    }
  }
  return faults ? 1 : 0;
}
