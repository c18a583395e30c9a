#include "Statistics.h"

#include <algorithm>
#include <numeric>

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

std::optional<double> sum(const std::vector<double> &values)
{
    if (values.empty())
        return std::nullopt;
    return std::accumulate(values.begin(), values.end(), 0.0);
}
