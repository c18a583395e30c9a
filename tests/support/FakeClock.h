// A clock that answers from a script and notes each reading in the window's log.
#pragma once

#include "runs/Clock.h"
#include "support/FakeWindow.h"

#include <deque>

class FakeClock : public Clock {
public:
    explicit FakeClock(FakeWindow &window) : window_(window) {}

    std::deque<std::chrono::nanoseconds> readings;

    std::chrono::nanoseconds now() override
    {
        window_.note("clock");
        if (readings.empty())
            return {};
        auto reading = readings.front();
        readings.pop_front();
        return reading;
    }

private:
    FakeWindow &window_;
};
