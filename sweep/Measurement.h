// One library on one file, as its workers measured it: every timed call's
// figures, and how the pair went.
#pragma once

#include "Status.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <vector>

// What one direction's calls gave: a figure a timed call. CPU time and page
// faults are the worker's, every thread, and those of the child processes
// the library waited for.
struct DirectionSamples {
    std::vector<double> seconds, cpuSeconds, faults;
    std::optional<double> firstSeconds;   // the first call on the file, warm-up or timed
    std::optional<double> peakMiB;        // the most the calls held above what the worker held before them
    std::optional<double> processPeakMiB; // the worker's own peak while they ran, the library's children added
    bool oneThread = true;                // every timed call ran on the calling thread alone

    bool operator==(const DirectionSamples &) const = default;
};

struct Measurement {
    QString label;    // what the user calls the library
    QString library;  // the file the loader took, or as given where it took none
    QByteArray file;  // as the system names it
    unsigned long long size = 0;
    std::optional<unsigned long long> compressed; // the last compression's output
    DirectionSamples compress, decompress;
    RowStatus status = RowStatus::Ok;
    QString reason;   // what went wrong, for a pair that is not ok
    int threads = 1;  // what the shipped libraries were given
    QString codecs;   // the codec libraries the library brought in, with their versions ("libzstd 1.5.4")
    QByteArray librarySha256; // the library file's SHA-256 digest in hexadecimal, where it could be read

    bool operator==(const Measurement &) const = default;
};
