#include "platform/failure.h"
#include "tests/support/articledb.h"
#include "tests/support/builtmdbreader.h"

#include <QFile>
#include <QtEndian>
#include <QTemporaryDir>
#include <QTest>

using Rows = QList<QStringList>; // "<null>" marks a null

namespace {

const QString kNull = QStringLiteral("<null>");

Rows readAll(Database &database, const QString &table, const QStringList &columns)
{
    Rows rows;
    database.scanTable(table, columns, [&](std::span<const TextView> values) {
        QStringList row;
        for (const TextView &v : values)
            row << (v ? v->toString() : kNull);
        rows << row;
    });
    return rows;
}

QByteArray bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

constexpr int kPage = 4096;

quint16 u16(const QByteArray &bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.constData() + at);
}

void setU16(QByteArray &bytes, qsizetype at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

// The first data page of the table defined at `definition`; by default the one user table,
// whose definition is the first table page after the catalog's, page 2.
qsizetype firstDataPage(const QByteArray &bytes, qsizetype definition = -1)
{
    if (definition < 0) {
        definition = 3;
        while (bytes[definition * kPage] != 2)
            ++definition;
    }
    for (qsizetype page = 1; page * kPage < bytes.size(); ++page) {
        if (bytes[page * kPage] == 1 && qFromLittleEndian<quint32>(bytes.constData() + page * kPage + 4) == definition)
            return page;
    }
    return -1;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write %s", qPrintable(path));
}

} // namespace

class TestMdbDatabase : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readsRowsInScanOrder();
    void nullIsNotEmpty();
    void skipsDeletedRows();
    void textRoundTrips_data();
    void textRoundTrips();
    void namesIgnoreLetterCase();
    void shortAndMovedRows();
    void largeTable();
    void otherTablesAndColumns();
    void missingTableOrColumn_data();
    void missingTableOrColumn();
    void unreadableFiles_data();
    void unreadableFiles();
    void damagedPages_data();
    void damagedPages();
    void readerFailures_data();
    void readerFailures();

private:
    QString path(const QString &name) const { return m_dir.filePath(name); }
    QTemporaryDir m_dir;
};

void TestMdbDatabase::readsRowsInScanOrder()
{
    const QString file = writeArticles(path("ordre.mdb"), {article("B", "2"), article("A", "1"), article("C", "3")});
    auto database = openBuiltMdbDatabase(file);
    QCOMPARE(readAll(*database, "Article", {"Code", "CodeBarre"}),
             (Rows{{"B", "2"}, {"A", "1"}, {"C", "3"}}));
    QCOMPARE(readAll(*database, "Article", {"CodeBarre"}), (Rows{{"2"}, {"1"}, {"3"}}));
    // A second scan of the same open database reads the same rows.
    QCOMPARE(readAll(*database, "Article", {"Code"}), (Rows{{"B"}, {"A"}, {"C"}}));
}

void TestMdbDatabase::nullIsNotEmpty()
{
    const QString file = writeArticles(path("null.mdb"),
                                       {article(std::nullopt, "1"), article(QString(), "2"), article("C", std::nullopt),
                                        article(QString(), QString()), article(std::nullopt, std::nullopt)});
    auto database = openBuiltMdbDatabase(file);
    QCOMPARE(readAll(*database, "Article", {"Code", "CodeBarre"}),
             (Rows{{kNull, "1"}, {"", "2"}, {"C", kNull}, {"", ""}, {kNull, kNull}}));
}

void TestMdbDatabase::skipsDeletedRows()
{
    const QString file = writeArticles(
        path("supprime.mdb"), {article("A", "1"), article("B", "2", true), article("C", "3"), article("D", "4", true)});
    auto database = openBuiltMdbDatabase(file);
    QCOMPARE(readAll(*database, "Article", {"Code"}), (Rows{{"A"}, {"C"}}));
}

void TestMdbDatabase::textRoundTrips_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("accents") << "Crème brûlée";
    QTest::newRow("apostrophe and quotes") << "L'été \"45\" 100%";
    QTest::newRow("leading and trailing spaces") << "  A1  ";
    QTest::newRow("euro") << "Prix €";
    QTest::newRow("greek") << "Ωmega";
    QTest::newRow("CJK") << "条码";
    QTest::newRow("outside the BMP") << QString::fromUtf8("\xF0\x9F\x93\xA6 colis");
    QTest::newRow("two characters") << "ab";
    QTest::newRow("one character") << "é";
    QTest::newRow("control characters") << "A\tB";
}

