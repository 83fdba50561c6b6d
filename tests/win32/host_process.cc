// The console host test's operating-system needs on Windows: a child
// process with pipes (tests/win32/process.h) and code page 936.
#include <windows.h>

#include "tests/host_process.h"
#include "tests/testing.h"
#include "tests/win32/process.h"

namespace miyi::testing {
namespace {

// A path as the ANSI functions take it (the library's string() gives UTF-8).
std::string ansi(const std::filesystem::path& path) {
  const std::wstring wide = path.wstring();
  if (wide.empty()) return std::string();
  std::string out(wide.size() * 2, '\0');
  out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_ACP, 0, wide.data(),
                                                          static_cast<int>(wide.size()), out.data(),
                                                          static_cast<int>(out.size()), nullptr,
                                                          nullptr)));
  return out;
}

}  // namespace

HostRun run_program(const std::filesystem::path& program, const std::string& input,
                    const std::filesystem::path& folder) {
  const std::filesystem::path input_file = folder / "input";
  const std::filesystem::path error_file = folder / "stderr";
  write_file(input_file, input);
  HostRun result;
  const ProcessResult run =
      run_process(quoted(ansi(program)), input, ansi(folder), ansi(error_file));
  result.out = run.output;
  result.status = run.exit_code;
  result.err = read_file(error_file);
  return result;
}

// The test program is built beside the host and the plug-in.
std::filesystem::path built_programs_folder() {
  return std::filesystem::path(own_executable()).parent_path();
}

bool folder_names_beyond_gbk() { return false; }

std::string system_gbk_to_utf8(const std::string& gbk) {
  if (gbk.empty()) return gbk;
  std::wstring wide(gbk.size(), L'\0');
  wide.resize(static_cast<std::size_t>(MultiByteToWideChar(
      936, MB_ERR_INVALID_CHARS, gbk.data(), static_cast<int>(gbk.size()), wide.data(),
      static_cast<int>(wide.size()))));
  std::string out(wide.size() * 3, '\0');
  out.resize(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, wide.data(),
                                                          static_cast<int>(wide.size()), out.data(),
                                                          static_cast<int>(out.size()), nullptr,
                                                          nullptr)));
  return out;
}

}  // namespace miyi::testing
