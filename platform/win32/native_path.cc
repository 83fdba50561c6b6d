#include "platform/native_path.h"

namespace miyi::platform {

// The ANSI functions take and give the system's code page, which is the
// store's: nothing to convert.
std::optional<std::string> native_path_from_text(const Text& text) { return text; }

std::optional<Text> text_from_native_path(const std::string& path) { return path; }

}  // namespace miyi::platform
