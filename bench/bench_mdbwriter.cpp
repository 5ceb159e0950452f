// Writing the benchmark database: 100,000 Article rows (Code of 9 characters, 13-digit
// CodeBarre) against a budget of one second. Prints the best of several runs as a ratio.

#include "tools/mdbwriter/mdbwriter.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>

int main()
{
    constexpr int rowCount = 100000;
    constexpr int runs = 5;
    constexpr double budgetMs = 1000.0;

    mdbwriter::Table article{
        QStringLiteral("Article"), {{QStringLiteral("Code"), 20}, {QStringLiteral("CodeBarre"), 13}}, {}};
    article.rows.reserve(rowCount);
    for (int i = 0; i < rowCount; ++i)
        article.rows.push_back(
            {{QStringLiteral("A%1").arg(i, 8, 10, QLatin1Char('0')), QString::number(3760000000000 + i)}, false});
    const std::vector<mdbwriter::Table> tables = {article};

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("bench.mdb"));
    double best = 1e300;
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        mdbwriter::writeMdb(path, tables);
        best = std::min(best, static_cast<double>(timer.nsecsElapsed()) / 1e6);
    }
    std::printf("mdbwriter: %d rows written in %.1f ms (best of %d); ratio to the 1 s budget: %.3f\n", rowCount, best,
                runs, best / budgetMs);
    return best <= budgetMs ? 0 : 1;
}
