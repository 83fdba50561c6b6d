#include "net/http_rules.h"

#include "net/request_object.h"

namespace miyi::http_rules {

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

}  // namespace miyi::http_rules
