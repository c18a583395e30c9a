#include "Row.h"

#include <algorithm>

const char *statusName(RowStatus status)
{
    switch (status) {
    case RowStatus::Ok: return "ok";
    case RowStatus::Mismatch: return "mismatch";
    case RowStatus::Crashed: return "crashed";
    case RowStatus::Timeout: return "timeout";
    case RowStatus::Failed: return "failed";
    }
    return "?";
}

std::optional<double> minimum(const std::vector<double> &seconds)
{
    if (seconds.empty())
        return std::nullopt;
    return *std::min_element(seconds.begin(), seconds.end());
}

std::optional<double> median(std::vector<double> seconds)
{
    if (seconds.empty())
        return std::nullopt;
    std::sort(seconds.begin(), seconds.end());
    const std::size_t half = seconds.size() / 2;
    return seconds.size() % 2 ? seconds[half] : (seconds[half - 1] + seconds[half]) / 2;
}

std::optional<double> ratioOf(const Row &row)
{
    if (!row.compressed || *row.compressed == 0)
        return std::nullopt;
    return static_cast<double>(row.size) / static_cast<double>(*row.compressed);
}

std::optional<double> speedOf(const Row &row, const std::vector<double> &seconds)
{
    const std::optional<double> time = median(seconds);
    if (!time || *time <= 0)
        return std::nullopt;
    return static_cast<double>(row.size) / 1e6 / *time;
}

std::optional<double> cpuPerRoundTrip(const Row &row)
{
    if (row.decompressSeconds.empty())
        return std::nullopt;
    return row.cpuSeconds / static_cast<double>(row.decompressSeconds.size());
}
