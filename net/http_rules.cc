#include "net/http_rules.h"

#include <algorithm>
#include <cstdint>

#include "core/gbk.h"
#include "net/code_page.h"
#include "net/request_object.h"

namespace miyi::http_rules {
namespace {

constexpr char kHex[] = "0123456789ABCDEF";

void append_escaped(std::string& out, unsigned char byte) {
  out += '%';
  out += kHex[byte >> 4];
  out += kHex[byte & 0x0F];
}

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string percent_decoded(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && hex_value(text[i + 1]) >= 0 &&
        hex_value(text[i + 2]) >= 0) {
      out += static_cast<char>(hex_value(text[i + 1]) * 16 + hex_value(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Code page 936's second bytes of a two-byte character.
bool is_code_page_second_byte(unsigned char byte) {
  return byte >= 0x40 && byte <= 0xFE && byte != 0x7F;
}

// The text with blanks, control bytes, 0x7F and every byte of 0x80 and
// above percent-encoded, the last as the UTF-8 of their characters.
std::string escaped_for_the_wire(std::string_view text) {
  std::string out;
  std::string utf8;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    if (byte < 0x80) {
      if (byte <= 0x20 || byte == 0x7F) {
        append_escaped(out, byte);
      } else {
        out += text[i];
      }
      ++i;
      continue;
    }
    // 0x80 is a character of one byte; 0x81..0xFE start one of two; 0xFF
    // makes none.
    std::size_t length = 0;
    if (byte == 0x80) {
      length = 1;
    } else if (is_code_page_first_byte(text[i]) && i + 1 < text.size() &&
               is_code_page_second_byte(static_cast<unsigned char>(text[i + 1]))) {
      length = 2;
    }
    if (length != 0 && code_page_character_to_utf8(text.substr(i, length), utf8)) {
      for (const char c : utf8) append_escaped(out, static_cast<unsigned char>(c));
      i += length;
    } else {
      append_escaped(out, byte);
      ++i;
    }
  }
  return out;
}

}  // namespace

bool is_token(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    const bool ok = (u >= '0' && u <= '9') || (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') ||
                    std::string_view("!#$%&'*+-.^_`|~").find(c) != std::string_view::npos;
    if (!ok) return false;
  }
  return true;
}

bool has_line_break_or_nul(std::string_view text) {
  return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

bool timeouts_acceptable(int resolve_ms, int connect_ms, int send_ms, int receive_ms) {
  return resolve_ms > 0 && connect_ms > 0 && send_ms > 0 && receive_ms > 0;
}

bool proxy_acceptable(int setting, std::string_view server) {
  return setting == kProxySettingNamed && !server.empty() && !has_line_break_or_nul(server);
}

bool credentials_acceptable(std::string_view user, std::string_view password) {
  return !has_line_break_or_nul(user) && !has_line_break_or_nul(password);
}

bool request_acceptable(std::string_view method, std::string_view url, bool asynchronous) {
  return !asynchronous && is_token(method) && !url.empty() && !has_line_break_or_nul(url);
}

bool header_acceptable(std::string_view name, std::string_view value) {
  return is_token(name) && !has_line_break_or_nul(value);
}

RequestUrl request_url(std::string_view url) {
  RequestUrl result;
  const std::string_view without_fragment = url.substr(0, url.find('#'));

  std::string_view scheme = "http://";
  std::string_view rest = without_fragment;
  const std::size_t separator = rest.find("://");
  if (separator != std::string_view::npos &&
      rest.substr(0, separator).find_first_of("/?") == std::string_view::npos) {
    scheme = rest.substr(0, separator + 3);
    rest.remove_prefix(separator + 3);
  }

  // The authority ends at the first '/' or '?'; its last '@' ends the
  // credentials (a password may hold an unescaped '@').
  const std::size_t authority_end = std::min(rest.find_first_of("/?"), rest.size());
  const std::size_t at = rest.substr(0, authority_end).rfind('@');
  if (at != std::string_view::npos) {
    const std::string_view userinfo = rest.substr(0, at);
    const std::size_t colon = userinfo.find(':');
    result.has_credentials = true;
    result.user = percent_decoded(userinfo.substr(0, colon));
    if (colon != std::string_view::npos) result.password = percent_decoded(userinfo.substr(colon + 1));
    rest.remove_prefix(at + 1);
  }

  result.url = std::string(scheme) + escaped_for_the_wire(rest);
  return result;
}

std::string basic_credentials(std::string_view user, std::string_view password) {
  static constexpr char kAlphabet[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  const std::string plain = std::string(user) + ":" + std::string(password);
  std::string out = "Basic ";
  for (std::size_t i = 0; i < plain.size(); i += 3) {
    const std::size_t left = plain.size() - i;
    std::uint32_t group = static_cast<std::uint32_t>(static_cast<unsigned char>(plain[i])) << 16;
    if (left > 1) group |= static_cast<std::uint32_t>(static_cast<unsigned char>(plain[i + 1])) << 8;
    if (left > 2) group |= static_cast<unsigned char>(plain[i + 2]);
    out += kAlphabet[(group >> 18) & 0x3F];
    out += kAlphabet[(group >> 12) & 0x3F];
    out += left > 1 ? kAlphabet[(group >> 6) & 0x3F] : '=';
    out += left > 2 ? kAlphabet[group & 0x3F] : '=';
  }
  return out;
}

}  // namespace miyi::http_rules
