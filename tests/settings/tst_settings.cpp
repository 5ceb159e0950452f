#include "platform/executable.h"
#include "settings/parametres.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

// A null content stands for "no file at all"; QByteArray("") is an empty file.
const QByteArray kNoFile;

enum Setup { ReadOnlyFile, ReadOnlyFolder, FolderInPlaceOfFile, ParentIsAFile, Unwritable };

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void read_data();
    void read();
    void write_data();
    void write();
    void roundTrip_data();
    void roundTrip();
    void failedWrite_data();
    void failedWrite();
    void edition_data();
    void edition();
    void firstStart();
    void save_data();
    void save();
    void executableAtTheRoot();

private:
    // A settings path in a folder of its own, holding `content` unless it is kNoFile.
    QString settingsFile(const QByteArray &content);
    static QByteArray bytesOf(const QString &path);
    static QMap<QString, QByteArray> snapshot(const QString &folder);

    QTemporaryDir m_dir;
    int m_folders = 0;
};

QString TestSettings::settingsFile(const QByteArray &content)
{
    const QString folder = m_dir.filePath(QString::number(++m_folders));
    if (!QDir().mkpath(folder))
        qFatal("cannot create the test folder");
    const QString path = folder + QStringLiteral("/Parametres.ini");
    if (!content.isNull()) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
            qFatal("cannot write the test file");
    }
    return path;
}

QByteArray TestSettings::bytesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return file.readAll();
}

// Every file and folder below `folder`, with the bytes of the files.
QMap<QString, QByteArray> TestSettings::snapshot(const QString &folder)
{
    QMap<QString, QByteArray> entries;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
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

    const QByteArray plain("[Societe]\r\nSociete=S01\r\nDepot=D02\r\n");
    QTest::newRow("no file") << kNoFile << "Societe" << "Societe" << "";
    QTest::newRow("empty file") << QByteArray("") << "Societe" << "Societe" << "";
    QTest::newRow("no section") << QByteArray("[Autre]\r\nSociete=S01\r\n") << "Societe" << "Societe" << "";
    QTest::newRow("no key") << plain << "Societe" << "Gestion" << "";
    QTest::newRow("key") << plain << "Societe" << "Depot" << "D02";
    QTest::newRow("empty value") << QByteArray("[Societe]\r\nDepot=\r\n") << "Societe" << "Depot" << "";
    QTest::newRow("key of the next section")
        << QByteArray("[Societe]\r\nSociete=S01\r\n[Autre]\r\nDepot=D02\r\n") << "Societe" << "Depot" << "";
    QTest::newRow("key before any section") << QByteArray("Depot=D02\r\n[Societe]\r\n") << "Societe" << "Depot" << "";
    QTest::newRow("commented key ;") << QByteArray("[Societe]\r\n;Depot=D02\r\n") << "Societe" << "Depot" << "";
    QTest::newRow("commented key #") << QByteArray("[Societe]\r\n  # Depot=D02\r\n") << "Societe" << "Depot" << "";
    QTest::newRow("line without =") << QByteArray("[Societe]\r\nDepot\r\n") << "Societe" << "Depot" << "";
    QTest::newRow("upper-case file") << QByteArray("[SOCIETE]\r\nDEPOT=D02\r\n") << "Societe" << "Depot" << "D02";
    QTest::newRow("upper-case call") << plain << "SOCIETE" << "dEpOt" << "D02";
    QTest::newRow("Latin-1 letters") << QByteArray("[D\xC9P\xD4T]\r\nCL\xC9=1\r\n") << "dépôt" << "clé" << "1";
    QTest::newRow("multiplication sign is no letter") << QByteArray("[a\xD7" "b]\r\nx=1\r\n") << "a÷b" << "x" << "";
    QTest::newRow("blanks around names and =")
        << QByteArray("  [ Societe ]  \r\n\t Depot \t=D02\r\n") << "Societe" << "Depot" << "D02";
    QTest::newRow("value verbatim after the first =")
        << QByteArray("[Societe]\r\nDepot =  D=02 ; x  \r\n") << "Societe" << "Depot" << "  D=02 ; x  ";
    QTest::newRow("quotes kept") << QByteArray("[Societe]\r\nDepot=\"D02\"\r\n") << "Societe" << "Depot" << "\"D02\"";
    QTest::newRow("LF line ends") << QByteArray("[Societe]\nSociete=S01\nDepot=D02\n") << "Societe" << "Depot" << "D02";
    QTest::newRow("lone CR line ends") << QByteArray("[Societe]\rSociete=S01\rDepot=D02\r") << "Societe" << "Depot" << "D02";
    QTest::newRow("mixed line ends") << QByteArray("[Societe]\rSociete=S01\nDepot=D02\r\n") << "Societe" << "Depot" << "D02";
    QTest::newRow("no final line end") << QByteArray("[Societe]\r\nDepot=D02") << "Societe" << "Depot" << "D02";
    QTest::newRow("duplicate key: the first counts")
        << QByteArray("[Societe]\r\nDepot=D1\r\nDepot=D2\r\n") << "Societe" << "Depot" << "D1";
    QTest::newRow("duplicate section: the first counts")
        << QByteArray("[Societe]\r\nSociete=S01\r\n[Societe]\r\nDepot=D02\r\n") << "Societe" << "Depot" << "";
    QTest::newRow("Windows-1252 bytes") << QByteArray("[Societe]\r\nDepot=D\xE9p\xF4t \x80\x81\r\n") << "Societe"
                                        << "Depot" << QString::fromUtf8("Dépôt €\xC2\x81");
    QTest::newRow("254 characters") << "[Societe]\r\nDepot=" + QByteArray(254, 'x') + "\r\n" << "Societe" << "Depot"
                                    << QString(254, QLatin1Char('x'));
    QTest::newRow("255 characters cut to 254")
        << "[Societe]\r\nDepot=" + QByteArray(254, 'x') + "y\r\n" << "Societe" << "Depot" << QString(254, QLatin1Char('x'));
}

