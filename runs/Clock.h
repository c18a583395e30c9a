// Where a run's two time readings come from, and what lies between them.
#pragma once

#include <chrono>
#include <utility>

class Clock {
public:
    virtual ~Clock() = default;
    virtual std::chrono::nanoseconds now() = 0;
};

// Monotonic and high-resolution: never runs backwards, not across midnight
// either, and keeps its resolution all day.
class MonotonicClock : public Clock {
public:
    std::chrono::nanoseconds now() override;
};

// The time `call` takes: the clock is read right before it and right after it,
// with nothing else in between. Every figure the programs show is timed so.
template <typename Call>
std::chrono::nanoseconds timed(Clock &clock, Call &&call)
{
    const std::chrono::nanoseconds start = clock.now();
    std::forward<Call>(call)();
    return clock.now() - start;
}
