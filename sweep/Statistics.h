// Figures of a set of samples; nothing for an empty set.
#pragma once

#include <optional>
#include <vector>

std::optional<double> minimum(const std::vector<double> &values);
std::optional<double> maximum(const std::vector<double> &values);
// The middle value, or the mean of the two middle values.
std::optional<double> median(std::vector<double> values);
std::optional<double> sum(const std::vector<double> &values);
