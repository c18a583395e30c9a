// What the user asked for on the command line, checked before anything runs.
#pragma once

#include "Report.h"
#include "Sweep.h"

#include <QJsonValue>
#include <QString>
#include <optional>

// What brevimeter-bench does this time.
enum class Mode {
    Sweep,   // measure the libraries over the files
    Merge,   // join the JSON reports of a sweep's shards
    Compare, // set two JSON reports side by side
    List,    // list the reference libraries
};

// A report written to a file beside the one on standard output.
struct Output {
    QString file;
    ReportFormat format;
};

struct Options {
    Mode mode = Mode::Sweep;
    SweepSettings sweep;            // everything but the scratch folder itself
    QString scratchParent;          // where to make it
    ReportFormat format = ReportFormat::Table; // on standard output
    std::vector<Output> outputs;    // --output, in their formats
    QString plot;                   // an SVG file to draw, or nothing
    QStringList reports;            // the shards to merge, or the two reports to compare
    std::optional<double> failIfSlower; // percent, for --compare
};

// The options a report records, in order: what the shards of one sweep share
// and two sweeps may differ in.
std::vector<std::pair<QString, QJsonValue>> recorded(const SweepSettings &settings);

// Exits with a usage message for --help and --version; returns nothing, after
// saying why on standard error, when an option (an unknown one too), a file
// or a folder is wrong.
std::optional<Options> parseOptions(const QStringList &arguments);
