// How a measurement's samples are written in a JSON report and read back:
// one description for both.
#pragma once

#include "Measurement.h"

#include <optional>
#include <span>
#include <vector>

struct SampleSeries {
    const char *name;
    std::vector<double> DirectionSamples::*member;
    bool whole; // counts, not measures
};

struct SampleFigure {
    const char *name;
    std::optional<double> DirectionSamples::*member;
};

std::span<const SampleSeries> sampleSeries();
std::span<const SampleFigure> sampleFigures();
constexpr const char *OneThread = "one_thread";
