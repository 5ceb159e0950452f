// The article lookup on an in-memory table, and the missing-article report on disk.
#include "import/articlelookup.h"
#include "tests/support/fakedatabase.h"
#include "tests/support/files.h"
#include "tests/support/importtexts.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/tables.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace importtexts;

class TestRechercheRef : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void resolves_data();
    void resolves();
    void reportAppended();
    void reportNotWritable_data();
    void reportNotWritable();

private:
    QString reportPath() const { return m_executable.beside(QStringLiteral("Err_Inventaire.txt")); }
    std::shared_ptr<FakeDatabase> useArticles(std::vector<std::vector<TextValue>> rows)
    {
        const auto database = std::make_shared<FakeDatabase>(std::move(rows));
        m_lookup->setConnectScen(database);
        return database;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    Executable m_executable;
    RecordingDialogs m_dialogs;
    std::unique_ptr<ArticleLookup> m_lookup;
};

void TestRechercheRef::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    m_executable = {m_dir->path(), kTitle};
    m_dialogs = {};
    m_lookup = std::make_unique<ArticleLookup>(m_dialogs, m_executable);
}

void TestRechercheRef::resolves_data()
{
    QTest::addColumn<QString>("code");
    QTest::addColumn<QString>("expected");
    for (const QList<QByteArray> &row : tableRows(QStringLiteral(":/lookup.txt")))
        QTest::newRow(row[0]) << QString::fromUtf8(row[1]) << QString::fromUtf8(row[2]);
}

void TestRechercheRef::resolves()
{
    QFETCH(QString, code);
    QFETCH(QString, expected);
    // Code, CodeBarre, in scan order.
    useArticles({{"ART1", "3760000000017"}, {"étau", {}},     {"L'équerre", "EQ"}, {"BOIS \"13\"", {}}, {"100%", "%"},
                 {"VIS ", {}},              {"PREMIER", "DUO"}, {"DUO", {}},       {"TRIO", {}},        {"AUTRE", "TRIO"},
                 {"DOUBLE", "D1"},          {"double", "D2"}, {{}, {}},          {"VIDE", ""},        {"", "X"},
                 {"Ωmega", {}},             {{}, "NC"},       {"NC", {}}});
    // A failing lookup says so and gives the empty text.
    const bool fails = expected.startsWith('!');
    QCOMPARE(m_lookup->RechercheRef(code), fails ? QString() : expected);
    QCOMPARE(m_dialogs.events, fails ? QStringList{"message:" + kLookupFailure + expected.mid(1)} : QStringList());
    QCOMPARE(readFile(reportPath()), expected.isEmpty() ? kReportHeading + reportLine(code.toLatin1()) : "<absent>");
}

void TestRechercheRef::reportAppended()
{
    const auto articles = useArticles({{"A", "1"}});
    for (const char *code : {"Z9", "A", "", "  B2 ", "Dépôt€", "Ω", "Z9"})
        m_lookup->RechercheRef(QString::fromUtf8(code));
    // A later run of the program appends to what earlier runs left, heading not repeated.
    ArticleLookup later(m_dialogs, m_executable);
    later.setConnectScen(articles);
    later.RechercheRef("Y8");
    QCOMPARE(readFile(reportPath()), kReportHeading + reportLine("Z9") + reportLine("") + reportLine("  B2 ")
                                         + reportLine("D\xE9p\xF4t\x80") + reportLine("?") + reportLine("Z9")
                                         + reportLine("Y8"));
    QCOMPARE(m_dialogs.events, QStringList());
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
    useArticles({{"A", "1"}});
    if (setup == "gone")
        QVERIFY(m_dir->remove());
    if (setup == "folder")
        QVERIFY(QDir(m_dir->path()).mkdir("Err_Inventaire.txt"));
    if (setup.endsWith("Report"))
        writeFile(reportPath(), kReportHeading + reportLine("Y8"));
    if (setup == "readOnlyReport")
        QVERIFY(QFile::setPermissions(reportPath(), QFileDevice::ReadOwner));
    if (setup.startsWith("readOnlyFolder"))
        QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
    const QByteArray before = readFile(reportPath());

    QCOMPARE(m_lookup->RechercheRef("Z9"), QString());
    QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QCOMPARE(readFile(reportPath()), appended ? before + reportLine("Z9") : before);
    QCOMPARE(m_dialogs.events.size(), appended ? 0 : 1);
    QVERIFY(appended || m_dialogs.events[0].startsWith("message:" + kLookupFailure + "Erreur d'accès au fichier : " + reportPath()));
}

QTEST_GUILESS_MAIN(TestRechercheRef)
#include "tst_rechercheref.moc"
