#pragma once

#include <QByteArray>
#include <QString>
#include <chrono>
#include <optional>
#include <sys/types.h>

// What a worker says one call took, and whether the sweep believes it.
struct Took {
    std::chrono::nanoseconds wall, cpu, threadCpu, childCpu;
    long long faults, childFaults;
};

// A word of the worker's as a whole number of 0 or more, or nothing.
std::optional<long long> whole(const QByteArray &word);

// The worker's "took" line for this call, read strictly: nothing where it
// is another call's, or anything but whole numbers of 0 or more.
std::optional<Took> tookFrom(const QByteArray &line, long long call);

// The CPU time the kernel has counted for a worker's main thread, which
// makes the calls, read once that thread waits; nothing where it cannot be.
std::optional<std::chrono::nanoseconds> mainThreadCpu(pid_t worker);

// Why a report cannot be the worker's own, or nothing where it can: a call
// longer than the sweep saw from its command to its answer (seen), or a
// calling thread's CPU time other than the kernel counted for it (counted,
// where known).
std::optional<QString> doubtAbout(const Took &took, std::chrono::nanoseconds seen,
                                  std::optional<std::chrono::nanoseconds> counted);

// Whether a call ran on its calling thread alone: no child process's CPU
// time, and other threads' only within what bookkeeping costs.
bool onOneThread(const Took &took);
