#include "platform/native_path.h"

#include "platform/win32/wide_names.h"

namespace miyi::platform {

// The system's name is the wide one the file calls take; as bytes, UTF-8.
std::optional<std::string> native_path_from_text(const Text& text) {
  const std::optional<std::wstring> wide = wide_name(text);
  return wide ? utf8_from_wide(*wide) : std::nullopt;
}

std::optional<Text> text_from_native_path(const std::string& path) {
  const std::optional<std::wstring> wide = wide_from_utf8(path);
  return wide ? code_page_from_wide(without_extended_prefix(*wide)) : std::nullopt;
}

}  // namespace miyi::platform
