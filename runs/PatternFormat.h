// Numbers shown through a digit pattern such as "###,###,###", "##.####" or
// "###.#":
// - "#" prints a significant digit and nothing else: no leading zeros, and an
//   integer part of zero prints nothing at all;
// - "," between placeholders groups the integer part by thousands; every digit
//   of the integer part prints, even beyond the placeholders;
// - "." always prints the decimal separator, even with no fractional digit after it;
// - the placeholders after "." are the most fractional digits; the value is
//   rounded to them, ties away from zero, and trailing zeros are dropped;
// - a negative value gets a leading minus sign (none when it rounds to zero).
// The separators are the locale's.
#pragma once

#include <QLocale>
#include <QString>
#include <QStringView>
#include <cstdint>

QString formatPattern(std::uint64_t value, QStringView pattern, const QLocale &locale);
// Rounds the shortest decimal form that reads back as the same double.
QString formatPattern(double value, QStringView pattern, const QLocale &locale);
