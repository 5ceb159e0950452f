// Our reader and writer of "Parametres.ini", byte for byte. Loading, saving and the edition
// ticks as the window does them are tested in tests/app/tst_windowbehaviour.cpp.
#include "settings/parametres.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include <unistd.h>

namespace {

// A null content stands for "no file at all"; QByteArray("") is an empty file.
const QByteArray kNoFile;

enum Setup { Nothing, ReadOnlyFile, ReadOnlyFolder, FolderInPlaceOfFile, ParentIsAFile };

// The lines of a file as written back: every line end CR LF, the last line closed.
QByteArray withCrLf(QByteArray bytes)
{
    bytes.replace("\r\n", "\n").replace('\r', '\n');
    if (!bytes.isEmpty() && !bytes.endsWith('\n'))
        bytes += '\n';
    return bytes.replace("\n", "\r\n");
}

// Bytes of every value, line ends included, from a fixed sequence.
QByteArray junkBytes(qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    quint32 state = 1;
    for (char &byte : bytes) {
        state = state * 1664525u + 1013904223u;
        byte = char(state >> 24);
    }
    return bytes;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
    void write_data();
    void write();
    void failedWrite_data();
    void failedWrite();
    void damagedFile_data();
    void damagedFile();
    void edition_data();
    void edition();

private:
    // A settings path in a folder of its own, holding `content` unless it is kNoFile.
    QString settingsFile(const QByteArray &content);
    static QByteArray bytesOf(const QString &path);
    // Every file and folder below the test's directory, with the bytes of the files.
    QMap<QString, QByteArray> snapshot() const;

    QTemporaryDir m_dir;
    int m_folders = 0;
};

QString TestSettings::settingsFile(const QByteArray &content)
{
    const QString folder = m_dir.filePath(QString::number(++m_folders));
    const QString path = folder + QStringLiteral("/Parametres.ini");
    QFile file(path);
    if (!QDir().mkpath(folder)
        || (!content.isNull() && (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())))
        qFatal("cannot write the test file");
    return path;
}

QByteArray TestSettings::bytesOf(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

QMap<QString, QByteArray> TestSettings::snapshot() const
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(m_dir.path(), QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries.insert(info.filePath(), info.isDir() ? QByteArray("<folder>") : bytesOf(info.filePath()));
    }
    return entries;
}

void TestSettings::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    // Key Depot of section Societe, unless the row names others.
    const auto row = [](const char *name, const QByteArray &content, const QString &expected,
                        const char *section = "Societe", const char *key = "Depot") {
        QTest::newRow(name) << content << QString::fromUtf8(section) << QString::fromUtf8(key) << expected;
    };

    const QByteArray plain("[Societe]\r\nSociete=S01\r\nDepot=D02\r\n");
    row("no file", kNoFile, "");
    row("empty file", "", "");
    row("no section", "[Autre]\r\nDepot=D02\r\n", "");
    row("no key", plain, "", "Societe", "Gestion");
    row("key", plain, "D02");
    row("key of the next section", "[Societe]\r\nSociete=S01\r\n[Autre]\r\nDepot=D02\r\n", "");
    row("key before any section", "Depot=D02\r\n[Societe]\r\n", "");
    row("a comment is no key", "[Societe]\r\n;Depot=D1\r\n", "", "Societe", ";Depot");
    row("a line without = is no key", "[Societe]\r\nDepot\r\nDepot=D02\r\n", "D02");
    row("letter case of names", "[SOCIETE]\r\ndepot=D02\r\n", "D02", "sOcIeTe", "DEPOT");
    row("Latin-1 letters", "[D\xC9P\xD4T]\r\nCL\xC9=1\r\n", "1", "dépôt", "clé");
    row("multiplication sign is no letter", "[a\xD7" "b]\r\nx=1\r\n", "", "a÷b", "x");
    row("blanks around names and =", "  [ Societe ]  \r\n\t Depot \t=D02\r\n", "D02");
    row("value verbatim after the first =", "[Societe]\r\nDepot =  D=02 ; \"x\"  \r\n", "  D=02 ; \"x\"  ");
    row("LF line ends", "[Societe]\nSociete=S01\nDepot=D02\n", "D02");
    row("CR line ends", "[Societe]\rSociete=S01\rDepot=D02\r", "D02");
    row("no final line end", "[Societe]\r\nDepot=D02", "D02");
    row("duplicate key: the first counts", "[Societe]\r\nDepot=D1\r\nDepot=D2\r\n", "D1");
    row("duplicate section: the first counts", "[Societe]\r\nSociete=S01\r\n[Societe]\r\nDepot=D02\r\n", "");
    row("Windows-1252 bytes", "[Societe]\r\nDepot=D\xE9p\xF4t \x80\x81\r\n", QString::fromUtf8("Dépôt €\xC2\x81"));
    row("254 characters", "[Societe]\r\nDepot=" + QByteArray(254, 'x') + "\r\n", QString(254, QLatin1Char('x')));
    row("255 characters cut to 254", "[Societe]\r\nDepot=" + QByteArray(254, 'x') + "y\r\n", QString(254, QLatin1Char('x')));
}

