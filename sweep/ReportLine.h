// A line of a report: the figures of one measurement, or of one library over
// every file (a total).
#pragma once

#include "Measurement.h"

#include <QStringList>

// One direction's figures as a report gives them, in seconds.
struct DirectionFigures {
    std::optional<double> first, min, median, max; // wall time of a call
    std::optional<double> cpu;                     // CPU time of a call, the median
    std::optional<double> peakMiB, faults;         // the most held above the worker's own; page faults, the median
    std::optional<double> calls;                   // how many were timed

    bool operator==(const DirectionFigures &) const = default;
};

struct ReportLine {
    QString label, library;
    QByteArray file;
    bool total = false;
    unsigned long long size = 0;
    std::optional<unsigned long long> compressed;
    DirectionFigures compress, decompress;
    std::optional<double> cpuRoundTrip; // CPU seconds of a compression and a decompression, on average
    std::optional<double> peakMiB;      // the highest the worker reached, itself included
    RowStatus status = RowStatus::Ok;
    QString reason;
    QStringList notes;                  // words: what a reader should know of these figures
    int threads = 1;
    QString codecs;
    QByteArray librarySha256;

    bool operator==(const ReportLine &) const = default;
};

// The notes a line may carry.
namespace Note {
constexpr const char *SlowFirstCompress = "first-compress-slow";     // the first call took over 10 times the median
constexpr const char *SlowFirstDecompress = "first-decompress-slow";
constexpr const char *CpuBelowWall = "cpu-below-wall"; // on one thread, the calls' CPU time was well below their wall time
} // namespace Note

ReportLine lineOf(const Measurement &measurement);

// The lines of the measurements, followed, where there is more than one
// file, by a total for each library in the order first seen: sizes, times
// and counts summed (each figure the sum of the files' figures), peaks the
// highest, notes any file's, ok only if every line is.
std::vector<ReportLine> linesOf(const std::vector<Measurement> &measurements);

// Original size over compressed size; nothing where there is no output.
std::optional<double> ratioOf(const ReportLine &line);
// Megabytes (10^6 bytes) of the original a second, at the median time.
std::optional<double> speedOf(const ReportLine &line, const DirectionFigures &direction);