void TestSettings::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, expected);
    const QString path = settingsFile(content);
    QCOMPARE(LireParametre(path, section, key), expected);
    QCOMPARE(QFile::exists(path), !content.isNull());
}

void TestSettings::write_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("after");

    QTest::newRow("creates the file") << kNoFile << "Societe" << "S01" << QByteArray("[Societe]\r\nSociete=S01\r\n");
    QTest::newRow("fills an empty file") << QByteArray("") << "Depot" << "D02" << QByteArray("[Societe]\r\nDepot=D02\r\n");
    QTest::newRow("adds the section after the others")
        << QByteArray("[Autre]\r\nx=1\r\n") << "Depot" << "D02" << QByteArray("[Autre]\r\nx=1\r\n[Societe]\r\nDepot=D02\r\n");
    QTest::newRow("adds a key at the end of its section")
        << QByteArray("[Societe]\r\nSociete=S01\r\n[Autre]\r\nx=1\r\n") << "Depot" << "D02"
        << QByteArray("[Societe]\r\nSociete=S01\r\nDepot=D02\r\n[Autre]\r\nx=1\r\n");
    QTest::newRow("new key before the section's trailing blank lines")
        << QByteArray("[Societe]\r\nSociete=S01\r\n\r\n  \r\n[Autre]\r\n") << "Depot" << "D02"
        << QByteArray("[Societe]\r\nSociete=S01\r\nDepot=D02\r\n\r\n  \r\n[Autre]\r\n");
    QTest::newRow("new key in an empty section")
        << QByteArray("[Societe]\r\n\r\n") << "Depot" << "D02" << QByteArray("[Societe]\r\nDepot=D02\r\n\r\n");
    QTest::newRow("replaces in place, other keys kept")
        << QByteArray("[Societe]\r\nSociete=S01\r\nDepot=D02\r\nGestion=1\r\n") << "Depot" << "D03"
        << QByteArray("[Societe]\r\nSociete=S01\r\nDepot=D03\r\nGestion=1\r\n");
    QTest::newRow("key spelling kept, blanks around = dropped")
        << QByteArray("[SOCIETE]\r\n  DEPOT = D02\r\n") << "Depot" << "D03" << QByteArray("[SOCIETE]\r\nDEPOT=D03\r\n");
    QTest::newRow("duplicate key: the first replaced, the second kept")
        << QByteArray("[Societe]\r\nDepot=D1\r\nDepot=D2\r\n") << "Depot" << "D3"
        << QByteArray("[Societe]\r\nDepot=D3\r\nDepot=D2\r\n");
    QTest::newRow("hand-edited file kept, written with CR LF")
        << QByteArray("; r\xE9glages\r\n[Autre]\nSociete=X\n\n# note\r[Societe]\r\n ; Depot=old\r\nSociete = S01 \n"
                      "Depot=D02\rwithout equals\r\n\r\n[Fin]\ny = 2")
        << "Depot" << "D03"
        << QByteArray("; r\xE9glages\r\n[Autre]\r\nSociete=X\r\n\r\n# note\r\n[Societe]\r\n ; Depot=old\r\nSociete = S01 \r\n"
                      "Depot=D03\r\nwithout equals\r\n\r\n[Fin]\r\ny = 2\r\n");
    QTest::newRow("value with blanks written as it stands")
        << kNoFile << "Depot" << "  D 02  " << QByteArray("[Societe]\r\nDepot=  D 02  \r\n");
    QTest::newRow("empty value") << QByteArray("[Societe]\r\nDepot=D02\r\n") << "Depot" << "" << QByteArray("[Societe]\r\nDepot=\r\n");
    QTest::newRow("accents and euro in Windows-1252")
        << kNoFile << "Depot" << "Dépôt Œ €" << QByteArray("[Societe]\r\nDepot=D\xE9p\xF4t \x8C \x80\r\n");
    QTest::newRow("outside Windows-1252") << kNoFile << "Depot" << "Ω" << QByteArray("[Societe]\r\nDepot=?\r\n");
    QTest::newRow("long value written whole")
        << kNoFile << "GestionPath" << QString(300, QLatin1Char('p')) << "[Societe]\r\nGestionPath=" + QByteArray(300, 'p') + "\r\n";
}

