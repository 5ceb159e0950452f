#include "platform/ansi.h"
#include "platform/countfile.h"
#include "platform/failure.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestCountFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ansiRoundTripsEveryByte();
    void ansiEncode_data();
    void ansiEncode();
    void items_data();
    void items();
    void lines_data();
    void lines();
    void largeFileAcrossBuffers();
    void overlongLineFails();
    void unreadablePaths_data();
    void unreadablePaths();

private:
    QString write(const QByteArray &bytes);
    QTemporaryDir m_dir;
    int m_files = 0;
};

QString TestCountFile::write(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(QStringLiteral("comptage%1.txt").arg(++m_files));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot write the test file");
    return path;
}

void TestCountFile::ansiRoundTripsEveryByte()
{
    QByteArray all;
    for (int b = 0; b < 256; ++b)
        all.append(static_cast<char>(b));
    const QString text = ansi::decode(all);
    QCOMPARE(text.size(), 256);
    QCOMPARE(text[0x80], QChar(0x20AC));
    QCOMPARE(text[0x81], QChar(0x0081));
    QCOMPARE(text[0x8D], QChar(0x008D));
    QCOMPARE(text[0x9F], QChar(0x0178));
    QCOMPARE(text[0xE9], QChar(0x00E9));
    QCOMPARE(ansi::encode(text), all);
}

void TestCountFile::ansiEncode_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << "Code 12;" << QByteArray("Code 12;");
    QTest::newRow("accents") << "Dépôt" << QByteArray("D\xE9p\xF4t");
    QTest::newRow("euro and quotes") << "€‘’…" << QByteArray("\x80\x91\x92\x85");
    QTest::newRow("outside the code page") << "Ωx" << QByteArray("?x");
    QTest::newRow("surrogate pair is one character") << QString::fromUtf8("a\xF0\x9F\x98\x80" "b") << QByteArray("a?b");
}

void TestCountFile::ansiEncode()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(ansi::encode(text), bytes);
}

void TestCountFile::items_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("CR LF lines") << QByteArray("X;1;\r\nY;2;\r\n") << QStringList{"X;1;", "Y;2;"};
    QTest::newRow("LF lines") << QByteArray("X;1;\nY;2;\n") << QStringList{"X;1;", "Y;2;"};
    QTest::newRow("CR lines") << QByteArray("X;1;\rY;2;\r") << QStringList{"X;1;", "Y;2;"};
    QTest::newRow("no final line end") << QByteArray("X;1;\r\nY;2;") << QStringList{"X;1;", "Y;2;"};
    QTest::newRow("decimal comma splits") << QByteArray("A;1,5;\r\n") << QStringList{"A;1", "5;"};
    QTest::newRow("empty line is one item") << QByteArray("X;1;\r\n\r\nY;2;\r\n") << QStringList{"X;1;", "", "Y;2;"};
    QTest::newRow("final empty line") << QByteArray("X;1;\r\n\r\n") << QStringList{"X;1;", ""};
    QTest::newRow("lone line end") << QByteArray("\r\n") << QStringList{""};
    QTest::newRow("leading spaces skipped") << QByteArray("   X;1;\r\n") << QStringList{"X;1;"};
    QTest::newRow("spaces-only line") << QByteArray("   \r\nX;1;\r\n") << QStringList{"", "X;1;"};
    QTest::newRow("quoted item keeps commas") << QByteArray("\"A,B\";1;\r\nC;2;\r\n") << QStringList{"A,B", "C;2;"};
    QTest::newRow("quoted item then comma") << QByteArray("\"A\",B\r\n") << QStringList{"A", "B"};
    QTest::newRow("comma before line end") << QByteArray("A,\r\nB\r\n") << QStringList{"A", "", "B"};
    QTest::newRow("quote not at start is text") << QByteArray("A\"B;1;\r\n") << QStringList{"A\"B;1;"};
    QTest::newRow("high bytes") << QByteArray("\x80\xE9\x81;1;\r\n") << QStringList{QString::fromUtf8("€é\xC2\x81;1;")};
}

void TestCountFile::items()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    DelimitedItemReader reader(write(content));
    QStringList actual;
    while (!reader.atEnd() && actual.size() <= expected.size())
        actual << reader.readItem();
    QCOMPARE(actual, expected);
}