void TestMdbDatabase::textRoundTrips()
{
    QFETCH(QString, text);
    const QString file = writeArticles(path("texte.mdb"), {article(text, text)});
    auto database = openBuiltMdbDatabase(file);
    QCOMPARE(readAll(*database, "Article", {"Code", "CodeBarre"}), (Rows{{text, text}}));
}

void TestMdbDatabase::namesIgnoreLetterCase()
{
    const QString file = writeArticles(path("casse.mdb"), {article("A", "1")});
    auto database = openBuiltMdbDatabase(file);
    QCOMPARE(readAll(*database, "ARTICLE", {"code", "CODEBARRE"}), (Rows{{"A", "1"}}));
}

void TestMdbDatabase::shortAndMovedRows()
{
    // A row written before the table had its third column: two columns, "ZZ9" and "BAR".
    const QString shortPath = path("courte.mdb");
    mdbwriter::writeMdb(shortPath, {{"Article", {{"Code", 20}, {"CodeBarre", 20}, {"Libelle", 50}},
                                     {{{QStringLiteral("A"), QStringLiteral("1"), QStringLiteral("x")}},
                                      {{QStringLiteral("B"), QStringLiteral("2"), QStringLiteral("y")}}}}});
    QByteArray bytes = bytesOf(shortPath);
    qsizetype page = firstDataPage(bytes) * kPage;
    const QByteArray twoColumns = QByteArray::fromHex("0200" "fffe5a5a39" "fffe424152" "0c00" "0700" "0200" "0200" "03");
    const quint16 end = u16(bytes, page + 14) & 0x1fff; // where row 1 ends: row 0's start
    setU16(bytes, page + 16, quint16(end - twoColumns.size()));
    bytes.replace(page + end - twoColumns.size(), twoColumns.size(), twoColumns);
    writeBytes(shortPath, bytes);
    QCOMPARE(readAll(*openBuiltMdbDatabase(shortPath), "Article", {"Code", "CodeBarre", "Libelle"}),
             (Rows{{"A", "1", "x"}, {"ZZ9", "BAR", kNull}}));

    // A row that outgrew its page: its slot points at the copy, which the scan meets as deleted.
    const QString movedPath = path("deplacee.mdb");
    writeArticles(movedPath, {article("A", "1"), article("B", "2"), article("DEPLACE", "3", true)});
    bytes = bytesOf(movedPath);
    const qsizetype dataPage = firstDataPage(bytes);
    page = dataPage * kPage;
    const quint16 start = u16(bytes, page + 16) & 0x1fff;
    setU16(bytes, page + 16, quint16(start | 0x4000));
    qToLittleEndian(quint32(dataPage << 8 | 2), bytes.data() + page + start);
    writeBytes(movedPath, bytes);
    QCOMPARE(readAll(*openBuiltMdbDatabase(movedPath), "Article", {"Code", "CodeBarre"}),
             (Rows{{"A", "1"}, {"DEPLACE", "3"}}));
}

void TestMdbDatabase::largeTable()
{
    // More than 512 pages: the table's page map is no longer inline.
    std::vector<mdbwriter::Row> rows;
    for (int i = 0; i < 60000; ++i)
        rows.push_back(article(QStringLiteral("ART%1").arg(i, 6, 10, QLatin1Char('0')),
                               QStringLiteral("3%1").arg(i, 12, 10, QLatin1Char('0')), i % 1000 == 999));
    const QString file = writeArticles(path("grande.mdb"), rows);
    QVERIFY(QFileInfo(file).size() > 512 * 4096);
    auto database = openBuiltMdbDatabase(file);
    int count = 0;
    QString first;
    QString last;
    database->scanTable("Article", {"Code"}, [&](std::span<const TextView> v) {
        if (count++ == 0)
            first = v[0]->toString();
        last = v[0]->toString();
    });
    QCOMPARE(count, 60000 - 60);
    QCOMPARE(first, QStringLiteral("ART000000"));
    QCOMPARE(last, QStringLiteral("ART059998"));
}

void TestMdbDatabase::otherTablesAndColumns()
{
    const QString file = path("plusieurs.mdb");
    mdbwriter::writeMdb(file, {{"Famille", {{"Nom", 30}}, {{{QStringLiteral("Outils")}}}},
                               {"Article",
                                {{"Libelle", 100}, {"CodeBarre", 20}, {"Code", 20}},
                                {{{QStringLiteral("Marteau"), QStringLiteral("300"), QStringLiteral("M1")}}}}});
    auto database = openBuiltMdbDatabase(file);
    QCOMPARE(readAll(*database, "Article", {"Code", "CodeBarre"}), (Rows{{"M1", "300"}}));
    QCOMPARE(readAll(*database, "Famille", {"Nom"}), (Rows{{"Outils"}}));
}

