#include "support/QStringPrinter.h"
#include "PatternFormat.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    double value;
    const char16_t *pattern;
    const char16_t *expected;
};

class PatternFormat : public ::testing::TestWithParam<Case> {};

TEST_P(PatternFormat, PrintsWhatThePatternAsks)
{
    const Case &c = GetParam();
    EXPECT_EQ(formatPattern(c.value, QStringView(c.pattern), QLocale::c()), QString::fromUtf16(c.expected))
        << c.value << " with " << QString::fromUtf16(c.pattern).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PatternFormat,
    ::testing::Values(
        Case{512, u"###,###,###", u"512"},
        Case{0, u"###,###,###", u""},
        Case{1234567, u"###,###,###", u"1,234,567"},
        Case{0.25, u"##.####", u".25"},
        Case{1.5, u"##.####", u"1.5"},
        Case{2, u"##.####", u"2."},
        Case{0, u"##.####", u"."},
        Case{123.25, u"##.####", u"123.25"},
        Case{59.66, u"###.#", u"59.7"},
        Case{60, u"###.#", u"60."},
        Case{0, u"###.#", u"."},
        Case{-20, u"###.#", u"-20."},
        // Rounding to the last placeholder, ties away from zero, on the decimal value.
        Case{0.00005, u"##.####", u".0001"},
        Case{0.00004999, u"##.####", u"."},
        Case{59.65, u"###.#", u"59.7"},
        Case{-59.65, u"###.#", u"-59.7"},
        Case{0.15, u"###.#", u".2"},
        Case{99.96, u"###.#", u"100."},
        Case{9.99996, u"##.####", u"10."},
        Case{0.1 + 0.2, u"##.####", u".3"},
        // More integer digits than placeholders all print.
        Case{123456.75, u"##.####", u"123456.75"},
        // A negative value that rounds to zero prints no sign.
        Case{-0.01, u"###.#", u"."},
        Case{-0.0, u"##.####", u"."}));

TEST(PatternFormatSizes, GroupEveryDigitInTheLocalesSeparators)
{
    const QLocale c = QLocale::c(), german(QLocale::German, QLocale::Germany);
    EXPECT_EQ(formatPattern(std::uint64_t{999}, u"###,###,###", c), QStringLiteral("999"));
    EXPECT_EQ(formatPattern(std::uint64_t{1000}, u"###,###,###", c), QStringLiteral("1,000"));
    EXPECT_EQ(formatPattern(std::uint64_t{18446744073709551615u}, u"###,###,###", c),
              QStringLiteral("18,446,744,073,709,551,615"));
    EXPECT_EQ(formatPattern(std::uint64_t{152089}, u"###,###,###", german), QStringLiteral("152.089"));
    EXPECT_EQ(formatPattern(0.25, u"##.####", german), QStringLiteral(",25"));
    EXPECT_EQ(formatPattern(-20.0, u"###.#", german), QStringLiteral("-20,"));
}

} // namespace
