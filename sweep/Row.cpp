#include "Row.h"

#include <algorithm>
#include <numeric>

namespace {

constexpr const char *Names[] = {"ok", "mismatch", "crashed", "timeout", "failed"};

std::optional<double> mean(const std::vector<double> &values)
{
    if (values.empty())
        return std::nullopt;
    return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
}

Direction directionOf(const Calls &calls)
{
    return {minimum(calls.seconds), median(calls.seconds), maximum(calls.seconds), median(calls.cpuSeconds),
            calls.peakMiB, median(calls.faults)};
}

// Both present: their sum, or the higher; else nothing.
std::optional<double> combine(std::optional<double> a, std::optional<double> b, bool highest)
{
    if (!a || !b)
        return std::nullopt;
    return highest ? std::max(*a, *b) : *a + *b;
}

void addTo(Direction &sum, const Direction &one)
{
    sum.min = combine(sum.min, one.min, false);
    sum.median = combine(sum.median, one.median, false);
    sum.max = combine(sum.max, one.max, false);
    sum.cpu = combine(sum.cpu, one.cpu, false);
    sum.faults = combine(sum.faults, one.faults, false);
    sum.peakMiB = combine(sum.peakMiB, one.peakMiB, true);
}

} // namespace

const char *statusName(RowStatus status)
{
    return Names[int(status)];
}

std::optional<RowStatus> statusNamed(const QString &name)
{
    for (int i = 0; i < int(std::size(Names)); ++i)
        if (name == QLatin1String(Names[i]))
            return RowStatus(i);
    return std::nullopt;
}

std::optional<double> minimum(const std::vector<double> &values)
{
    if (values.empty())
        return std::nullopt;
    return *std::min_element(values.begin(), values.end());
}

std::optional<double> maximum(const std::vector<double> &values)
{
    if (values.empty())
        return std::nullopt;
    return *std::max_element(values.begin(), values.end());
}

std::optional<double> median(std::vector<double> values)
{
    if (values.empty())
        return std::nullopt;
    std::sort(values.begin(), values.end());
    const std::size_t half = values.size() / 2;
    return values.size() % 2 ? values[half] : (values[half - 1] + values[half]) / 2;
}

Line lineOf(const Row &row)
{
    Line line{row.label, row.library, row.file, false, row.size, row.compressed,
              directionOf(row.compress), directionOf(row.decompress)};
    const std::optional<double> compressCpu = mean(row.compress.cpuSeconds), decompressCpu = mean(row.decompress.cpuSeconds);
    line.cpuRoundTrip = combine(compressCpu, decompressCpu, false);
    line.peakMiB = row.peakMiB;
    line.status = row.status;
    return line;
}

std::vector<Line> withTotals(std::vector<Line> lines)
{
    std::vector<Line> totals;
    for (const Line &line : lines) {
        auto total = std::find_if(totals.begin(), totals.end(), [&](const Line &t) { return t.label == line.label; });
        if (total == totals.end()) {
            totals.push_back(line);
            totals.back().file = "(all)";
            totals.back().total = true;
            continue;
        }
        total->size += line.size;
        total->compressed = total->compressed && line.compressed ? std::optional(*total->compressed + *line.compressed) : std::nullopt;
        addTo(total->compress, line.compress);
        addTo(total->decompress, line.decompress);
        total->cpuRoundTrip = combine(total->cpuRoundTrip, line.cpuRoundTrip, false);
        total->peakMiB = combine(total->peakMiB, line.peakMiB, true);
        if (total->status == RowStatus::Ok)
            total->status = line.status;
    }
    const bool manyFiles = std::any_of(lines.begin(), lines.end(), [&](const Line &line) { return line.file != lines.front().file; });
    if (manyFiles)
        lines.insert(lines.end(), totals.begin(), totals.end());
    return lines;
}

std::optional<double> ratioOf(const Line &line)
{
    if (!line.compressed || *line.compressed == 0)
        return std::nullopt;
    return static_cast<double>(line.size) / static_cast<double>(*line.compressed);
}

std::optional<double> speedOf(const Line &line, const Direction &direction)
{
    if (!direction.median || *direction.median <= 0)
        return std::nullopt;
    return static_cast<double>(line.size) / 1e6 / *direction.median;
}