void TestMdbDatabase::missingTableOrColumn_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QStringList>("columns");
    QTest::addColumn<QString>("description");
    QTest::newRow("no such table") << "Articles" << QStringList{"Code"}
                                   << "Table introuvable dans la base de données : Articles";
    QTest::newRow("no such column") << "Article" << QStringList{"Code", "Barre"}
                                    << "Colonne introuvable dans la table Article : Barre";
}

void TestMdbDatabase::missingTableOrColumn()
{
    QFETCH(QString, table);
    QFETCH(QStringList, columns);
    QFETCH(QString, description);
    const QString file = writeArticles(path("manque.mdb"), {article("A", "1")});
    auto database = openBuiltMdbDatabase(file);
    try {
        readAll(*database, table, columns);
        QFAIL("the scan should have failed");
    } catch (const Failure &failure) {
        QCOMPARE(failure.description(), description);
    }
}

void TestMdbDatabase::unreadableFiles_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("failsWhen"); // "open" or "scan"
    QTest::addColumn<QString>("description");

    const QString good = writeArticles(path("bonne.mdb"), [] {
        std::vector<mdbwriter::Row> rows;
        for (int i = 0; i < 3000; ++i)
            rows.push_back(article(QStringLiteral("A%1").arg(i), QStringLiteral("%1").arg(i)));
        return rows;
    }());
    const QByteArray bytes = bytesOf(good);

    writeBytes(path("vide.mdb"), {});
    writeBytes(path("texte.mdb"), "Code;Quantite;\r\nA1;5;\r\n");
    writeBytes(path("tronquee.mdb"), bytes.left(bytes.size() / 2));
    writeBytes(path("catalogue-tronque.mdb"), bytes.left(firstDataPage(bytes, 2) * kPage));
    if (!QFile::copy(QStringLiteral(TIRVANO_MDB_FINDINGS "/damaged-catalog.mdb"), path("proprietes.mdb")))
        qFatal("tests/fuzz/findings/mdb/damaged-catalog.mdb is missing");
    QByteArray zeroed = bytes;
    zeroed.replace(4096, 4096 * 3, QByteArray(4096 * 3, '\0'));
    writeBytes(path("catalogue-efface.mdb"), zeroed);
    QDir(m_dir.path()).mkdir("dossier.mdb");
    // Page-map pointers of a table definition (offset 55) naming a row that does not exist:
    // the library would read outside its page buffer.
    for (const auto &[name, definitionPage] : {std::pair{"carte-catalogue.mdb", 2}, std::pair{"carte-article.mdb", 4}}) {
        QByteArray damaged = bytes;
        damaged[definitionPage * 4096 + 55] = char(0xDF);
        writeBytes(path(QString::fromLatin1(name)), damaged);
    }

    QTest::newRow("missing") << "absente.mdb" << "open" << "Fichier introuvable : " + path("absente.mdb");
    QTest::newRow("folder") << "dossier.mdb" << "open"
                            << "Ce chemin ne désigne pas une base de données Access : " + path("dossier.mdb");
    QTest::newRow("empty file") << "vide.mdb" << "open" << "La base de données est un fichier vide : " + path("vide.mdb");
    QTest::newRow("text file") << "texte.mdb" << "open"
                               << "Ce fichier n'est pas une base de données Access : " + path("texte.mdb");
    QTest::newRow("cut in half") << "tronquee.mdb" << "scan" << "";
    QTest::newRow("catalog cut short") << "catalogue-tronque.mdb" << "open"
                                       << "Les pages du catalogue sont illisibles : la base de données "
                                              + path("catalogue-tronque.mdb") + " est tronquée ou endommagée";
    // Found by fuzzing: libmdb reads its catalog's properties for minutes, growing past 13 GB.
    QTest::newRow("catalog's property data damaged") << "proprietes.mdb" << "open" << "";
    QTest::newRow("catalog erased") << "catalogue-efface.mdb" << "open" << "";
    QTest::newRow("catalog's page map pointer damaged") << "carte-catalogue.mdb" << "open" << "";
    QTest::newRow("table's page map pointer damaged") << "carte-article.mdb" << "scan" << "";
}

