#include "net/code_page.h"

#include <iconv.h>

namespace miyi {

bool code_page_character_to_utf8(std::string_view character, std::string& utf8) {
  utf8.clear();
  if (character.empty()) return false;
  // glibc's CP936 is Windows's code page 936, 0x80 as the euro sign included.
  const iconv_t converter = iconv_open("UTF-8", "CP936");
  if (converter == reinterpret_cast<iconv_t>(-1)) return false;
  std::string in(character);
  char out[16];
  char* in_pointer = in.data();
  size_t in_left = in.size();
  char* out_pointer = out;
  size_t out_left = sizeof out;
  const bool whole = iconv(converter, &in_pointer, &in_left, &out_pointer, &out_left) !=
                         static_cast<size_t>(-1) &&
                     in_left == 0;
  iconv_close(converter);
  if (!whole) return false;
  utf8.assign(out, sizeof out - out_left);
  return true;
}

}  // namespace miyi
