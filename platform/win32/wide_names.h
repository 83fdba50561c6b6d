// Names between the store's texts and the wide ("W") file functions.
//
// The ANSI functions refuse names longer than MAX_PATH (260) characters, and
// a robot in a deep folder has such names: its files could then be neither
// read nor written. So the file calls go through the wide functions, with
// each name in the extended form ("\\?\C:\..." or "\\?\UNC\server\share\..."),
// which takes up to 32 767 characters.
//
// A text becomes a wide name through the system's ANSI code page (936, GBK,
// on the robots' systems), exactly as the ANSI functions would have read it,
// so the files are the ones other programs name with the same bytes. The
// extended form skips the system's own tidying of a name, so that is done
// first, by GetFullPathNameW, the same tidying a plain name gets: made
// absolute, "/" turned into "\", "." and ".." resolved.
//
// Every conversion is exact: a text whose bytes are no characters of the
// code page, and a wide name with a character the code page lacks, convert
// to nothing, never to another name (WC_NO_BEST_FIT_CHARS: no "ö" read as
// "o").
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "core/types.h"

namespace miyi::platform {

// `text` (in the ANSI code page) as UTF-16; nothing when it does not convert
// both ways unchanged or holds a zero byte.
std::optional<std::wstring> wide_from_code_page(std::string_view text);

// `wide` in the ANSI code page; nothing when a character has no exact
// counterpart there.
std::optional<Text> code_page_from_wide(std::wstring_view wide);

// The name the wide functions take for the file `text` names: absolute,
// tidied, in the extended form. A device's name ("\\.\CON") stays as it is.
// Nothing when the text does not convert.
std::optional<std::wstring> wide_name(std::string_view text);

// The same for a name that is UTF-16 already. Nothing when it is empty or
// the system cannot make it absolute.
std::optional<std::wstring> extended_name(const std::wstring& name);

// A path without the extended prefix: "\\?\C:\a" gives "C:\a",
// "\\?\UNC\server\share\a" gives "\\server\share\a"; other paths are
// unchanged.
std::wstring without_extended_prefix(std::wstring_view path);

// UTF-8 and UTF-16, both ways, exact; nothing when the input is not valid.
std::optional<std::string> utf8_from_wide(std::wstring_view wide);
std::optional<std::wstring> wide_from_utf8(std::string_view utf8);

}  // namespace miyi::platform