void TestSettings::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QString path = settingsFile(content);
    QCOMPARE(LireParametre(path, section, key), expected);
    QCOMPARE(QFile::exists(path), !content.isNull()); // reading creates nothing
}

void TestSettings::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("readBack");
    const auto row = [](const char *name, const QByteArray &before, const char *key, const QString &value,
                        const QByteArray &after, std::optional<QString> readBack = std::nullopt) {
        QTest::newRow(name) << before << QString::fromUtf8(key) << value << after << readBack.value_or(value);
    };

    row("fills an empty file", "", "Depot", "D02", "[Societe]\r\nDepot=D02\r\n");
    row("adds the section after the others", "[Autre]\r\nx=1\r\n", "Depot", "D02",
        "[Autre]\r\nx=1\r\n[Societe]\r\nDepot=D02\r\n");
    row("new key in an empty section", "[Societe]\r\n\r\n", "Depot", "D02", "[Societe]\r\nDepot=D02\r\n\r\n");
    row("key spelling kept, blanks around = dropped", "[SOCIETE]\r\n  DEPOT = D02\r\n", "Depot", "D03",
        "[SOCIETE]\r\nDEPOT=D03\r\n");
    row("duplicate key: the first replaced", "[Societe]\r\nDepot=D1\r\nDepot=D2\r\n", "Depot", "D3",
        "[Societe]\r\nDepot=D3\r\nDepot=D2\r\n");
    row("hand-edited file kept, written with CR LF",
        "; r\xE9glages\r\n[Autre]\nSociete=X\n\n# note\r[Societe]\r\n ; Depot=old\r\nSociete = S01 \nDepot=D02\rwithout equals\r\n"
        "\r\n[Fin]\ny = 2",
        "Depot", "D03",
        "; r\xE9glages\r\n[Autre]\r\nSociete=X\r\n\r\n# note\r\n[Societe]\r\n ; Depot=old\r\nSociete = S01 \r\nDepot=D03\r\n"
        "without equals\r\n\r\n[Fin]\r\ny = 2\r\n");
    row("= ; # [ ] and quotes as they stand", kNoFile, "Depot", "a=b;c#[d]\"e\"", "[Societe]\r\nDepot=a=b;c#[d]\"e\"\r\n");
    row("accents and euro in Windows-1252", kNoFile, "Depot", "Dépôt Œ €", "[Societe]\r\nDepot=D\xE9p\xF4t \x8C \x80\r\n");
    row("outside Windows-1252", kNoFile, "Depot", "Ω Привет", "[Societe]\r\nDepot=? ??????\r\n", "? ??????");
    row("long value written whole", kNoFile, "GestionPath", QString(300, QLatin1Char('p')),
        "[Societe]\r\nGestionPath=" + QByteArray(300, 'p') + "\r\n", QString(254, QLatin1Char('p')));
}

void TestSettings::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QFETCH(QString, readBack);
    const QString path = settingsFile(before);
    QVERIFY(EcrireParametre(QStringLiteral("Societe"), key, value, path) != 0);
    QCOMPARE(bytesOf(path), after);
    QCOMPARE(LireParametre(path, QStringLiteral("Societe"), key), readBack);
    // Nothing beside the file: the temporary copy is gone.
    QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Parametres.ini")});
}

void TestSettings::failedWrite_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("read-only file") << ReadOnlyFile << "Depot" << "D03";
    QTest::newRow("read-only folder") << ReadOnlyFolder << "Depot" << "D03";
    QTest::newRow("folder in place of the file") << FolderInPlaceOfFile << "Depot" << "D03";
    QTest::newRow("parent is a file") << ParentIsAFile << "Depot" << "D03";
    QTest::newRow("value with LF") << Nothing << "Depot" << "D03\n[Autre]";
    QTest::newRow("value with CR") << Nothing << "Depot" << "D03\r";
    QTest::newRow("key with =") << Nothing << "De=pot" << "D03";
    QTest::newRow("empty key") << Nothing << " " << "D03";
    QTest::newRow("comment as key") << Nothing << ";Depot" << "D03";
}

