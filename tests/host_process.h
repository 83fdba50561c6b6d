// What the console host's end-to-end test (tests/console_host_test.cc)
// needs from the operating system: running the built host with an input,
// where the build put it, and a GBK to UTF-8 conversion of the system's
// own. One implementation per platform (tests/posix/, tests/win32/).
#pragma once

#include <filesystem>
#include <string>

namespace miyi::testing {

struct HostRun {
  std::string out, err;  // standard output and standard error, apart
  int status = -1;       // the exit code; -1 when the program did not end normally
};

// Runs `program` to its end from the folder `folder`, with `input` on its
// standard input. Leaves the files "input" and "stderr" in `folder`.
HostRun run_program(const std::filesystem::path& program, const std::string& input,
                    const std::filesystem::path& folder);

// The folder where the build put the host and the plug-in.
std::filesystem::path built_programs_folder();

// Whether the host's folder may have characters in its path that GBK lacks
// (ö, an emoji): on POSIX the plug-in names files in UTF-8 and any folder
// will do; Windows gives the plug-in its path in the ANSI code page, which
// cannot name such a folder.
bool folder_names_beyond_gbk();

// GBK to UTF-8 through the system's own converter (iconv, or code page
// 936), independent of the host's character-by-character conversion.
std::string system_gbk_to_utf8(const std::string& gbk);

}  // namespace miyi::testing
