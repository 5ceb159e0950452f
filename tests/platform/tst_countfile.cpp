#include "platform/ansi.h"
#include "platform/countfile.h"
#include "tests/support/tables.h"
#include "tests/support/failures.h"
#include "tests/support/files.h"

#include <QTemporaryDir>

// Count files on disk as both passes read them, and their Windows-1252 text; the tables are in
// tests/data/countfile.tsv.
class TestCountFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ansi_data() { addTableRows("countfile.tsv", "ansi"); }
    void ansi();
    void items_data() { addTableRows("countfile.tsv", "items"); }
    void items();
    void lines_data() { addTableRows("countfile.tsv", "lines"); }
    void lines();
    void lineEndAcrossReads();
    void overlongLineFails();
    void unreadablePaths_data();
    void unreadablePaths();

private:
    QString readAll(const QByteArray &content, bool items) const;
    QTemporaryDir m_dir;
    const QString m_path = m_dir.filePath(QStringLiteral("comptage.txt"));
};

void TestCountFile::ansi()
{
    QFETCH(QByteArrayList, row);
    const QString text = QString::fromUtf8(row[0]);
    QCOMPARE(ansi::encode(text), row[1]);
    if (!row[1].contains('?'))
        QCOMPARE(ansi::decode(row[1]), text);
}

// The file's items or lines as read until its end, each followed by '|'.
QString TestCountFile::readAll(const QByteArray &content, bool items) const
{
    writeFile(m_path, content);
    QString all;
    int reads = 0; // a reader that consumes nothing stops here
    if (items) {
        for (DelimitedItemReader reader(m_path); !reader.atEnd() && ++reads < 1000;)
            all += reader.readItem() + QLatin1Char('|');
    } else {
        for (LineReader reader(m_path); !reader.atEndOfStream() && ++reads < 1000;)
            all += reader.readLine() + QLatin1Char('|');
    }
    return all;
}

void TestCountFile::items()
{
    QFETCH(QByteArrayList, row);
    QCOMPARE(readAll(row[0], true), QString::fromUtf8(row[1]));
}

void TestCountFile::lines()
{
    QFETCH(QByteArrayList, row);
    QCOMPARE(readAll(row[0], false), QString::fromUtf8(row[1]));
}

void TestCountFile::lineEndAcrossReads()
{
    // CR the last byte of the first 64 KB read from the file, LF the first of the next.
    const QByteArray first(64 * 1024 - 1, 'x');
    QCOMPARE(readAll(first + "\r\nY;1,5;", false), QString::fromLatin1(first + "|Y;1,5;|"));
    QCOMPARE(readAll(first + "\r\nY;1,5;", true), QString::fromLatin1(first + "|Y;1|5;|"));
}

void TestCountFile::overlongLineFails()
{
    // A line of 64 MB is read; one byte more means no count file, and a message.
    const QByteArray longest(64 * 1024 * 1024, 'x');
    writeFile(m_path, longest + '\n' + longest + 'x');
    const QString tooLong = "7 Mémoire insuffisante : une ligne de plus de 64 Mo dans le fichier " + m_path;
    LineReader lines(m_path);
    QCOMPARE(lines.readLine().size(), longest.size());
    QCOMPARE(failureOf([&] { lines.readLine(); }), tooLong);
    DelimitedItemReader items(m_path);
    QCOMPARE(items.readItem().size(), longest.size());
    QCOMPARE(failureOf([&] { items.readItem(); }), tooLong);
}

void TestCountFile::unreadablePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("failure");
    const QString missing = m_dir.filePath(QStringLiteral("absent.txt"));
    QTest::newRow("missing file") << missing << "53 Fichier introuvable : " + missing;
    QTest::newRow("a folder") << m_dir.path() << "75 Erreur d'accès au fichier : " + m_dir.path() + " (c'est un dossier)";
}

void TestCountFile::unreadablePaths()
{
    QFETCH(QString, path);
    QFETCH(QString, failure);
    QCOMPARE(failureOf([&] { LineReader{path}; }), failure);
    QCOMPARE(failureOf([&] { DelimitedItemReader{path}; }), failure);
}

QTEST_GUILESS_MAIN(TestCountFile)
#include "tst_countfile.moc"
