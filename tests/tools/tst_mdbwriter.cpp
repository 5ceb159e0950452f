// The writer's command, its files read back by mdbtools' own programs and by the database
// reader: what the suites that take the writer's output for granted never look at.

#include "tests/support/builtmdbreader.h"
#include "tests/support/files.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

// The program's exit code (-1 for a crash), standard output and standard error.
static std::tuple<int, QString, QString> run(const QString &program, const QStringList &arguments,
                                             const QByteArray &input = {})
{
    QProcess process;
    process.start(program, arguments);
    process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
            QString::fromUtf8(process.readAllStandardOutput()), QString::fromUtf8(process.readAllStandardError())};
}

class TestMdbWriter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void readBack()
    {
        QTemporaryDir dir;
        const QString file = dir.filePath("base.mdb");
        QByteArray many; // more data pages than an inline usage map lists (512)
        for (int i = 0; i < 60000; ++i)
            many += QByteArray::number(1000000 + i).repeated(4) + '\n';
        writeFile(dir.filePath("grande.txt"), many);
        // The row text: a byte order mark, CR LF or LF, \N for NULL, \D for a deleted row,
        // escapes; a lone CR, spaces and "ÿþ" (the bytes of the compression mark) kept as text.
        const auto [code, out, err] = run(MDBWRITER_PROGRAM,
                                          {file, "--table", "Article", "--columns", "Code:20,CodeBarre:13",
                                           "--table=Grande", "--columns=N:28", "--input=" + dir.filePath("grande.txt")},
                                          "\xEF\xBB\xBF"
                                          "A1;3760001000017\r\n\\N;\n;\\N\n\\DB2;3760001000031\n"
                                          "Été 1\\;2;ÿþ\n a\rb ;\\\\\\t\\r\\n");
        QVERIFY2(code == 0, qPrintable(err));

        QCOMPARE(scannedRows(file),
                 (QStringList{"A1|3760001000017", "<null>|", "|<null>", "Été 1;2|ÿþ", " a\rb |\\\t\r\n"}));
        QCOMPARE(scannedRows(file, "Grande", {"N"}).size(), 60000);
        const QString schema = std::get<1>(run("mdb-schema", {file}));
        QVERIFY2(schema.contains("[Code]\t\t\tText (20), \n\t[CodeBarre]\t\t\tText (13)\n")
                     && schema.contains("[N]\t\t\tText (28)\n"),
                 qPrintable(schema));
        QCOMPARE(std::get<1>(run("mdb-count", {file, "Article"})), QStringLiteral("5\n")); // the deleted row left out
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("arguments"); // %1: a folder holding base.mdb
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        const QStringList article = {"%1/base.mdb", "--table", "Article", "--columns", "Code,CodeBarre"};
        const QString help = "\nVoir « mdbwriter --help ».";
        QTest::newRow("unknown option") << QStringList{"%1/base.mdb", "--tables", "T"} << QByteArray() << 2
                                        << "option inconnue : --tables." + help;
        QTest::newRow("two tables on stdin")
            << article + QStringList{"--table", "B", "--columns", "C"} << QByteArray() << 2
            << "une seule table peut lire l'entrée standard ; donnez --input aux autres." + help;
        QTest::newRow("row text") << article << QByteArray("A;1\nB;2;3\n") << 1
                                  << "entrée standard, ligne 2 : 3 champs pour 2 colonnes.";
    }

    // A failure leaves the file as it was.
    void failures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QByteArray, input);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir dir;
        writeFile(dir.filePath("base.mdb"), "contenu");
        const auto [code, out, err] = run(MDBWRITER_PROGRAM, arguments.replaceInStrings("%1", dir.path()), input);
        QCOMPARE(err, "mdbwriter : " + message.arg(dir.path()) + "\n");
        QCOMPARE(code, exitCode);
        QCOMPARE(readFile(dir.filePath("base.mdb")), QByteArray("contenu"));
    }
};

QTEST_GUILESS_MAIN(TestMdbWriter)
#include "tst_mdbwriter.moc"
