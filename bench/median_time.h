#pragma once
// The median wall time of several runs of a piece of work, in milliseconds.

#include <algorithm>
#include <chrono>
#include <functional>
#include <vector>

namespace tavero::bench {

inline double MedianMs(int runs, const std::function<void()>& body) {
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        body();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace tavero::bench
