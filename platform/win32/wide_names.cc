#include "platform/win32/wide_names.h"

#include <windows.h>

namespace miyi::platform {
namespace {

constexpr std::wstring_view kExtended = L"\\\\?\\";
constexpr std::wstring_view kExtendedUnc = L"\\\\?\\UNC\\";

bool starts_with(std::wstring_view text, std::wstring_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::optional<std::wstring> to_wide(UINT code_page, std::string_view bytes) {
  if (bytes.empty()) return std::wstring();
  if (bytes.find('\0') != std::string_view::npos) return std::nullopt;
  const int size = static_cast<int>(bytes.size());
  const int units = MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::wstring wide(static_cast<std::size_t>(units), L'\0');
  if (MultiByteToWideChar(code_page, MB_ERR_INVALID_CHARS, bytes.data(), size, wide.data(), units) !=
      units) {
    return std::nullopt;
  }
  return wide;
}

std::optional<std::string> from_wide(UINT code_page, std::wstring_view wide) {
  if (wide.empty()) return std::string();
  if (wide.find(L'\0') != std::wstring_view::npos) return std::nullopt;
  // UTF-8 takes neither the best-fit flag nor a default character; invalid
  // UTF-16 (a lone surrogate) fails there instead.
  const bool utf8 = code_page == CP_UTF8;
  const DWORD flags = utf8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  const int size = static_cast<int>(wide.size());
  BOOL defaulted = FALSE;
  const int length = WideCharToMultiByte(code_page, flags, wide.data(), size, nullptr, 0, nullptr,
                                         utf8 ? nullptr : &defaulted);
  if (length <= 0 || defaulted) return std::nullopt;
  std::string bytes(static_cast<std::size_t>(length), '\0');
  if (WideCharToMultiByte(code_page, flags, wide.data(), size, bytes.data(), length, nullptr,
                          utf8 ? nullptr : &defaulted) != length ||
      defaulted) {
    return std::nullopt;
  }
  return bytes;
}

}  // namespace

std::optional<std::wstring> wide_from_code_page(std::string_view text) {
  std::optional<std::wstring> wide = to_wide(CP_ACP, text);
  // Both ways, so that two texts never name one file: a code page may read
  // two byte sequences as one character.
  if (!wide || from_wide(CP_ACP, *wide) != text) return std::nullopt;
  return wide;
}

std::optional<Text> code_page_from_wide(std::wstring_view wide) {
  std::optional<std::string> text = from_wide(CP_ACP, wide);
  if (!text || to_wide(CP_ACP, *text) != wide) return std::nullopt;
  return text;
}

std::optional<std::wstring> wide_name(std::string_view text) {
  const std::optional<std::wstring> wide = wide_from_code_page(text);
  return wide ? extended_name(*wide) : std::nullopt;
}

std::optional<std::wstring> extended_name(const std::wstring& name) {
  if (name.empty()) return std::nullopt;
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length =
        GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return std::nullopt;
    if (length < full.size()) {
      full.resize(length);
      break;
    }
    full.resize(length);  // the size needed, with the terminating zero
  }
  if (starts_with(full, kExtended) || starts_with(full, L"\\\\.\\")) return full;
  if (starts_with(full, L"\\\\")) return std::wstring(kExtendedUnc) + full.substr(2);
  if (full.size() >= 2 && full[1] == L':') return std::wstring(kExtended) + full;
  return full;
}

std::wstring without_extended_prefix(std::wstring_view path) {
  if (starts_with(path, kExtendedUnc)) return L"\\\\" + std::wstring(path.substr(kExtendedUnc.size()));
  if (starts_with(path, kExtended)) return std::wstring(path.substr(kExtended.size()));
  return std::wstring(path);
}

std::optional<std::string> utf8_from_wide(std::wstring_view wide) {
  std::optional<std::string> utf8 = from_wide(CP_UTF8, wide);
  if (!utf8 || to_wide(CP_UTF8, *utf8) != wide) return std::nullopt;
  return utf8;
}

std::optional<std::wstring> wide_from_utf8(std::string_view utf8) {
  // Both ways: a decoder may take forms that are not UTF-8 (an encoded
  // surrogate, an overlong sequence) and give a character for them.
  std::optional<std::wstring> wide = to_wide(CP_UTF8, utf8);
  if (!wide || from_wide(CP_UTF8, *wide) != utf8) return std::nullopt;
  return wide;
}

}  // namespace miyi::platform