void TestSettings::failedWrite()
{
    QFETCH(Setup, setup);
    QFETCH(QString, key);
    QFETCH(QString, value);
    if ((setup == ReadOnlyFile || setup == ReadOnlyFolder) && ::geteuid() == 0)
        QSKIP("permission bits do not stop root from writing: run by CTest, the suite runs as nobody");

    QString path = settingsFile(QByteArray("; hand-edited\n[Societe]\r\nDepot=D02\r\n"));
    if (setup == ReadOnlyFile)
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    if (setup == FolderInPlaceOfFile)
        QVERIFY(QFile::remove(path) && QDir().mkpath(path + QStringLiteral("/inside")));
    if (setup == ParentIsAFile)
        path += QStringLiteral("/Parametres.ini");
    const QString folder = QFileInfo(path).path();
    if (setup == ReadOnlyFolder)
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const auto writable = qScopeGuard([&] { QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner); });

    const QMap<QString, QByteArray> before = snapshot();
    QCOMPARE(EcrireParametre(QStringLiteral("Societe"), key, value, path), qint16(0));
    QCOMPARE(snapshot(), before);
}

// Whatever bytes the file holds, a write keeps every other line and reads back.
void TestSettings::damagedFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("read"); // key Depot, before the write
    QTest::addColumn<QByteArray>("after"); // Depot set to D03
    const auto bytes = [](const auto &literal) { return QByteArray(literal, sizeof literal - 1); };
    const QByteArray added = "[Societe]\r\nDepot=D03\r\n";

    QTest::newRow("bytes of no text") << bytes("\0\xFF\xFE\x81\r[Societe]\n\x8D\x9D=\0\r\nDepot=\xC3(\0\x90\n\r")
                                      << QString::fromUtf8(bytes("\xC3\x83(\0\xC2\x90"))
                                      << bytes("\0\xFF\xFE\x81\r\n[Societe]\r\n\x8D\x9D=\0\r\nDepot=D03\r\n\r\n");
    // Deliberate: a byte-order mark is part of the first line, which is then no section header.
    const QByteArray marked = "\xEF\xBB\xBF[Societe]\r\nDepot=D02\r\n";
    QTest::newRow("UTF-8 byte-order mark") << marked << "" << marked + added;
    const QByteArray junk = junkBytes(10 * 1024 * 1024);
    QTest::newRow("10 MB of junk") << junk << "" << withCrLf(junk) + added;
}

void TestSettings::damagedFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, read);
    QFETCH(QByteArray, after);
    const QString path = settingsFile(content);
    QCOMPARE(LireParametre(path, QStringLiteral("Societe"), QStringLiteral("Depot")), read);
    QVERIFY(EcrireParametre(QStringLiteral("Societe"), QStringLiteral("Depot"), QStringLiteral("D03"), path) != 0);
    QVERIFY(bytesOf(path) == after); // not QCOMPARE: 10 MB would be printed
    QCOMPARE(LireParametre(path, QStringLiteral("Societe"), QStringLiteral("Depot")), QStringLiteral("D03"));
}

void TestSettings::edition_data()
{
    QTest::addColumn<QString>("g");
    QTest::addColumn<int>("gestion");
    QTest::addColumn<EditionCochee>("cochee");

    // Compared exactly: only "1" is the first edition, and only the empty text ticks nothing.
    QTest::newRow("empty") << "" << 1 << EditionCochee::Aucune;
    QTest::newRow("1") << "1" << 1 << EditionCochee::Kelmar;
    QTest::newRow("2") << "2" << 2 << EditionCochee::Dovane;
    QTest::newRow("blank then 1") << " 1" << 2 << EditionCochee::Dovane;
    QTest::newRow("1 then blank") << "1 " << 2 << EditionCochee::Dovane;
    QTest::newRow("01") << "01" << 2 << EditionCochee::Dovane;
    QTest::newRow("abc") << "abc" << 2 << EditionCochee::Dovane;
    QTest::newRow("blank") << " " << 2 << EditionCochee::Dovane;
}

void TestSettings::edition()
{
    QFETCH(QString, g);
    QFETCH(int, gestion);
    QFETCH(EditionCochee, cochee);
    const ChoixEdition choix = ChoisirEdition(g);
    QCOMPARE(choix.Gestion, qint16(gestion));
    QVERIFY(choix.cochee == cochee);
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
