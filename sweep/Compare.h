// Two reports side by side: for each (library, file) pair in both, and for
// each library over the files both measured, the change in compressed size
// and in each direction's speed, a speed's change with a 95% confidence
// interval. The interval is a percentile bootstrap of the ratio of median
// call times (2000 resamples of each side's timed calls, from a fixed seed,
// so the same reports give the same intervals); a change counts only where
// its interval excludes none, and not at all with fewer than 5 calls a side
// (with 3, one pair in ten of the same library would show a change). A pair
// whose file's content differs between the reports is shown but not
// compared, nor counted in its library's total.
#pragma once

#include "Report.h"

#include <QStringList>
#include <optional>
#include <vector>

// A change in percent: after against before. For a speed, more is faster.
struct Change {
    std::optional<double> percent, low, high; // the estimate and its interval
    bool significant = false;
};

struct Comparison {
    QString label;
    QByteArray file;  // "(all)" for a library's total
    bool total = false;
    std::optional<unsigned long long> before, after; // compressed sizes, where both went through
    Change size, compress, decompress;
    QString beforeStatus, afterStatus; // "missing" where a report has no such row; a total's: its pairs' first not ok
    bool otherContent = false;         // the file's digest differs between the reports
};

constexpr int Resamples = 2000;
constexpr std::size_t FewestCalls = 5;

std::vector<Comparison> compared(const Report &before, const Report &after);

// As a table for a terminal, CSV or JSON; `before` and `after` name what was compared.
QByteArray writtenComparison(const std::vector<Comparison> &comparisons, ReportFormat format, const Provenance &before,
                             const Provenance &after);

// Whether a speed fell significantly by more than `percent`.
bool slowerThan(const std::vector<Comparison> &comparisons, double percent);

// Whether a pair that was ok before is not now, or is missing, or was
// measured on other content: what no speed can make up for.
bool worsened(const std::vector<Comparison> &comparisons);

// The options whose values differ between the reports, by name.
QStringList differingOptions(const Provenance &before, const Provenance &after);
