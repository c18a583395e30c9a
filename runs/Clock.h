// Where a run's two time readings come from.
#pragma once

#include <chrono>

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
