#include "core/convert.h"

#include <charconv>
#include <cstdint>

#include "platform/clock.h"

namespace miyi {

Text int_to_text(int value) { return std::to_string(value); }

Text double_to_text(double value) {
  // to_chars in general form with precision 13 is "%.13g" without the
  // locale's decimal point; the exponent is then widened to three digits so
  // every platform writes the same text.
  char buffer[64];
  const auto [end, ec] =
      std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 13);
  if (ec != std::errc()) return Text();
  Text text(buffer, end);
  const auto e = text.find('e');
  if (e != Text::npos && e + 2 <= text.size()) {
    const std::size_t digits = text.size() - (e + 2);  // after "e" and the sign
    if (digits < 3) text.insert(e + 2, 3 - digits, '0');
  }
  return text;
}

Text date_to_text(const DateTime& date) {
  auto n = [](int v) { return std::to_string(v); };
  Text text = n(date.year) + "年" + n(date.month) + "月" + n(date.day) + "日";
  if (date.second != 0) {
    text += n(date.hour) + "时" + n(date.minute) + "分" + n(date.second) + "秒";
  } else if (date.minute != 0) {
    text += n(date.hour) + "时" + n(date.minute) + "分";
  } else if (date.hour != 0) {
    text += n(date.hour) + "时";
  }
  return text;
}

Text bytes_to_text(const Bytes& bytes) {
  Text text;
  for (auto byte : bytes) {
    if (byte == 0) break;
    text += static_cast<char>(byte);
  }
  return text;
}

namespace {

// Full-width forms that stand for one ASCII byte, so that members may type
// numbers with a Chinese input method.
Text narrow_full_width(const Text& text) {
  Text narrow;
  narrow.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    const auto first = static_cast<unsigned char>(text[at]);
    if (first < 0x80) {
      narrow += text[at++];
      continue;
    }
    if (at + 1 >= text.size()) break;  // lone first byte: dropped
    const auto second = static_cast<unsigned char>(text[at + 1]);
    if (first == 0xA3 && second >= 0xA1 && second <= 0xFE) {
      narrow += static_cast<char>(second - 0x80);
    } else if (first == 0xA1 && second == 0xA1) {
      narrow += ' ';
    } else if (first == 0xA1 && second == 0xAB) {
      narrow += '~';
    } else if (first == 0xA1 && (second == 0xEE || second == 0xEF)) {
      narrow += '*';
    } else {
      narrow.append(text, at, 2);
    }
    at += 2;
  }
  return narrow;
}

}  // namespace

int text_to_int(const Text& text) {
  const Text narrow = narrow_full_width(text);
  std::size_t at = 0;
  while (at < narrow.size() && (narrow[at] == ' ' || (narrow[at] >= '\t' && narrow[at] <= '\r'))) {
    ++at;
  }
  bool negative = false;
  if (at < narrow.size() && (narrow[at] == '+' || narrow[at] == '-')) {
    negative = narrow[at] == '-';
    ++at;
  }
  std::uint32_t value = 0;  // wraps modulo 2^32 like the stored numbers do
  for (; at < narrow.size() && narrow[at] >= '0' && narrow[at] <= '9'; ++at) {
    value = value * 10u + static_cast<std::uint32_t>(narrow[at] - '0');
  }
  if (negative) value = 0u - value;
  return static_cast<int>(value);
}

DateTime local_now() { return platform::local_clock(); }

DateTime date_part(const DateTime& moment) {
  DateTime day = moment;
  day.hour = day.minute = day.second = 0;
  return day;
}

}  // namespace miyi
