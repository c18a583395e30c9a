// What the user asked for on the command line, checked before anything runs.
#pragma once

#include "Report.h"
#include "Sweep.h"

#include <QJsonValue>
#include <QString>
#include <optional>

struct Options {
    SweepSettings sweep;   // everything but the scratch folder itself
    QString scratchParent; // where to make it
    ReportFormat format = ReportFormat::Table;
    QString plot;          // an SVG file to draw, or nothing
    bool listLibraries = false;
    QStringList merge;     // JSON reports to join instead of measuring
};

// The options a report records, in order: what makes two shards parts of
// one sweep.
std::vector<std::pair<QString, QJsonValue>> recorded(const SweepSettings &settings);

// Exits with a usage message for --help and --version; returns nothing, after
// saying why on standard error, when an option (an unknown one too), a file
// or a folder is wrong.
std::optional<Options> parseOptions(const QStringList &arguments);
