#include "tests/win32/process.h"

#include <windows.h>

namespace miyi::testing {
namespace {

HANDLE as_handle(void* handle) { return static_cast<HANDLE>(handle); }

void close(void*& handle) {
  if (handle) CloseHandle(as_handle(handle));
  handle = nullptr;
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (process_ && WaitForSingleObject(as_handle(process_), 0) == WAIT_TIMEOUT) kill();
  close(input_);
  close(output_);
  close(process_);
}

bool ChildProcess::start(const std::string& command_line, const std::string& folder,
                         const std::string& error_file) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE child_in_read = nullptr, child_in_write = nullptr;
  HANDLE child_out_read = nullptr, child_out_write = nullptr;
  if (!CreatePipe(&child_in_read, &child_in_write, &inherit, 1 << 16)) return false;
  if (!CreatePipe(&child_out_read, &child_out_write, &inherit, 1 << 16)) {
    CloseHandle(child_in_read);
    CloseHandle(child_in_write);
    return false;
  }
  HANDLE child_error = child_out_write;
  if (!error_file.empty()) {
    child_error = CreateFileA(error_file.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (child_error == INVALID_HANDLE_VALUE) {
      for (HANDLE pipe_end : {child_in_read, child_in_write, child_out_read, child_out_write}) {
        CloseHandle(pipe_end);
      }
      return false;
    }
  }
  // Our ends stay with us.
  SetHandleInformation(child_in_write, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(child_out_read, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = child_in_read;
  startup.hStdOutput = child_out_write;
  startup.hStdError = child_error;
  PROCESS_INFORMATION info{};
  std::string line = command_line;
  const BOOL started =
      CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr,
                     folder.empty() ? nullptr : folder.c_str(), &startup, &info);
  CloseHandle(child_in_read);
  CloseHandle(child_out_write);
  if (child_error != child_out_write) CloseHandle(child_error);
  if (!started) {
    CloseHandle(child_in_write);
    CloseHandle(child_out_read);
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  input_ = child_in_write;
  output_ = child_out_read;
  return true;
}

bool ChildProcess::write_input(std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD put = 0;
    if (!input_ || !WriteFile(as_handle(input_), bytes.data(), static_cast<DWORD>(bytes.size()),
                              &put, nullptr)) {
      return false;
    }
    bytes.remove_prefix(put);
  }
  return true;
}

void ChildProcess::close_input() { close(input_); }

std::size_t ChildProcess::read_output(char* buffer, std::size_t size) {
  DWORD got = 0;
  if (!output_ || !ReadFile(as_handle(output_), buffer, static_cast<DWORD>(size), &got, nullptr)) {
    return 0;  // a broken pipe: the process has ended
  }
  return got;
}

std::string ChildProcess::read_all_output() {
  std::string out;
  char buffer[4096];
  for (std::size_t n; (n = read_output(buffer, sizeof buffer)) > 0;) out.append(buffer, n);
  return out;
}

int ChildProcess::wait() {
  if (!process_) return -1;
  WaitForSingleObject(as_handle(process_), INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(as_handle(process_), &code);
  return static_cast<int>(code);
}

void ChildProcess::kill() {
  if (!process_) return;
  TerminateProcess(as_handle(process_), 99);
  WaitForSingleObject(as_handle(process_), INFINITE);
}

ProcessResult run_process(const std::string& command_line, std::string_view input,
                          const std::string& folder, const std::string& error_file) {
  ProcessResult result;
  ChildProcess child;
  if (!child.start(command_line, folder, error_file)) return result;
  // Inputs are small: they fit the pipe, so writing first cannot block on
  // output that nobody reads yet.
  child.write_input(input);
  child.close_input();
  result.output = child.read_all_output();
  result.exit_code = child.wait();
  return result;
}

std::string own_executable() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return std::string(path, length < MAX_PATH ? length : 0);
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

}  // namespace miyi::testing
