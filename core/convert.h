// Conversions between numbers, dates, bytes and texts, and the local clock.
//
// The text forms are part of what members and other programs see: balances
// and day counts are stored and shown as decimal text, today's date is stored
// and compared as text. None of these fails; none depends on the process's
// locale.
#pragma once

#include "core/types.h"

namespace miyi {

// "%d": '-5', '0', '-2147483648'.
Text int_to_text(int value);

// "%.13g" with the exponent in at least three digits and "." as the decimal
// point: 25.0 -> '25', 249.5 -> '249.5', 1e13 -> '1e+013', 1e-5 -> '1e-005'.
Text double_to_text(double value);

// "%d年%d月%d日", then "%d时%d分%d秒" when the second is not 0, else
// "%d时%d分" when the minute is not 0, else "%d时" when the hour is not 0.
Text date_to_text(const DateTime& date);

// The bytes up to the first zero byte, as GBK text unchanged.
Text bytes_to_text(const Bytes& bytes);

// Narrows full-width forms (0xA3 0xA1..0xFE to ASCII, the full-width space,
// tilde and the two stars), then reads the leading integer as strtol would,
// but in wrapping 32-bit arithmetic: '4294967297' -> 1, '3.9' -> 3, 'x' -> 0.
int text_to_int(const Text& text);

// The local wall-clock time, fraction of a second dropped.
DateTime local_now();

// The same day at 00:00:00.
DateTime date_part(const DateTime& moment);

}  // namespace miyi
