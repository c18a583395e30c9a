#include "PatternFormat.h"

#include <charconv>
#include <cmath>
#include <string>

namespace {

// A number as decimal digits, before the pattern lays it out.
struct Decimal {
    bool negative = false;
    std::string integer;  // no leading zeros; empty for zero
    std::string fraction; // as many digits as the value has
};

struct Pattern {
    bool grouped = false;
    bool point = false;
    std::size_t fractionDigits = 0;
};

Pattern parse(QStringView pattern)
{
    Pattern parsed;
    for (QChar c : pattern) {
        if (c == u'.')
            parsed.point = true;
        else if (c == u',' && !parsed.point)
            parsed.grouped = true;
        else if (c == u'#' && parsed.point)
            ++parsed.fractionDigits;
    }
    return parsed;
}

std::string withoutLeadingZeros(std::string digits)
{
    std::size_t first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string() : digits.substr(first);
}

// Adds one unit in the last place of integer+fraction, carrying leftwards.
void roundUp(Decimal &number)
{
    std::string digits = number.integer + number.fraction;
    std::size_t i = digits.size();
    while (i > 0 && digits[i - 1] == '9')
        digits[--i] = '0';
    if (i == 0)
        digits.insert(digits.begin(), '1');
    else
        ++digits[i - 1];
    std::size_t integerLength = digits.size() - number.fraction.size();
    number.integer = digits.substr(0, integerLength);
    number.fraction = digits.substr(integerLength);
}

void roundTo(Decimal &number, std::size_t places)
{
    if (number.fraction.size() > places) {
        bool up = number.fraction[places] >= '5';
        number.fraction.resize(places);
        if (up)
            roundUp(number);
    }
    while (!number.fraction.empty() && number.fraction.back() == '0')
        number.fraction.pop_back();
    number.integer = withoutLeadingZeros(number.integer);
    if (number.integer.empty() && number.fraction.empty())
        number.negative = false;
}

QString layOut(Decimal number, QStringView pattern, const QLocale &locale)
{
    const Pattern parsed = parse(pattern);
    roundTo(number, parsed.point ? parsed.fractionDigits : 0);

    QString integer = QString::fromLatin1(number.integer);
    if (parsed.grouped) {
        const QString separator = locale.groupSeparator();
        for (qsizetype at = integer.size() - 3; at > 0; at -= 3)
            integer.insert(at, separator);
    }
    QString text = number.negative ? QStringLiteral("-") : QString();
    text += integer;
    if (parsed.point)
        text += locale.decimalPoint() + QString::fromLatin1(number.fraction);
    return text;
}

} // namespace

QString formatPattern(std::uint64_t value, QStringView pattern, const QLocale &locale)
{
    return layOut(Decimal{false, withoutLeadingZeros(std::to_string(value)), {}}, pattern, locale);
}

QString formatPattern(double value, QStringView pattern, const QLocale &locale)
{
    if (!std::isfinite(value))
        return locale.toString(value);
    char buffer[400];
    auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, std::fabs(value),
                                      std::chars_format::fixed);
    std::string digits(buffer, error == std::errc() ? end : buffer);
    std::size_t point = digits.find('.');
    Decimal number;
    number.negative = std::signbit(value);
    number.integer = digits.substr(0, point);
    if (point != std::string::npos)
        number.fraction = digits.substr(point + 1);
    return layOut(std::move(number), pattern, locale);
}
