#include "platform/native_path.h"

#include "platform/win32/wide_names.h"

namespace miyi::platform {

// The system's names are wide; as bytes, UTF-8. The file calls themselves
// take a text's wide name in the extended form (wide_names.h).
std::optional<std::string> native_path_from_text(const Text& text) {
  const std::optional<std::wstring> wide = wide_from_code_page(text);
  return wide ? utf8_from_wide(*wide) : std::nullopt;
}

std::optional<Text> text_from_native_path(const std::string& path) {
  const std::optional<std::wstring> wide = wide_from_utf8(path);
  return wide ? code_page_from_wide(*wide) : std::nullopt;
}

}  // namespace miyi::platform
