// The article lookup on real databases written by our writer and read by libmdb, and the
// missing-article report on disk.
#include "import/articlelookup.h"
#include "tests/support/articledb.h"
#include "tests/support/builtmdbreader.h"
#include "tests/support/recordingdialogs.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

namespace {

const QByteArray kHeading =
    "Ce fichier contient les codes articles (ou codebarres) n'existant pas dans la gestion\r\n\r\n";

QByteArray articleLine(const QByteArray &code)
{
    return "L'article : " + code + " n'existe pas dans la gestion en cours\r\n";
}

} // namespace

class TestRechercheRef : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void resolves_data();
    void resolves();
    void readsTheTableOnceAndAgainAfterReopening();
    void failures_data();
    void failures();
    void reportCreatedThenAppended();
    void reportKeepsTheCodeAsLookedUp();
    void reportNotWritable_data();
    void reportNotWritable();

private:
    QString reportPath() const { return m_executable.beside(QStringLiteral("Err_Inventaire.txt")); }
    QByteArray report() const
    {
        QFile file(reportPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<absent>");
    }
    void useArticles(std::vector<mdbwriter::Row> rows);

    std::unique_ptr<QTemporaryDir> m_dir;
    Executable m_executable;
    RecordingDialogs m_dialogs;
    std::unique_ptr<ArticleLookup> m_lookup;
};

void TestRechercheRef::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_executable = {m_dir->path(), QStringLiteral("InventaireTirvano")};
    m_dialogs = {};
    m_lookup = std::make_unique<ArticleLookup>(m_dialogs, m_executable);
}

void TestRechercheRef::useArticles(std::vector<mdbwriter::Row> rows)
{
    m_lookup->setConnectScen(openBuiltMdbDatabase(writeArticles(m_dir->filePath("gestion.mdb"), std::move(rows))));
}

void TestRechercheRef::resolves_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected"); // "" when nothing matches

    QTest::newRow("by Code") << "ART1" << "ART1";
    QTest::newRow("by CodeBarre gives the Code") << "3760000000017" << "ART1";
    QTest::newRow("letter case ignored, stored case given") << "art1" << "ART1";
    QTest::newRow("letter case of accented letters") << "ÉTAU" << "étau";
    QTest::newRow("accents significant") << "etau" << "";
    QTest::newRow("apostrophe") << "L'ÉQUERRE" << "L'équerre";
    QTest::newRow("double quote") << "BOIS \"13\"" << "BOIS \"13\"";
    QTest::newRow("percent is no wildcard") << "100%" << "100%";
    QTest::newRow("percent does not match others") << "1%" << "";
    QTest::newRow("trailing space significant") << "ART1 " << "";
    QTest::newRow("stored trailing space") << "VIS " << "VIS ";
    QTest::newRow("without the stored trailing space") << "VIS" << "";
    QTest::newRow("leading space significant") << " ART1" << "";
    QTest::newRow("earlier barcode wins over later code") << "DUO" << "PREMIER";
    QTest::newRow("earlier code wins over later barcode") << "TRIO" << "TRIO";
    QTest::newRow("repeated code gives the first row") << "DOUBLE" << "DOUBLE";
    QTest::newRow("empty code matches the empty barcode") << "" << "VIDE";
    QTest::newRow("deleted row is not found") << "EFFACE" << "";
    QTest::newRow("unknown") << "INCONNU" << "";
    QTest::newRow("non-Latin text") << "ΩMEGA" << "Ωmega";
}

void TestRechercheRef::resolves()
{
    QFETCH(QString, code);
    QFETCH(QString, expected);
    useArticles({
        article("EFFACE", "999", true),
        article("ART1", "3760000000017"),
        article("étau", std::nullopt),
        article("L'équerre", "EQ"),
        article("BOIS \"13\"", std::nullopt),
        article("100%", "%"),
        article("VIS ", std::nullopt),
        article("PREMIER", "DUO"),
        article("DUO", std::nullopt),
        article("TRIO", std::nullopt),
        article("AUTRE", "TRIO"),
        article("DOUBLE", "D1"),
        article("double", "D2"),
        article(std::nullopt, std::nullopt),
        article("VIDE", QString()),
        article(QString(), "X"),
        article("Ωmega", std::nullopt),
    });
    QCOMPARE(m_lookup->RechercheRef(code), expected);
    QVERIFY2(m_dialogs.messages.isEmpty(), m_dialogs.messages.isEmpty() ? "" : qPrintable(m_dialogs.messages[0].text));
    QCOMPARE(m_lookup->bErr(), expected.isEmpty());
    QCOMPARE(report(), expected.isEmpty() ? kHeading + articleLine(code.toLatin1()) : QByteArray("<absent>"));
}

void TestRechercheRef::readsTheTableOnceAndAgainAfterReopening()
{
    const QString path = m_dir->filePath("gestion.mdb");
    m_lookup->setConnectScen(openBuiltMdbDatabase(writeArticles(path, {article("A", "1")})));
    QCOMPARE(m_lookup->RechercheRef("1"), QStringLiteral("A"));
    // The open database keeps its index; a database opened anew is read anew.
    writeArticles(path, {article("B", "1")});
    QCOMPARE(m_lookup->RechercheRef("1"), QStringLiteral("A"));
    m_lookup->setConnectScen(openBuiltMdbDatabase(path));
    QCOMPARE(m_lookup->RechercheRef("1"), QStringLiteral("B"));
}

void TestRechercheRef::failures_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("description");
    QTest::newRow("no open database") << "none" << "Aucune base de gestion n'est ouverte";
    QTest::newRow("no table Article") << "noTable" << "Table introuvable dans la base de données : Article";
    QTest::newRow("no column CodeBarre") << "noColumn" << "Colonne introuvable dans la table Article : CodeBarre";
    QTest::newRow("first matching row has a null Code") << "nullCode" << "Utilisation incorrecte de Null";
}

