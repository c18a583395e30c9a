// Every library on every file, each row in a worker process of its own.
#pragma once

#include "Row.h"

#include <QStringList>
#include <vector>

class Progress;

struct SweepSettings {
    QStringList libraries; // as given, or the platform's bare name for the default
    QStringList files;
    int runs = 5;
    int timeoutSeconds = 3600; // for any one call
    QString scratch;           // a private folder for the outputs
};

// The rows in order, file by file, the libraries side by side. Stops early,
// with the rows so far, when a signal arrives.
std::vector<Row> sweep(const SweepSettings &settings, Progress &progress);
