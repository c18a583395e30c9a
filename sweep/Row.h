// One row of a sweep: one library on one file, measured over the runs.
#pragma once

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

enum class RowStatus { Ok, Mismatch, Crashed, Timeout, Failed };

struct Row {
    QString library;  // the file the loader took, or as given where it took none
    QByteArray file;  // as the system names it
    unsigned long long size = 0;
    std::optional<unsigned long long> compressed; // the last run's output
    std::vector<double> compressSeconds, decompressSeconds; // a figure a run, as the calls were timed
    double cpuSeconds = 0;                         // all the row's calls, every thread of the worker
    std::optional<double> peakMiB;                 // of the worker that ran them
    RowStatus status = RowStatus::Ok;
    QString reason;                                // what went wrong, for a row that is not ok
};

const char *statusName(RowStatus status);

std::optional<double> minimum(const std::vector<double> &seconds);
std::optional<double> median(std::vector<double> seconds);

// Original size over compressed size; nothing where there is no output.
std::optional<double> ratioOf(const Row &row);
// Megabytes (10^6 bytes) of the original a second, at the median time.
std::optional<double> speedOf(const Row &row, const std::vector<double> &seconds);
// CPU seconds for one round trip (a compression and a decompression), on average.
std::optional<double> cpuPerRoundTrip(const Row &row);
