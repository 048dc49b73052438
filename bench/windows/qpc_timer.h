// Timing for the Windows-side benchmarks, where Google Benchmark is not available:
// QueryPerformanceCounter around a piece of work, and the median of repeated runs.
#pragma once

#include <windows.h>

#include <algorithm>
#include <vector>

namespace revertly::bench {

class Stopwatch {
  public:
    Stopwatch() { QueryPerformanceCounter(&start_); }
    double Milliseconds() const {
        LARGE_INTEGER now;
        LARGE_INTEGER frequency;
        QueryPerformanceCounter(&now);
        QueryPerformanceFrequency(&frequency);
        return 1000.0 * static_cast<double>(now.QuadPart - start_.QuadPart) /
               static_cast<double>(frequency.QuadPart);
    }

  private:
    LARGE_INTEGER start_;
};

inline double Median(std::vector<double> samples) {
    std::sort(samples.begin(), samples.end());
    const std::size_t middle = samples.size() / 2;
    return samples.size() % 2 ? samples[middle] : (samples[middle - 1] + samples[middle]) / 2;
}

}  // namespace revertly::bench
