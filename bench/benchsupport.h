#pragma once

#include "tools/mdbwriter/mdbwriter.h"

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

// Processor time of this process (user and system) spent on `work`: on a machine shared with
// other work it moves less than the wall clock, for work that runs in this process alone.
inline double cpuSeconds(const std::function<void()> &work)
{
    const auto now = [] {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
               + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    };
    const double start = now();
    work();
    return now() - start;
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

// The reference workload's management database: an `Article` table of 100,000 rows, codes
// "ART000000".., barcodes "3760000000000"...
constexpr int kArticles = 100000;

inline QString articleCode(int i)
{
    return QStringLiteral("ART%1").arg(i, 6, 10, QLatin1Char('0'));
}

inline QString articleBarcode(int i)
{
    return QStringLiteral("376%1").arg(i, 10, 10, QLatin1Char('0'));
}

inline void writeArticles(const QString &path)
{
    mdbwriter::Table article{
        QStringLiteral("Article"), {{QStringLiteral("Code"), 20}, {QStringLiteral("CodeBarre"), 20}}, {}};
    for (int i = 0; i < kArticles; ++i)
        article.rows.push_back({{articleCode(i), articleBarcode(i)}, false});
    mdbwriter::writeMdb(path, {article});
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
