#pragma once

// Small helpers shared by the benchmark programs: order statistics and the
// "name: value" lines they print.

#include <algorithm>
#include <cstdio>
#include <vector>

namespace BenchStats {

inline double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t n = values.size();
    return n % 2 ? values[n / 2] : 0.5 * (values[n / 2 - 1] + values[n / 2]);
}

// The value at fraction `p` of the sorted values (nearest rank).
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, size_t(p * double(values.size() - 1) + 0.5));
    return values[index];
}

inline double maximum(const std::vector<double>& values)
{
    return values.empty() ? 0.0 : *std::max_element(values.begin(), values.end());
}

inline void print(const char* name, double value)
{
    std::printf("%s: %.2f\n", name, value);
    std::fflush(stdout);
}

} // namespace BenchStats