void TestMdbDatabase::unreadableFiles()
{
    QFETCH(QString, name);
    QFETCH(QString, failsWhen);
    QFETCH(QString, description);
    try {
        auto database = openBuiltMdbDatabase(path(name));
        QCOMPARE(failsWhen, QStringLiteral("scan"));
        readAll(*database, "Article", {"Code", "CodeBarre"});
        QFAIL("a damaged database was read without failure");
    } catch (const Failure &failure) {
        if (!description.isEmpty())
            QCOMPARE(failure.description(), description);
        else
            QVERIFY2(failure.description().contains(path(name)), qPrintable(failure.description()));
    }
}

// Cut at every page boundary, each field of every page header flipped: the rows as written or
// a failure naming the file, never a crash or a hang.
void TestMdbDatabase::damagedPages_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("mustFail");
    std::vector<mdbwriter::Row> rows;
    for (int i = 0; i < 600; ++i)
        rows.push_back(article(QStringLiteral("S%1").arg(i), QString::number(i)));
    const QByteArray bytes = bytesOf(writeArticles(path("petite.mdb"), rows));
    for (int page = 0; page < bytes.size() / kPage; ++page) {
        const QString cut = QStringLiteral("coupee-%1.mdb").arg(page);
        writeBytes(path(cut), bytes.left(page * kPage));
        QTest::addRow("cut at page %d", page) << cut << true;
        // The header's fields: page type, free space, owning table or next page.
        for (const auto &[field, size] : {std::pair{0, 2}, std::pair{2, 2}, std::pair{4, 4}}) {
            QByteArray flipped = bytes;
            for (qsizetype at = page * kPage + field; at < page * kPage + field + size; ++at)
                flipped[at] = char(~flipped[at]);
            const QString name = QStringLiteral("inversee-%1-%2.mdb").arg(page).arg(field);
            writeBytes(path(name), flipped);
            QTest::addRow("page %d, header bytes %d.. flipped", page, field) << name << false;
        }
    }
}

void TestMdbDatabase::damagedPages()
{
    QFETCH(QString, name);
    QFETCH(bool, mustFail);
    try {
        const Rows rows = readAll(*openBuiltMdbDatabase(path(name)), "Article", {"Code"});
        QVERIFY2(!mustFail, "a truncated database was read without failure");
        QCOMPARE(rows.size(), 600);
        QCOMPARE(rows.last(), QStringList{"S599"});
    } catch (const Failure &failure) {
        QVERIFY2(failure.description().contains(path(name)), qPrintable(failure.description()));
    }
}

void TestMdbDatabase::readerFailures_data()
{
    QTest::addColumn<QByteArray>("script"); // the reader, a shell script; null: none at all
    QTest::addColumn<QString>("description"); // followed by the database's path, or the reader's if none
    const QString unreadable = QStringLiteral("Impossible de lire la base de données (%1) : ");
    QTest::newRow("no reader") << QByteArray() << "Le lecteur de bases de données est introuvable ou ne démarre pas : ";
    QTest::newRow("crash") << QByteArray("kill -s SEGV $$") << unreadable.arg("arrêt du lecteur, fichier endommagé");
    QTest::newRow("endless work") << QByteArray("while :; do :; done")
                                  << unreadable.arg("lecture trop longue, fichier endommagé");
    QTest::newRow("endless wait") << QByteArray("exec sleep 60") << unreadable.arg("lecture trop longue, fichier endommagé");
    QTest::newRow("garbage") << QByteArray("printf garbage") << unreadable.arg("réponse du lecteur illisible");
    QTest::newRow("answer cut short") << QByteArray("printf 'L\\000'") << unreadable.arg("réponse du lecteur illisible");
}

void TestMdbDatabase::readerFailures()
{
    QFETCH(QByteArray, script);
    QFETCH(QString, description);
    const QString database = writeArticles(path("lecteur.mdb"), {article("A", "1")});
    const QString reader = path("lecteur-" + QString::fromLatin1(QTest::currentDataTag()));
    if (!script.isNull()) {
        writeBytes(reader, "#!/bin/sh\n" + script + "\n");
        QVERIFY(QFile::setPermissions(reader, QFile::ReadOwner | QFile::ExeOwner));
    }
    try {
        openMdbDatabaseWith(reader, database);
        QFAIL("the reader's failure went unnoticed");
    } catch (const Failure &failure) {
        QCOMPARE(failure.description(), description + (script.isNull() ? reader : database));
    }
}

QTEST_GUILESS_MAIN(TestMdbDatabase)
#include "tst_mdbdatabase.moc"
