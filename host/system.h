// What the console host needs from the operating system: loading the
// plug-in library, converting between the terminal's UTF-8 and the plug-in's
// GBK, and a few facts about the process. One implementation file per
// platform (host/posix/, host/win32/), picked by the build; everything else
// in the host is portable (the conversions walk texts in host/conversion.cc
// and leave single characters to the platform: host/conversion.h).
#pragma once

#include <string>
#include <string_view>

namespace miyi::host {

// A dynamic library loaded into the process. Not copyable; unloads at
// destruction.
class Library {
 public:
  Library() = default;
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;
  ~Library();

  // Loads the library at `path` (a native path, UTF-8 on POSIX). Returns
  // false and fills `error` with the platform's explanation when it fails.
  // REQUIRES: nothing loaded yet.
  bool open(const std::string& path, std::string& error);
  // The address of the export `name`, or null.
  // REQUIRES: open() succeeded.
  void* symbol(const char* name) const;

 private:
  void* handle_ = nullptr;
};

// The full path of a file called `file_name` in the folder that holds the
// running executable; just `file_name` when that folder cannot be found.
std::string beside_executable(std::string_view file_name);

// GBK (the plug-in's texts) to UTF-8. Bytes that are not GBK come out as
// U+FFFD; the conversion never fails.
std::string gbk_to_utf8(std::string_view gbk);
// UTF-8 to GBK. Characters that GBK cannot hold, and bytes that are not
// UTF-8, come out as "?"; the conversion never fails.
std::string utf8_to_gbk(std::string_view utf8);

// Whether standard input is an interactive terminal (prompts are shown only
// then).
bool input_is_terminal();

// Makes the console ready for UTF-8 input and output, where that needs doing.
void prepare_console();

}  // namespace miyi::host
