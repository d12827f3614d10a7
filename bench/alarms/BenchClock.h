// One clock for every timestamp of the benchmark, in milliseconds with
// sub-millisecond resolution, plus the summaries the report prints.
#pragma once

#include <algorithm>
#include <chrono>
#include <vector>

inline double nowMs()
{
    using namespace std::chrono;
    return duration<double, std::milli>(steady_clock::now().time_since_epoch()).count();
}

// Nearest-rank percentile (p in 0..1) of the samples; 0 for none.
inline double percentile(std::vector<double> samples, double p)
{
    if (samples.empty()) {
        return 0.0;
    }
    std::sort(samples.begin(), samples.end());
    const auto index = static_cast<size_t>(p * static_cast<double>(samples.size() - 1) + 0.5);
    return samples[std::min(index, samples.size() - 1)];
}

inline double maximum(const std::vector<double>& samples)
{
    return samples.empty() ? 0.0 : *std::max_element(samples.begin(), samples.end());
}
