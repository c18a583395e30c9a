// Joining the JSON reports of a sweep's shards into the report of the whole
// sweep: all of it, or nothing.
#pragma once

#include "Report.h"

#include <QStringList>
#include <optional>

// Reads the shards' reports. Refuses, after saying why on standard error: a
// file that is not such a report or holds a figure no measurement gives;
// shards made with other options (naming the option) or on other files
// under the same names; a shard cut short; a shard missing or given twice;
// and a (library, file) pair that is not measured exactly once.
std::optional<Report> merge(const QStringList &files);
