// MIYI_RUN_DIR on Windows: the variable as the wide environment holds it,
// checked and made absolute by the wide file functions (so that a folder
// deeper than MAX_PATH is taken too), then given to the store in the ANSI
// code page. A folder with a character the code page lacks has no such
// text: the setting then gives no run directory.
#include <windows.h>

#include <string>

#include "platform/run_dir_setting.h"
#include "platform/win32/wide_names.h"

namespace miyi::platform {
namespace {

std::optional<std::wstring> environment_variable(const std::wstring& name) {
  std::wstring value(256, L'\0');
  for (;;) {
    SetLastError(ERROR_SUCCESS);
    const DWORD length = GetEnvironmentVariableW(name.c_str(), value.data(), static_cast<DWORD>(value.size()));
    if (length == 0) {
      if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
      return std::wstring();
    }
    if (length < value.size()) {
      value.resize(length);
      return value;
    }
    value.resize(length);  // the size needed, with the terminating zero
  }
}

}  // namespace

RunDirSetting run_dir_setting() {
  RunDirSetting setting;
  const std::wstring variable(kRunDirVariable, kRunDirVariable + sizeof kRunDirVariable - 1);
  const std::optional<std::wstring> value = environment_variable(variable);
  if (!value || value->empty()) return setting;
  setting.set = true;
  if (!code_page_from_wide(*value)) return setting;  // no text can name it
  // Absolute and tidied as every file name is, "." and ".." resolved.
  const std::optional<std::wstring> folder = extended_name(*value);
  if (!folder) return setting;
  const DWORD attributes = GetFileAttributesW(folder->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return setting;
  }
  std::wstring plain = without_extended_prefix(*folder);
  while (!plain.empty() && plain.back() == L'\\') plain.pop_back();
  setting.folder = code_page_from_wide(plain);
  return setting;
}

}  // namespace miyi::platform