void TestCountFile::lines_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("empty file") << QByteArray() << QStringList{};
    QTest::newRow("CR LF") << QByteArray("X;1;\r\nY;2;\r\n") << QStringList{"X;1;", "Y;2;"};
    QTest::newRow("LF") << QByteArray("X;1;\nY;2;\n") << QStringList{"X;1;", "Y;2;"};
    QTest::newRow("lone CR") << QByteArray("X;1;\rY;2;\r") << QStringList{"X;1;", "Y;2;"};
    QTest::newRow("mixed") << QByteArray("A\r\nB\nC\rD") << QStringList{"A", "B", "C", "D"};
    QTest::newRow("LF CR is two line ends") << QByteArray("A\n\rB") << QStringList{"A", "", "B"};
    QTest::newRow("no final line end") << QByteArray("X;1;") << QStringList{"X;1;"};
    QTest::newRow("empty line in the middle") << QByteArray("X;1;\r\n\r\nY;2;") << QStringList{"X;1;", "", "Y;2;"};
    QTest::newRow("two line ends at the end") << QByteArray("X;1;\r\n\r\n") << QStringList{"X;1;", ""};
    QTest::newRow("commas and quotes kept") << QByteArray("\"A,B\";1,5;\r\n") << QStringList{"\"A,B\";1,5;"};
    QTest::newRow("spaces kept") << QByteArray("  X ;1;  \r\n") << QStringList{"  X ;1;  "};
    QTest::newRow("high bytes") << QByteArray("D\xE9p\xF4t\x80;1;\n") << QStringList{QStringLiteral("Dépôt€;1;")};
    QTest::newRow("NUL byte kept") << QByteArray("A\0B;1;\n", 7) << QStringList{QString::fromUtf8("A\0B;1;", 6)};
}

void TestCountFile::lines()
{
    QFETCH(QByteArray, content);
    QFETCH(QStringList, expected);
    LineReader reader(write(content));
    QStringList actual;
    while (!reader.atEndOfStream() && actual.size() <= expected.size())
        actual << reader.readLine();
    QCOMPARE(actual, expected);
}

void TestCountFile::largeFileAcrossBuffers()
{
    // Enough lines that CR and LF of some line end fall on either side of a read buffer.
    QByteArray content;
    QStringList expected;
    for (int i = 0; i < 40000; ++i) {
        const QByteArray line = "ART" + QByteArray::number(i) + ";" + QByteArray::number(i % 7) + ",5;";
        content += line + "\r\n";
        expected << QString::fromLatin1(line);
    }
    const QString path = write(content);

    LineReader lines(path);
    QStringList actual;
    while (!lines.atEndOfStream())
        actual << lines.readLine();
    QCOMPARE(actual.size(), expected.size());
    QCOMPARE(actual, expected);

    DelimitedItemReader items(path);
    int count = 0;
    while (!items.atEnd()) {
        items.readItem();
        ++count;
    }
    QCOMPARE(count, 2 * expected.size());
}

namespace {

// AddressSanitizer keeps freed buffers aside: its peak memory says little.
#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KEEPS_FREED_MEMORY
#endif
#endif

// Resident memory in MB: now, or at its peak since resetPeak() (Linux).
qint64 residentMegabytes(const char *field = "VmRSS:")
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(qstrlen(field)).trimmed().split(' ').value(0).toLongLong() / 1024;
    }
    return -1;
}

bool resetPeak()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

} // namespace

void TestCountFile::overlongLineFails()
{
    // Not a count file: 100 MB without a line end. Reading stops at 64 MB with a message,
    // instead of taking memory in proportion to the file.
    const QString path = m_dir.filePath(QStringLiteral("ligne.txt"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    const QByteArray megabyte(1024 * 1024, 'x');
    for (int i = 0; i < 100; ++i)
        QVERIFY(file.write(megabyte) == megabyte.size());
    file.close();
    const QString expected = "Mémoire insuffisante : une ligne de plus de 64 Mo dans le fichier " + path;
    for (int reader = 0; reader < 2; ++reader) {
        QVERIFY(resetPeak());
        [[maybe_unused]] const qint64 before = residentMegabytes();
        try {
            if (reader == 0)
                LineReader(path).readLine();
            else
                DelimitedItemReader(path).readItem();
            QFAIL("the line was read whole");
        } catch (const Failure &failure) {
            QCOMPARE(failure.description(), expected);
        }
#ifndef KEEPS_FREED_MEMORY
        const qint64 grown = residentMegabytes("VmHWM:") - before;
        QVERIFY2(grown < 100, qPrintable(QString::number(grown))); // less than the file
#endif
    }
}

void TestCountFile::unreadablePaths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("number");
    QTest::addColumn<QString>("description");
    const QString missing = m_dir.filePath(QStringLiteral("absent.txt"));
    QTest::newRow("missing file") << missing << int(Failure::FileNotFound) << "Fichier introuvable : " + missing;
    QTest::newRow("empty path") << QString() << int(Failure::FileNotFound) << "Fichier introuvable : ";
    QTest::newRow("a folder") << m_dir.path() << int(Failure::FileAccess)
                              << "Erreur d'accès au fichier : " + m_dir.path() + " (c'est un dossier)";
}

void TestCountFile::unreadablePaths()
{
    QFETCH(QString, path);
    QFETCH(int, number);
    QFETCH(QString, description);
    for (int reader = 0; reader < 2; ++reader) {
        try {
            if (reader == 0)
                LineReader{path};
            else
                DelimitedItemReader{path};
            QFAIL("opening did not fail");
        } catch (const Failure &failure) {
            QCOMPARE(failure.number(), number);
            QCOMPARE(failure.description(), description);
        }
    }
}

QTEST_GUILESS_MAIN(TestCountFile)
#include "tst_countfile.moc"