void TestSettings::write()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, after);
    const QString path = settingsFile(before);
    QVERIFY(EcrireParametre(QStringLiteral("Societe"), key, value, path) != 0);
    QCOMPARE(bytesOf(path), after);
    // Nothing beside the file: the temporary copy is gone.
    QCOMPARE(QDir(QFileInfo(path).path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{QStringLiteral("Parametres.ini")});
}

void TestSettings::roundTrip_data()
{
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("expected");

    QTest::newRow("plain") << "S01" << "S01";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("blanks around") << "  S 01\t " << "  S 01\t ";
    QTest::newRow("= ; # [ ] and quotes") << "a=b;c#[d]\"e\"" << "a=b;c#[d]\"e\"";
    QTest::newRow("path") << "/home/op/Gestion Corvel/Corvel.mdb" << "/home/op/Gestion Corvel/Corvel.mdb";
    QTest::newRow("accents and euro") << "Société Dépôt 12 € «ÿ»" << "Société Dépôt 12 € «ÿ»";
    QTest::newRow("outside Windows-1252") << "Ω Привет" << "? ??????";
    QTest::newRow("300 characters") << QString(254, QLatin1Char('a')) + QString(46, QLatin1Char('b'))
                                    << QString(254, QLatin1Char('a'));
}

void TestSettings::roundTrip()
{
    QFETCH(QString, value);
    QFETCH(QString, expected);
    const QString path = settingsFile(QByteArray("[Societe]\r\nDepot=old\r\n"));
    for (const QString &key : {QStringLiteral("Depot"), QStringLiteral("GestionPath")}) {
        QVERIFY(EcrireParametre(QStringLiteral("Societe"), key, value, path) != 0);
        QCOMPARE(LireParametre(path, QStringLiteral("Societe"), key), expected);
        // Writing the same value again changes nothing.
        const QByteArray bytes = bytesOf(path);
        QVERIFY(EcrireParametre(QStringLiteral("Societe"), key, value, path) != 0);
        QCOMPARE(bytesOf(path), bytes);
    }
}

void TestSettings::failedWrite_data()
{
    QTest::addColumn<Setup>("setup");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("read-only file") << ReadOnlyFile << "Depot" << "D03";
    QTest::newRow("folder not writable") << ReadOnlyFolder << "Depot" << "D03";
    QTest::newRow("folder in place of the file") << FolderInPlaceOfFile << "Depot" << "D03";
    QTest::newRow("parent is a file") << ParentIsAFile << "Depot" << "D03";
    QTest::newRow("value with LF") << Unwritable << "Depot" << "D03\n[Autre]";
    QTest::newRow("value with CR") << Unwritable << "Depot" << "D03\r";
    QTest::newRow("key with =") << Unwritable << "De=pot" << "D03";
    QTest::newRow("empty key") << Unwritable << " " << "D03";
    QTest::newRow("comment as key") << Unwritable << ";Depot" << "D03";
}

void TestSettings::failedWrite()
{
    QFETCH(Setup, setup);
    QFETCH(QString, key);
    QFETCH(QString, value);

    const bool root = ::geteuid() == 0;
    if (root && (setup == ReadOnlyFile || setup == ReadOnlyFolder))
        QSKIP("permission bits do not stop root from writing");

    QString path = settingsFile(QByteArray("; hand-edited\n[Societe]\r\nDepot=D02\r\n"));
    const QString folder = QFileInfo(path).path();
    const QFileDevice::Permissions folderPermissions = QFile::permissions(folder);
    switch (setup) {
    case ReadOnlyFile:
        QVERIFY(QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::ReadGroup));
        break;
    case ReadOnlyFolder:
        QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        break;
    case FolderInPlaceOfFile:
        QVERIFY(QFile::remove(path));
        QVERIFY(QDir().mkpath(path + QStringLiteral("/inside")));
        break;
    case ParentIsAFile:
        path += QStringLiteral("/Parametres.ini");
        break;
    case Unwritable:
        break;
    }

    const QMap<QString, QByteArray> before = snapshot(m_dir.path());
    QCOMPARE(EcrireParametre(QStringLiteral("Societe"), key, value, path), qint16(0));
    const QMap<QString, QByteArray> after = snapshot(m_dir.path());
    QFile::setPermissions(folder, folderPermissions);
    QCOMPARE(after, before);
}

