#include "ReportLine.h"

#include "Statistics.h"

#include <algorithm>

namespace {

// A first call this many times the median says the later calls had help:
// results the library kept, or pages and tables only the first one paid for.
constexpr double SlowFirst = 10;
// On one thread, CPU time below this share of the wall time, and this much
// below it in all, says the calls waited: for the processor on a busy
// machine, or for the disk. (A call of microseconds is late by as much for
// any reason.)
constexpr double CpuShare = 0.75;
constexpr double LeastWait = 1e-3;

DirectionFigures figuresOf(const DirectionSamples &samples)
{
    return {samples.firstSeconds, minimum(samples.seconds), median(samples.seconds), maximum(samples.seconds),
            median(samples.cpuSeconds), samples.peakMiB, median(samples.faults),
            samples.seconds.empty() ? std::nullopt : std::optional(double(samples.seconds.size()))};
}

bool slowFirst(const DirectionSamples &samples)
{
    const std::optional<double> typical = median(samples.seconds);
    return samples.firstSeconds && typical && *samples.firstSeconds > SlowFirst * *typical;
}

bool cpuBelowWall(const DirectionSamples &samples)
{
    const std::optional<double> cpu = sum(samples.cpuSeconds), wall = sum(samples.seconds);
    return samples.oneThread && cpu && wall && *cpu < CpuShare * *wall && *wall - *cpu >= LeastWait;
}

std::optional<double> mean(const std::vector<double> &values)
{
    const std::optional<double> total = sum(values);
    return total ? std::optional(*total / double(values.size())) : std::nullopt;
}

// Both present: their sum, or the higher; else nothing.
std::optional<double> combine(std::optional<double> a, std::optional<double> b, bool highest)
{
    if (!a || !b)
        return std::nullopt;
    return highest ? std::max(*a, *b) : *a + *b;
}

void addTo(DirectionFigures &sum, const DirectionFigures &one)
{
    for (auto figure : {&DirectionFigures::first, &DirectionFigures::min, &DirectionFigures::median, &DirectionFigures::max,
                        &DirectionFigures::cpu, &DirectionFigures::faults, &DirectionFigures::calls})
        sum.*figure = combine(sum.*figure, one.*figure, false);
    sum.peakMiB = combine(sum.peakMiB, one.peakMiB, true);
}

} // namespace

ReportLine lineOf(const Measurement &measurement)
{
    ReportLine line{measurement.label, measurement.library, measurement.file, false, measurement.size,
                    measurement.compressed, figuresOf(measurement.compress), figuresOf(measurement.decompress)};
    line.cpuRoundTrip = combine(mean(measurement.compress.cpuSeconds), mean(measurement.decompress.cpuSeconds), false);
    line.peakMiB = combine(measurement.compress.processPeakMiB, measurement.decompress.processPeakMiB, true);
    line.threads = measurement.threads;
    line.codecs = measurement.codecs;
    line.librarySha256 = measurement.librarySha256;
    line.status = measurement.status;
    line.reason = measurement.reason;
    if (slowFirst(measurement.compress))
        line.notes << QLatin1String(Note::SlowFirstCompress);
    if (slowFirst(measurement.decompress))
        line.notes << QLatin1String(Note::SlowFirstDecompress);
    if (cpuBelowWall(measurement.compress) || cpuBelowWall(measurement.decompress))
        line.notes << QLatin1String(Note::CpuBelowWall);
    return line;
}

std::vector<ReportLine> linesOf(const std::vector<Measurement> &measurements)
{
    std::vector<ReportLine> lines, totals;
    for (const Measurement &measurement : measurements) {
        lines.push_back(lineOf(measurement));
        const ReportLine &line = lines.back();
        auto total = std::find_if(totals.begin(), totals.end(), [&](const ReportLine &t) { return t.label == line.label; });
        if (total == totals.end()) {
            totals.push_back(line);
            totals.back().file = "(all)";
            totals.back().total = true;
            totals.back().reason.clear();
            continue;
        }
        total->size += line.size;
        total->compressed = total->compressed && line.compressed ? std::optional(*total->compressed + *line.compressed) : std::nullopt;
        addTo(total->compress, line.compress);
        addTo(total->decompress, line.decompress);
        total->cpuRoundTrip = combine(total->cpuRoundTrip, line.cpuRoundTrip, false);
        total->peakMiB = combine(total->peakMiB, line.peakMiB, true);
        for (const QString &note : line.notes)
            if (!total->notes.contains(note))
                total->notes << note;
        if (total->status == RowStatus::Ok)
            total->status = line.status;
    }
    const bool manyFiles = std::any_of(lines.begin(), lines.end(), [&](const ReportLine &line) { return line.file != lines.front().file; });
    if (manyFiles)
        lines.insert(lines.end(), totals.begin(), totals.end());
    return lines;
}

std::optional<double> ratioOf(const ReportLine &line)
{
    if (!line.compressed || *line.compressed == 0)
        return std::nullopt;
    return static_cast<double>(line.size) / static_cast<double>(*line.compressed);
}

std::optional<double> speedOf(const ReportLine &line, const DirectionFigures &direction)
{
    if (!direction.median || *direction.median <= 0)
        return std::nullopt;
    return static_cast<double>(line.size) / 1e6 / *direction.median;
}