void TestRechercheRef::failures()
{
    QFETCH(QString, setup);
    QFETCH(QString, description);
    const QString path = m_dir->filePath("gestion.mdb");
    if (setup == "noTable") {
        mdbwriter::writeMdb(path, {{"Articles", {{"Code", 20}, {"CodeBarre", 20}}, {}}});
    } else if (setup == "noColumn") {
        mdbwriter::writeMdb(path, {{"Article", {{"Code", 20}, {"Barre", 20}}, {}}});
    } else if (setup == "nullCode") {
        writeArticles(path, {article(std::nullopt, "X1"), article("X1", std::nullopt)});
    }
    if (setup != "none")
        m_lookup->setConnectScen(openBuiltMdbDatabase(path));

    // Every lookup fails alike, says so, gives the empty text and lets the run go on.
    for (int i = 0; i < 2; ++i)
        QCOMPARE(m_lookup->RechercheRef("X1"), QString());
    QCOMPARE(m_dialogs.messages.size(), 2);
    QCOMPARE(m_dialogs.messages[1].text, "Erreur dans la fonction recherche: " + description);
    QCOMPARE(m_dialogs.messages[1].icon, MessageIcon::Critical);
    QCOMPARE(m_dialogs.messages[1].title, std::optional(QStringLiteral("InventaireTirvano")));
    QVERIFY(!m_lookup->bErr());
    QVERIFY(!QFile::exists(reportPath()));
}

void TestRechercheRef::reportCreatedThenAppended()
{
    useArticles({article("A", "1"), article("B", std::nullopt)});
    QCOMPARE(m_lookup->RechercheRef("Z9"), QString());
    QCOMPARE(report(), kHeading + articleLine("Z9"));
    QCOMPARE(m_lookup->RechercheRef("A"), QStringLiteral("A"));
    QCOMPARE(m_lookup->RechercheRef("Z9"), QString());
    QCOMPARE(m_lookup->RechercheRef("Y8"), QString());
    QCOMPARE(report(), kHeading + articleLine("Z9") + articleLine("Z9") + articleLine("Y8"));

    // A later run of the program appends to what earlier runs left, heading not repeated.
    ArticleLookup later(m_dialogs, m_executable);
    QVERIFY(!later.bErr());
    later.setConnectScen(m_lookup->ConnectScen());
    QCOMPARE(later.RechercheRef("Y8"), QString());
    QVERIFY(later.bErr());
    QCOMPARE(report(), kHeading + articleLine("Z9") + articleLine("Z9") + articleLine("Y8") + articleLine("Y8"));
    QVERIFY(m_dialogs.messages.isEmpty());
}

void TestRechercheRef::reportKeepsTheCodeAsLookedUp()
{
    useArticles({article("A", "1")});
    for (const QString &code : {QStringLiteral(""), QStringLiteral("  B2 "), QStringLiteral("Dépôt€"), QStringLiteral("Ω")})
        QCOMPARE(m_lookup->RechercheRef(code), QString());
    QCOMPARE(report(), kHeading + "L'article :  n'existe pas dans la gestion en cours\r\n" + articleLine("  B2 ")
                           + articleLine("D\xE9p\xF4t\x80") + articleLine("?"));
}

void TestRechercheRef::reportNotWritable_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<bool>("appended"); // the line reached the report after all
    // Even root can neither create nor append to a folder.
    QTest::newRow("folder in place of the report") << "folder" << false;
    QTest::newRow("executable folder moved away") << "gone" << false;
    // Permission bits: CTest runs the suite as nobody when started by root.
    QTest::newRow("read-only folder, no report yet") << "readOnlyFolder" << false;
    QTest::newRow("read-only report") << "readOnlyReport" << false;
    QTest::newRow("read-only folder, report there") << "readOnlyFolderAndReport" << true; // only the file is written
}

void TestRechercheRef::reportNotWritable()
{
    QFETCH(QString, setup);
    QFETCH(bool, appended);
    if (setup.startsWith("readOnly") && ::geteuid() == 0)
        QSKIP("permission bits do not stop root from writing");
    if (setup == "gone") {
        m_executable.directory = m_dir->filePath("absent");
        m_lookup = std::make_unique<ArticleLookup>(m_dialogs, m_executable);
    }
    useArticles({article("A", "1")});
    if (setup == "folder")
        QVERIFY(QDir(m_dir->path()).mkdir("Err_Inventaire.txt"));
    const QByteArray earlier = kHeading + articleLine("Y8");
    if (setup == "readOnlyReport" || setup == "readOnlyFolderAndReport") {
        QFile file(reportPath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(earlier) == earlier.size());
    }
    if (setup == "readOnlyReport")
        QVERIFY(QFile::setPermissions(reportPath(), QFileDevice::ReadOwner));
    if (setup.startsWith("readOnlyFolder"))
        QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QByteArray before = report();

    QCOMPARE(m_lookup->RechercheRef("Z9"), QString());
    QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QVERIFY(m_lookup->bErr());
    QCOMPARE(report(), appended ? before + articleLine("Z9") : before);
    QCOMPARE(m_dialogs.messages.size(), appended ? 0 : 1);
    if (!appended)
        QVERIFY2(m_dialogs.messages[0].text.startsWith(
                     "Erreur dans la fonction recherche: Erreur d'accès au fichier : " + reportPath()),
                 qPrintable(m_dialogs.messages[0].text));
}

QTEST_GUILESS_MAIN(TestRechercheRef)
#include "tst_rechercheref.moc"
