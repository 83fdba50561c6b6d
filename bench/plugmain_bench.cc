// The game end to end at scale: the built plug-in loaded with dlopen, as a
// host loads it, and its `plugmain` called with the host's raw strings, on a
// puzzle store of 1 000, 10 000 and 100 000 accounts and a points file of
// 2 000 members (bench/fixture.h gives their shape).
//
// The plug-in keeps its files beside the executable that loaded it, so this
// program lives in a folder of its own and puts the store and the points file
// there before each benchmark. Only the `plugmain` call is timed (manual
// time); reading the right answer from the store between two calls, as a
// curious member could, and checking each reply are not. Every reply is
// checked, so a figure never comes from a path other than the one named.
//
//   plugmain_bench [--sizes=1000,10000,100000] [--members=2000]
//                  [--fixtures=DIR] [Google Benchmark flags]
//
// By default each benchmark runs 5 repetitions and the console shows their
// mean, median, standard deviation and coefficient of variation; the
// counters p50_ms and cpu_ms are a repetition's median call in wall-clock
// time and in CPU time of the calling thread (steadier on a busy machine,
// but blind to waiting for the disk and the portrait service).
#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "bench/fixture.h"
#include "tests/http_server.h"
#include "tests/testing.h"

namespace {

namespace fs = std::filesystem;
using miyi::bench::account;
using miyi::bench::kGroup;
using miyi::bench::kWrongAnswer;

using PlugmainFn = const char* (*)(const char*, const char*, const char*, const char*, const char*);

struct Options {
  std::vector<int> sizes{1000, 10000, 100000};
  int members = 2000;
  fs::path fixtures = MIYI_BENCH_FIXTURES;
};

Options& options() {
  static Options o;
  return o;
}

// The replies' fixed parts, GBK.
const char kShown[] = "\r\n觅异开始了 回复@觅异 答案即可参加";
const char kPrivateWrong[] = "对不起您答错了，再接再厉吧";
const char kPrivateSolved[] = "\r\n恭喜你答对了！";
const char kGroupWrong[] = "对不起您答错了，被扣了";
const char kNickname[] = "阿花";
const char kGroupWon[] = "\r\n恭喜阿花答对了！获得";

PlugmainFn plugmain() {
  static PlugmainFn fn = [] {
    void* handle = dlopen(MIYI_LIBRARY, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
      std::fprintf(stderr, "cannot load %s: %s\n", MIYI_LIBRARY, dlerror());
      std::exit(1);
    }
    return reinterpret_cast<PlugmainFn>(dlsym(handle, "plugmain"));
  }();
  return fn;
}

std::string call(const std::string& answer, const char* kind, const char* group,
                 const std::string& sender) {
  const char* reply = plugmain()(answer.c_str(), kind, group, sender.c_str(), "");
  return reply ? reply : "";
}

// Where the plug-in keeps its files: the folder of this executable.
const fs::path& run_folder() {
  static const fs::path folder = fs::read_symlink("/proc/self/exe").parent_path();
  return folder;
}

fs::path store_file() { return miyi::testing::utf8_path(run_folder(), u8"觅异.ini"); }

fs::path points_file() {
  const std::string group = kGroup;
  return miyi::testing::utf8_path(
      run_folder(), u8"config/签到数据" + std::u8string(group.begin(), group.end()) + u8".ini");
}

// Replaces `target` in one step with a file that holds `source`'s bytes (if
// any) followed by `tail`, already on disk: a fresh file, as another program
// would leave it, whose write-back does not fall into the timed calls.
void put_in_place(const fs::path& target, const fs::path* source, std::string_view tail) {
  const fs::path fresh = target.string() + ".bench-new";
  fs::create_directories(target.parent_path());
  if (source) {
    fs::copy_file(*source, fresh, fs::copy_options::overwrite_existing);
  } else {
    std::ofstream(fresh, std::ios::binary | std::ios::trunc);
  }
  {
    std::ofstream out(fresh, std::ios::binary | std::ios::app);
    out.write(tail.data(), static_cast<std::streamsize>(tail.size()));
  }
  const int fd = ::open(fresh.c_str(), O_RDONLY);
  if (fd >= 0) {
    ::fsync(fd);
    ::close(fd);
  }
  fs::rename(fresh, target);
}

// Answers every lookup with the nickname "阿花", as the portrait service does.
miyi::testing::HttpReply portrait(const miyi::testing::HttpRequest&) {
  return {miyi::testing::http_reply(
      "HTTP/1.1 200 OK", {"Content-Type: text/html"},
      std::string("cb({\"10001\":[\"http://x/y.jpg\",0,0,0,\"") + kNickname + "\",0]})")};
}

// The files of one benchmark run: the store of `accounts` accounts with the
// settings, and the points file, freshly in place; a loopback portrait
// service for the group's wins (one per run: it keeps a thread per request
// until it stops).
class Scene {
 public:
  explicit Scene(int accounts)
      : accounts_(accounts),
        cached_(miyi::bench::cached_store(options().fixtures, accounts)),
        service_(portrait) {
    put_store();
    put_points();
  }
  void put_store() {
    put_in_place(store_file(), &cached_, miyi::bench::settings_section(service_.authority()));
  }
  void put_points() {
    put_in_place(points_file(), nullptr,
                 miyi::bench::points_file(options().members, miyi::bench::today_text()));
  }
  int accounts() const { return accounts_; }

