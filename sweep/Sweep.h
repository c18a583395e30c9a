// Every library on every file, each row in a worker process of its own.
#pragma once

#include "Row.h"

#include <QByteArray>
#include <QStringList>
#include <chrono>
#include <vector>

class Progress;

struct SweepSettings {
    QStringList libraries;          // library files, or the platform's bare name for the default
    std::vector<QByteArray> files;  // as the system names them
    int runs = 5;
    std::chrono::seconds timeout{3600}; // for any one call
    QString scratch;                // a private folder for the work
};

// The rows in order, file by file, the libraries side by side. Stops early,
// with the rows measured so far, when a signal arrives.
std::vector<Row> sweep(const SweepSettings &settings, Progress &progress);
