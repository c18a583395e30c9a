// Joining the JSON reports of a sweep's shards into one.
#pragma once

#include "Report.h"
#include "Row.h"

#include <QStringList>
#include <optional>
#include <vector>

struct Merged {
    std::vector<Line> lines; // in the order one sweep would have measured them, without totals
    Provenance made;         // the machines, dates and versions of the parts; their options but the shard
};

// Reads the parts. Refuses, after saying why on standard error, a file that
// is not such a report, parts made with different options, and a set of
// parts with one missing or given twice.
std::optional<Merged> merge(const QStringList &files);