 private:
  int accounts_;
  fs::path cached_;
  miyi::testing::HttpServer service_;
};

double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const std::size_t half = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half), values.end());
  if (values.size() % 2 == 1) return values[half];
  const double upper = values[half];
  return (*std::max_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(half)) +
          upper) / 2;
}

double thread_cpu_seconds() {
  timespec now{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// Times one call into the iteration's manual time, and keeps each call's
// wall-clock and CPU time (of this thread: the plug-in works in the
// caller's thread) for the counters p50_ms and cpu_ms, their medians.
class Timer {
 public:
  explicit Timer(benchmark::State& state) : state_(state) {}
  template <class F>
  std::string time(F&& call_it) {
    const double cpu_start = thread_cpu_seconds();
    const auto start = std::chrono::steady_clock::now();
    std::string reply = call_it();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    cpu_.push_back(thread_cpu_seconds() - cpu_start);
    state_.SetIterationTime(took.count());
    wall_.push_back(took.count());
    return reply;
  }
  ~Timer() {
    if (wall_.empty()) return;
    state_.counters["p50_ms"] = median(wall_) * 1000.0;
    state_.counters["cpu_ms"] = median(cpu_) * 1000.0;
  }

 private:
  benchmark::State& state_;
  std::vector<double> wall_;
  std::vector<double> cpu_;
};

// Whether a benchmark stopped because a reply was not the one expected.
bool& failed() {
  static bool any = false;
  return any;
}

void fail(benchmark::State& state, const std::string& why) {
  failed() = true;
  state.SkipWithError(why.c_str());
}

bool ends_with(const std::string& text, std::string_view tail) { return text.ends_with(tail); }

// The first command of an existing section shows the stored question: the
// store is what the game sees. Also the untimed first call after the files
// were put in place.
bool shows_stored_question(benchmark::State& state, const std::string& section, const char* kind,
                           const std::string& sender) {
  miyi::bench::ValuePeek peek(store_file(), section);
  const std::string question = peek.read("问题");
  const std::string reply = call("", kind, kind[0] == '2' ? kGroup : "", sender);
  if (question.size() != 512 || reply != question + kShown) {
    fail(state, "the game does not see the stored puzzle of " + section);
    return false;
  }
  return true;
}

void private_wrong(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  const std::string sender = account(scene.accounts() / 2);
  if (!shows_stored_question(state, sender, "1", sender)) return;
  Timer timer(state);
  for (auto _ : state) {
    const std::string reply = timer.time([&] { return call(kWrongAnswer, "1", "", sender); });
    if (reply != kPrivateWrong) {
      fail(state, "a wrong answer was not told so");
      break;
    }
  }
}

void private_solve(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  const std::string sender = account(scene.accounts() / 2);
  if (!shows_stored_question(state, sender, "1", sender)) return;
  miyi::bench::ValuePeek peek(store_file(), sender);
  Timer timer(state);
  for (auto _ : state) {
    const std::string answer = peek.read("答案");
    const std::string reply = timer.time([&] { return call(answer, "1", "", sender); });
    if (!ends_with(reply, kPrivateSolved)) {
      fail(state, "the right answer did not solve the puzzle");
      break;
    }
  }
}

void new_account(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  const std::string existing = account(scene.accounts() / 2);
  if (!shows_stored_question(state, existing, "1", existing)) return;
  // Each new account adds a section; the store is put back before it has
  // grown by a twentieth, so that it keeps its size.
  const int put_back_every = std::max(20, scene.accounts() / 20);
  int added = 0;
  int next = scene.accounts();
  Timer timer(state);
  for (auto _ : state) {
    if (added == put_back_every) {
      state.PauseTiming();
      scene.put_store();
      call("", "1", "", existing);  // the first look at the fresh file
      added = 0;
      next = scene.accounts();
      state.ResumeTiming();
    }
    const std::string sender = account(next++);
    ++added;
    const std::string reply = timer.time([&] { return call("", "1", "", sender); });
    if (reply.size() != 512 + std::strlen(kShown) || !ends_with(reply, kShown)) {
      fail(state, "a new account was not shown a new puzzle");
      break;
    }
  }
}

void group_wrong(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  if (!shows_stored_question(state, kGroup, "2", account(0))) return;
  const int members = options().members;
  int turn = 0;
  Timer timer(state);
  for (auto _ : state) {
    const std::string sender = account(turn++ % members);
    const std::string reply = timer.time([&] { return call(kWrongAnswer, "2", kGroup, sender); });
    if (!reply.starts_with(kGroupWrong)) {
      fail(state, "a wrong answer in the group was not told so");
      break;
    }
  }
  // The fine went to the points file that the settings name.
  if (turn > 0 && miyi::bench::ValuePeek(points_file(), account(0)).read("积分") == "100") {
    fail(state, "the first member's balance did not change");
  }
}

void group_win(benchmark::State& state) {
  Scene scene(static_cast<int>(state.range(0)));
  if (!shows_stored_question(state, kGroup, "2", account(0))) return;
  miyi::bench::ValuePeek peek(store_file(), kGroup);
  // Members take turns, so that nobody reaches the ten counted wins of a
  // day; should a run ever get that far, the points file is put back.
  const int members = options().members;
  int turn = 0;
  Timer timer(state);
  for (auto _ : state) {
    if (turn == members * 10) {
      state.PauseTiming();
      scene.put_points();
      call("", "2", kGroup, account(0));  // the first look at the fresh file
      turn = 0;
      state.ResumeTiming();
    }
    const std::string sender = account(turn++ % members);
    const std::string answer = peek.read("答案");
    const std::string reply = timer.time([&] { return call(answer, "2", kGroup, sender); });
    if (reply.find(kGroupWon) != 512) {
      fail(state, "a right answer in the group was not a counted win");
      break;
    }
  }
  // The win was counted in the points file that the settings name.
  if (turn > 0 && miyi::bench::ValuePeek(points_file(), account(0)).read("次数") == "0") {
    fail(state, "the first member's win was not counted");
  }
}

// The console's report, followed by a table of the figures: per command and
// store size, the medians over the repetitions of p50_ms (each
// repetition's median call), of the repetitions' mean call and of cpu_ms.
// With one repetition, that repetition's figures.
class TableReporter : public benchmark::ConsoleReporter {
 public:
  TableReporter() : ConsoleReporter(OO_Tabular) {}

  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      const bool wanted = run.run_type == Run::RT_Aggregate ? run.aggregate_name == "median"
                                                            : run.repetitions <= 1;
      if (!wanted) continue;
      const std::string size = run.run_name.args.substr(run.run_name.args.find(':') + 1);
      char cell[64];
      if (run.error_occurred) {
        std::snprintf(cell, sizeof cell, "error");
      } else {
        const auto counter = [&run](const char* name) {
          const auto found = run.counters.find(name);
          return found == run.counters.end() ? 0.0 : found->second.value;
        };
        std::snprintf(cell, sizeof cell, "%.3f / %.3f / %.3f", counter("p50_ms"),
                      run.GetAdjustedRealTime(), counter("cpu_ms"));
      }
      if (std::find(sizes_.begin(), sizes_.end(), size) == sizes_.end()) sizes_.push_back(size);
      if (std::find(commands_.begin(), commands_.end(), run.run_name.function_name) ==
          commands_.end()) {
        commands_.push_back(run.run_name.function_name);
      }
      cells_[run.run_name.function_name + "/" + size] = cell;
    }
    ConsoleReporter::ReportRuns(runs);
  }

  void Finalize() override {
    std::FILE* out = stdout;
    std::fprintf(out,
                 "\nplugmain, ms per command: median call, wall clock / mean call, wall clock"
                 " / median call, CPU time\n");
    std::fprintf(out, "%-14s", "accounts");
    for (const std::string& size : sizes_) std::fprintf(out, " %26s", size.c_str());
    std::fprintf(out, "\n");
    for (const std::string& command : commands_) {
      std::fprintf(out, "%-14s", command.c_str());
      for (const std::string& size : sizes_) {
        const auto cell = cells_.find(command + "/" + size);
        std::fprintf(out, " %26s", cell == cells_.end() ? "-" : cell->second.c_str());
      }
      std::fprintf(out, "\n");
    }
    // The plug-in runs in this process: its memory at the largest store
    // shows here (the program's own part is small: it streams the stores).
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::fprintf(out, "peak resident set of this process: %.1f MB\n",
                 static_cast<double>(usage.ru_maxrss) / 1024.0);
    std::fflush(out);
  }

 private:
  std::vector<std::string> sizes_;
  std::vector<std::string> commands_;
  std::map<std::string, std::string> cells_;
};

}  // namespace

