#include "net/nickname.h"

#include "core/convert.h"
#include "core/store.h"
#include "core/text.h"
#include "net/web_request.h"

#ifndef MIYI_PORTRAIT_HOST
#error "MIYI_PORTRAIT_HOST must be defined by the build (empty for none)"
#endif

namespace miyi {
namespace {

// The service's reply is a JSONP call such as
// cb({"10001":["http://x/y.jpg",0,0,0,"Nick",0]}); the nickname is cut out
// between the first comma-quote and the quote that closes the record.
constexpr char kLeftMarker[] = ",\"";
constexpr char kRightMarker[] = "\",0]})";

Text portrait_host() {
  Text host = ini_read(text_concat(run_dir(), "/觅异.ini"), "觅异", "头像服务");
  if (host.empty()) host = MIYI_PORTRAIT_HOST;
  return host;
}

}  // namespace

Text lookup_nickname(const Text& account) noexcept {
  try {
    const Text host = portrait_host();
    if (host.empty()) return Text();
    const Text url = text_concat("http://", host, "/fcg-bin/cgi_get_portrait.fcg?uins=", account);
    return text_between(bytes_to_text(web_request(url)), kLeftMarker, kRightMarker, 0);
  } catch (...) {
    return Text();
  }
}

}  // namespace miyi
