// Child processes for the Windows tests: a program started with pipes for
// its standard input and output, as a robot's folder would run it.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace miyi::testing {

class ChildProcess {
 public:
  ChildProcess() = default;
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;
  // Ends the process if it still runs.
  ~ChildProcess();

  // Starts `command_line` (ANSI, as CreateProcessA takes it) in `folder`
  // (the current one when empty). Its standard error joins its standard
  // output, or goes to the file `error_file` (ANSI) when one is named.
  bool start(const std::string& command_line, const std::string& folder = "",
             const std::string& error_file = "");
  bool write_input(std::string_view bytes);
  void close_input();
  // Up to `size` bytes of output; 0 once the process has closed it.
  std::size_t read_output(char* buffer, std::size_t size);
  std::string read_all_output();
  // Waits for the end; the exit code.
  int wait();
  // Ends the process at once, wherever it is (TerminateProcess).
  void kill();

 private:
  void* process_ = nullptr;
  void* input_ = nullptr;
  void* output_ = nullptr;
};

struct ProcessResult {
  int exit_code = -1;
  std::string output;
};

// Runs a program to its end with `input` on its standard input; standard
// error as ChildProcess::start says.
ProcessResult run_process(const std::string& command_line, std::string_view input = "",
                          const std::string& folder = "", const std::string& error_file = "");

// The full path of the running test program (ANSI).
std::string own_executable();

// `path` in double quotes, for a command line.
std::string quoted(const std::string& path);

}  // namespace miyi::testing
