// Between the file system's names and the store's texts.
//
// The store names files with texts (the run directory joined with a name
// such as "/觅异.ini"), and the run directory comes from the operating
// system. These two functions are the only way between the two forms:
// whatever gives the store a path from the system (the executable's
// folder, a folder a host names) converts it with text_from_native_path,
// and every file access converts its name with native_path_from_text.
//
// POSIX names are UTF-8. Texts are GBK, and a character GBK lacks is held
// as GB18030 holds it: GB18030 gives every GBK character its GBK bytes and
// encodes every other Unicode character too, so the game's own names are
// unchanged while a folder with any character in its path (ö, ß, Korean,
// an emoji) comes back as the same UTF-8 name. Bytes that do not convert
// (a path that is not UTF-8, a text that is not GB18030) have no
// counterpart: the answer is then nothing, never another name, so that no
// file is ever read or written under a name other than the one meant.
//
// Windows names are UTF-16, taken by the wide functions; here they are
// held as UTF-8. Texts are in the system's ANSI code page (936, GBK, on the
// robots' systems), read exactly as the ANSI functions read them, so a file
// keeps the name other programs give it with the same bytes. A character
// the code page lacks has no text: no best-fit stand-in ("ö" read as "o")
// that would name another folder. (The file calls hand the wide functions
// each name made absolute and in the extended form, "\\?\C:\...", which
// takes names longer than MAX_PATH: platform/win32/wide_names.h.)
#pragma once

#include <optional>
#include <string>

#include "core/types.h"

namespace miyi::platform {

// The system's name for the file or folder that `text` names; nothing when
// the text has no such name.
std::optional<std::string> native_path_from_text(const Text& text);

// The store's text for a path the system gave; nothing when it has none.
std::optional<Text> text_from_native_path(const std::string& path);

}  // namespace miyi::platform
