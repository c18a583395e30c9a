// Every library on every file of a shard, each pair measured by two worker
// processes: one that compresses the file and another, which never
// compressed it, that gives it back.
#pragma once

#include "LibraryChoice.h"
#include "Measurement.h"

#include <QByteArray>
#include <QStringList>
#include <chrono>
#include <vector>

class Progress;

struct SweepSettings {
    std::vector<LibraryChoice> libraries;
    std::vector<QByteArray> files;  // as given, as the system names them
    int runs = 5;                   // timed calls each way
    int warmup = 1;                 // uncounted calls before the timed ones
    double minTime = 0;             // seconds of timed calls, at least, each way
    double maxTime = 0;             // seconds of timed calls after which no more are made, each way; 0: no bound
    int threads = 1;                // for the shipped libraries, in BREVIMETER_THREADS
    std::chrono::seconds timeout{3600}; // for any one call
    int shard = 1, shards = 1;      // measure the shard-th of this many shards
    bool fresh = false;             // every call in a worker of its own
    QString scratch;                // a private folder for the work, by its absolute name
    QString worker;                 // the worker program
};

struct SweepResult {
    std::vector<Measurement> measurements; // the shard's pairs in order, file by file
    bool complete = true;                  // false when a signal cut the sweep short
};

// The shard's pairs (see Deal.h), `sizes` the files' sizes. Stops early, with
// the pairs measured so far, when a signal arrives.
SweepResult sweep(const SweepSettings &settings, const std::vector<unsigned long long> &sizes, Progress &progress);

// The worker program shipped with brevimeter-bench: beside it in a build, in
// its private library folder once installed. Empty when neither holds it.
QString workerProgram();
