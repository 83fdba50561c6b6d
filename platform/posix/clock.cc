#include "platform/clock.h"

#include <ctime>

namespace miyi::platform {

std::uint32_t tick_count() {
  // A monotonic clock, so that a change of the wall clock never repeats a
  // seed; cut to 32 bits like the millisecond counter of the host platform.
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto ms = static_cast<unsigned long long>(now.tv_sec) * 1000ull +
                  static_cast<unsigned long long>(now.tv_nsec) / 1000000ull;
  return static_cast<std::uint32_t>(ms);
}

DateTime local_clock() {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  DateTime moment;
  if (localtime_r(&now, &local) == nullptr) return moment;
  const int year = local.tm_year + 1900;
  if (year < 100) return moment;  // 1 January 100, 00:00:00
  if (year > 9999) return DateTime{9999, 12, 31, 23, 59, 59};
  moment.year = year;
  moment.month = local.tm_mon + 1;
  moment.day = local.tm_mday;
  moment.hour = local.tm_hour;
  moment.minute = local.tm_min;
  moment.second = local.tm_sec > 59 ? 59 : local.tm_sec;  // a leap second
  return moment;
}

}  // namespace miyi::platform
