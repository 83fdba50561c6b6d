// The console host's operating-system needs on Windows: LoadLibraryA,
// MultiByteToWideChar / WideCharToMultiByte, GetModuleFileNameA and the
// console's code pages.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include "core/gbk.h"
#include "host/conversion.h"
#include "host/system.h"

namespace miyi::host {
namespace {

// The plug-in's code page: GBK.
constexpr UINT kPluginCodePage = 936;

// The one UTF-16 character (or surrogate pair) that `bytes` hold in
// `code_page`; empty when they are not exactly one valid character.
std::wstring one_character(UINT code_page, std::string_view bytes) {
  wchar_t wide[4];
  const int n = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(),
                                    static_cast<int>(bytes.size()), wide, 4);
  if (n <= 0) return std::wstring();
  const bool single = n == 1 || (n == 2 && wide[0] >= 0xD800 && wide[0] <= 0xDBFF);
  return single ? std::wstring(wide, static_cast<std::size_t>(n)) : std::wstring();
}

// `wide` in `code_page`; false when the code page cannot hold it exactly.
bool encode(UINT code_page, const std::wstring& wide, std::string& out) {
  char buffer[16];
  BOOL lossy = FALSE;
  // UTF-8 takes neither a default character nor the flag that reports one.
  const bool utf8 = code_page == CP_UTF8;
  const int n = WideCharToMultiByte(code_page, utf8 ? 0 : WC_NO_BEST_FIT_CHARS, wide.data(),
                                    static_cast<int>(wide.size()), buffer, sizeof buffer, nullptr,
                                    utf8 ? nullptr : &lossy);
  if (n <= 0 || lossy) return false;
  out.assign(buffer, static_cast<std::size_t>(n));
  return true;
}

}  // namespace

// The code pages' functions hold nothing between characters.
CharacterConverter::CharacterConverter(Direction direction) : direction_(direction) {}

CharacterConverter::~CharacterConverter() = default;

CharacterConverter::Result CharacterConverter::one(std::string_view in, std::string& out) {
  const bool to_gbk = direction_ == Direction::kUtf8ToGbk;
  const std::wstring wide = one_character(to_gbk ? CP_UTF8 : kPluginCodePage, in);
  if (wide.empty()) return Result::kNotACharacter;
  return encode(to_gbk ? kPluginCodePage : CP_UTF8, wide, out) ? Result::kConverted
                                                               : Result::kNotHeld;
}

Library::~Library() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

bool Library::open(const std::string& path, std::string& error) {
  // No message box when the file is missing or broken: the error is told
  // on the console.
  const UINT previous_mode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  handle_ = LoadLibraryA(path.c_str());
  const DWORD code = GetLastError();
  SetErrorMode(previous_mode);
  if (!handle_) {
    char* message = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    error = "error " + std::to_string(code);
    if (message) {
      std::string text = message;
      LocalFree(message);
      while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
        text.pop_back();
      }
      if (!text.empty()) error += " (" + text + ")";
    }
    return false;
  }
  return true;
}

void* Library::symbol(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string beside_executable(std::string_view file_name) {
  // An ANSI path, as LoadLibraryA takes it; cut at the last backslash
  // walking GBK characters, as the plug-in finds its own run directory.
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string(file_name);
  std::size_t folder_end = std::string::npos;
  for (std::size_t at = 0; at < length;) {
    if (path[at] == '\\') folder_end = at + 1;
    at += is_code_page_first_byte(path[at]) ? 2 : 1;
  }
  if (folder_end == std::string::npos) return std::string(file_name);
  return std::string(path, folder_end) + std::string(file_name);
}

bool input_is_terminal() { return _isatty(_fileno(stdin)) != 0; }

void prepare_console() {
  // A console shows and reads UTF-8; pipes and files pass the bytes as they
  // are, with "\n" line ends, as on POSIX.
  SetConsoleOutputCP(CP_UTF8);
  SetConsoleCP(CP_UTF8);
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stdin), _O_BINARY);
}

}  // namespace miyi::host