int main(int argc, char** argv) {
  // Our own flags first; defaults for Google Benchmark's come before the
  // caller's so that the caller's win.
  std::vector<char*> args{argv[0]};
  std::string repetitions = "--benchmark_repetitions=5";
  std::string aggregates = "--benchmark_display_aggregates_only=true";
  args.push_back(repetitions.data());
  args.push_back(aggregates.data());
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.starts_with("--sizes=")) {
      options().sizes = miyi::bench::parse_sizes(arg.substr(8));
    } else if (arg.starts_with("--members=")) {
      options().members = std::max(1, std::stoi(arg.substr(10)));
    } else if (arg.starts_with("--fixtures=")) {
      options().fixtures = arg.substr(11);
    } else {
      args.push_back(argv[i]);
    }
  }
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  const struct {
    const char* name;
    void (*fn)(benchmark::State&);
  } operations[] = {{"private_wrong", private_wrong}, {"private_solve", private_solve},
                    {"new_account", new_account},     {"group_wrong", group_wrong},
                    {"group_win", group_win}};
  for (const int size : options().sizes) {
    for (const auto& op : operations) {
      benchmark::RegisterBenchmark(op.name, op.fn)
          ->ArgName("accounts")
          ->Arg(size)
          ->UseManualTime()
          ->Unit(benchmark::kMillisecond);
    }
  }
  TableReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return failed() ? 1 : 0;
}
