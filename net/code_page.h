// One character of the plug-in's code page (936, GBK) as UTF-8, for the
// request objects' URL rule in net/http_rules.cc. One file per platform
// (net/posix: iconv; net/win32: the Windows code page functions) implements
// it, so both read code page 936 alike: 0x80 is the euro sign, two-byte
// characters start with 0x81..0xFE.
#pragma once

#include <string>
#include <string_view>

namespace miyi {

// Converts `character`, one or two bytes that should make exactly one
// character of code page 936, into `utf8`. False when they do not.
bool code_page_character_to_utf8(std::string_view character, std::string& utf8);

}  // namespace miyi
