// The console host's conversation: it reads the lines a person types, keeps
// the current chat (private, or a group) and the current member, passes
// answers to the plug-in's `plugmain` and shows the replies, with the
// puzzle's 512-byte question laid out as a 16 x 16 grid.
//
// The person types UTF-8; the plug-in speaks GBK. The conversions are the
// platform's (host/system.h); everything here is portable.
#pragma once

#include <iosfwd>
#include <string>
#include <string_view>

#include "plugin_abi.h"  // per platform, chosen by the build

namespace miyi::host {

using InfoFn = const char*(MIYI_HOST_CALL*)();
using PlugmainFn = const char*(MIYI_HOST_CALL*)(const char* answer, const char* kind,
                                                const char* group, const char* sender,
                                                const char* extra);

// The plug-in's two exports.
struct Plugin {
  InfoFn info = nullptr;
  PlugmainFn plugmain = nullptr;
};

inline constexpr char kDefaultGroup[] = "5000";
inline constexpr char kDefaultMember[] = "10001";

// One typed line, understood.
struct Line {
  enum class Kind { kAnswer, kPrivate, kGroup, kAs, kHelp, kQuit, kUnknownCommand };
  Kind kind = Kind::kAnswer;
  // kAnswer: what goes after the trigger, still UTF-8. A command: its
  // argument without surrounding blanks. kUnknownCommand: the command word.
  std::string text;
};

// Reads one line (without its "\n"; a trailing "\r" is dropped). A line that
// starts with "/" is a command; any other line is an answer, with `trigger`
// and the blanks before it removed when the line starts with them.
// REQUIRES: `trigger` is not empty.
Line read_line(std::string_view line, std::string_view trigger);

// A GBK reply laid out for the screen, still GBK. When the reply starts with
// a question (256 two-byte characters, followed by "\r\n" or the end), the
// question comes out as 16 rows of 16 characters, indented and separated by
// spaces; the rest of the reply follows with each "\r\n" made "\n". The
// result ends with "\n" unless the reply is empty.
std::string lay_out_reply(std::string_view reply);

// Greets the person, then handles lines from `in` until "/quit" or the end
// of input. Prompts go to `out` only when `interactive`; every reply is
// flushed as soon as it is written.
// REQUIRES: both exports of `plugin` are set.
void run_console(const Plugin& plugin, std::istream& in, std::ostream& out, bool interactive);

}  // namespace miyi::host
