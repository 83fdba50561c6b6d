// The console host test's operating-system needs on POSIX: popen, wait
// statuses and iconv.
#include <iconv.h>
#include <sys/wait.h>

#include <cstdio>

#include "tests/host_process.h"
#include "tests/testing.h"

namespace miyi::testing {

HostRun run_program(const std::filesystem::path& program, const std::string& input,
                    const std::filesystem::path& folder) {
  const std::filesystem::path input_file = folder / "input";
  const std::filesystem::path error_file = folder / "stderr";
  write_file(input_file, input);
  const std::string command = "cd '" + folder.string() + "' && '" + program.string() + "' < '" +
                              input_file.string() + "' 2> '" + error_file.string() + "'";
  HostRun result;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) {
    result.out.append(buffer, n);
  }
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.err = read_file(error_file);
  return result;
}

std::filesystem::path built_programs_folder() { return MIYI_OUT_DIR; }

bool folder_names_beyond_gbk() { return true; }

std::string system_gbk_to_utf8(const std::string& gbk) {
  iconv_t cd = iconv_open("UTF-8", "GB18030");
  if (cd == reinterpret_cast<iconv_t>(-1)) return "(iconv unavailable)";
  std::string out(gbk.size() * 2 + 4, '\0');
  char* in_at = const_cast<char*>(gbk.data());
  std::size_t in_left = gbk.size();
  char* out_at = out.data();
  std::size_t out_left = out.size();
  const std::size_t rc = iconv(cd, &in_at, &in_left, &out_at, &out_left);
  iconv_close(cd);
  if (rc == static_cast<std::size_t>(-1)) return "(not GBK)";
  out.resize(out.size() - out_left);
  return out;
}

}  // namespace miyi::testing
