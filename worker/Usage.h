// What the worker's calls cost the machine: CPU time, page faults and memory,
// the worker's own and that of the child processes the library waited for.
#pragma once

#include <chrono>

namespace worker {

// The CPU time of every thread of the worker, and of the calling thread.
std::chrono::nanoseconds processCpuNow();
std::chrono::nanoseconds threadCpuNow();

struct Counters {
    std::chrono::nanoseconds childCpu{}; // of the child processes the library waited for
    long faults = 0, childFaults = 0;    // minor and major, the worker's and those children's
};

Counters countersNow();

// What the worker holds now, in KiB.
long residentKiB();

// The most memory a stretch of calls held above `baseline`: what the worker
// held once the library was loaded, before any call, so that what the
// library keeps from call to call counts as well as what a call takes.
// Memory freed before the stretch goes back to the system first, and the
// kernel's high-water mark is set back to the present; where it cannot be,
// the worker's peak so far stands in, which can only be higher. A child's
// memory is its own: the largest waited-for child's peak.
class PeakAbove {
public:
    explicit PeakAbove(long baseline);
    long kiB() const;         // above the baseline
    long processKiB() const;  // the worker's own peak meanwhile
    static long childKiB();   // the largest child's peak so far; 0 without one

private:
    long baseline_;
    bool reset_ = false;
};

} // namespace worker
