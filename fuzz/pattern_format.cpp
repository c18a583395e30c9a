// Any number through any of the patterns: the text reads back as the number
// rounded to the pattern's places, with no stray zeros.
#include "runs/PatternFormat.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr const char16_t *Patterns[] = {u"###,###,###", u"##.####", u"###.#"};
constexpr int Places[] = {0, 4, 1};

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size < 9)
        return 0;
    const int which = data[0] % 3;
    const QLocale locale = data[0] & 0x80 ? QLocale(QLocale::German) : QLocale::c();
    const QString group = locale.groupSeparator(), point = locale.decimalPoint();

    std::uint64_t whole;
    std::memcpy(&whole, data + 1, sizeof whole);
    QString text = formatPattern(whole, QStringView(Patterns[which]), locale);
    if (which == 0) {
        check(text.remove(group) == (whole == 0 ? QString() : QString::number(whole)));
    } else {
        check(text.endsWith(point));
        check(text.chopped(point.size()).toULongLong() == whole || (whole == 0 && text == point));
    }

    double value;
    std::memcpy(&value, data + 1, sizeof value);
    if (!std::isfinite(value))
        return 0;
    text = formatPattern(value, QStringView(Patterns[which]), locale);
    const int places = Places[which];
    std::string plain = text.remove(group).replace(point, QStringLiteral(".")).toStdString();
    const std::size_t dot = plain.find('.');
    check((dot == std::string::npos) == (places == 0));
    if (dot != std::string::npos) {
        const std::string fraction = plain.substr(dot + 1);
        check(static_cast<int>(fraction.size()) <= places);
        check(fraction.empty() || fraction.back() != '0');
    }
    const std::string integer = plain.substr(plain[0] == '-', dot == std::string::npos ? std::string::npos : dot - (plain[0] == '-'));
    check(integer.empty() || integer[0] != '0');
    const double back = plain == "." || plain.empty() ? 0.0 : std::strtod(plain.c_str(), nullptr);
    const double tolerance = 0.5 * std::pow(10.0, -places) * (1 + 1e-9) + std::fabs(value) * 1e-15;
    check(std::fabs(back - value) <= tolerance);
    return 0;
}
