// What a report says about where and when it was made.
#pragma once

#include <QString>

// "CPU model, N cores, Linux 6.1.0-13-amd64": what a reader needs to place
// the figures.
QString thisMachine();

// The present moment in UTC, to the minute: "2026-12-07 17:40 UTC".
QString now();
