// Our reader and writer of "Parametres.ini", byte for byte. Loading, saving and the edition
// ticks as the window does them are tested in tests/app/tst_windowbehaviour.cpp.
#include "settings/parametres.h"
#include "tests/support/files.h"
#include "tests/support/tables.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
    void write_data();
    void write();
    void edition_data();
    void edition();

private:
    // A settings path in a folder of its own, holding `content` unless it is null.
    QString settingsFile(const QByteArray &content)
    {
        const QString path = m_dir.filePath(QString::number(++m_folders) + QStringLiteral("/Parametres.ini"));
        QDir().mkpath(QFileInfo(path).path());
        if (!content.isNull())
            writeFile(path, content);
        return path;
    }

    QTemporaryDir m_dir;
    int m_folders = 0;
};

void TestSettings::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("expected");
    for (const QList<QByteArray> &row : tableRows(QStringLiteral(":/settings-read.txt")))
        QTest::newRow(row[0]) << row[1] << QString::fromUtf8(row[2]) << QString::fromUtf8(row[3]) << QString::fromUtf8(row[4]);
    const QByteArray x254(254, 'x');
    QTest::newRow("254 characters") << "[Societe]\r\nDepot=" + x254 + "\r\n" << "Societe" << "Depot" << QString(x254);
    QTest::newRow("255 characters cut to 254") << "[Societe]\r\nDepot=" + x254 + "y\r\n" << "Societe" << "Depot" << QString(x254);
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
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<QString>("readBack");
    for (const QList<QByteArray> &row : tableRows(QStringLiteral(":/settings-write.txt")))
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << row[2] << QString::fromUtf8(row[3])
                              << QString::fromUtf8(row[4]) << row[5] << QString::fromUtf8(row[6]);
    QTest::newRow("long value written whole") << "" << QByteArray() << "GestionPath" << QString(300, 'p')
                                              << "[Societe]\r\nGestionPath=" + QByteArray(300, 'p') + "\r\n" << QString(254, 'p');
    // Bytes of every value, line ends included, from a fixed sequence: every line kept, with CR LF.
    QByteArray junk(10 * 1024 * 1024, Qt::Uninitialized);
    quint32 state = 1;
    for (char &byte : junk)
        byte = char((state = state * 1664525u + 1013904223u) >> 24);
    QByteArray kept = QByteArray(junk).replace("\r\n", "\n").replace('\r', '\n');
    if (!kept.endsWith('\n'))
        kept += '\n';
    QTest::newRow("10 MB of junk") << "" << junk << "Depot" << "D03"
                                   << kept.replace("\n", "\r\n") + "[Societe]\r\nDepot=D03\r\n" << "D03";
}

void TestSettings::write()
{
    QFETCH(QString, setup);
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    QFETCH(QString, readBack);
    if (setup.startsWith("read-only") && ::geteuid() == 0)
        QSKIP("permission bits do not stop root from writing");
    QString path = settingsFile(before);
    const QString folder = QFileInfo(path).path();
    if (setup == "read-only file")
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
    if (setup == "read-only folder")
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    if (setup == "folder")
        QVERIFY(QFile::remove(path) && QDir().mkpath(path + QStringLiteral("/inside")));
    if (setup == "parent")
        path += QStringLiteral("/Parametres.ini");
    const auto writable = qScopeGuard([&] { QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner); });
    const QByteArray unchanged = readFile(path);

    QCOMPARE(EcrireParametre(QStringLiteral("Societe"), key, value, path) != 0, !after.isNull());
    const QByteArray written = readFile(path);
    QVERIFY2(written == (after.isNull() ? unchanged : after), written.left(300).toPercentEncoding().constData()); // 10 MB
    QCOMPARE(LireParametre(path, QStringLiteral("Societe"), key), readBack);
    // Nothing beside the file: no temporary copy left.
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), QStringList{"Parametres.ini"});
}

void TestSettings::edition_data()
{
    QTest::addColumn<QString>("g");
    QTest::addColumn<int>("gestion");
    QTest::addColumn<int>("cochee");
    for (const QList<QByteArray> &row : tableRows(QStringLiteral(":/settings-edition.txt")))
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << row[2].toInt() << row[3].toInt();
}

void TestSettings::edition()
{
    QFETCH(QString, g);
    QFETCH(int, gestion);
    QFETCH(int, cochee);
    QCOMPARE(ChoisirEdition(g), (ChoixEdition{qint16(gestion), EditionCochee(cochee)}));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
