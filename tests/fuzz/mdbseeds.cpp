// Writes the .mdb fuzzer's seeds with our writer into the folder given: a small table with
// nulls, empty and non-Latin texts, rows marked deleted, a table of more than 512 pages (its
// page map is no longer inline), and files whose catalogue holds other tables.
#include "tests/support/articledb.h"

#include <QDir>

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "Usage : mdbseeds DOSSIER\n");
        return 2;
    }
    const QDir dir(QString::fromLocal8Bit(argv[1]));
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;
    const auto path = [&](const char *name) { return dir.filePath(QString::fromLatin1(name)); };

    writeArticles(path("petite.mdb"), {article(QStringLiteral("A1"), QStringLiteral("3760000000017")),
                                       article(QStringLiteral("B2"), std::nullopt), article(QString(), QString()),
                                       article(QStringLiteral("ÉCROU Ω 𝄞"), QStringLiteral("x").repeated(50))});
    writeArticles(path("supprimees.mdb"), {article(QStringLiteral("A"), QStringLiteral("1"), true),
                                           article(QStringLiteral("B"), QStringLiteral("2")),
                                           article(QStringLiteral("C"), std::nullopt, true)});
    std::vector<mdbwriter::Row> rows;
    for (int i = 0; i < 60000; ++i)
        rows.push_back(article(QStringLiteral("ART%1").arg(i, 6, 10, QLatin1Char('0')),
                               QStringLiteral("3%1").arg(i, 12, 10, QLatin1Char('0')), i % 1000 == 999));
    writeArticles(path("grande.mdb"), std::move(rows));
    mdbwriter::writeMdb(path("deux-tables.mdb"),
                        {{QStringLiteral("Famille"), {{QStringLiteral("Nom"), 20}}, {{{QStringLiteral("Outils")}}}},
                         articleTable({article(QStringLiteral("X"), QStringLiteral("1"))})});
    mdbwriter::writeMdb(path("sans-article.mdb"),
                        {{QStringLiteral("Article"), {{QStringLiteral("Code"), 20}}, {{{QStringLiteral("X")}}}}});
    return 0;
}