void TestSettings::edition_data()
{
    QTest::addColumn<QString>("g");
    QTest::addColumn<int>("gestion");
    QTest::addColumn<EditionCochee>("cochee");

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

void TestSettings::firstStart()
{
    const QString path = settingsFile(kNoFile);
    const ParametresLus lus = LireParametres(path);
    QCOMPARE(lus.Societe, QString());
    QCOMPARE(lus.Depot, QString());
    QCOMPARE(lus.Gestion, QString());
    QCOMPARE(lus.GestionPath, QString());
    QVERIFY((ChoisirEdition(lus.Gestion) == ChoixEdition{1, EditionCochee::Aucune}));
    QVERIFY(!QFile::exists(path));
}

void TestSettings::save_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("societe");
    QTest::addColumn<QString>("depot");
    QTest::addColumn<int>("gestion");
    QTest::addColumn<QString>("gestionPath");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<EditionCochee>("cochee");

    QTest::newRow("first save, in order")
        << kNoFile << "S01" << "D02" << 2 << "/data/Corvel.mdb"
        << QByteArray("[Societe]\r\nSociete=S01\r\nDepot=D02\r\nGestion=2\r\nGestionPath=/data/Corvel.mdb\r\n")
        << EditionCochee::Dovane;
    QTest::newRow("empty values")
        << kNoFile << "" << "" << 1 << ""
        << QByteArray("[Societe]\r\nSociete=\r\nDepot=\r\nGestion=1\r\nGestionPath=\r\n") << EditionCochee::Kelmar;
    QTest::newRow("over a previous save")
        << QByteArray("[Societe]\r\nSociete=S01\r\nDepot=D02\r\nGestion=2\r\nGestionPath=/a.mdb\r\n")
        << "S09" << "D08" << 1 << "/b.mdb"
        << QByteArray("[Societe]\r\nSociete=S09\r\nDepot=D08\r\nGestion=1\r\nGestionPath=/b.mdb\r\n")
        << EditionCochee::Kelmar;
    QTest::newRow("hand-edited: present keys in place, missing ones appended in order")
        << QByteArray("; r\xE9glages\n[Autre]\nx=1\n\n[SOCIETE]\nGestionPath = C:\\old.mdb\nsociete=old\n\n")
        << "S01" << "D02" << 2 << "/new.mdb"
        << QByteArray("; r\xE9glages\r\n[Autre]\r\nx=1\r\n\r\n[SOCIETE]\r\nGestionPath=/new.mdb\r\nsociete=S01\r\n"
                      "Depot=D02\r\nGestion=2\r\n\r\n")
        << EditionCochee::Dovane;
}

void TestSettings::save()
{
    QFETCH(QByteArray, before);
    QFETCH(QString, societe);
    QFETCH(QString, depot);
    QFETCH(int, gestion);
    QFETCH(QString, gestionPath);
    QFETCH(QByteArray, after);
    QFETCH(EditionCochee, cochee);

    const QString path = settingsFile(before);
    EnregistrerDefauts(path, Defauts{societe, depot, qint16(gestion), gestionPath});
    QCOMPARE(bytesOf(path), after);

    const ParametresLus lus = LireParametres(path);
    QCOMPARE(lus.Societe, societe);
    QCOMPARE(lus.Depot, depot);
    QCOMPARE(lus.Gestion, QString::number(gestion));
    QCOMPARE(lus.GestionPath, gestionPath);
    QVERIFY((ChoisirEdition(lus.Gestion) == ChoixEdition{qint16(gestion), cochee}));
}

void TestSettings::executableAtTheRoot()
{
    const QString folder = QFileInfo(settingsFile(kNoFile)).path();
    const Executable atRoot{folder + QLatin1Char('/'), QStringLiteral("InventaireTirvano")};
    const QString path = atRoot.beside(FichierParametres());
    QCOMPARE(path, folder + QStringLiteral("//Parametres.ini"));

    EnregistrerDefauts(path, Defauts{QStringLiteral("S01"), QStringLiteral("D02"), 1, QStringLiteral("/c.mdb")});
    EnregistrerDefauts(path, Defauts{QStringLiteral("S03"), QStringLiteral("D04"), 2, QStringLiteral("/d.mdb")});
    QCOMPARE(bytesOf(folder + QStringLiteral("/Parametres.ini")),
             QByteArray("[Societe]\r\nSociete=S03\r\nDepot=D04\r\nGestion=2\r\nGestionPath=/d.mdb\r\n"));
    const ParametresLus lus = LireParametres(path);
    QCOMPARE(lus.Societe, QStringLiteral("S03"));
    QCOMPARE(lus.GestionPath, QStringLiteral("/d.mdb"));
}

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
