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
    void read_data() { addTableRows("settings-read.txt"); }
    void read()
    {
        QFETCH(QByteArrayList, row); // file, section, key, value read
        const QString path = settingsFile(row[0]);
        QCOMPARE(LireParametre(path, QString::fromUtf8(row[1]), QString::fromUtf8(row[2])), QString::fromUtf8(row[3]));
        QCOMPARE(QFile::exists(path), !row[0].isNull()); // reading creates nothing
    }
    void write_data()
    {
        addTableRows("settings-write.txt");
        // Bytes of every value, line ends included, from a fixed sequence: every line kept, with CR LF.
        QByteArray junk(10 * 1024 * 1024, Qt::Uninitialized);
        quint32 state = 1;
        for (char &byte : junk)
            byte = char((state = state * 1664525u + 1013904223u) >> 24);
        QByteArray kept = QByteArray(junk).replace("\r\n", "\n").replace('\r', '\n');
        if (!kept.endsWith('\n'))
            kept += '\n';
        const QByteArray after = kept.replace("\n", "\r\n") + "[Societe]\r\nDepot=D03\r\n";
        QTest::newRow("10 MB of junk") << QByteArrayList{"", junk, "Depot", "D03", after, "D03"};
    }
    void write()
    {
        QFETCH(QByteArrayList, row); // setup, file before, key, value, file after, value read back
        const QByteArray setup = row[0], after = row[4];
        const QString key = QString::fromUtf8(row[2]);
        if (setup.startsWith("read-only") && ::geteuid() == 0)
            QSKIP("permission bits do not stop root from writing");
        QString path = settingsFile(row[1]);
        const QString folder = QFileInfo(path).path();
        if (setup == "read-only file")
            QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        if (setup == "read-only folder")
            QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        if (setup == "folder")
            QVERIFY(QFile::remove(path) && QDir().mkpath(path + QStringLiteral("/inside")));
        if (setup == "parent")
            path += QStringLiteral("/Parametres.ini");
        const auto writable = qScopeGuard([&] {
            QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        });
        const QByteArray unchanged = readFile(path);

        QCOMPARE(EcrireParametre(QStringLiteral("Societe"), key, QString::fromUtf8(row[3]), path) != 0,
                 !after.isNull());
        const QByteArray written = readFile(path);
        QVERIFY2(written == (after.isNull() ? unchanged : after),
                 written.left(300).toPercentEncoding().constData()); // 10 MB
        QCOMPARE(LireParametre(path, QStringLiteral("Societe"), key), QString::fromUtf8(row[5]));
        // Nothing beside the file: no temporary copy left.
        QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{"Parametres.ini"});
    }
    void edition_data() { addTableRows("settings-edition.txt"); }
    void edition()
    {
        QFETCH(QByteArrayList, row); // Gestion as written, edition, ticked
        QCOMPARE(ChoisirEdition(QString::fromUtf8(row[0])),
                 (ChoixEdition{qint16(row[1].toInt()), EditionCochee(row[2].toInt())}));
    }

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

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
