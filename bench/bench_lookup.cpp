// The article lookup on a 100,000-row Article table: the one scan into the hash maps, read by
// the reader program in a child process, against a bare libmdb read of the same two columns in
// this one; and a whole run of 32,767 lookups against the naive way, one SQL query per code.
#include "bench/benchsupport.h"
#include "import/articleindex.h"
#include "platform/mdbreader/mdbreading.h"
#include "tests/support/builtmdbreader.h"

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>

#include <mdbsql.h>
#include <mdbtools.h>

namespace {

using bench::kArticles;
constexpr int kLookups = 32767;
constexpr int kNaiveSample = 20;

// What the library's own tools do to read two columns: bind, fetch, nothing else.
long bareRead(const QByteArray &path)
{
    MdbHandle *mdb = mdb_open(path.constData(), MDB_NOFLAGS);
    mdb_read_catalog(mdb, MDB_TABLE);
    MdbTableDef *table = mdb_read_table_by_name(mdb, const_cast<gchar *>("Article"), MDB_TABLE);
    mdb_read_columns(table);
    std::vector<char> codeBuffer(MDB_BIND_SIZE);
    std::vector<char> barcodeBuffer(MDB_BIND_SIZE);
    int codeLength = 0;
    int barcodeLength = 0;
    mdb_bind_column_by_name(table, const_cast<gchar *>("Code"), codeBuffer.data(), &codeLength);
    mdb_bind_column_by_name(table, const_cast<gchar *>("CodeBarre"), barcodeBuffer.data(), &barcodeLength);
    mdb_rewind_table(table);
    long rows = 0;
    long bytes = 0;
    while (mdb_fetch_row(table)) {
        ++rows;
        bytes += codeLength + barcodeLength;
    }
    mdb_free_tabledef(table);
    mdb_close(mdb);
    return rows + (bytes < 0 ? 1 : 0);
}

double middle(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// One SELECT per code through libmdbsql, the first row taken.
QString naiveLookup(MdbSQL *sql, const QString &cb)
{
    const QByteArray query = ("SELECT Code FROM Article WHERE CodeBarre='" + cb + "' OR Code='" + cb + "'").toUtf8();
    mdb_sql_run_query(sql, query.constData());
    QString found;
    if (sql->num_columns > 0 && mdb_sql_fetch_row(sql, sql->cur_table)) {
        found = QString::fromUtf8(static_cast<const char *>(g_ptr_array_index(sql->bound_values, 0)));
    }
    mdb_sql_reset(sql);
    return found;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("gestion.mdb"));

    bench::writeArticles(path);
    std::printf("Article: %d rows, %lld bytes\n\n", kArticles, static_cast<long long>(QFile(path).size()));

    const QByteArray nativePath = QFile::encodeName(path);
    bareRead(nativePath); // page cache warm for both sides
    const double peakBefore = bench::peakMiB();

    // Taken in turns, so that a machine shared with other work weighs alike on every figure;
    // the ratio is the median of each turn's own.
    const std::vector<std::string> columns{"Code", "CodeBarre"};
    std::vector<double> bare;
    std::vector<double> scan;
    std::vector<double> opening;
    std::vector<double> inProcess;
    std::vector<double> ratios;
    for (int turn = 0; turn < 11; ++turn) {
        bare.push_back(bench::seconds([&] { bareRead(nativePath); }));
        scan.push_back(bench::seconds([&] {
            auto database = openBuiltMdbDatabase(path);
            ArticleIndex index(*database);
            if (index.rowCount() != kArticles)
                std::abort();
        }));
        ratios.push_back(scan.back() / bare.back());
        // What reading in a child process costs: the opening is one run of the reader (start,
        // open, catalog), the scan a second one; against the reader's own work in this process.
        opening.push_back(bench::seconds([&] { openBuiltMdbDatabase(path); }));
        inProcess.push_back(bench::seconds([&] {
            long rows = 0;
            mdbreading::scan(nativePath.constData(), "Article", columns,
                             [&](std::span<const mdbreading::Value>) { ++rows; });
            if (rows != kArticles)
                std::abort();
        }));
    }
    bench::figure("bare libmdb read of Code and CodeBarre", middle(bare) * 1e3, "ms");
    bench::figure("scan into the hash maps (open included)", middle(scan) * 1e3, "ms");
    bench::figure("  of which the opening, one run of the reader", middle(opening) * 1e3, "ms");
    bench::figure("the reader's open and scan in this process, no index", middle(inProcess) * 1e3, "ms");
    bench::ratio("scan / bare read", middle(ratios), "<= 1.5");

    // A whole run's lookups: half by code, a third by barcode, the rest unknown.
    QStringList codes;
    for (int i = 0; i < kLookups; ++i) {
        const int row = static_cast<int>((static_cast<long long>(i) * 7919) % kArticles);
        codes << (i % 6 < 3   ? bench::articleCode(row)
                  : i % 6 < 5 ? bench::articleBarcode(row)
                              : QStringLiteral("INCONNU%1").arg(i));
    }
    long found = 0;
    const double ours = bench::median(3, [&] {
        auto database = openBuiltMdbDatabase(path);
        ArticleIndex index(*database);
        for (const QString &cb : codes)
            found += index.find(cb).has_value() ? 1 : 0;
    });

    MdbSQL *sql = mdb_sql_init();
    QByteArray sqlPath = nativePath;
    mdb_sql_open(sql, sqlPath.data());
    long naiveFound = 0;
    const double naive = bench::seconds([&] {
        for (int i = 0; i < kNaiveSample; ++i)
            naiveFound += naiveLookup(sql, codes[i * (kLookups / kNaiveSample)]).isEmpty() ? 0 : 1;
    });
    mdb_sql_exit(sql);

    const double oursPer = ours / kLookups;
    const double naivePer = naive / kNaiveSample;
    std::printf("\n");
    bench::figure("32,767 lookups, scan included", ours * 1e3, "ms");
    bench::figure("  per lookup", oursPer * 1e6, "us");
    bench::figure("naive SQL lookup, per lookup (20-code sample)", naivePer * 1e6, "us");
    bench::figure("naive, extrapolated to 32,767 lookups", naivePer * kLookups, "s");
    bench::ratio("naive / ours, per lookup", naivePer / oursPer, ">= 1000");

    auto database = openBuiltMdbDatabase(path);
    const ArticleIndex kept(*database);
    std::printf("\n");
    bench::figure("memory held by the index of 100,000 articles", double(kept.memoryBytes()) / (1024.0 * 1024.0),
                  "MiB");
    bench::figure("peak memory before the benchmarks (writer included)", peakBefore, "MiB");
    bench::figure("peak memory of the whole program", bench::peakMiB(), "MiB");
    return found > 0 && naiveFound > 0 ? 0 : 1;
}
