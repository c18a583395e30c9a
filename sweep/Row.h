// One row of a sweep: one library on one file, measured over the runs; and a
// line of a report, which is a row's figures or a library's over every file.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

enum class RowStatus { Ok, Mismatch, Crashed, Timeout, Failed };

const char *statusName(RowStatus status);
std::optional<RowStatus> statusNamed(const QString &name);

// What one direction's calls gave: a figure a timed call.
struct Calls {
    std::vector<double> seconds, cpuSeconds, faults;
    std::optional<double> peakMiB; // above what the worker held before the first call
};

struct Row {
    QString label;    // what the user calls the library
    QString library;  // the file the loader took, or as given where it took none
    QByteArray file;  // as the system names it
    unsigned long long size = 0;
    std::optional<unsigned long long> compressed; // the last run's output
    Calls compress, decompress;
    std::optional<double> peakMiB;                // of the worker that ran them
    RowStatus status = RowStatus::Ok;
    QString reason;                               // what went wrong, for a row that is not ok
};

std::optional<double> minimum(const std::vector<double> &values);
std::optional<double> maximum(const std::vector<double> &values);
std::optional<double> median(std::vector<double> values);

// A direction's figures as reported.
struct Direction {
    std::optional<double> min, median, max, cpu, peakMiB, faults;
};

struct Line {
    QString label, library;
    QByteArray file;
    bool total = false; // the library over every file
    unsigned long long size = 0;
    std::optional<unsigned long long> compressed;
    Direction compress, decompress;
    std::optional<double> cpuRoundTrip; // CPU seconds of a compression and a decompression
    std::optional<double> peakMiB;
    RowStatus status = RowStatus::Ok;
};

Line lineOf(const Row &row);

// The lines followed, where there is more than one file, by a total for each
// library in the order first seen: sizes and times summed (each figure the
// sum of the files' figures), peaks the highest, ok only if every line is.
std::vector<Line> withTotals(std::vector<Line> lines);

// Original size over compressed size; nothing where there is no output.
std::optional<double> ratioOf(const Line &line);
// Megabytes (10^6 bytes) of the original a second, at the median time.
std::optional<double> speedOf(const Line &line, const Direction &direction);
