#include "platform/ansi.h"
#include "platform/countfile.h"
#include "tests/support/failures.h"
#include "tests/support/files.h"
#include "tests/support/tables.h"

#include <QTemporaryDir>

namespace {

// The file's items or lines as read until its end, each followed by '|'.
template <typename Reader> QString readAll(const QString &path, bool (Reader::*atEnd)(), QString (Reader::*read)())
{
    QString all;
    int reads = 0; // a reader that consumes nothing stops here
    for (Reader reader(path); !(reader.*atEnd)() && ++reads < 1000;)
        all += (reader.*read)() + QLatin1Char('|');
    return all;
}

} // namespace

// Count files on disk as both passes read them, and their Windows-1252 text; the tables are in
// tests/data/countfile.tsv. A line end across the readers' 64 KB reads is a seed of the
// countlines and countitems fuzzers.
class TestCountFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ansi_data() { addTableRows("countfile.tsv", "ansi"); }
    void ansi()
    {
        QFETCH(QByteArrayList, row);
        const QString text = QString::fromUtf8(row[0]);
        QCOMPARE(ansi::encode(text), row[1]);
        if (!row[1].contains('?'))
            QCOMPARE(ansi::decode(row[1]), text);
    }
    void reads_data() { addTableRows("countfile.tsv", "reads"); }
    void reads()
    {
        QFETCH(QByteArrayList, row); // the file's bytes, its items, its lines
        writeFile(m_path, row[0]);
        QCOMPARE(readAll(m_path, &DelimitedItemReader::atEnd, &DelimitedItemReader::readItem),
                 QString::fromUtf8(row[1]));
        QCOMPARE(readAll(m_path, &LineReader::atEndOfStream, &LineReader::readLine), QString::fromUtf8(row[2]));
    }
    void overlongLineFails()
    {
        // One line of 64 MB and a byte: no count file, and a message; cut to 64 MB, it is read.
        const qsizetype longest = 64 * 1024 * 1024;
        writeFile(m_path, QByteArray(longest + 1, 'x'));
        const QString tooLong = "7 Mémoire insuffisante : une ligne de plus de 64 Mo dans le fichier " + m_path;
        QCOMPARE(failureOf([&] { LineReader(m_path).readLine(); }), tooLong);
        QCOMPARE(failureOf([&] { DelimitedItemReader(m_path).readItem(); }), tooLong);
        QVERIFY(QFile::resize(m_path, longest));
        QCOMPARE(LineReader(m_path).readLine().size(), longest);
        QCOMPARE(DelimitedItemReader(m_path).readItem().size(), longest);
    }
    void unreadablePaths_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("failure");
        const QString missing = m_dir.filePath(QStringLiteral("absent.txt"));
        QTest::newRow("missing file") << missing << "53 Fichier introuvable : " + missing;
        QTest::newRow("a folder") << m_dir.path()
                                  << "75 Erreur d'accès au fichier : " + m_dir.path() + " (c'est un dossier)";
    }
    void unreadablePaths()
    {
        QFETCH(QString, path);
        QFETCH(QString, failure);
        QCOMPARE(failureOf([&] { LineReader{path}; }), failure);
        QCOMPARE(failureOf([&] { DelimitedItemReader{path}; }), failure);
    }

private:
    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(QStringLiteral("comptage.txt"));
};

QTEST_GUILESS_MAIN(TestCountFile)
#include "tst_countfile.moc"
