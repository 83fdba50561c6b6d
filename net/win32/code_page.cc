#include "net/code_page.h"

#include <windows.h>

namespace miyi {

namespace {
constexpr UINT kCodePage = 936;
}

bool code_page_character_to_utf8(std::string_view character, std::string& utf8) {
  utf8.clear();
  if (character.empty()) return false;
  wchar_t wide[4];
  const int units = MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, character.data(),
                                        static_cast<int>(character.size()), wide, 4);
  if (units <= 0) return false;
  char out[16];
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, wide, units, out, static_cast<int>(sizeof out), nullptr, nullptr);
  if (length <= 0) return false;
  utf8.assign(out, static_cast<std::size_t>(length));
  return true;
}

}  // namespace miyi
