#pragma once

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include <sys/resource.h>

// Timing helpers for the benchmarks: medians of repeated runs, peak memory, and one line of
// output per figure.
namespace bench {

using Clock = std::chrono::steady_clock;

inline double seconds(const std::function<void()> &work)
{
    const auto start = Clock::now();
    work();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline double median(int runs, const std::function<void()> &work)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i)
        times.push_back(seconds(work));
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// Peak resident memory of the process so far, in MiB.
inline double peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

inline void figure(const char *name, double value, const char *unit)
{
    std::printf("%-58s %12.3f %s\n", name, value, unit);
}

inline void ratio(const char *name, double value, const char *target)
{
    std::printf("%-58s %12.2f x   (target %s)\n", name, value, target);
}

} // namespace bench
