#include "Clock.h"

std::chrono::nanoseconds MonotonicClock::now()
{
    return std::chrono::steady_clock::now().time_since_epoch();
}
