#include "support/QStringPrinter.h"
#include "PatternFormat.h"

#include <gtest/gtest.h>

namespace {

struct Case {
    double value;
    const char16_t *pattern;
    const char16_t *expected;
    QLocale::Language language = QLocale::C;
};

class PatternFormat : public ::testing::TestWithParam<Case> {};

TEST_P(PatternFormat, PrintsWhatThePatternAsks)
{
    const Case &c = GetParam();
    EXPECT_EQ(formatPattern(c.value, QStringView(c.pattern), QLocale(c.language)), QString::fromUtf16(c.expected))
        << c.value << " with " << QString::fromUtf16(c.pattern).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Examples, PatternFormat,
    ::testing::Values(
        Case{1234567, u"###,###,###", u"1,234,567"},
        Case{0.25, u"##.####", u".25"},
        Case{1.5, u"##.####", u"1.5"},
        Case{123.25, u"##.####", u"123.25"},
        Case{59.66, u"###.#", u"59.7"},
        Case{60, u"###.#", u"60."},
        // Rounding to the last placeholder, ties away from zero, on the decimal value
        // (the figures a run shows cover the rest).
        Case{59.65, u"###.#", u"59.7"},
        Case{-59.65, u"###.#", u"-59.7"},
        Case{0.15, u"###.#", u".2"},
        Case{99.96, u"###.#", u"100."},
        Case{9.99996, u"##.####", u"10."},
        Case{0.1 + 0.2, u"##.####", u".3"},
        // More integer digits than placeholders all print.
        Case{123456.75, u"##.####", u"123456.75"},
        Case{12345678901234, u"###,###,###", u"12,345,678,901,234"},
        // A negative value that rounds to zero prints no sign.
        Case{-0.01, u"###.#", u"."},
        Case{-0.0, u"##.####", u"."},
        // The separators are the locale's.
        Case{152089, u"###,###,###", u"152.089", QLocale::German},
        Case{0.25, u"##.####", u",25", QLocale::German},
        Case{-20, u"###.#", u"-20,", QLocale::German}));

} // namespace
