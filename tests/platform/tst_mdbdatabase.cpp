#include "tests/support/articledb.h"
#include "tests/support/builtmdbreader.h"
#include "tests/support/failures.h"
#include "tests/support/files.h"
#include "tests/support/tables.h"

#include <QTemporaryDir>
#include <QtEndian>

namespace {

constexpr qsizetype kPage = 4096;

// The first data page of the table defined at page `definition`: in our writer's files of one
// table, 2 for the catalog, 4 for the table.
qsizetype firstDataPage(const QByteArray &bytes, qsizetype definition)
{
    for (qsizetype page = 1; page * kPage < bytes.size(); ++page) {
        if (bytes[page * kPage] == 1 && qFromLittleEndian<quint32>(bytes.constData() + page * kPage + 4) == definition)
            return page;
    }
    return -1;
}

} // namespace

// Real .mdb files, written by our writer and read by libmdb in the reader program.
class TestMdbDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rowsAsWritten()
    {
        const QString file = path("articles.mdb");
        mdbwriter::writeMdb(
            file, {{"Famille", {{"Nom", 30}}, {{{QStringLiteral("Outils")}}}},
                   articleTable({article("B", std::nullopt), article(std::nullopt, ""), article("X", "1", true),
                                 article("", "2"), article(std::nullopt, std::nullopt),
                                 article("Crème brûlée", "L'été \"45\" €"),
                                 article("  A1  ", QStringLiteral("条码 \U0001F4E6 Ω\tB")), article("é", "ab"),
                                 article("Y", "3", true)})});
        // In scan order, nulls apart from empty texts, deleted rows left out.
        QCOMPARE(scannedRows(file),
                 (QStringList{"B|<null>", "<null>|", "|2", "<null>|<null>", "Crème brûlée|L'été \"45\" €",
                              QStringLiteral("  A1  |条码 \U0001F4E6 Ω\tB"), "é|ab"}));
        // Names in any letter case, columns in any order; the catalog's other table.
        QCOMPARE(scannedRows(file, "ARTICLE", {"codebarre", "CODE"}).value(0), QStringLiteral("<null>|B"));
        QCOMPARE(scannedRows(file, "Famille", {"Nom"}), QStringList{"Outils"});
    }
    // Intact, damaged and foreign files: the rows as written, or a failure in French that names
    // the file; never a crash or a hang.
    void files_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("expected"); // empty: a failure that names the file
        QTest::addColumn<bool>("orFailure");   // a failure that names the file will do too
        std::vector<mdbwriter::Row> rows;
        for (int i = 0; i < 60000; ++i) // more than 512 pages: the table's page map is no longer inline
            rows.push_back(
                article(QStringLiteral("ART%1").arg(i, 5, 10, QLatin1Char('0')), QString::number(i), i % 1000 == 999));
        writeArticles(path("grande.mdb"), rows);
        rows.resize(600);
        const QByteArray bytes = readFile(writeArticles(path("petite.mdb"), rows));
        const auto damaged = [&](const QString &name, const QByteArray &content) {
            writeFile(path(name), content);
            return name;
        };
        const auto flipped = [&](qsizetype from, qsizetype size) {
            QByteArray copy = bytes;
            for (qsizetype at = from; at < from + size; ++at)
                copy[at] = char(~copy[at]);
            return copy;
        };
        const auto row = [](const char *tag, const QString &name, const QString &expected, bool orFailure = false) {
            QTest::newRow(tag) << name << expected << orFailure;
        };
        const QString all = QStringLiteral("600 rows, the last ART00599|599");
        row("intact", "petite.mdb", all);
        row("page map not inline", "grande.mdb", "59940 rows, the last ART59998|59998");
        for (qsizetype page = 0; page < bytes.size() / kPage; ++page) {
            QTest::addRow("cut at page %d", int(page))
                << damaged(QString("coupee-%1.mdb").arg(page), bytes.left(page * kPage)) << "" << false;
            // The header's fields: page type, free space, owning table or next page.
            for (const auto &[at, size] : {std::pair{0, 2}, std::pair{2, 2}, std::pair{4, 4}})
                QTest::addRow("page %d, header bytes %d.. flipped", int(page), at)
                    << damaged(QString("inversee-%1-%2.mdb").arg(page).arg(at), flipped(page * kPage + at, size)) << all
                    << true;
        }
        row("missing", "absente.mdb", "53 Fichier introuvable : " + path("absente.mdb"));
        QDir(m_dir.path()).mkdir("dossier.mdb");
        row("folder", "dossier.mdb",
            "3000 Ce chemin ne désigne pas une base de données Access : " + path("dossier.mdb"));
        row("empty file", damaged("vide.mdb", {}), "3000 La base de données est un fichier vide : " + path("vide.mdb"));
        row("text file", damaged("texte.mdb", "Code;Quantite;\r\nA1;5;\r\n"),
            "3000 Ce fichier n'est pas une base de données Access : " + path("texte.mdb"));
        row("catalog cut short", damaged("catalogue.mdb", bytes.left(firstDataPage(bytes, 2) * kPage)),
            "3000 Les pages du catalogue sont illisibles : la base de données " + path("catalogue.mdb")
                + " est tronquée ou endommagée");
        row("catalog erased",
            damaged("efface.mdb", QByteArray(bytes).replace(kPage, 3 * kPage, QByteArray(3 * kPage, 0))), "");
        // Found by fuzzing: libmdb reads its catalog's properties for minutes, growing past 13 GB.
        if (!QFile::copy(TIRVANO_MDB_FINDINGS "/damaged-catalog.mdb", path("proprietes.mdb")))
            qFatal("tests/fuzz/findings/mdb/damaged-catalog.mdb is missing");
        row("catalog's property data damaged", "proprietes.mdb", "");
        // Page-map pointers of a table definition naming a row that does not exist.
        row("catalog's page map pointer damaged",
            damaged("carte-catalogue.mdb", QByteArray(bytes).replace(2 * kPage + 55, 1, "\xDF")), "");
        row("table's page map pointer damaged",
            damaged("carte-article.mdb", QByteArray(bytes).replace(4 * kPage + 55, 1, "\xDF")), "");
        // A row that outgrew its page: its slot points at the copy, which the scan meets as deleted.
        QByteArray moved = readFile(
            writeArticles(path("deplacee.mdb"), {article("A", "1"), article("B", "2"), article("DEPLACE", "3", true)}));
        const qsizetype page = firstDataPage(moved, 4);
        uchar *slot = reinterpret_cast<uchar *>(moved.data()) + page * kPage + 16; // row 1's
        const quint16 start = qFromLittleEndian<quint16>(slot) & 0x1fff;
        qToLittleEndian(quint16(start | 0x4000), slot);
        qToLittleEndian(quint32(page << 8 | 2), moved.data() + page * kPage + start);
        row("moved row", damaged("deplacee.mdb", moved), "2 rows, the last DEPLACE|3");
        mdbwriter::writeMdb(path("sans-article.mdb"), {{"Famille", {{"Nom", 30}}, {}}});
        row("no such table", "sans-article.mdb", "3000 Table introuvable dans la base de données : Article");
        mdbwriter::writeMdb(path("sans-codebarre.mdb"), {{"Article", {{"Code", 30}}, {}}});
        row("no such column", "sans-codebarre.mdb", "3000 Colonne introuvable dans la table Article : CodeBarre");
    }
    void files()
    {
        QFETCH(QString, name);
        QFETCH(QString, expected);
        QFETCH(bool, orFailure);
        QStringList rows;
        const QString failure = failureOf([&] { rows = scannedRows(path(name)); });
        const QString read =
            failure.isEmpty() ? QStringLiteral("%1 rows, the last %2").arg(rows.size()).arg(rows.value(rows.size() - 1))
                              : failure;
        if (expected.isEmpty() || (orFailure && !failure.isEmpty()))
            QVERIFY2(failure.contains(path(name)), qPrintable(read));
        else
            QCOMPARE(read, expected);
    }
    void readerFailures_data() { addTableRows("mdbreader.tsv", "reader"); }
    void readerFailures()
    {
        QFETCH(QByteArrayList, row); // the script, the failure
        const QString database = writeArticles(path("lecteur.mdb"), {article("A", "1")});
        const QString reader = path("lecteur-" + QString::fromLatin1(QTest::currentDataTag()));
        if (!row[0].isEmpty()) {
            writeFile(reader, "#!/bin/sh\n" + row[0] + "\n");
            QVERIFY(QFile::setPermissions(reader, QFile::ReadOwner | QFile::ExeOwner));
        }
        QCOMPARE(failureOf([&] { openMdbDatabaseWith(reader, database); }),
                 QString::fromUtf8(row[1]) + " : " + (row[0].isEmpty() ? reader : database));
    }

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TestMdbDatabase)
#include "tst_mdbdatabase.moc"
