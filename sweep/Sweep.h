// Every library on every file, each row in a worker process of its own.
#pragma once

#include "LibraryChoice.h"
#include "Row.h"

#include <QByteArray>
#include <QStringList>
#include <chrono>
#include <vector>

class Progress;

struct SweepSettings {
    std::vector<LibraryChoice> libraries;
    std::vector<QByteArray> files;  // as the system names them
    int runs = 5;
    int warmup = 1;                 // uncounted calls before the timed ones
    double minTime = 0;             // seconds of timed calls, at least, each way
    std::chrono::seconds timeout{3600}; // for any one call
    int shard = 1, shards = 1;      // measure the shard-th of this many parts
    QString scratch;                // a private folder for the work
};

// The (library, file) pairs in order, file by file, the libraries side by
// side, numbered from 0; a shard takes every shards-th from its own number.
bool inShard(const SweepSettings &settings, std::size_t pair);

// The rows of the shard in that order. Stops early, with the rows measured so
// far, when a signal arrives.
std::vector<Row> sweep(const SweepSettings &settings, Progress &progress);
