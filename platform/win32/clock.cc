// The clocks on Windows: GetTickCount and GetLocalTime.
#include <windows.h>

#include "platform/clock.h"

namespace miyi::platform {

std::uint32_t tick_count() {
  // Milliseconds since the system started; wraps after about 49.7 days.
  return static_cast<std::uint32_t>(GetTickCount());
}

DateTime local_clock() {
  SYSTEMTIME now{};
  GetLocalTime(&now);  // the time zone and its daylight-saving rules applied
  // SYSTEMTIME starts at the year 1601; only the far end can overflow.
  if (now.wYear > 9999) return DateTime{9999, 12, 31, 23, 59, 59};
  DateTime moment;
  moment.year = now.wYear;
  moment.month = now.wMonth;
  moment.day = now.wDay;
  moment.hour = now.wHour;
  moment.minute = now.wMinute;
  moment.second = now.wSecond > 59 ? 59 : now.wSecond;
  return moment;
}

}  // namespace miyi::platform
