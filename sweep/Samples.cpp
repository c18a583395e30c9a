#include "Samples.h"

namespace {

constexpr SampleSeries Series[] = {
    {"s", &DirectionSamples::seconds, false},
    {"cpu_s", &DirectionSamples::cpuSeconds, false},
    {"faults", &DirectionSamples::faults, true},
};

constexpr SampleFigure Figures[] = {
    {"first_s", &DirectionSamples::firstSeconds},
    {"peak_mib", &DirectionSamples::peakMiB},
    {"process_peak_mib", &DirectionSamples::processPeakMiB},
};

} // namespace

std::span<const SampleSeries> sampleSeries()
{
    return Series;
}

std::span<const SampleFigure> sampleFigures()
{
    return Figures;
}
